#pragma once
// Turns MIDI bytes into audio samples that reproduce the serial MIDI line:
// per byte one start bit, eight data bits least significant first and one
// stop bit, each bit a whole number of samples from a fixed schedule per
// sample rate. A 0 bit (and the start bit) is "active" and carries the
// output level; idle is 0.0.
//
// [audio-thread] Everything here runs in the host's processing call; the
// 512 KiB byte ring is allocated once with the plug-in and nothing else is.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/HistoryWriter.h"

namespace QX4Controller {

// 44100 -> 1, 48000 -> 2, 88200 -> 3, 96000 -> 4, 176400 -> 5, 192000 -> 6,
// any other rate (compared exactly) -> 0, which produces no bits at all.
int sampleRateCode(float sampleRate);

// The bit a sample belongs to: 0 start, 1..8 data bits 0..7, 9 stop, 10 or
// more once the byte is complete; -1 for every phase at code 0. `phase` is
// the 1-based sample number within the byte.
int bitIndexForPhase(int code, int phase);

// The refreshed encoder parameters (native values of the current program).
struct EncoderParameters {
    float sampleRate = 44100.0f;
    float outputLevel = 1.0f;
    float space = 0.0f;
    float balance = 1.0f;
    float softly = 0.0f;  // 0 Automatic, 1 On, 2 Off
    float softness = 0.77097505f;
};

// Called before each sample's bit is chosen; may queue messages (the test
// generator). Only consulted when given.
class SampleHook {
public:
    virtual ~SampleHook() = default;
    virtual void beforeSample() = 0;
};

// Told the sample on which each byte's start bit is written, so that the
// loop-back test can time a message from its first bit. Bytes are numbered
// in the order they were queued, from 0 for the encoder's first.
class StartBitObserver {
public:
    virtual ~StartBitObserver() = default;
    // [audio-thread]
    virtual void startBit(std::uint64_t byte, std::uint64_t sample) = 0;
};

class SerialEncoder {
public:
    static constexpr int kQueueSize = 524288;  // a power of two

    explicit SerialEncoder(HistoryWriter& history);
    ~SerialEncoder();
    SerialEncoder(const SerialEncoder&) = delete;
    SerialEncoder& operator=(const SerialEncoder&) = delete;

    // Before every stretch: re-reads the parameters; the Softly filter is
    // redesigned only when its cutoff changed.
    void update(const EncoderParameters& parameters);

    // Queue a whole message or nothing; a queued one is logged as "Sent
    // (Plug-In Output)". Returns whether it was queued.
    bool sendMidi1(std::uint8_t b0);
    bool sendMidi2(std::uint8_t b0, std::uint8_t b1);
    bool sendMidi3(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2);
    // Queue `length` bytes or nothing; not logged.
    bool sendRawBytes(const std::uint8_t* bytes, std::size_t length);
    // Queue F0 and then `length` bytes, or nothing; not logged.
    bool sendSysex(const std::uint8_t* bytes, std::size_t length);
    // The same for a dump that lies in two pieces: F0, `firstLength` bytes
    // and then `secondLength` more.
    bool sendSysex(const std::uint8_t* first, std::size_t firstLength, const std::uint8_t* second,
                   std::size_t secondLength);

    // Writes exactly `frames` samples.
    void renderSamples(float* output, int frames, SampleHook* hook = nullptr);

    // Null for none. [audio-thread, or before processing starts]
    void setStartBitObserver(StartBitObserver* observer) { observer_ = observer; }
    // Samples written since construction: the index of the next one.
    std::uint64_t samplePosition() const { return position_; }
    // The number the next byte queued will have.
    std::uint64_t nextByte() const { return bytesQueued_; }

    // ---- State, for tests and the editor ---------------------------------------
    int queuedBytes() const { return count_; }
    int phase() const { return phase_; }
    float activityLevel() const { return activityLevel_; }
    bool softlyOn() const { return softlyOn_; }
    int rateCode() const { return rateCode_; }

private:
    bool fits(std::size_t length) const;
    void push(std::uint8_t byte);
    // One sample of the line before filtering.
    float nextLineSample(int i);
    // The byte at head starts on sample i of the stretch.
    void startingByte(int i) {
        if (observer_)
            observer_->startBit(bytesQueued_ - static_cast<std::uint64_t>(count_), position_ + i);
    }
    void completeByte();
    // The line without the test hook, whole bytes at a time where it can.
    void renderLine(float* output, int frames);
    void filterInPlace(float* samples, int frames);
    // The samples of one whole byte at the current rate and level, up to
    // and including its completing sample.
    const float* bytePattern(std::uint8_t byte);

    struct PatternCache {
        int rateCode = -1;
        float level = 0.0f;
        float samples[64] = {};
    };
    void designFilter(float cutoff);

    HistoryWriter& history_;
    std::unique_ptr<std::uint8_t[]> ring_;
    std::unique_ptr<PatternCache[]> patterns_;
    std::int32_t count_ = 0;
    std::int32_t head_ = 0;
    std::int32_t phase_ = 0;

    // Refreshed parameters.
    int rateCode_ = 1;
    const std::int8_t* bitTable_ = nullptr;
    const std::uint8_t* byteSamples_ = nullptr;
    int bitTableLength_ = 0;
    float level_ = 1.0f;
    int space_ = 0;
    float balanceCoefficient_ = 1.0f;
    float coefficientBalance_ = 1.0f;  // what balanceCoefficient_ was made for
    float coefficientRate_ = 0.0f;
    bool softlyOn_ = true;

    // Kept between calls.
    StartBitObserver* observer_ = nullptr;
    std::uint64_t position_ = 0;     // of the stretch being rendered
    std::uint64_t bytesQueued_ = 0;  // ever
    float activityLevel_ = 0.0f;
    std::int32_t spaceCountdown_ = 0;
    bool filterDesigned_ = false;
    float filterCutoff_ = 0.0f;
    float b0_ = 0.0f, b1_ = 0.0f, a1_ = 0.0f;
    float xPrevious_ = 0.0f, yPrevious_ = 0.0f;
};

}  // namespace QX4Controller
