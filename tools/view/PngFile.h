#pragma once
// Pictures as PNG files (libpng), for tavro-view's screenshots.

#include <string>

#include "platform/ViewerWindow.h"

namespace view {

// Writes the picture as 8-bit RGB; false with a reason in `error`.
bool writePng(const std::string& path, const platform::Picture& picture, std::string& error);

}  // namespace view
