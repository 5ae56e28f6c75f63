#include "gui/Blobs.h"

#include <cstdio>
#include <memory>

#include "platform/BuiltinResources.h"
#include "platform/Diagnostics.h"

namespace QX {
namespace {

ResourceBytes LoadBuiltin(int type, int id) {
    const platform::ResourceBlob blob = platform::findBuiltinResource(type, id);
    if (!blob) {
        // The platform layer does not hand out the system's error code; name
        // the missing resource instead, which is what a skin author needs.
        char text[128];
        std::snprintf(text, sizeof text,
                      "The built-in resource %d of type %d cannot be found in the plug-in.", id,
                      type);
        platform::showMessageBox("Error", text);
        return {};
    }
    return {blob.data, blob.size};
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

ResourceBytes LoadResourceBlob(int id) {
    return LoadBuiltin(platform::kResourceTypeScript, id);
}

ResourceBytes LoadImageBlob(int id) {
    return LoadBuiltin(platform::kResourceTypeImage, id);
}

std::vector<std::uint8_t> LoadFileBlob(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return bytes;
    }
    // Read in chunks rather than trusting a size from seeking: pipes and
    // files that change while read still give what was there.
    std::uint8_t chunk[16384];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    return bytes;
}

}  // namespace QX
