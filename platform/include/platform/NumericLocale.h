#pragma once
// Numbers as text in the "C" conventions (a point before the fraction, no
// grouping) on the plug-in's threads and inside every call a host makes,
// whatever locale the host process set: hosts built on GTK or Qt call
// setlocale(LC_ALL, "") and a German or French desktop then gives printf a
// comma and strtod a stop at the point, Lua's own conversions included.
// The process's locale is never changed: only the calling thread's.

namespace platform {

// Switches the calling thread to the "C" conventions for the scope and
// back to what it used before. No allocation, lock or system call.
// [any-thread, audio-safe]
class ScopedCNumbers {
public:
    ScopedCNumbers();
    ~ScopedCNumbers();
    ScopedCNumbers(const ScopedCNumbers&) = delete;
    ScopedCNumbers& operator=(const ScopedCNumbers&) = delete;

private:
    void* previous_ = nullptr;
};

// For the first lines of a thread of ours: the "C" conventions for the
// thread's whole life. [a thread of ours]
void useCNumbersOnThisThread();

}  // namespace platform
