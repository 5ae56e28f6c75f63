#pragma once
// The plug-in's own Lua MIDI helper (the plug-in base's CrvnLuaMIDIHelper;
// it lives here because the plug-in layer sits below the scripting layer).
// Note, control-change and pitch-wheel messages go to the plug-in's hooks
// instead of the scripts, so callbacks for them can be registered but are
// never called; poly pressure, program change and channel pressure reach
// the scripts. The indicator flags are the plug-in's, and the scripts get
// addScale.

#include "script/LuaMIDIHelper.h"

namespace QX {

class CrvnLuaMIDIHelper : public LuaMIDIHelper {
public:
    explicit CrvnLuaMIDIHelper(ZephCorvaneBase& plugin);
    // Stops the timers while this class's overrides still exist.
    ~CrvnLuaMIDIHelper() override;

    void NoteOn(int channel, int note, int velocity) override;
    void NoteOff(int channel, int note, int velocity) override;
    void ControlChange(int channel, int controller, int value) override;
    void PitchWheel(int channel, int lsb, int msb) override;

    // [any-thread, lock-free]
    void SetGUIBoolValue(int id, bool value) override;
    bool GetGUIBoolValue(int id) override;

protected:
    // addScale(name, degrees): degree d (1 = root .. 12 = major seventh) sets
    // bit d - 1 of the mask handed to the plug-in's scale hook.
    void RegisterExtraFunctions(lua_State* L) override;
};

}  // namespace QX
