#include "platform/testing/TestAccess.h"

#include <windows.h>
// Needs windows.h first.
#include <tlhelp32.h>

#include <cstdlib>
#include <map>
#include <string>
#include <utility>

#include "win32/RegistryKey.h"

namespace platform::testsupport {

bool productKeyExists() {
    detail::RegistryKey key;
    return RegOpenKeyExA(HKEY_CURRENT_USER, detail::kProductKeyPath, 0, KEY_READ, key.out()) ==
           ERROR_SUCCESS;
}

void deleteProductKey() {
    RegDeleteKeyA(HKEY_CURRENT_USER, detail::kProductKeyPath);
}

void setEnvironmentVariable(const char* name, const char* value) {
    // The C runtime keeps its own copy of the environment, which getenv
    // reads; "NAME=" removes the variable there.
    const std::string assignment = std::string(name) + "=" + (value != nullptr ? value : "");
    _putenv(assignment.c_str());
    SetEnvironmentVariableA(name, value);
}

int threadCount() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    const DWORD self = GetCurrentProcessId();
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == self)
            ++count;
    }
    CloseHandle(snapshot);
    return count;
}

int openHandleCount() {
    DWORD count = 0;
    return GetProcessHandleCount(GetCurrentProcess(), &count) ? static_cast<int>(count) : -1;
}

int windowSystemObjectCount() {
    return static_cast<int>(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS) +
                            GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS));
}

namespace {

// Timers of this thread by id: a thread timer's procedure gets no context.
thread_local std::map<UINT_PTR, std::pair<void (*)(void*), void*>> pendingCalls;

void CALLBACK callPending(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    const auto found = pendingCalls.find(id);
    if (found == pendingCalls.end())
        return;
    const auto [call, context] = found->second;
    pendingCalls.erase(found);
    call(context);
}

}  // namespace

bool callFromThisThreadsMessageLoop(int milliseconds, void (*call)(void*), void* context) {
    const UINT_PTR id = SetTimer(nullptr, 0, static_cast<UINT>(milliseconds), callPending);
    if (id == 0)
        return false;
    pendingCalls[id] = {call, context};
    return true;
}

}  // namespace platform::testsupport
