#pragma once
// Hands a web address or a folder to the user's desktop: ShellExecuteA with
// the verb on Windows; xdg-open on Linux (which has no verbs: a folder opens
// in the file manager either way).

#include <string>

namespace platform {

enum class ShellVerb {
    kOpen,     // "open": a web page in the browser
    kExplore,  // "explore": a folder in the file manager
};

// [ui-thread] Starts the desktop's handler for `target` and returns without
// waiting for it; false when it could not be started. Linux: xdg-open runs
// as a child process with `target` as its single argument (no shell reads
// it) and none of the host's descriptors beyond the standard three.
bool openWithShell(const std::string& target, ShellVerb verb);

}  // namespace platform
