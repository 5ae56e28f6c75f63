#pragma once
// Builds the helpers a plug-in instance owns whose code lives above the
// plug-in layer: the Lua MIDI helper, the OSC server and the editor. The final library
// supplies the real factory; an instance built without one (engine tests)
// has no scripting and an OSC server that stays off.

#include <memory>

class AEffEditor;

#include "plugin/MidiScripting.h"
#include "plugin/OscServerControl.h"

class ZephCorvaneBase;

namespace QX {

class PluginHelpers {
public:
    virtual ~PluginHelpers() = default;
    // Called during the instance's construction, before it initialises.
    virtual std::unique_ptr<MidiScripting> createMidiScripting(ZephCorvaneBase& plugin) const = 0;
    // `scripting` is what createMidiScripting returned (may be null).
    virtual std::unique_ptr<OscServerControl> createOscServer(ZephCorvaneBase& plugin,
                                                              MidiScripting* scripting) const = 0;
    // Called when the instance initialises; null for no editor. `advertise`
    // says whether hosts are told there is one (effFlagsHasEditor).
    virtual AEffEditor* createEditor(ZephCorvaneBase& /*plugin*/, bool& advertise) const {
        advertise = false;
        return nullptr;
    }
};

}  // namespace QX
