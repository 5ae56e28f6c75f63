#pragma once
// MIDI timing clock (24 per quarter note), Start, Stop, Continue and Song
// Position Pointer locked to the host's transport, with a time offset and
// swing. Every byte goes into the serial encoder at the sample it is due;
// the block scheduler splits the block at each due clock.
//
// [audio-thread] Plain state, no allocation.

#include <cstdint>

#include "engine/SerialEncoder.h"

namespace QX4Controller {

// What the host said about its transport for this block; each field only
// when the host marked it valid.
struct HostTime {
    bool answered = false;
    bool playing = false;
    bool tempoValid = false, ppqValid = false, barsValid = false, cycleValid = false,
         timeSigValid = false;
    double tempo = 0.0;
    double ppqPosition = 0.0;
    double barStartPosition = 0.0;
    double cycleStart = 0.0, cycleEnd = 0.0;
    bool cycleActive = false;
    int timeSigNumerator = 0, timeSigDenominator = 0;
};

struct ClockParameters {
    float clock = 0.0f;        // on when not 0
    float useSpp = 0.0f;       // refreshed only while the clock is on
    float sendSppZero = 0.0f;  // refreshed only while the clock is on
    float clockOffsetMs = 0.0f;
    float swing = 50.0f;     // percent
    float swingType = 0.0f;  // 0 "16", otherwise "8"
};

// Swing maps on clock positions: the first half of each period is stretched
// to the fraction `amount` of it, the second half compressed into the rest.
double forwardSwing(double clocks, double period, double amount);
double inverseSwing(double clocks, double period, double amount);

class MidiClock {
public:
    static constexpr std::uint32_t kNoClock = 0xFFFFFFFFu;

    explicit MidiClock(SerialEncoder& encoder) : encoder_(encoder) {}

    // Before every stretch.
    void updateParameters(const ClockParameters& parameters);
    // First thing in each block: transport start, loop jump or stop.
    void beginBlock(const HostTime& time);
    // Start of the block's rendering: schedules the first clock and sends a
    // pending Stop.
    void prepareBlock(float sampleRate);
    // The block-relative sample of the next clock; kNoClock when none is due.
    std::uint32_t dueOffset() const { return due_; }
    // At the due sample: Start/Continue/SPP when pending, then one clock (or
    // two while catching up); schedules the following clock.
    void tick();
    // After the block: a clock due exactly at the block's end goes out at
    // sample 0 of the next block.
    void endBlock(std::uint32_t frames);

    // ---- State, for tests ------------------------------------------------------------
    std::int32_t lastSentClock() const { return static_cast<std::int32_t>(lastSentClock_); }
    std::int32_t startClock() const { return startClock_; }
    std::int32_t sppValue() const { return sppValue_; }
    bool clockOn() const { return clockOn_; }

private:
    double clockTime(std::int64_t clock) const;
    // How many clocks `clock` lies after the last one sent (negative:
    // before), on the 32-bit circle.
    std::int32_t clocksAfterLastSent(std::int64_t clock) const;
    std::uint32_t offsetOf(std::int64_t clock) const;

    SerialEncoder& encoder_;

    // Transport, from beginBlock.
    double tempo_ = 0.0;
    double ppqPosition_ = 0.0;
    bool transportPlaying_ = false;

    // Parameters.
    bool clockOn_ = false;
    bool useSpp_ = false;
    bool sendSppZero_ = false;
    double clockOffset_ = 0.0;  // seconds; positive is earlier
    bool swingOn_ = false;
    float swingAmount_ = 0.5f;
    double swingPeriod_ = 12.0;

    // Clock state, kept across blocks. The last clock sent is kept modulo
    // 2^32 and only ever compared by its distance to the next clock: a host
    // that reports the same position block after block while "playing" with
    // its loop on moves it back by a loop length every block, for hours.
    std::uint32_t lastSentClock_ = 0;
    std::int32_t startClock_ = 0;
    std::int32_t sppValue_ = 0;
    bool startPending_ = false;
    bool stopPending_ = false;
    bool clockAtBlockStart_ = false;
    std::int64_t carriedClock_ = 0;

    // This block's schedule.
    bool running_ = false;  // the clock runs in this block
    double nowClocks_ = 0.0;
    double samplesPerClock_ = 0.0;
    std::int64_t nextClock_ = 0;
    std::uint32_t due_ = kNoClock;
};

}  // namespace QX4Controller
