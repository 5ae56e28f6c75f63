#pragma once
// What the OSC server needs of the instance's Lua MIDI helper: its state,
// the lock held around every call into it, and the two note hooks behind
// "/startNote" and "/stopNote". Keeping it this small lets the server run
// against a bare Lua state in tests.

#include <mutex>

struct lua_State;

namespace QX {

class OscLuaAccess {
public:
    virtual ~OscLuaAccess() = default;
    // The state, created (and its scripts run) on first use; null when none
    // can be made. [any-thread except audio]
    virtual lua_State* luaState() = 0;
    // Recursive; held around every call into the state.
    virtual std::recursive_mutex& luaLock() = 0;
    // The helper's note-on and note-off hooks (channel 0..15).
    virtual void noteOn(int /*channel*/, int /*note*/, int /*velocity*/) {}
    virtual void noteOff(int /*channel*/, int /*note*/, int /*velocity*/) {}
};

}  // namespace QX
