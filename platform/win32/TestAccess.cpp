#include "platform/testing/TestAccess.h"

#include <windows.h>

#include <cstdlib>
#include <string>

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

}  // namespace platform::testsupport
