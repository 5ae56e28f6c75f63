#pragma once
// Every platform test runs with XDG_CONFIG_HOME, XDG_DATA_HOME and APPDATA
// pointing into a temporary folder of its own, so that no test touches the
// user's real preferences, skins or scripts.

#include <filesystem>
#include <string>

namespace platformtest {

// A new, empty folder below the run's temporary folder.
std::filesystem::path freshFolder(const std::string& hint);

// The text of an environment variable, "" when unset, and whether it is set.
struct SavedVariable {
    explicit SavedVariable(const char* name);
    ~SavedVariable();  // puts the old value back
    const char* name;
    bool wasSet;
    std::string value;
};

}  // namespace platformtest
