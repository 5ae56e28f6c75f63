#include "platform/testing/DialogDriver.h"

namespace platform::testsupport {

// The Linux editor draws its dialogs itself: there is no native one to find.
std::unique_ptr<DialogDriver> DialogDriver::WaitFor(const std::string& /*caption*/,
                                                    int /*timeoutMs*/, bool /*visibleOnly*/) {
    return nullptr;
}

}  // namespace platform::testsupport
