#include "platform/FontFolders.h"

#include "linux/UserFolders.h"

namespace platform {

std::vector<std::string> systemFontFolders() {
    std::vector<std::string> folders{"/usr/share/fonts", "/usr/local/share/fonts"};
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
