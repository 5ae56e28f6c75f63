#pragma once
// What the MIDI Browser shows and does, apart from any window: the
// computer's MIDI input devices as they are when it opens, in the system's
// order, and OK making the selected one the plug-in's MIDI source.
//
// [ui-thread: the thread that runs the dialog]

#include <cstdint>
#include <string>
#include <vector>

class ZephAuBase;

namespace QX {

class MidiBrowserModel {
public:
    // Lists the devices (platform::midiInputSystem(), asked afresh).
    MidiBrowserModel(ZephAuBase& plugin, std::uint32_t propertyId);

    const std::vector<std::string>& Devices() const { return devices_; }

    // OK: with an entry selected, its name (and a terminating zero) is
    // written to the property through setPropertyAndNotify, which reopens
    // the test input on that device and updates the fields showing the
    // property. -1 or an index past the list changes nothing. True when a
    // name was written.
    bool Choose(int index);

private:
    ZephAuBase& plugin_;
    std::uint32_t propertyId_;
    std::vector<std::string> devices_;
};

}  // namespace QX
