#include "common/MidiInputAssembler.h"

#include <algorithm>

namespace platform::detail {

MidiInputAssembler::MidiInputAssembler(MidiInputListener& listener)
    : listener_(listener), sysex_(kMidiInputSysexBufferSize) {}

void MidiInputAssembler::shortMessages(const std::uint8_t* bytes, std::size_t length) {
    std::size_t i = 0;
    while (i < length) {
        const std::uint8_t status = bytes[i];
        if (status < 0x80) {
            // A data byte without a status cannot be placed; drop it.
            ++i;
            continue;
        }
        if (status < 0xF8) {
            flush();
        }
        const std::size_t size = std::min(shortMessageLength(status), length - i);
        listener_.midiInputReceived(bytes + i, size);
        i += size;
    }
}

void MidiInputAssembler::sysexChunk(const std::uint8_t* bytes, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t byte = bytes[i];
        if (byte == 0xF0) {
            flush();
        }
        sysex_[pending_++] = byte;
        if (byte == 0xF7 || pending_ == sysex_.size()) {
            flush();
        }
    }
}

void MidiInputAssembler::flush() {
    if (pending_ == 0) {
        return;
    }
    const std::size_t size = pending_;
    pending_ = 0;
    listener_.midiInputReceived(sysex_.data(), size);
}

}  // namespace platform::detail
