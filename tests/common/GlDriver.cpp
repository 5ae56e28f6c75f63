#include "GlDriver.h"

#include <dlfcn.h>
#include <link.h>

#include <cstring>
#include <string>
#include <vector>

namespace testsupport {

namespace {

int collectDriver(dl_phdr_info* info, size_t /*size*/, void* data) {
    const char* name = info->dlpi_name;
    if (name != nullptr &&
        (std::strstr(name, "_dri.so") != nullptr || std::strstr(name, "libgallium") != nullptr)) {
        static_cast<std::vector<std::string>*>(data)->push_back(name);
    }
    return 0;
}

}  // namespace

void KeepGlDriverLoaded() {
    std::vector<std::string> drivers;
    dl_iterate_phdr(collectDriver, &drivers);
    for (const std::string& path : drivers) {
        // Already loaded: this only takes a reference that is never given
        // back.
        dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    }
}

}  // namespace testsupport
