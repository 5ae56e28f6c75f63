#include "platform/FontFolders.h"

#include <cstdlib>

namespace platform {

std::vector<std::string> systemFontFolders() {
    const char* windows = std::getenv("WINDIR");
    std::string folder = windows != nullptr && windows[0] != '\0' ? windows : "c:\\windows";
    folder += "\\fonts";
    return {folder};
}

bool fontFoldersAreTrees() {
    return false;
}

}  // namespace platform
