#include "platform/Folders.h"

#include "common/FileSystem.h"

namespace platform {
namespace {

const char* const kMakerName = "Vantrell";
const char* const kBundleSuffix = ".bundle";
constexpr std::size_t kBundleSuffixLength = 7;

bool endsWithBundle(const std::string& name) {
    return name.size() > kBundleSuffixLength &&
           name.compare(name.size() - kBundleSuffixLength, kBundleSuffixLength, kBundleSuffix) == 0;
}

}  // namespace

std::string windowsAppDataFolder(const char* appData, const char* userName) {
    if (appData != nullptr) {
        return appData;
    }
    if (userName != nullptr) {
        return std::string("C:\\Documents and Settings\\") + userName + "\\Application Data";
    }
    return std::string();
}

std::string makerFolder() {
    return appDataFolder() + pathSeparator() + kMakerName;
}

std::string productFolder(const std::string& product) {
    return makerFolder() + pathSeparator() + product;
}

std::string skinsFolder(const std::string& product) {
    return productFolder(product) + pathSeparator() + "Skins";
}

std::string scriptsFolder(const std::string& family) {
    const std::string sep = pathSeparator();
    return appDataFolder() + sep + kMakerName + sep + family + sep + "Scripts" + sep;
}

void ensureSkinFolders(const std::string& product) {
    detail::makeDirectory(makerFolder());
    detail::makeDirectory(productFolder(product));
    detail::makeDirectory(skinsFolder(product));
}

std::string skinPath(const std::string& skinName, const std::string& product) {
    // An empty name is the built-in skin; without this check the skins folder
    // itself would pass for a skin.
    if (skinName.empty()) {
        return std::string();
    }
    const std::string path = skinsFolder(product) + pathSeparator() + skinName;
    if (detail::isReadable(path)) {
        return path;
    }
    const std::string bundle = path + kBundleSuffix;
    if (detail::isReadable(bundle)) {
        return bundle;
    }
    return std::string();
}

std::vector<std::string> listSkins(const std::string& product) {
    std::vector<std::string> names;
    for (const detail::DirectoryEntry& entry :
         detail::listDirectory(skinsFolder(product), detail::EntryPattern::All)) {
        if (!entry.isDirectory || entry.name == "." || entry.name == "..") {
            continue;
        }
        if (endsWithBundle(entry.name)) {
            names.push_back(entry.name.substr(0, entry.name.size() - kBundleSuffixLength));
        } else {
            names.push_back(entry.name);
        }
    }
    return names;
}

std::vector<std::string> listUserScripts(const std::string& family) {
    const std::string folder = scriptsFolder(family);
    std::vector<std::string> paths;
    for (const detail::DirectoryEntry& entry :
         detail::listDirectory(folder, detail::EntryPattern::LuaScripts)) {
        // A folder that happens to be named "x.lua" is no script; loading it
        // would only produce a confusing error.
        if (entry.isDirectory) {
            continue;
        }
        std::string path = folder + entry.name;
        if (detail::isReadable(path)) {
            paths.push_back(std::move(path));
        }
    }
    return paths;
}

}  // namespace platform
