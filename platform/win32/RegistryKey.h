#pragma once
// An open registry key that closes itself.

#include <windows.h>

namespace platform::detail {

class RegistryKey {
public:
    RegistryKey() = default;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey() {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
    }

    HKEY get() const { return key_; }
    HKEY* out() { return &key_; }
    explicit operator bool() const { return key_ != nullptr; }

private:
    HKEY key_ = nullptr;
};

// HKEY_CURRENT_USER\Software\Vantrell\com.vantrell.tavro, relative to
// HKEY_CURRENT_USER.
inline constexpr const char* kProductKeyPath = "Software\\Vantrell\\com.vantrell.tavro";

}  // namespace platform::detail
