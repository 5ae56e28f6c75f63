#pragma once
// How long the loop-back test's messages take to come back: from the sample
// on which a test message's start bit is written to the block in whose
// processing call it is taken off the test input. Both ends are counted in
// the host's samples, so the figure is what the plug-in sees of the round
// trip: the audio output's latency, the cable and the MIDI input's driver.
//
// Resolution: what arrives on the test input is taken once per block, at
// the block's start, so a round trip is measured to the block boundary
// after the message arrived: up to one block long. The message's own time
// on the line (320 us a byte) is part of the figure.
//
// Pairing: the line keeps the order of messages, so an echo is paired with
// the oldest awaited test message of the same bytes; every awaited message
// sent before that one can no longer come back.
//
// What counts:
// - kept: the last kKept round trips; minimum, median and maximum are over
//   them.
// - late: a message that came back, but later than the late limit: twice
//   the test's message spacing, at least 100 ms, plus the message's own time
//   on the line. Twice the spacing, because by then the next message is out
//   and due back too, so the echo can no longer be told from it by time;
//   100 ms, so that short intervals do not call a host's usual block sizes
//   and audio latency late (a 4096-sample block at 44.1 kHz is 93 ms); the
//   line time, so that a long system-exclusive message is not late merely
//   for being long. Late round trips are kept like the others.
// - lost: a message that never came back: a later message's echo came
//   first (a damaged echo matches nothing, so the message it carried ends
//   up here too), nothing came back within four times its late limit from
//   when it was queued, the encoder had no room for it, or more than
//   kAwaited messages were awaited at once (the oldest is given up).
// Unpaired echoes (extra messages, damaged ones) are left to the failure
// count of the history's check.
//
// [audio-thread] Fixed arrays sized at compile time; nothing allocates,
// locks or calls the system. The figures reach other threads only through
// the RoundTripSummary written by endBlock.

#include <cstdint>

#include "engine/SerialEncoder.h"
#include "plugin/RoundTrip.h"

namespace QX4Controller {

class RoundTripMeter : public StartBitObserver {
public:
    static constexpr std::uint32_t kKept = RoundTripSummary::kKept;
    static constexpr std::uint32_t kAwaited = 256;

    explicit RoundTripMeter(RoundTripSummary& summary);

    // A test is enabled: forget every figure and every awaited message (an
    // echo of an earlier run then matches nothing).
    void restart();
    // The test's message spacing in samples and the sample rate, for the
    // limits of messages sent from now on and for milliseconds.
    void setTiming(std::uint32_t spacing, float sampleRate);

    // A test message whose first byte has the encoder's number `firstByte`
    // was queued (`queued` false: the encoder had no room) at sample `now`.
    void sent(std::uint64_t firstByte, bool queued, std::uint32_t length, std::uint8_t byte0,
              std::uint8_t byte1, std::uint8_t byte2, std::uint64_t now);
    void startBit(std::uint64_t byte, std::uint64_t sample) override;
    // A message was taken off the test input at sample `now`.
    void received(std::uint32_t length, std::uint8_t byte0, std::uint8_t byte1, std::uint8_t byte2,
                  std::uint64_t now);
    // After each block: gives up on messages past their lost limit and
    // publishes the figures when they changed.
    void endBlock(std::uint64_t now);

    // Messages still awaited.
    std::uint32_t awaitedCount() const { return count_; }

private:
    struct Awaited {
        std::uint64_t firstByte;
        std::uint64_t queuedAt;
        std::uint64_t startedAt;
        std::uint64_t lateLimit;  // samples from the start bit
        std::uint32_t length;
        std::uint8_t bytes[3];
        bool started;
    };
    Awaited& awaited(std::uint32_t i) { return awaited_[(head_ + i) % kAwaited]; }
    void drop(std::uint32_t n, bool lost);
    void keep(std::uint64_t roundTrip);
    void publish();

    RoundTripSummary& summary_;
    std::uint32_t spacing_ = 0;
    float sampleRate_ = 44100.0f;

    Awaited awaited_[kAwaited];
    std::uint32_t head_ = 0, count_ = 0;
    std::uint32_t unstarted_ = 0;  // awaited messages from here on wait for their start bit

    std::uint32_t kept_[kKept];
    std::uint32_t keptCount_ = 0, keptNext_ = 0;
    std::uint32_t sorted_[kKept];
    std::uint32_t measured_ = 0;
    std::uint32_t late_ = 0, lost_ = 0;
    bool changed_ = true;
};

}  // namespace QX4Controller
