#include "platform/Shell.h"

// windows.h first: the shell's header needs its types.
#include <windows.h>

#include <shellapi.h>

namespace platform {

bool openWithShell(const std::string& target, ShellVerb verb) {
    if (target.empty()) {
        return false;
    }
    const char* const operation = verb == ShellVerb::kExplore ? "explore" : "open";
    // ShellExecuteA answers a pseudo-handle: above 32 means it started.
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteA(nullptr, operation, target.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}

}  // namespace platform
