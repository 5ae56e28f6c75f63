#include "engine/RoundTripMeter.h"

#include <algorithm>
#include <cmath>

namespace QX4Controller {
namespace {

// One byte on the MIDI line: ten bits at 31250 bits a second.
constexpr double kByteSeconds = 10.0 / 31250.0;
constexpr double kLateFloorSeconds = 0.1;
constexpr std::uint64_t kLostFactor = 4;

}  // namespace

RoundTripMeter::RoundTripMeter(RoundTripSummary& summary)
    : summary_(summary), awaited_{}, kept_{}, sorted_{} {}

void RoundTripMeter::restart() {
    head_ = count_ = unstarted_ = 0;
    keptCount_ = keptNext_ = 0;
    measured_ = late_ = lost_ = 0;
    changed_ = true;
}

void RoundTripMeter::setTiming(std::uint32_t spacing, float sampleRate) {
    spacing_ = spacing;
    if (std::isfinite(sampleRate) && sampleRate > 0.0f)
        sampleRate_ = sampleRate;
}

void RoundTripMeter::sent(std::uint64_t firstByte, bool queued, std::uint32_t length,
                          std::uint8_t byte0, std::uint8_t byte1, std::uint8_t byte2,
                          std::uint64_t now) {
    if (!queued) {
        ++lost_;
        changed_ = true;
        return;
    }
    if (count_ == kAwaited)
        drop(1, true);
    const double rate = static_cast<double>(sampleRate_);
    const double limit = std::max(2.0 * spacing_, kLateFloorSeconds * rate) +
                         static_cast<double>(length) * kByteSeconds * rate;
    awaited(count_) = Awaited{
        firstByte, now, 0, static_cast<std::uint64_t>(limit), length, {byte0, byte1, byte2}, false};
    ++count_;
}

void RoundTripMeter::startBit(std::uint64_t byte, std::uint64_t sample) {
    while (unstarted_ < count_) {
        Awaited& a = awaited(unstarted_);
        if (a.firstByte > byte)
            return;
        // A first byte numbered below this one started unseen (it cannot,
        // as the generator reports a message before its first sample): this
        // sample is the closest bound there is.
        a.started = true;
        a.startedAt = sample;
        ++unstarted_;
        if (a.firstByte == byte)
            return;
    }
}

void RoundTripMeter::received(std::uint32_t length, std::uint8_t byte0, std::uint8_t byte1,
                              std::uint8_t byte2, std::uint64_t now) {
    // Only messages whose start bit is out can have come back.
    for (std::uint32_t j = 0; j < unstarted_; ++j) {
        const Awaited& a = awaited(j);
        const bool match = length == a.length && (length < 1 || byte0 == a.bytes[0]) &&
                           (length < 2 || byte1 == a.bytes[1]) &&
                           (length < 3 || byte2 == a.bytes[2]);
        if (!match)
            continue;
        const std::uint64_t roundTrip = now > a.startedAt ? now - a.startedAt : 0;
        if (roundTrip > a.lateLimit)
            ++late_;
        keep(roundTrip);
        // Those sent before it can no longer come: the line keeps order.
        drop(j, true);
        drop(1, false);
        return;
    }
}

void RoundTripMeter::endBlock(std::uint64_t now) {
    while (count_ > 0) {
        const Awaited& a = awaited(0);
        if (now - std::min(now, a.queuedAt) <= kLostFactor * a.lateLimit)
            break;
        drop(1, true);
    }
    if (changed_)
        publish();
}

void RoundTripMeter::drop(std::uint32_t n, bool lost) {
    if (n == 0)
        return;
    head_ = (head_ + n) % kAwaited;
    count_ -= n;
    unstarted_ = unstarted_ > n ? unstarted_ - n : 0;
    if (lost)
        lost_ += n;
    changed_ = true;
}

void RoundTripMeter::keep(std::uint64_t roundTrip) {
    kept_[keptNext_] = static_cast<std::uint32_t>(std::min<std::uint64_t>(roundTrip, UINT32_MAX));
    keptNext_ = (keptNext_ + 1) % kKept;
    keptCount_ = std::min(keptCount_ + 1, kKept);
    ++measured_;
    changed_ = true;
}

void RoundTripMeter::publish() {
    RoundTripFigures f;
    f.kept = keptCount_;
    f.measured = measured_;
    f.late = late_;
    f.lost = lost_;
    if (keptCount_ > 0) {
        std::copy(kept_, kept_ + keptCount_, sorted_);
        std::sort(sorted_, sorted_ + keptCount_);
        const double ms = 1000.0 / static_cast<double>(sampleRate_);
        const std::uint32_t half = keptCount_ / 2;
        const double median = keptCount_ % 2 ? sorted_[half]
                                             : 0.5 * (static_cast<double>(sorted_[half - 1]) +
                                                      static_cast<double>(sorted_[half]));
        f.minimumMs = static_cast<float>(sorted_[0] * ms);
        f.medianMs = static_cast<float>(median * ms);
        f.maximumMs = static_cast<float>(sorted_[keptCount_ - 1] * ms);
    }
    summary_.publish(f);
    changed_ = false;
}

}  // namespace QX4Controller
