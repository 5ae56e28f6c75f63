#pragma once
// Counts the C++ heap allocations one thread makes while a counter is
// alive. A test binary that includes AllocationCounter.cpp replaces the
// global allocation functions; give it a binary of its own.

#include <thread>

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

}  // namespace testsupport
