#pragma once
// The helpers of the real plug-in: the Lua MIDI helper and the OSC server,
// connected to each other. One static instance serves every plug-in object.

#include "plugin/PluginHelpers.h"

namespace QX {

class OscTransport;

class ProductHelpers : public PluginHelpers {
public:
    // `transport` (not owned) null means UDP; benchmarks give another.
    explicit ProductHelpers(OscTransport* transport = nullptr) : transport_(transport) {}

    std::unique_ptr<MidiScripting> createMidiScripting(ZephCorvaneBase& plugin) const override;
    // With a Lua MIDI helper, the server runs the helper's scripts and the
    // helper's scripts reach the server; without one the server has no Lua
    // support.
    std::unique_ptr<OscServerControl> createOscServer(ZephCorvaneBase& plugin,
                                                      MidiScripting* scripting) const override;

private:
    OscTransport* transport_;
};

}  // namespace QX
