#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "gui/Font.h"
#include "platform/BuiltinResources.h"
#include "platform/Diagnostics.h"
#include "platform/FontFolders.h"

// Where a font comes from: the first of a list of candidates that opens,
// looked for as a path, in the system's and the user's font folders, or
// among the fonts the plug-in carries (names beginning "builtin:").

namespace QX {

// ---- Finding and creating fonts -------------------------------------------------------------

namespace {

namespace fs = std::filesystem;

bool CanOpen(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    try {
        // fopen opens folders too on Linux; a folder is no font.
        std::error_code ignored;
        if (fs::is_directory(fs::path(path), ignored)) {
            return false;
        }
    } catch (const std::exception&) {
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    std::fclose(file);
    return true;
}

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

// Depth-first below `folder`, following linked folders down to a depth that
// no font tree reaches, so that a link loop ends.
bool SearchTree(const std::string& folder, const std::string& name, bool ignoreCase,
                std::string& found) {
    try {
        std::error_code error;
        const auto options = fs::directory_options::follow_directory_symlink |
                             fs::directory_options::skip_permission_denied;
        fs::recursive_directory_iterator it(fs::path(folder), options, error);
        for (fs::recursive_directory_iterator end; !error && it != end; it.increment(error)) {
            if (it.depth() >= 12) {
                it.disable_recursion_pending();
            }
            const std::string entry = it->path().filename().string();
            if (ignoreCase ? SameNameIgnoringCase(entry, name) : entry == name) {
                const std::string path = it->path().string();
                if (CanOpen(path)) {
                    found = path;
                    return true;
                }
            }
        }
    } catch (const std::exception&) {
        // A name the file system cannot convert, or a tree that changed
        // under us: not found here.
    }
    return false;
}

}  // namespace

bool FindFontFile(const std::string& name, std::string& path) {
    if (name.empty()) {
        return false;
    }
    if (CanOpen(name)) {
        path = name;
        return true;
    }
    const std::vector<std::string> folders = platform::systemFontFolders();
    if (!platform::fontFoldersAreTrees()) {
        for (const std::string& folder : folders) {
            path = folder + "\\" + name;
            if (CanOpen(path)) {
                return true;
            }
        }
        return false;
    }
    for (const std::string& folder : folders) {
        const std::string direct = folder + "/" + name;
        if (CanOpen(direct)) {
            path = direct;
            return true;
        }
    }
    if (name.find('/') != std::string::npos) {
        return false;
    }
    // Linux keeps fonts in trees (truetype/dejavu/...); a Windows skin
    // names "Verdana.ttf" where the file may be "verdana.ttf".
    for (bool ignoreCase : {false, true}) {
        for (const std::string& folder : folders) {
            if (SearchTree(folder, name, ignoreCase, path)) {
                return true;
            }
        }
    }
    return false;
}

namespace {

bool IsBuiltinName(const std::string& name) {
    const std::string prefix = "builtin:";
    return name.size() > prefix.size() &&
           SameNameIgnoringCase(name.substr(0, prefix.size()), prefix);
}

// A gzip member inflated whole; its trailer gives the size.
bool Inflate(const platform::ResourceBlob& packed, std::vector<std::uint8_t>& out) {
    if (packed.size < 18) {
        return false;
    }
    const std::uint8_t* trailer = packed.data + packed.size - 4;
    const std::size_t size = trailer[0] | (trailer[1] << 8) | (trailer[2] << 16) |
                             (static_cast<std::size_t>(trailer[3]) << 24);
    // No font we carry comes near 16 MB; a larger claim is a damaged file.
    if (size == 0 || size > (std::size_t{16} << 20)) {
        return false;
    }
    out.resize(size);
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) {
        return false;
    }
    stream.next_in = const_cast<Bytef*>(packed.data);
    stream.avail_in = static_cast<uInt>(packed.size);
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(size);
    const int result = inflate(&stream, Z_FINISH);
    inflateEnd(&stream);
    return result == Z_STREAM_END && stream.avail_out == 0;
}

// The faces the plug-in carries, for systems with none of the fonts a list
// names (a fresh Wine prefix, a Linux without fonts), inflated on first use
// and kept until the library unloads: every Font made from one has gone with
// its editor by then. Null for any other name, or when the module lacks
// the resource. The prefix cannot start a Windows file name, and no name
// with it is looked for as a file.
const std::vector<std::uint8_t>* FindBuiltinFont(const std::string& name) {
    static const struct {
        const char* name;
        int id;
    } kBuiltin[] = {
        {"builtin:DejaVuSans.ttf", platform::kResourceFontSans},
        {"builtin:DejaVuSansMono.ttf", platform::kResourceFontSansMono},
    };
    static std::vector<std::uint8_t> inflated[std::size(kBuiltin)];
    for (std::size_t i = 0; i < std::size(kBuiltin); ++i) {
        if (!SameNameIgnoringCase(name, kBuiltin[i].name)) {
            continue;
        }
        std::lock_guard<std::recursive_mutex> hold(FontLock());
        if (inflated[i].empty()) {
            const platform::ResourceBlob packed =
                platform::findBuiltinResource(platform::kResourceTypeFont, kBuiltin[i].id);
            if (!packed || !Inflate(packed, inflated[i])) {
                inflated[i].clear();
                return nullptr;
            }
        }
        return &inflated[i];
    }
    return nullptr;
}

}  // namespace

std::unique_ptr<Font> CreateFont(const std::vector<FontCandidate>& candidates) {
    for (const FontCandidate& candidate : candidates) {
        std::unique_ptr<Font> font;
        if (IsBuiltinName(candidate.name)) {
            const std::vector<std::uint8_t>* builtin = FindBuiltinFont(candidate.name);
            if (builtin == nullptr) {
                continue;
            }
            font = std::make_unique<Font>(builtin->data(), builtin->size(), candidate.size);
        } else {
            std::string path;
            if (!FindFontFile(candidate.name, path)) {
                continue;
            }
            font = std::make_unique<Font>(path, candidate.size);
        }
        if (font->Loaded()) {
            return font;
        }
    }
    return nullptr;
}

}  // namespace QX
