#pragma once
// The host's side of the MIDI input rendezvous (platform/HostMidiInput.h):
// while an export lives, a plug-in in this process that opens its MIDI
// source sees the devices of the given system instead of the computer's.
// This program defines the exported function tavro_host_midi_input; the
// executable must export it (see tools/render/CMakeLists.txt), or plug-ins
// never find it.

#include "platform/HostMidiInput.h"
#include "platform/MidiInput.h"

namespace render {

class HostMidiInputExport {
public:
    // [main-thread] Offers `system`'s devices until destroyed; one export at
    // a time (std::logic_error otherwise). The system must outlive the
    // export, and plug-ins must have closed what they opened through it
    // (closing the plug-in does) before the export is destroyed.
    explicit HostMidiInputExport(platform::MidiInputSystem& system);
    ~HostMidiInputExport();
    HostMidiInputExport(const HostMidiInputExport&) = delete;
    HostMidiInputExport& operator=(const HostMidiInputExport&) = delete;

    // The table plug-ins are handed.
    const TavroHostMidiInput& table() const { return table_; }

private:
    TavroHostMidiInput table_;
};

}  // namespace render

extern "C" TAVRO_HOST_MIDI_INPUT_EXPORT const TavroHostMidiInput* tavro_host_midi_input(void);
