#include "AllocationCounter.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <new>
#include <vector>

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

// Every form of new and delete is replaced, so that the library never pairs
// its own allocation with ours (the address sanitizer reports that pairing).
void* operator new(std::size_t size) {
    return countedAllocate(size);
}
void* operator new[](std::size_t size) {
    return countedAllocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return countedAllocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
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
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
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

bool ThreadActivity::supported() {
#if defined(__linux__)
    return true;
#else
    return false;
#endif
}

long ThreadActivity::mostLocksOnOneSite() const {
    long most = 0;
    for (int i = 0; i < record_.lock_sites; ++i)
        most = std::max(most, record_.lock_site_count[i]);
    return most;
}

long ThreadActivity::locksBeyondTheBusiest(int allowed) const {
    std::vector<long> counts(record_.lock_site_count, record_.lock_site_count + record_.lock_sites);
    std::sort(counts.begin(), counts.end(), std::greater<long>());
    long beyond = record_.locks;
    for (int i = 0; i < allowed && i < static_cast<int>(counts.size()); ++i)
        beyond -= counts[static_cast<std::size_t>(i)];
    return beyond;
}

}  // namespace testsupport

#if !defined(__linux__)
// Nothing replaces the system's functions here: nothing is counted.
extern "C" void tavro_activity_install(tavro_activity*) {}
extern "C" void tavro_activity_count_allocation() {}
#endif
