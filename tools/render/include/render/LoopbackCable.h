#pragma once
// A MIDI cable in software, from the plug-in's audio output back to a MIDI
// input: the output is decoded as it is rendered, and every message it
// carries comes out at the far end the way a MIDI interface's input hands
// messages to its driver. Faults can be injected on the way, to see how the
// listener copes.
//
// The far end reads bytes as a receiving device does: a short message cut
// short (a lost byte) is dropped, as are data bytes without a status; a
// system-exclusive message cut short is passed on as far as it came, as a
// driver returns its buffer; system exclusive is passed on in pieces of at
// most 65536 bytes.
//
// A delay can be given: each message then comes out that much later than
// its last stop bit was read, plus a pseudo-random extra of up to the
// jitter (the same every run), never before the message ahead of it (a
// serial line keeps order). Messages come out only between feeds, so what
// the plug-in is given before block n is what became due by its first
// sample: a listener that takes input once per block sees the delay rounded
// up to its next block.
//
// Not for the audio thread: decoding appends to vectors.

#include "decode/MidiMessageAssembler.h"
#include "decode/SerialMidiDecoder.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace render {

struct CableFault {
    enum class Kind {
        // The last byte of the message is lost on the wire.
        loseByte,
        // Bit 0 of the message's last data byte (of its status byte when it
        // has none) arrives inverted.
        flipBit,
        // The message arrives twice.
        extraMessage,
    };
    Kind kind;
    // Which decoded message is damaged, counted from 0 over the complete
    // messages read off the output.
    std::uint64_t message;
};

// Delay and jitter in milliseconds, each 0 to kMaxCableDelayMs.
struct CableDelay {
    double delayMs = 0.0;
    double jitterMs = 0.0;
};
inline constexpr double kMaxCableDelayMs = 10000.0;

// "MS" or "MS,JITTER_MS". Throws std::invalid_argument with a message for
// the user.
CableDelay parseCableDelay(const std::string& text);

// "lose-byte@N", "flip-bit@N" or "extra-message@N". Throws
// std::invalid_argument with a message for the user.
CableFault parseCableFault(const std::string& text);
// The same form back.
std::string cableFaultText(const CableFault& fault);

class LoopbackCable {
public:
    // The far end: hands one message (or piece of system exclusive) to the
    // listener; returns whether one was listening.
    using Receiver = std::function<bool(const std::uint8_t* bytes, std::size_t length)>;

    // Throws std::invalid_argument for a rate the decoder cannot read.
    LoopbackCable(double sampleRate, std::vector<CableFault> faults, Receiver receiver,
                  CableDelay delay = {});

    // Decodes the next `n` samples of the output and passes every message
    // they complete on to the receiver before returning.
    void feed(const float* samples, std::size_t n);

    // Complete messages read off the output.
    std::size_t messagesDecoded() const { return decoded_; }
    // Messages that came out at the far end (pieces of system exclusive
    // counted once), and how many of them a listener took.
    std::size_t messagesSent() const { return sent_; }
    std::size_t messagesHeard() const { return heard_; }
    // Messages held back by the delay that have not come out yet.
    std::size_t messagesInFlight() const { return held_.size(); }
    // Bytes the far end dropped: cut-short messages and stray data.
    std::size_t bytesDropped() const { return dropped_; }
    // Bytes of the output that were not properly framed.
    std::size_t framingErrors() const { return decoder_.framingErrors(); }

    // What each fault did, in the order they were injected:
    // "flip-bit@5: 90 00 00 arrived as 90 00 01".
    const std::vector<std::string>& injected() const { return injected_; }
    // The faults whose message has not come yet.
    std::vector<CableFault> pending() const;

private:
    void carry(const serialmidi::DecodedMessage& message);
    void arrive(const std::vector<std::uint8_t>& bytes, bool framingError, std::int64_t start);
    void deliver();
    void release();
    std::int64_t jitter();

    struct Held {
        std::int64_t due;
        std::vector<std::uint8_t> bytes;
    };

    serialmidi::SerialMidiDecoder decoder_;
    serialmidi::MidiMessageAssembler reader_;    // what was sent
    serialmidi::MidiMessageAssembler receiver_;  // what the far end makes of it
    std::vector<CableFault> faults_;
    std::vector<bool> done_;
    Receiver farEnd_;
    std::size_t decoded_ = 0;
    std::size_t sent_ = 0;
    std::size_t heard_ = 0;
    std::size_t dropped_ = 0;
    std::vector<std::string> injected_;

    double byteSamples_;
    std::int64_t delay_;
    std::int64_t jitter_;
    std::uint64_t random_ = 0x9E3779B97F4A7C15ull;
    std::int64_t fed_ = 0;
    std::int64_t lastDue_ = 0;
    std::deque<Held> held_;
};

}  // namespace render
