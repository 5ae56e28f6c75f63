#pragma once
// Where the system keeps its fonts: the Windows fonts folder ("WINDIR", or
// c:\windows when it is not set, + "\fonts"); on Linux the standard font
// folders, searched recursively by the caller.

#include <string>
#include <vector>

namespace platform {

// Folders to search for a font file given by bare name, in order.
// [any-thread]
std::vector<std::string> systemFontFolders();
// True when the font folders are trees to be searched below (Linux), false
// when a font file sits directly in the folder (Windows).
bool fontFoldersAreTrees();

}  // namespace platform
