#pragma once
// Turns what a MIDI driver hands over piecemeal (decoded short messages,
// system-exclusive chunks of any size) into the deliveries MidiInputListener
// promises: one whole short message per call, and system-exclusive data in
// pieces of at most kMidiInputSysexBufferSize bytes, each new message
// starting a new piece. The ALSA sequencer needs this; winmm does it itself.
//
// [one thread] Used by the driver thread of one connection. Allocates its
// buffer at construction only.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/MidiInput.h"

namespace platform::detail {

class MidiInputAssembler {
public:
    explicit MidiInputAssembler(MidiInputListener& listener);

    // Complete short messages, one after another, each with its status byte
    // (no running status). Real-time messages pass a pending system-exclusive
    // piece; any other status ends it first, as it would on the wire.
    void shortMessages(const std::uint8_t* bytes, std::size_t length);

    // A chunk of system-exclusive data as the driver split it. 0xF0 starts a
    // new message (a pending unfinished one is delivered first), 0xF7 ends
    // one, a full buffer is delivered and the message continues.
    void sysexChunk(const std::uint8_t* bytes, std::size_t length);

    // Delivers a pending system-exclusive piece, if any.
    void flush();

private:
    MidiInputListener& listener_;
    std::vector<std::uint8_t> sysex_;
    std::size_t pending_ = 0;
};

}  // namespace platform::detail
