#pragma once
// The MIDI input port of the loop-back test: one input device of the
// computer, chosen by its exact name. The driver's thread appends what
// arrives to a list under its own lock; the audio thread drains the list
// once per block.
//
// The list is a preallocated byte ring, so neither side allocates: the
// driver copies a message in, the audio thread copies one out into its own
// buffer and releases the lock before it looks at it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/MidiInput.h"

namespace QX4Controller {

class MidiInputPort : private platform::MidiInputListener {
public:
    static constexpr std::size_t kRingSize = 1u << 20;
    static constexpr std::size_t kMaxMessage = platform::kMidiInputSysexBufferSize;

    MidiInputPort();
    ~MidiInputPort() override;
    MidiInputPort(const MidiInputPort&) = delete;
    MidiInputPort& operator=(const MidiInputPort&) = delete;

    // [main-thread] Closes the open device, then opens the first device
    // whose name equals `name` byte for byte. No match (an empty name
    // included): the port stays closed, silently. A device that will not
    // open: the user is told with a message box and the port stays closed.
    // Whether a device of that name was there (open or not).
    bool openByName(const std::string& name);
    void close();
    bool isOpen() const;

    // [audio-thread] Takes the oldest received message into `buffer` (room
    // for kMaxMessage bytes); false when there is none. Takes the list's
    // lock for the copy only.
    bool takeMessage(std::uint8_t* buffer, std::size_t& length);

    // Messages dropped because the list was full (the audio thread stopped
    // draining it).
    std::size_t dropped() const;

private:
    void midiInputReceived(const std::uint8_t* bytes, std::size_t length) override;
    void readRing(std::size_t from, std::uint8_t* out, std::size_t n) const;
    void writeRing(std::size_t to, const std::uint8_t* in, std::size_t n);

    mutable std::mutex openMutex_;  // open and close, from the main thread
    std::unique_ptr<platform::MidiInputConnection> connection_;

    mutable std::mutex listMutex_;
    std::unique_ptr<std::uint8_t[]> ring_;
    std::size_t readPos_ = 0;
    std::size_t used_ = 0;
    std::size_t dropped_ = 0;
};

}  // namespace QX4Controller
