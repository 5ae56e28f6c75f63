#include "platform/Diagnostics.h"

#include <windows.h>

#include "common/SystemServices.h"

namespace platform {

namespace detail {

void systemMessageBox(const std::string& caption, const std::string& text, MessageIcon icon) {
    const UINT type = MB_OK | (icon == MessageIcon::kExclamation ? MB_ICONEXCLAMATION : 0);
    MessageBoxA(nullptr, text.c_str(), caption.c_str(), type);
}

}  // namespace detail

void debugOutput(const char* text) {
    if (text != nullptr) {
        OutputDebugStringA(text);
    }
}

}  // namespace platform
