#include "platform/SharedLibrary.h"

#include <windows.h>

namespace platform {
namespace {

class Win32SharedLibrary final : public SharedLibrary {
public:
    explicit Win32SharedLibrary(HMODULE module) : module_(module) {}
    ~Win32SharedLibrary() override { FreeLibrary(module_); }

    void* symbol(const char* name) override {
        return reinterpret_cast<void*>(GetProcAddress(module_, name));
    }

private:
    HMODULE module_;
};

std::string systemMessage(DWORD code) {
    char buffer[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, buffer, sizeof buffer, nullptr);
    while (length > 0 && (buffer[length - 1] == '\n' || buffer[length - 1] == '\r' ||
                          buffer[length - 1] == ' ' || buffer[length - 1] == '.')) {
        --length;
    }
    std::string message(buffer, length);
    if (message.empty()) {
        message = "system error";
    }
    return message + " (error " + std::to_string(code) + ")";
}

HMODULE load(const std::string& path) {
    // No "cannot find DLL" dialog in the middle of a test run.
    DWORD oldMode = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
    HMODULE module = LoadLibraryA(path.c_str());
    const DWORD error = GetLastError();
    SetThreadErrorMode(oldMode, nullptr);
    SetLastError(error);
    return module;
}

}  // namespace

std::unique_ptr<SharedLibrary> SharedLibrary::open(const std::string& path, std::string& error) {
    HMODULE module = load(path);
    // Under Wine, paths from the Linux side ("/work/...") are reachable
    // through drive Z:, which maps the Unix root.
    if (module == nullptr && !path.empty() && path[0] == '/') {
        std::string drivePath = "Z:" + path;
        for (char& c : drivePath) {
            if (c == '/') {
                c = '\\';
            }
        }
        module = load(drivePath);
    }
    if (module == nullptr) {
        error = path + ": " + systemMessage(GetLastError());
        return nullptr;
    }
    error.clear();
    return std::make_unique<Win32SharedLibrary>(module);
}

void keepThisLibraryLoaded() {
    HMODULE module = nullptr;
    // Pinned: stays loaded until the process ends, FreeLibrary or not.
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCSTR>(&keepThisLibraryLoaded), &module);
}

}  // namespace platform
