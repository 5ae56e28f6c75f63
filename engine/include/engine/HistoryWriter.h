#pragma once
// Adds entries to the plug-in's MIDI history. [audio-thread] Nothing here
// allocates or locks; the wall-clock time comes from the platform's
// audio-safe clock.

#include <cstddef>
#include <cstdint>

#include "plugin/MidiHistory.h"

namespace QX4Controller {

class HistoryWriter {
public:
    explicit HistoryWriter(MidiHistory& history) : history_(history) {}

    // Fills the slot after the last written one, then makes it the last
    // written one: a reader sees a complete entry at writeIndex. `bytes`
    // (the whole message, may be null) is what the loop-back check compares
    // a received system-exclusive message with.
    void add(HistoryKind kind, std::uint32_t length, std::uint8_t byte0, std::uint8_t byte1,
             std::uint8_t byte2, const std::uint8_t* bytes = nullptr);

    MidiHistory& history() { return history_; }

    // The reference a received system-exclusive test message is compared
    // with (F0, length code, data, F7); without one only the first three
    // bytes and the length are compared.
    void setSysexReference(const std::uint8_t* reference, std::size_t size) {
        reference_ = reference;
        referenceSize_ = size;
    }

private:
    // The loop-back check of a received message against the test message
    // expected next: purely by order, no resynchronisation.
    std::uint32_t checkReceived(std::uint32_t length, std::uint8_t byte0, std::uint8_t byte1,
                                std::uint8_t byte2, const std::uint8_t* bytes);

    MidiHistory& history_;
    const std::uint8_t* reference_ = nullptr;
    std::size_t referenceSize_ = 0;
};

}  // namespace QX4Controller
