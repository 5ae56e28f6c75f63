#include "platform/Settings.h"

namespace platform {
namespace {

// Constant-initialised (every member has a constant initialiser), so the
// defaults are in place before any static constructor of the library runs.
ProcessSettings settings;

}  // namespace

ProcessSettings& processSettings() {
    return settings;
}

}  // namespace platform
