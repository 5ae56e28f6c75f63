#pragma once
// For tests only: a look behind the platform layer's own interfaces, so that
// tests can check what a call left on the system without including an
// operating-system header themselves.

namespace platform::testsupport {

// Whether the product's preference key (Windows: the registry key
// HKCU\Software\Vantrell\com.vantrell.tavro; Linux: the preference file)
// exists.
bool productKeyExists();
// Removes it with all its values; nothing happens when it is absent.
void deleteProductKey();

// Sets an environment variable of this process as the platform layer reads
// it (getenv); null removes it.
void setEnvironmentVariable(const char* name, const char* value);

}  // namespace platform::testsupport
