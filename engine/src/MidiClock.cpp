#include "engine/MidiClock.h"

#include <algorithm>
#include <cmath>

namespace QX4Controller {

double forwardSwing(double x, double period, double amount) {
    const double r = std::fmod(x, period);
    const double f = r / period;
    const double base = x - r;
    const double swung = f < 0.5 ? 2.0 * amount * f : 1.0 - 2.0 * (1.0 - amount) * (1.0 - f);
    return base + swung * period;
}

double inverseSwing(double x, double period, double amount) {
    const double r = std::fmod(x, period);
    const double f = r / period;
    const double base = x - r;
    const double straight =
        f < amount ? (0.5 / amount) * f : 1.0 - (0.5 / (1.0 - amount)) * (1.0 - f);
    return base + straight * period;
}

void MidiClock::updateParameters(const ClockParameters& p) {
    clockOn_ = p.clock != 0.0f;
    if (clockOn_) {
        useSpp_ = p.useSpp != 0.0f;
        sendSppZero_ = p.sendSppZero != 0.0f;
    }
    clockOffset_ =
        std::isfinite(p.clockOffsetMs) ? static_cast<double>(p.clockOffsetMs) * 0.001 : 0.0;
    swingOn_ = std::fabs(p.swing - 50.0f) > 0.1f;
    if (swingOn_) {
        swingAmount_ = std::min(std::max(p.swing * 0.01f, 0.05f), 0.95f);
        swingPeriod_ = p.swingType == 0.0f ? 12.0 : 24.0;
    }
}

void MidiClock::beginBlock(const HostTime& time) {
    const bool wasPlaying = transportPlaying_;
    const double previousPpq = ppqPosition_;
    tempo_ = 0.0;
    ppqPosition_ = 0.0;
    transportPlaying_ = true;
    double numerator = 0.0, denominator = 0.0;
    double barStart = -1.0;
    bool cycleActive = false;
    double cycleStart = 0.0, cycleEnd = 0.0;
    if (time.answered) {
        if (time.tempoValid)
            tempo_ = time.tempo;
        if (time.ppqValid)
            ppqPosition_ = time.ppqPosition;
        if (time.timeSigValid) {
            numerator = time.timeSigNumerator;
            denominator = time.timeSigDenominator;
        }
        if (time.barsValid)
            barStart = time.barStartPosition;
        if (time.cycleValid) {
            cycleStart = time.cycleStart;
            cycleEnd = time.cycleEnd;
            cycleActive = time.cycleActive;
        }
        transportPlaying_ = time.playing;
    }
    // A host can hand us anything; nothing below may turn it into a
    // runaway clock or undefined arithmetic.
    if (!std::isfinite(tempo_) || tempo_ < 0.0)
        tempo_ = 0.0;
    if (!std::isfinite(ppqPosition_))
        ppqPosition_ = 0.0;

    if (!wasPlaying && transportPlaying_) {
        startPending_ = true;
        lastSentClock_ = 0u;
        startClock_ = 0;
        sppValue_ = 0;
        clockAtBlockStart_ = false;
        const double position = clockOffset_ * tempo_ / 60.0 + ppqPosition_;
        if (tempo_ != 0.0) {
            if (numerator == 0.0 || denominator == 0.0)
                numerator = denominator = 4.0;
            const double barLength = numerator * 4.0 / denominator;
            if (barStart == -1.0 && barLength > 0.0)
                barStart = std::floor(position / barLength) * barLength;
            if (barStart < position)
                barStart += barLength;
            if (clockOn_ && std::isfinite(barStart)) {
                startClock_ = static_cast<std::int32_t>(std::clamp(barStart * 24.0, -1e9, 1e9));
                lastSentClock_ = static_cast<std::uint32_t>(startClock_) - 1u;
                if (useSpp_)
                    sppValue_ = startClock_ / 6;
            }
        }
    } else {
        if (transportPlaying_ && ppqPosition_ <= previousPpq && cycleActive && clockOn_) {
            const double loopClocks = (cycleEnd - cycleStart) * 24.0;
            if (std::isfinite(loopClocks)) {
                const auto shift = static_cast<std::int32_t>(std::clamp(loopClocks, -1e9, 1e9));
                lastSentClock_ -= static_cast<std::uint32_t>(shift);
                // A clock carried over from the end of the last block moves
                // back with the loop, or the jump would send it twice. Only
                // a pending one: it is set afresh at every block end.
                if (clockAtBlockStart_)
                    carriedClock_ -= shift;
            }
        }
        if (wasPlaying && !transportPlaying_) {
            startPending_ = false;
            stopPending_ = true;
        }
    }
}

std::int32_t MidiClock::clocksAfterLastSent(std::int64_t clock) const {
    // Unsigned subtraction wraps; the distance of two clocks less than 2^31
    // apart comes out exactly, whichever way round the counters wrapped.
    const std::uint32_t distance = static_cast<std::uint32_t>(clock) - lastSentClock_;
    return distance <= 0x7FFFFFFFu ? static_cast<std::int32_t>(distance)
                                   : -static_cast<std::int32_t>(~distance) - 1;
}

double MidiClock::clockTime(std::int64_t clock) const {
    const double x = static_cast<double>(clock);
    return swingOn_ ? forwardSwing(x, swingPeriod_, swingAmount_) : x;
}

std::uint32_t MidiClock::offsetOf(std::int64_t clock) const {
    const double offset = (clockTime(clock) - nowClocks_) * samplesPerClock_ + 0.5;
    // Taken as unsigned: a clock before the block start is never due in it.
    // Out-of-range values (absurd tempi) are no clock at all.
    if (!(offset > -2147483648.0 && offset < 4294967295.0))
        return kNoClock;
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(offset));
}

