#include "platform/BuiltinResources.h"

// The table that cmake/TavroEmbed.cmake generates into the final target.
struct TavroResourceEntry {
    int type;
    int id;
    const unsigned char* data;
    std::size_t size;
};

// Weak, so that a binary without resources still links and simply finds
// nothing; hidden, so that each module sees its own table and never one that
// another loaded module (or the host) happens to export.
extern "C" {
extern const TavroResourceEntry tavro_builtin_resources[]
    __attribute__((weak, visibility("hidden")));
extern const std::size_t tavro_builtin_resource_count __attribute__((weak, visibility("hidden")));
}

namespace platform {

ResourceBlob findBuiltinResource(int type, int id) {
    if (&tavro_builtin_resource_count == nullptr || tavro_builtin_resources == nullptr) {
        return ResourceBlob{};
    }
    for (std::size_t i = 0; i < tavro_builtin_resource_count; ++i) {
        const TavroResourceEntry& entry = tavro_builtin_resources[i];
        if (entry.type == type && entry.id == id) {
            return ResourceBlob{entry.data, entry.size};
        }
    }
    return ResourceBlob{};
}

}  // namespace platform
