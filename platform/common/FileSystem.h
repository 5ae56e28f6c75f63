#pragma once
// The few file-system primitives the folder rules are built on; one
// implementation per system (platform/<os>/Folders.cpp).

#include <string>
#include <vector>

namespace platform::detail {

// The user may read this file or folder.
bool isReadable(const std::string& path);

// Creates one folder (not its parents). False when it failed, including
// when it already existed.
bool makeDirectory(const std::string& path);

struct DirectoryEntry {
    std::string name;
    bool isDirectory = false;
};

enum class EntryPattern { All, LuaScripts };

// The entries of `folder` in the order the file system gives them; "." and
// ".." included when the system lists them. Empty when the folder cannot be
// read. `folder` may or may not end with a separator.
std::vector<DirectoryEntry> listDirectory(const std::string& folder, EntryPattern pattern);

}  // namespace platform::detail
