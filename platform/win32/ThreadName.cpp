#include "platform/ThreadName.h"

#include <windows.h>

#include <string>

namespace platform {

void nameThisThread(const char* name) {
    // SetThreadDescription came with Windows 10 (1607): looked up, so that
    // the plug-in still loads where it is missing.
    using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr)
        return;
    auto setDescription = reinterpret_cast<SetDescription>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetThreadDescription")));
    if (setDescription == nullptr)
        return;
    const std::wstring wide(name, name + std::char_traits<char>::length(name));
    setDescription(GetCurrentThread(), wide.c_str());
}

}  // namespace platform
