#pragma once
// Test mode: while Test Enable is on, a test message of the chosen kind every
// Test Interval, each logged as "Sent (Test)" so that what comes back on the
// test input can be compared with it.
//
// [audio-thread] The reference system-exclusive buffer is built once, at
// construction; nothing else allocates.

#include <atomic>
#include <cstdint>
#include <memory>

#include "engine/HistoryWriter.h"
#include "engine/RoundTripMeter.h"
#include "engine/SerialEncoder.h"

namespace QX4Controller {

enum TestType : int {
    kTestNotesRandom = 0,
    kTestNotesExhaustive = 1,
    kTestClocks = 2,
    kTestClocksAndSpp = 3,
    kTestMessage = 4,
    kTestSysex = 5,
};

// F0 03, 65536 pseudo-random data bytes, F7.
class TestSysexReference {
public:
    static constexpr std::size_t kSize = 65539;
    TestSysexReference();
    std::uint8_t* data() { return bytes_.get(); }
    const std::uint8_t* data() const { return bytes_.get(); }

private:
    std::unique_ptr<std::uint8_t[]> bytes_;
};

struct TestParameters {
    float sampleRate = 44100.0f;
    float enable = 0.0f;
    float intervalMs = 125.0f;
    float type = 0.0f;
    float messageByte1 = 144.0f, messageByte2 = 64.0f, messageByte3 = 64.0f;
};

class TestGenerator : public SampleHook {
public:
    // `messageByte3` is read when a sysex test message is built (the length
    // of the message follows the parameter at that moment).
    TestGenerator(SerialEncoder& encoder, HistoryWriter& history, TestSysexReference& reference,
                  const std::atomic<float>* messageByte3);

    // Before every encoder run. On a rising edge of Test Enable the failure
    // count is cleared and the expected echo re-aimed at the next test entry.
    void refresh(const TestParameters& parameters);
    bool on() const { return on_; }
    // Told of every test message sent, to time its echo; null for none.
    // Restarted on a rising edge of Test Enable, like the failure count.
    void setRoundTripMeter(RoundTripMeter* meter) { meter_ = meter; }

    // Every sample while on: counts down, then emits the next message.
    void beforeSample() override;

    std::uint32_t counter() const { return counter_; }
    std::uint32_t countdown() const { return countdown_; }
    std::uint32_t interval() const { return interval_; }

private:
    void emit(std::uint32_t c);
    void sendLogged1(std::uint8_t b0);
    void sendLogged3(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2);
    void tellMeter(std::uint64_t firstByte, bool queued, std::uint32_t length, std::uint8_t b0,
                   std::uint8_t b1, std::uint8_t b2);

    SerialEncoder& encoder_;
    HistoryWriter& history_;
    TestSysexReference& reference_;
    const std::atomic<float>* messageByte3_;
    RoundTripMeter* meter_ = nullptr;

    bool on_ = false;
    bool previousOn_ = false;
    std::uint32_t interval_ = 0;
    int type_ = 0;
    std::uint8_t messageBytes_[3] = {0, 0, 0};
    std::uint32_t countdown_ = 0;
    std::uint32_t counter_ = 0;
};

}  // namespace QX4Controller
