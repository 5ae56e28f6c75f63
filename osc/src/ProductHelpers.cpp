#include "osc/ProductHelpers.h"

#include "osc/OSCHelper.h"
#include "script/CrvnLuaMIDIHelper.h"
#include "script/LuaMIDIHelper.h"

namespace QX {

namespace {

// The Lua MIDI helper as the OSC server sees it.
class HelperLuaAccess final : public OscLuaAccess {
public:
    explicit HelperLuaAccess(LuaMIDIHelper& helper) : helper_(helper) {}
    lua_State* luaState() override { return helper_.GetLuaState(); }
    std::recursive_mutex& luaLock() override { return helper_.luaLock(); }
    void noteOn(int channel, int note, int velocity) override {
        helper_.NoteOn(channel, note, velocity);
    }
    void noteOff(int channel, int note, int velocity) override {
        helper_.NoteOff(channel, note, velocity);
    }

private:
    LuaMIDIHelper& helper_;
};

// A server that the helper's scripts call into. It leaves the helper before
// it goes: a timer callback on another thread may be inside sendOSC right
// then, and SetOSCInterface waits for it under the Lua lock.
class ScriptedOSCHelper final : public OSCHelper {
public:
    ScriptedOSCHelper(ZephCorvaneBase& owner, LuaMIDIHelper& helper, OscTransport* transport)
        : OSCHelper(owner, std::make_unique<HelperLuaAccess>(helper), transport), helper_(helper) {
        helper_.SetOSCInterface(this);
    }
    ~ScriptedOSCHelper() override {
        StopTasks();
        helper_.SetOSCInterface(nullptr);
    }

private:
    LuaMIDIHelper& helper_;
};

}  // namespace

std::unique_ptr<MidiScripting> ProductHelpers::createMidiScripting(ZephCorvaneBase& plugin) const {
    return std::make_unique<CrvnLuaMIDIHelper>(plugin);
}

std::unique_ptr<OscServerControl> ProductHelpers::createOscServer(ZephCorvaneBase& plugin,
                                                                  MidiScripting* scripting) const {
    if (auto* helper = dynamic_cast<LuaMIDIHelper*>(scripting))
        return std::make_unique<ScriptedOSCHelper>(plugin, *helper, transport_);
    return std::make_unique<OSCHelper>(plugin, nullptr, transport_);
}

}  // namespace QX
