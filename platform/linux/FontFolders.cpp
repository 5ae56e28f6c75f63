#include "platform/FontFolders.h"

#include <cstdlib>

#include "linux/UserFolders.h"

namespace platform {

std::vector<std::string> systemFontFolders() {
    // The system's data folders as the XDG rules give them (what fontconfig
    // searches too), so that a system or a sandbox that keeps its fonts
    // elsewhere is followed; relative entries are ignored.
    const char* dataDirs = std::getenv("XDG_DATA_DIRS");
    const std::string list =
        dataDirs != nullptr && dataDirs[0] != '\0' ? dataDirs : "/usr/local/share:/usr/share";
    std::vector<std::string> folders;
    for (std::size_t start = 0; start <= list.size();) {
        std::size_t end = list.find(':', start);
        if (end == std::string::npos) {
            end = list.size();
        }
        std::string folder = list.substr(start, end - start);
        while (folder.size() > 1 && folder.back() == '/') {
            folder.pop_back();
        }
        if (!folder.empty() && folder[0] == '/') {
            folders.push_back(folder + "/fonts");
        }
        start = end + 1;
    }
    const std::string dataHome = detail::xdgFolder("XDG_DATA_HOME", ".local/share");
    if (!dataHome.empty()) {
        folders.push_back(dataHome + "/fonts");
    }
    // HOME when it is an absolute path, else the password database's home.
    const std::string home = detail::xdgFolder("HOME", ".");
    if (!home.empty()) {
        folders.push_back(home + "/.fonts");
    }
    return folders;
}

bool fontFoldersAreTrees() {
    return true;
}

}  // namespace platform
