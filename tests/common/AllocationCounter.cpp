#include "AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> gCounting{false};
std::atomic<long> gAllocations{0};
std::thread::id gCountedThread;

void* countedAllocate(std::size_t size) {
    if (gCounting.load(std::memory_order_relaxed) && std::this_thread::get_id() == gCountedThread)
        gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) {
    return countedAllocate(size);
}
void* operator new[](std::size_t size) {
    return countedAllocate(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace testsupport {

AllocationCounter::AllocationCounter() {
    gCountedThread = std::this_thread::get_id();
    gAllocations = 0;
    gCounting = true;
}

AllocationCounter::~AllocationCounter() {
    gCounting = false;
}

long AllocationCounter::count() const {
    return gAllocations.load();
}

}  // namespace testsupport
