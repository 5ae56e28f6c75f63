#include "platform/Diagnostics.h"

#include <windows.h>

#include "common/SystemServices.h"

namespace platform {

namespace detail {

void systemMessageBox(const std::string& caption, const std::string& text) {
    MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK);
}

}  // namespace detail

void debugOutput(const char* text) {
    if (text != nullptr) {
        OutputDebugStringA(text);
    }
}

}  // namespace platform
