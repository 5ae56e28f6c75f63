#include "platform/Diagnostics.h"

#include <cstdio>

#include "common/SystemServices.h"

namespace platform {

namespace detail {

void systemMessageBox(const std::string& caption, const std::string& text, MessageIcon /*icon*/) {
    // One call, so that the line is not interleaved with other threads' output.
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

}  // namespace detail

void debugOutput(const char* text) {
    if (text != nullptr) {
        std::fputs(text, stderr);
    }
}

}  // namespace platform
