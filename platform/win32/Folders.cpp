#include "platform/Folders.h"

#include <io.h>
#include <windows.h>

#include <cstdlib>

#include "common/FileSystem.h"

namespace platform {
namespace detail {

bool isReadable(const std::string& path) {
    // 4: read permission; folders count when they exist.
    return !path.empty() && _access(path.c_str(), 4) == 0;
}

bool makeDirectory(const std::string& path) {
    return !path.empty() && CreateDirectoryA(path.c_str(), nullptr) != 0;
}

std::vector<DirectoryEntry> listDirectory(const std::string& folder, EntryPattern pattern) {
    std::vector<DirectoryEntry> entries;
    std::string search = folder;
    if (!search.empty() && search.back() != '\\' && search.back() != '/') {
        search += '\\';
    }
    search += pattern == EntryPattern::LuaScripts ? "*.lua" : "*";

    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(search.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return entries;
    }
    do {
        DirectoryEntry entry;
        entry.name = data.cFileName;
        entry.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entries.push_back(std::move(entry));
    } while (FindNextFileA(find, &data) != 0);
    FindClose(find);
    return entries;
}

}  // namespace detail

std::string appDataFolder() {
    return windowsAppDataFolder(std::getenv("APPDATA"), std::getenv("USERNAME"));
}

const char* pathSeparator() {
    return "\\";
}

}  // namespace platform
