#include "platform/Dialogs.h"

namespace platform {

// The editor draws its dialogs itself on Linux: no toolkit of ours may enter
// a host's process, and the host's own may be any or none.
bool hasNativeDialogs() {
    return false;
}

int runModalDialog(int /*resourceId*/, std::uintptr_t /*owner*/, DialogProcedure& /*procedure*/) {
    return -1;
}

}  // namespace platform
