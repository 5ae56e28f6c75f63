#pragma once
// Loading a plug-in library by path, as a host does.

#include <memory>
#include <string>

namespace platform {

class SharedLibrary {
public:
    // Null on failure, with the system's reason in `error`.
    static std::unique_ptr<SharedLibrary> open(const std::string& path, std::string& error);
    virtual ~SharedLibrary() = default;
    // Null when the library has no such export.
    virtual void* symbol(const char* name) = 0;
};

// Keeps the library that holds this code (the plug-in) loaded until the
// process ends, whatever the host unloads: a thread left running in it must
// find its code. [any-thread except audio]
void keepThisLibraryLoaded();

}  // namespace platform