void MidiClock::prepareBlock(float sampleRate) {
    running_ = clockOn_ && tempo_ != 0.0 && transportPlaying_;
    due_ = kNoClock;
    if (running_) {
        nowClocks_ = clockOffset_ * tempo_ * 0.4 + ppqPosition_ * 24.0;
        const double straightNow =
            swingOn_ ? inverseSwing(nowClocks_, swingPeriod_, swingAmount_) : nowClocks_;
        samplesPerClock_ = static_cast<double>(sampleRate) * 2.5 / tempo_;
        if (std::isfinite(straightNow) && std::isfinite(samplesPerClock_)) {
            nextClock_ = static_cast<std::int64_t>(std::ceil(std::clamp(straightNow, -1e15, 1e15)));
            due_ = offsetOf(nextClock_);
        } else {
            running_ = false;  // no position to schedule from
        }
    }
    if (stopPending_) {
        if (clockOn_)
            encoder_.sendMidi1(0xFC);
        stopPending_ = false;
    }
    if (clockAtBlockStart_) {
        // The clock that was due exactly at the end of the last block. While
        // caught up this is lastSentClock + 1; while catching up it is
        // later, and taking lastSentClock + 1 would undo the catch-up
        // whenever the clocks fall on block boundaries.
        nextClock_ = carriedClock_;
        due_ = 0;
        clockAtBlockStart_ = false;
    }
}

void MidiClock::tick() {
    const std::int32_t k = clocksAfterLastSent(nextClock_);
    if (k >= 1) {
        if (startPending_) {
            if (sppValue_ == 0) {
                if (sendSppZero_)
                    encoder_.sendMidi3(0xF2, 0x00, 0x00);
                encoder_.sendMidi1(0xFA);
            } else {
                encoder_.sendMidi3(0xF2, static_cast<std::uint8_t>(sppValue_ & 0x7F),
                                   static_cast<std::uint8_t>((sppValue_ >> 7) & 0x7F));
                encoder_.sendMidi1(0xFB);
            }
            startPending_ = false;
        }
        if (k >= 2) {
            encoder_.sendMidi1(0xF8);
            encoder_.sendMidi1(0xF8);
            lastSentClock_ += 2u;
        } else {
            encoder_.sendMidi1(0xF8);
            lastSentClock_ += 1u;
        }
    }
    ++nextClock_;
    due_ = running_ ? offsetOf(nextClock_) : kNoClock;
}

void MidiClock::endBlock(std::uint32_t frames) {
    if (due_ == frames && nextClock_ >= startClock_) {
        clockAtBlockStart_ = true;
        carriedClock_ = nextClock_;
    }
}

}  // namespace QX4Controller
