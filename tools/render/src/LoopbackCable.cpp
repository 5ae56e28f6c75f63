#include "render/LoopbackCable.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <utility>

namespace render {

namespace {

struct FaultName {
    CableFault::Kind kind;
    const char* name;
};

constexpr FaultName kFaultNames[] = {
    {CableFault::Kind::loseByte, "lose-byte"},
    {CableFault::Kind::flipBit, "flip-bit"},
    {CableFault::Kind::extraMessage, "extra-message"},
};

// The same chunk size as a driver's system-exclusive buffer.
constexpr std::size_t kPiece = 65536;

std::string hex(const std::vector<std::uint8_t>& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    const std::size_t shown = std::min<std::size_t>(bytes.size(), 3);
    for (std::size_t i = 0; i < shown; ++i) {
        if (i > 0)
            text += ' ';
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
    }
    if (bytes.size() > shown)
        text += " ... (" + std::to_string(bytes.size()) + " bytes)";
    return text.empty() ? "nothing" : text;
}

}  // namespace

CableFault parseCableFault(const std::string& text) {
    const auto at = text.find('@');
    const std::string name = text.substr(0, at);
    for (const FaultName& f : kFaultNames) {
        if (name != f.name)
            continue;
        const std::string index = at == std::string::npos ? "" : text.substr(at + 1);
        errno = 0;
        char* end = nullptr;
        const unsigned long long n = std::strtoull(index.c_str(), &end, 10);
        if (index.empty() || index[0] < '0' || index[0] > '9' || errno != 0 ||
            end != index.c_str() + index.size())
            throw std::invalid_argument("--cable-fault " + text +
                                        ": wants the index of a message after '@', as in " +
                                        f.name + "@100");
        return {f.kind, n};
    }
    throw std::invalid_argument(
        "--cable-fault is lose-byte@N, flip-bit@N or extra-message@N, not '" + text + "'");
}

CableDelay parseCableDelay(const std::string& text) {
    const auto comma = text.find(',');
    auto number = [&text](const std::string& part) {
        errno = 0;
        char* end = nullptr;
        const double v = std::strtod(part.c_str(), &end);
        if (part.empty() || errno != 0 || end != part.c_str() + part.size() || !(v >= 0.0) ||
            v > kMaxCableDelayMs)
            throw std::invalid_argument("--cable-delay is MS or MS,JITTER_MS, each from 0 to " +
                                        std::to_string(static_cast<int>(kMaxCableDelayMs)) +
                                        ", not '" + text + "'");
        return v;
    };
    CableDelay delay;
    delay.delayMs = number(text.substr(0, comma));
    if (comma != std::string::npos)
        delay.jitterMs = number(text.substr(comma + 1));
    return delay;
}

std::string cableFaultText(const CableFault& fault) {
    for (const FaultName& f : kFaultNames) {
        if (f.kind == fault.kind)
            return std::string(f.name) + "@" + std::to_string(fault.message);
    }
    return "?";
}

LoopbackCable::LoopbackCable(double sampleRate, std::vector<CableFault> faults, Receiver receiver,
                             CableDelay delay)
    : decoder_(sampleRate,
               // The plug-in's own output: idle at 0.0 from the first sample,
               // so nothing is held back waiting for the rest level; adaptive
               // slicing for its Softly filter.
               serialmidi::DecoderOptions{0.1, true, serialmidi::Polarity::idleLow}),
      faults_(std::move(faults)),
      done_(faults_.size(), false),
      farEnd_(std::move(receiver)),
      byteSamples_(10.0 * sampleRate / 31250.0),
      delay_(std::llround(delay.delayMs * 0.001 * sampleRate)),
      jitter_(std::llround(delay.jitterMs * 0.001 * sampleRate)) {}

void LoopbackCable::feed(const float* samples, std::size_t n) {
    decoder_.feed(samples, n);
    fed_ += static_cast<std::int64_t>(n);
    reader_.push(decoder_.takeBytes());
    for (const serialmidi::DecodedMessage& m : reader_.takeMessages())
        carry(m);
    deliver();
    release();
}

std::int64_t LoopbackCable::jitter() {
    if (jitter_ <= 0)
        return 0;
    // xorshift64: the same extra delays on every run and every system.
    random_ ^= random_ << 13;
    random_ ^= random_ >> 7;
    random_ ^= random_ << 17;
    return static_cast<std::int64_t>(random_ % static_cast<std::uint64_t>(jitter_ + 1));
}

void LoopbackCable::carry(const serialmidi::DecodedMessage& message) {
    // What the output did not frame as a message goes down the cable as it
    // is, and the far end makes of it what a receiver would.
    std::int64_t last = message.startSample;
    for (std::int64_t start : message.byteStarts)
        last = std::max(last, start);
    if (message.stray || message.incomplete || message.framingError) {
        arrive(message.bytes, message.framingError, last);
        return;
    }
    const std::uint64_t index = decoded_++;
    std::vector<std::uint8_t> bytes = message.bytes;
    int copies = 1;
    for (std::size_t i = 0; i < faults_.size(); ++i) {
        const CableFault& fault = faults_[i];
        if (done_[i] || fault.message != index)
            continue;
        done_[i] = true;
        const std::string before = hex(bytes);
        std::string what;
        switch (fault.kind) {
            case CableFault::Kind::loseByte:
                if (!bytes.empty())
                    bytes.pop_back();
                what = bytes.empty() ? before + " was lost" : before + " arrived as " + hex(bytes);
                break;
            case CableFault::Kind::flipBit: {
                auto data = std::find_if(bytes.rbegin(), bytes.rend(),
                                         [](std::uint8_t b) { return b < 0x80; });
                if (data != bytes.rend())
                    *data ^= 1;
                else if (!bytes.empty())
                    bytes[0] ^= 1;
                what = before + " arrived as " + hex(bytes);
                break;
            }
            case CableFault::Kind::extraMessage:
                ++copies;
                what = before + (copies == 2 ? " arrived twice" : " arrived once more");
                break;
        }
        injected_.push_back(cableFaultText(fault) + ": " + what);
    }
    for (int c = 0; c < copies; ++c)
        arrive(bytes, false, last);
}

void LoopbackCable::arrive(const std::vector<std::uint8_t>& bytes, bool framingError,
                           std::int64_t start) {
    // Every byte carries the start of the message's last one: the far end
    // needs only when the message was complete.
    for (std::uint8_t b : bytes)
        receiver_.push(serialmidi::DecodedByte{start, b, framingError});
}

void LoopbackCable::deliver() {
    for (const serialmidi::DecodedMessage& m : receiver_.takeMessages()) {
        const bool sysex = !m.bytes.empty() && m.bytes[0] == 0xF0;
        if (m.stray || m.bytes.empty() || (m.incomplete && !sysex)) {
            dropped_ += m.bytes.size();
            continue;
        }
        // Complete at the end of its last stop bit, which cannot lie past
        // what has been read.
        const std::int64_t last = m.byteStarts.empty() ? m.startSample : m.byteStarts.back();
        const std::int64_t complete =
            std::min(fed_, last + static_cast<std::int64_t>(std::ceil(byteSamples_)));
        lastDue_ = std::max(lastDue_, complete + delay_ + jitter());
        held_.push_back({lastDue_, m.bytes});
    }
}

void LoopbackCable::release() {
    // Due by the first sample of the next block: there before it.
    while (!held_.empty() && held_.front().due <= fed_) {
        const std::vector<std::uint8_t> m = std::move(held_.front().bytes);
        held_.pop_front();
        ++sent_;
        bool heard = true;
        for (std::size_t at = 0; at < m.size(); at += kPiece) {
            const std::size_t n = std::min(kPiece, m.size() - at);
            heard = farEnd_(m.data() + at, n) && heard;
        }
        heard_ += heard ? 1 : 0;
    }
}

std::vector<CableFault> LoopbackCable::pending() const {
    std::vector<CableFault> left;
    for (std::size_t i = 0; i < faults_.size(); ++i) {
        if (!done_[i])
            left.push_back(faults_[i]);
    }
    return left;
}

}  // namespace render
