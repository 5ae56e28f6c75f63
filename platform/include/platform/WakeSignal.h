#pragma once
// Wakes one waiting thread from any thread, the audio thread included:
// signal() neither locks nor allocates (SetEvent on an auto-reset event on
// Windows, sem_post on Linux). Signals given while nobody waits are kept
// (at least one), so a wake-up is never lost.

#include <memory>

namespace platform {

class WakeSignal {
public:
    WakeSignal();
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    // [any-thread, audio-safe]
    void signal();
    // Waits until signalled or `milliseconds` have passed; true when
    // signalled. [one waiting thread]
    bool waitFor(int milliseconds);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform
