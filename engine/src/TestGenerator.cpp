#include "engine/TestGenerator.h"

#include <algorithm>
#include <cmath>

namespace QX4Controller {
namespace {

constexpr std::uint32_t kNoteScramble = 49979693u;

// Truncation of a stored value that may come from anywhere (a restored
// state): out-of-range values must not become undefined conversions.
std::int64_t truncated(float value) {
    if (!std::isfinite(value))
        return 0;
    return static_cast<std::int64_t>(std::fmax(std::fmin(value, 4.0e9f), -4.0e9f));
}

}  // namespace

TestSysexReference::TestSysexReference() : bytes_(new std::uint8_t[kSize]) {
    bytes_[0] = 0xF0;
    bytes_[1] = 0x03;
    std::uint32_t x = 0;
    for (std::size_t i = 0; i < kSize - 3; ++i) {
        x = x * 49979693u + 15485867u;
        bytes_[2 + i] = static_cast<std::uint8_t>(x & 0x7F);
    }
    bytes_[kSize - 1] = 0xF7;
}

TestGenerator::TestGenerator(SerialEncoder& encoder, HistoryWriter& history,
                             TestSysexReference& reference, const std::atomic<float>* messageByte3)
    : encoder_(encoder), history_(history), reference_(reference), messageByte3_(messageByte3) {}

void TestGenerator::refresh(const TestParameters& p) {
    on_ = p.enable != 0.0f;
    if (on_) {
        if (!previousOn_) {
            MidiHistory& h = history_.history();
            h.expectedTestIndex =
                (h.rings[kHistorySentTest].writeIndex.load(std::memory_order_relaxed) + 1) %
                kHistoryRingSize;
            h.testFailureCount.store(0, std::memory_order_relaxed);
            if (meter_)
                meter_->restart();
        }
        const float samples = p.intervalMs * 0.001f * p.sampleRate;
        interval_ = static_cast<std::uint32_t>(std::max<std::int64_t>(truncated(samples), 0));
        if (countdown_ > interval_)
            countdown_ = interval_;
        if (meter_)
            meter_->setTiming(interval_ + 1, p.sampleRate);
        type_ = static_cast<int>(truncated(p.type));
        if (type_ == kTestMessage) {
            messageBytes_[0] = static_cast<std::uint8_t>(truncated(p.messageByte1) & 0xFF);
            messageBytes_[1] = static_cast<std::uint8_t>(truncated(p.messageByte2) & 0xFF);
            messageBytes_[2] = static_cast<std::uint8_t>(truncated(p.messageByte3) & 0xFF);
        }
    }
    previousOn_ = on_;
}

void TestGenerator::beforeSample() {
    if (!on_)
        return;
    if (countdown_ != 0) {
        --countdown_;
        return;
    }
    countdown_ = interval_;
    emit(counter_);
    ++counter_;
}

void TestGenerator::tellMeter(std::uint64_t firstByte, bool queued, std::uint32_t length,
                              std::uint8_t b0, std::uint8_t b1, std::uint8_t b2) {
    if (meter_)
        meter_->sent(firstByte, queued, length, b0, b1, b2, encoder_.samplePosition());
}

void TestGenerator::sendLogged1(std::uint8_t b0) {
    const std::uint64_t first = encoder_.nextByte();
    tellMeter(first, encoder_.sendMidi1(b0), 1, b0, 0, 0);
    // Logged even when the encoder had no room: the echo check then counts
    // the missing message as a failure.
    history_.add(kHistorySentTest, 1, b0, 0, 0);
}

void TestGenerator::sendLogged3(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2) {
    const std::uint64_t first = encoder_.nextByte();
    tellMeter(first, encoder_.sendMidi3(b0, b1, b2), 3, b0, b1, b2);
    history_.add(kHistorySentTest, 3, b0, b1, b2);
}

void TestGenerator::emit(std::uint32_t c) {
    switch (type_) {
        case kTestNotesRandom:
        case kTestNotesExhaustive: {
            std::uint32_t v = c >> 1;
            if (type_ == kTestNotesRandom)
                v *= kNoteScramble;
            const std::uint8_t status =
                static_cast<std::uint8_t>(((c & 1) == 0 ? 0x90 : 0x80) | ((v >> 14) & 0x0F));
            sendLogged3(status, static_cast<std::uint8_t>((v >> 7) & 0x7F),
                        static_cast<std::uint8_t>(v & 0x7F));
            break;
        }
        case kTestClocks:
        case kTestClocksAndSpp: {
            const std::uint32_t n = c & 15;
            const std::uint32_t h = c >> 4;
            if (n == 0) {
                sendLogged1(0xFA);
            } else if (n == 7 || n == 15) {
                sendLogged1(0xFC);
            } else if (n == 8) {
                if (type_ == kTestClocksAndSpp)
                    sendLogged3(0xF2, static_cast<std::uint8_t>(h & 0x7F),
                                static_cast<std::uint8_t>((h >> 7) & 0x7F));
                sendLogged1(0xFB);
            } else {
                sendLogged1(0xF8);
            }
            break;
        }
        case kTestMessage:
            sendLogged3(messageBytes_[0], messageBytes_[1], messageBytes_[2]);
            break;
        case kTestSysex: {
            if (encoder_.queuedBytes() != 0)
                break;
            const float byte3 =
                messageByte3_ ? messageByte3_->load(std::memory_order_relaxed) : 0.0f;
            const std::uint32_t n = static_cast<std::uint32_t>(truncated(byte3)) & 63;
            const std::size_t length = n * 1024 + 3;
            std::uint8_t* bytes = reference_.data();
            bytes[1] = static_cast<std::uint8_t>(n + 1);
            const std::uint8_t saved = bytes[length - 1];
            bytes[length - 1] = 0xF7;
            const std::uint64_t first = encoder_.nextByte();
            tellMeter(first, encoder_.sendRawBytes(bytes, length),
                      static_cast<std::uint32_t>(length), 0xF0, static_cast<std::uint8_t>(n + 1),
                      bytes[2]);
            history_.add(kHistorySentTest, static_cast<std::uint32_t>(length), 0xF0,
                         static_cast<std::uint8_t>(n + 1), bytes[2], bytes);
            bytes[length - 1] = saved;
            break;
        }
        default:
            break;
    }
}

}  // namespace QX4Controller
