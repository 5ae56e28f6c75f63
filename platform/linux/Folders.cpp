#include "platform/Folders.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "common/FileSystem.h"
#include "linux/UserFolders.h"

namespace platform {
namespace detail {
namespace {

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') {
        return home;
    }
    // Hosts started from a service manager may run without HOME.
    struct passwd entry {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr) {
        return found->pw_dir;
    }
    return std::string();
}

bool endsWithLua(const std::string& name) {
    return name.size() >= 4 && name.compare(name.size() - 4, 4, ".lua") == 0;
}

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

}  // namespace

std::string xdgFolder(const char* variable, const char* belowHome) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] == '/') {
        return value;
    }
    const std::string home = homeFolder();
    if (home.empty()) {
        return std::string();
    }
    return home + "/" + belowHome;
}

bool isReadable(const std::string& path) {
    return !path.empty() && access(path.c_str(), R_OK) == 0;
}

bool makeDirectory(const std::string& path) {
    return !path.empty() && mkdir(path.c_str(), 0755) == 0;
}

std::vector<DirectoryEntry> listDirectory(const std::string& folder, EntryPattern pattern) {
    std::vector<DirectoryEntry> entries;
    if (folder.empty()) {
        return entries;
    }
    std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    if (!dir) {
        return entries;
    }
    const std::string prefix = folder.back() == '/' ? folder : folder + "/";
    while (const dirent* entry = readdir(dir.get())) {
        DirectoryEntry item;
        item.name = entry->d_name;
        if (pattern == EntryPattern::LuaScripts && !endsWithLua(item.name)) {
            continue;
        }
        if (entry->d_type == DT_DIR) {
            item.isDirectory = true;
        } else if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            // Some file systems do not fill d_type; a link to a skin folder
            // counts as a folder.
            struct stat info {};
            item.isDirectory =
                stat((prefix + item.name).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
        }
        entries.push_back(std::move(item));
    }
    return entries;
}

}  // namespace detail

std::string appDataFolder() {
    return detail::xdgFolder("XDG_DATA_HOME", ".local/share");
}

const char* pathSeparator() {
    return "/";
}

}  // namespace platform
