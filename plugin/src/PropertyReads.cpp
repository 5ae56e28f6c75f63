#include "plugin/PropertyReads.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "plugin/Properties.h"
#include "plugin/ZephAuBase.h"

namespace prop {

namespace {

// A value that grows at every read (a script setting it in a loop) is
// taken as it was at the last one.
constexpr int kReadAttempts = 8;

}  // namespace

std::string readText(ZephAuBase& plugin, std::uint32_t id) {
    std::uint32_t size = 0;
    bool writable = false;
    if (plugin.GetPropertyInfo(id, kAudioUnitScope_Global, 0, &size, &writable) != 0)
        return {};
    std::vector<char> buffer;
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        buffer.assign(std::max<std::uint32_t>(size, 1), '\0');
        std::uint32_t held = static_cast<std::uint32_t>(buffer.size());
        if (plugin.GetPropertyBytes(id, kAudioUnitScope_Global, 0, buffer.data(), &held) != 0)
            return {};
        if (held <= buffer.size())
            break;
        size = held;
    }
    return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

bool readFlag(ZephAuBase& plugin, std::uint32_t id, std::uint32_t room, FlagByte which) {
    alignas(8) unsigned char bytes[kFlagBytes] = {};
    const std::uint32_t size = std::min(room, kFlagBytes);
    std::uint32_t held = size;
    if (plugin.GetPropertyBytes(id, kAudioUnitScope_Global, 0, bytes, &held) != 0)
        return false;
    if (held == 0 || held > size)
        return false;
    const std::uint32_t looked = which == FlagByte::kFirst ? 1 : held;
    return std::any_of(bytes, bytes + looked, [](unsigned char b) { return b != 0; });
}

}  // namespace prop
