#pragma once
// Counts what one thread does that the audio thread must not do.
//
// AllocationCounter: the C++ heap allocations (operator new) one thread
// makes while a counter is alive. A test binary that includes
// AllocationCounter.cpp replaces the global allocation functions; give it a
// binary of its own.
//
// ThreadActivity (Linux; link ThreadActivityHooks.c as well): heap
// allocations from any library (malloc and friends), locks taken (mutexes,
// read-write and spin locks, condition variables, semaphore waits), prints
// (standard I/O output, writes to descriptors 1 and 2), other common system
// calls (sockets, reads, writes, sleeps, polls, name lookups, syscall) and
// wake signals (sem_post), each counted only while the thread runs a
// function given to count(). The C library's functions are replaced for the
// whole process, so a plug-in library the test loads is counted too.

#include <thread>

#include "ThreadActivityHooks.h"

namespace testsupport {

class AllocationCounter {
public:
    // Counts allocations made on the constructing thread from now on.
    AllocationCounter();
    ~AllocationCounter();
    AllocationCounter(const AllocationCounter&) = delete;
    AllocationCounter& operator=(const AllocationCounter&) = delete;

    long count() const;
};

class ThreadActivity {
public:
    // False where the functions cannot be replaced: nothing is counted.
    static bool supported();

    ThreadActivity() = default;
    ThreadActivity(const ThreadActivity&) = delete;
    ThreadActivity& operator=(const ThreadActivity&) = delete;

    // Runs `work` on the calling thread, counting what it does.
    template <typename Work>
    void count(Work&& work) {
        tavro_activity_install(&record_);
        work();
        tavro_activity_install(nullptr);
    }

    long heapAllocations() const { return record_.heap_allocations; }
    long locks() const { return record_.locks; }
    long prints() const { return record_.prints; }
    long systemCalls() const { return record_.system_calls; }
    long wakeSignals() const { return record_.wake_signals; }
    // How many distinct objects were locked, and how often the one locked
    // most often.
    int lockSites() const { return record_.lock_sites; }
    long mostLocksOnOneSite() const;
    // Locks on objects other than the `allowed` most used ones.
    long locksBeyondTheBusiest(int allowed) const;
    void reset() { record_ = tavro_activity{}; }

private:
    tavro_activity record_{};
};

}  // namespace testsupport
