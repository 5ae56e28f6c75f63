#include "platform/BuiltinResources.h"

#include <atomic>

namespace platform {
namespace {

// Set once by the load-time entry, before any other code of the module runs;
// read later from any thread.
std::atomic<void*> recordedModule{nullptr};

}  // namespace

void setModuleHandle(void* handle) {
    recordedModule.store(handle, std::memory_order_release);
}

void* moduleHandle() {
    return recordedModule.load(std::memory_order_acquire);
}

}  // namespace platform
