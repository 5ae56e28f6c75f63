#include "platform/BuiltinResources.h"

#include <windows.h>

namespace platform {

ResourceBlob findBuiltinResource(int type, int id) {
    // Resource ids are 16-bit; a larger number would silently name another.
    if (type <= 0 || type > 0xFFFF || id <= 0 || id > 0xFFFF) {
        return ResourceBlob{};
    }
    HMODULE module = static_cast<HMODULE>(moduleHandle());
    if (module == nullptr) {
        module = GetModuleHandleA(nullptr);
    }
    HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(type));
    if (info == nullptr) {
        return ResourceBlob{};
    }
    HGLOBAL loaded = LoadResource(module, info);
    if (loaded == nullptr) {
        return ResourceBlob{};
    }
    const void* data = LockResource(loaded);
    if (data == nullptr) {
        return ResourceBlob{};
    }
    return ResourceBlob{static_cast<const std::uint8_t*>(data), SizeofResource(module, info)};
}

}  // namespace platform
