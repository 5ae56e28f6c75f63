#pragma once
// One-shot and periodic timers on the steady clock, served by one thread that
// starts with the first timer. Each Lua MIDI helper owns one service, so that
// destroying a helper has exactly one thread to stop and wait for, and an
// instance whose scripts use no timers costs no thread at all.
//
// Expiry: under the service's lock the record is looked up and, for a
// one-shot timer, removed; the lock is released before `onExpiry` runs, so
// the callback may take other locks (the Lua lock) and may start or cancel
// timers, its own included.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace QX {

class TimerService {
public:
    using Clock = std::chrono::steady_clock;
    // Called on the service thread with the timer's id; `oneShot` says that
    // the record is already gone, so this is the timer's last call.
    using Expiry = std::function<void(std::uint64_t id, bool oneShot)>;

    explicit TimerService(Expiry onExpiry);
    ~TimerService();
    TimerService(const TimerService&) = delete;
    TimerService& operator=(const TimerService&) = delete;

    // [any-thread] Schedules timer `id` (unique, chosen by the caller) to
    // expire after `delay`; a periodic timer then every `delay` again. A
    // periodic timer with a delay of 0 expires once and stays registered
    // until cancelled, as the system timers of the first platform did.
    // False when the service is stopped, the thread cannot start or memory
    // runs out. Never throws.
    bool start(std::uint64_t id, std::chrono::milliseconds delay, bool periodic) noexcept;
    // [any-thread] Removes the timer; false when there is no such record
    // (never started, cancelled, or a one-shot timer that has expired). An
    // expiry already handed to `onExpiry` is not recalled.
    bool cancel(std::uint64_t id) noexcept;
    // [any-thread except the service thread] Cancels every timer, waits for a
    // running expiry to return and ends the thread. Later starts fail.
    void stop() noexcept;

    std::size_t pending() const;

private:
    struct Record {
        Clock::time_point due;
        std::chrono::milliseconds period;
        bool periodic;
    };

    void run();

    Expiry onExpiry_;
    mutable std::mutex lock_;
    std::condition_variable wake_;
    std::map<std::uint64_t, Record> records_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace QX
