#include "platform/Preferences.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "win32/RegistryKey.h"

namespace platform {
namespace {

using detail::RegistryKey;

const char* const kSoftware = "Software";
const char* const kMaker = "Vantrell";
const char* const kProduct = "com.vantrell.tavro";

bool createKey(HKEY parent, const char* name, RegistryKey& key) {
    return RegCreateKeyExA(parent, name, 0, nullptr, 0, KEY_WRITE, nullptr, key.out(), nullptr) ==
           ERROR_SUCCESS;
}

// "Software" and "Vantrell" are created when missing, with write access.
bool openMakerKey(RegistryKey& maker) {
    RegistryKey software;
    return createKey(HKEY_CURRENT_USER, kSoftware, software) &&
           createKey(software.get(), kMaker, maker);
}

// Reading never creates the product key.
bool openProductForReading(RegistryKey& product) {
    RegistryKey maker;
    return openMakerKey(maker) &&
           RegOpenKeyExA(maker.get(), kProduct, 0, KEY_READ, product.out()) == ERROR_SUCCESS;
}

bool openProductForWriting(RegistryKey& product) {
    RegistryKey maker;
    return openMakerKey(maker) && createKey(maker.get(), kProduct, product);
}

class RegistryStore final : public PreferenceStore {
public:
    int readInt(const char* name, int defaultValue) override {
        RegistryKey product;
        if (name == nullptr || !openProductForReading(product)) {
            return defaultValue;
        }
        DWORD value = 0;
        DWORD size = sizeof value;
        if (RegQueryValueExA(product.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                             &size) != ERROR_SUCCESS ||
            size != sizeof value) {
            return defaultValue;
        }
        return static_cast<int>(value);
    }

    void writeInt(const char* name, int value) override {
        RegistryKey product;
        if (name == nullptr || !openProductForWriting(product)) {
            return;
        }
        const DWORD data = static_cast<DWORD>(value);
        RegSetValueExA(product.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                       sizeof data);
    }

    void readSkin(std::string& text) override {
        RegistryKey product;
        if (!openProductForReading(product)) {
            return;
        }
        char buffer[kSkinMaxLength + 1];
        DWORD type = 0;
        DWORD size = sizeof buffer;
        LONG result = RegQueryValueExA(product.get(), kPrefSkin, nullptr, &type,
                                       reinterpret_cast<BYTE*>(buffer), &size);
        if (result == ERROR_MORE_DATA) {
            // The registry fills nothing when the value does not fit; read it
            // whole and keep its first 255 characters.
            std::vector<char> whole(size);
            DWORD wholeSize = size;
            result = RegQueryValueExA(product.get(), kPrefSkin, nullptr, &type,
                                      reinterpret_cast<BYTE*>(whole.data()), &wholeSize);
            if (result == ERROR_SUCCESS) {
                size = std::min<DWORD>(wholeSize, kSkinMaxLength);
                std::memcpy(buffer, whole.data(), size);
            }
        }
        if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
            return;
        }
        buffer[std::min<DWORD>(size, kSkinMaxLength)] = '\0';
        text = buffer;
    }

    void writeSkin(const std::string& text) override {
        RegistryKey product;
        if (!openProductForWriting(product)) {
            return;
        }
        const DWORD size = static_cast<DWORD>(std::strlen(text.c_str()) + 1);
        RegSetValueExA(product.get(), kPrefSkin, 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(text.c_str()), size);
    }
};

}  // namespace

PreferenceStore& systemPreferenceStore() {
    static RegistryStore store;  // destroyed at unload, with no thread of ours left
    return store;
}

}  // namespace platform
