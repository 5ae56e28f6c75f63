#pragma once
// Per-user folders for skins and user scripts.
// Windows: below APPDATA (or "C:\Documents and Settings\<USERNAME>\Application
// Data" when APPDATA is unset and USERNAME is set; the empty text when
// neither is), with backslashes.
// Linux: below $XDG_DATA_HOME (~/.local/share when unset), with slashes.

#include <string>
#include <vector>

namespace platform {

// The Windows rule as a pure function, so that it can be checked anywhere.
// Either argument may be null (meaning "not set").
std::string windowsAppDataFolder(const char* appData, const char* userName);

std::string appDataFolder();
// APPDATA + sep + "Vantrell"
std::string makerFolder();
// maker folder + sep + product
std::string productFolder(const std::string& product);
// product folder + sep + "Skins"
std::string skinsFolder(const std::string& product);
// APPDATA + sep "Vantrell" sep + family + sep "Scripts" sep (trailing separator)
std::string scriptsFolder(const std::string& family);

// Creates the maker, product and skins folders in that order; failures
// (including "already exists") are ignored.
void ensureSkinFolders(const std::string& product);

// skins folder + sep + name if readable, else the same + ".bundle" if
// readable, else "" (the built-in skin).
std::string skinPath(const std::string& skinName, const std::string& product);

// Sub-folders of the skins folder (not "." or ".."), in the file system's
// order; a name longer than 7 characters ending in ".bundle" loses that
// ending. Files are ignored.
std::vector<std::string> listSkins(const std::string& product);

// Full paths of the readable "*.lua" entries of the scripts folder, in the
// file system's order.
std::vector<std::string> listUserScripts(const std::string& family);

// The path separator of this system ("\\" or "/").
const char* pathSeparator();

}  // namespace platform
