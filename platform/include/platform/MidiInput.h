#pragma once
// MIDI input devices of the computer: winmm on Windows, ALSA sequencer ports
// on Linux, or an in-memory list that tests install.
//
// Which devices midiInputSystem() gives, asked afresh on every call:
// 1. the system a test installed with installMidiInputSystem;
// 2. otherwise, when the host program exports tavro_host_midi_input
//    (HostMidiInput.h) and that returns a table of our version, the host's
//    own devices, and none of the computer's: a rendering host wires the
//    plug-in's output back into its input this way. A DAW exports no such
//    function, so for the product this step never applies;
// 3. otherwise the computer's devices.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// Receives the messages of an open device, on the driver's thread. A short
// message arrives whole (1 to 3 bytes, length from its status byte); a
// system-exclusive message arrives as the bytes one buffer held (up to
// kMidiInputSysexBufferSize).
class MidiInputListener {
public:
    virtual ~MidiInputListener() = default;
    virtual void midiInputReceived(const std::uint8_t* bytes, std::size_t length) = 0;
};

inline constexpr std::size_t kMidiInputSysexBufferSize = 65536;

// An open device. Destroying it stops and closes the device; no callback
// runs after the destructor returns.
class MidiInputConnection {
public:
    virtual ~MidiInputConnection() = default;
};

class MidiInputSystem {
public:
    virtual ~MidiInputSystem() = default;
    virtual int deviceCount() = 0;
    // The name the user sees; "" for an index out of range.
    virtual std::string deviceName(int index) = 0;
    // Null when the device cannot be opened (busy, gone, index out of range).
    virtual std::unique_ptr<MidiInputConnection> open(int index, MidiInputListener& listener) = 0;
};

// [main-thread] The devices to open, chosen as above.
MidiInputSystem& midiInputSystem();
// Null restores the real one. [main-thread] Tests only.
void installMidiInputSystem(MidiInputSystem* system);

// Number of bytes of a short message with this status byte, as the
// Windows driver packs them: 0xC0/0xD0 -> 2, 0xF1/0xF3 -> 2, 0xF2 -> 3,
// other 0xF0..0xFF -> 1, everything else -> 3.
std::size_t shortMessageLength(std::uint8_t status);

}  // namespace platform
