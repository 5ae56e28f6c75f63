#pragma once

#include <string>

namespace platform::detail {

// Where the preference file is (or would be); "" when there is no home.
std::string preferenceFilePath();

}  // namespace platform::detail
