#include "TimerService.h"

#include <utility>

#include "platform/NumericLocale.h"
#include "platform/ThreadName.h"

namespace QX {

TimerService::TimerService(Expiry onExpiry) : onExpiry_(std::move(onExpiry)) {}

TimerService::~TimerService() {
    stop();
}

bool TimerService::start(std::uint64_t id, std::chrono::milliseconds delay,
                         bool periodic) noexcept {
    try {
        std::lock_guard<std::mutex> guard(lock_);
        if (stopping_)
            return false;
        if (!thread_.joinable())
            thread_ = std::thread([this] { run(); });
        records_[id] = Record{Clock::now() + delay, delay, periodic};
        wake_.notify_one();
        return true;
    } catch (...) {
        return false;
    }
}

bool TimerService::cancel(std::uint64_t id) noexcept {
    std::lock_guard<std::mutex> guard(lock_);
    // Erasing wakes nobody: a thread waiting for this record's due time finds
    // it gone when it wakes and simply waits again.
    return records_.erase(id) != 0;
}

void TimerService::stop() noexcept {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
        records_.clear();
        wake_.notify_one();
    }
    if (thread_.joinable())
        thread_.join();
}

std::size_t TimerService::pending() const {
    std::lock_guard<std::mutex> guard(lock_);
    return records_.size();
}

void TimerService::run() {
    platform::nameThisThread("tavro timers");
    platform::useCNumbersOnThisThread();
    std::unique_lock<std::mutex> guard(lock_);
    while (!stopping_) {
        auto next = records_.end();
        for (auto it = records_.begin(); it != records_.end(); ++it)
            if (next == records_.end() || it->second.due < next->second.due)
                next = it;
        // Nothing scheduled, or only periodic timers of period 0 that have
        // had their one expiry.
        if (next == records_.end() || next->second.due == Clock::time_point::max()) {
            wake_.wait(guard);
            continue;
        }
        const Clock::time_point now = Clock::now();
        if (next->second.due > now) {
            // A copy: the record may be cancelled while we wait.
            const Clock::time_point due = next->second.due;
            wake_.wait_until(guard, due);
            continue;
        }

        const std::uint64_t id = next->first;
        Record& record = next->second;
        const bool oneShot = !record.periodic;
        if (oneShot) {
            records_.erase(next);
        } else if (record.period.count() <= 0) {
            record.due = Clock::time_point::max();
        } else {
            // A callback that ran longer than the period (or a thread that
            // was not scheduled) must not cause a burst of catch-up calls.
            record.due += record.period;
            if (record.due <= now)
                record.due = now + record.period;
        }
        guard.unlock();
        onExpiry_(id, oneShot);
        guard.lock();
    }
}

}  // namespace QX
