#include "platform/testing/TestAccess.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "linux/PreferenceFile.h"

namespace platform::testsupport {

bool productKeyExists() {
    const std::string path = detail::preferenceFilePath();
    struct stat info {};
    return !path.empty() && stat(path.c_str(), &info) == 0;
}

void deleteProductKey() {
    const std::string path = detail::preferenceFilePath();
    if (!path.empty()) {
        unlink(path.c_str());
    }
}

void setEnvironmentVariable(const char* name, const char* value) {
    if (value != nullptr) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
}

}  // namespace platform::testsupport
