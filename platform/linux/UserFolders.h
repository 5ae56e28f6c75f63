#pragma once
// The XDG base folders the Linux platform layer keeps its files in.

#include <string>

namespace platform::detail {

// $<variable> when it holds an absolute path (the XDG rule: relative values
// are ignored), else the home folder + "/" + `belowHome`; "" when there is no
// home folder either.
std::string xdgFolder(const char* variable, const char* belowHome);

}  // namespace platform::detail
