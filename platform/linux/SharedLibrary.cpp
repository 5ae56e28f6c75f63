#include "platform/SharedLibrary.h"

#include <dlfcn.h>

namespace platform {
namespace {

class PosixSharedLibrary final : public SharedLibrary {
public:
    explicit PosixSharedLibrary(void* handle) : handle_(handle) {}
    ~PosixSharedLibrary() override { dlclose(handle_); }

    void* symbol(const char* name) override { return dlsym(handle_, name); }

private:
    void* handle_;
};

}  // namespace

std::unique_ptr<SharedLibrary> SharedLibrary::open(const std::string& path, std::string& error) {
    // RTLD_LOCAL: a plug-in's symbols must not satisfy another library's
    // references, as in a real host.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = dlerror();
        error = reason != nullptr ? reason : "cannot load " + path;
        return nullptr;
    }
    error.clear();
    return std::make_unique<PosixSharedLibrary>(handle);
}

void keepThisLibraryLoaded() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&keepThisLibraryLoaded), &info) == 0 || !info.dli_fname)
        return;
    // One more reference that is never given back, on a library that may
    // not be unmapped even then.
    dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

}  // namespace platform
