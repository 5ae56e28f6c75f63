#pragma once
// What the Lua MIDI helper needs of the OSC server: the bodies of the Lua
// functions sendOSC, registerOSCPathForParameter(Normalized) and
// registerOSCPathForFunction. The OSC server implements this; the helper
// works without one (the functions then do nothing).
//
// Each is called from inside a Lua C function with the caller's arguments
// on the stack, holding the Lua lock, and follows lua_CFunction rules: it
// returns the number of results and reports errors with lua_error /
// luaL_error (longjmp: no C++ object with a destructor may live across a
// call that can raise).

struct lua_State;

namespace QX {

class OSCScriptInterface {
public:
    virtual ~OSCScriptInterface() = default;
    virtual int SendOSCFromLua(lua_State* L) = 0;
    virtual int RegisterOSCPathForParameter(lua_State* L, bool normalised) = 0;
    virtual int RegisterOSCPathForFunction(lua_State* L) = 0;
};

}  // namespace QX
