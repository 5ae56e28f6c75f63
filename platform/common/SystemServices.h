#pragma once
// What the portable half of the platform layer asks of each system; one
// implementation per system, in the file of the same service.

#include <string>

#include "platform/Diagnostics.h"
#include "platform/HostMidiInput.h"

namespace platform {
class MidiInputSystem;
}

namespace platform::detail {

// The system's own modal message box (Diagnostics.cpp).
void systemMessageBox(const std::string& caption, const std::string& text, MessageIcon icon);

// The system's MIDI input devices, constructed on first use and never
// destroyed (MidiInput.cpp).
MidiInputSystem& realMidiInputSystem();

// The table the host program offers its MIDI input devices through, when
// its executable exports one and offers them now; null otherwise
// (HostMidiInput.cpp).
const TavroHostMidiInput* hostMidiInputTable();

}  // namespace platform::detail
