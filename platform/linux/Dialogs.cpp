#include "platform/Dialogs.h"

namespace platform {

// The editor draws its dialogs itself on Linux: no toolkit of ours may enter
// a host's process, and the host's own may be any or none.
bool hasNativeDialogs() {
    return false;
}

int runModalDialog(int /*resourceId*/, std::uintptr_t /*owner*/, DialogProcedure& /*procedure*/,
                   std::atomic<std::uintptr_t>* /*shown*/) {
    return -1;
}

void endModalDialog(std::uintptr_t /*dialog*/) {}

}  // namespace platform
