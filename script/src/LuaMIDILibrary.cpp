// The global functions of the MIDI scripts. Each runs inside the Lua state
// of one helper, holding its Lua lock, and finds the helper through the
// registry. Lua errors unwind with longjmp: no C++ object with a destructor
// lives across a call that can raise; work with such objects is done in
// small functions that return before any error is raised.

#include "LuaMIDILibrary.h"

#include <chrono>
#include <climits>
#include <cmath>
#include <cstdint>
#include <string_view>

#include <lua.hpp>

#include "ScriptGlobals.h"
#include "plugin/InstanceRegistry.h"
#include "plugin/ParameterTable.h"
#include "plugin/Properties.h"
#include "plugin/ZephCorvaneBase.h"
#include "script/OSCScriptInterface.h"

namespace QX {
namespace {

// "Seconds since the process started": taken when the library is loaded.
const std::chrono::steady_clock::time_point kProcessStart = std::chrono::steady_clock::now();

int checkInt(lua_State* L, int arg) {
    return truncateToInt(luaL_checknumber(L, arg));
}

LuaMIDIHelper& helperOf(lua_State* L) {
    return *LuaMIDIHelper::FromState(L);
}

int checkIndicator(lua_State* L, int arg) {
    const int id = checkInt(L, arg);
    if (id < 0 || id >= LuaMIDIHelper::kIndicatorCount)
        luaL_error(L, "indicator id out of range: %d", id);
    return id;
}

// Calls `visit(plugin)` for every live instance whose OSC Port Offset equals
// `otherId`, in registry order, until it returns false. Holds the registry
// lock throughout and must therefore never reach script code.
template <typename Visit>
void forEachOther(int otherId, Visit& visit) noexcept {
    struct Walk {
        int otherId;
        Visit* visit;
        bool done;
    } walk{otherId, &visit, false};
    Walk* state = &walk;  // one pointer: the std::function keeps it inline
    try {
        InstanceRegistry::forEach([state](InstanceRegistry::Entry& entry) {
            if (state->done)
                return;
            auto* plugin = dynamic_cast<ZephCorvaneBase*>(entry.instance);
            std::int32_t offset = 0;
            if (!plugin || plugin->GetProperty(prop::kOscPortOffset, 0, 0, &offset) != 0 ||
                offset != state->otherId)
                return;
            if (!(*state->visit)(*plugin))
                state->done = true;
        });
    } catch (...) {
        // The registry's lock or function could not be had: no instance.
    }
}

// ---- Parameters -------------------------------------------------------------------------

int midi_setParameter(lua_State* L) {
    const int index = LuaMIDIHelper::CheckParameter(L, 1);
    const float value = static_cast<float>(luaL_checknumber(L, 2));
    const char* refusal = helperOf(L).plugin().parameterValueRefusal(index, value);
    luaL_argcheck(L, refusal == nullptr, 2, refusal);
    helperOf(L).plugin().setParameterNative(index, value, true);
    return 0;
}

int midi_getParameter(lua_State* L) {
    const int index = LuaMIDIHelper::CheckParameter(L, 1);
    lua_pushnumber(L, helperOf(L).plugin().getParameterNative(index));  // value
    return 1;
}

int midi_getParameterID(lua_State* L) {
    // A name only, also when it looks like a number: the parameter rule
    // would read "3" (or 3) as an index.
    lua_pushinteger(L, LuaMIDIHelper::ParameterByName(L, 1));  // index
    return 1;
}

int midi_getParameterMinMax(lua_State* L) {
    const int index = LuaMIDIHelper::CheckParameter(L, 1);
    const ParameterDescriptor& row = helperOf(L).parameterTable()[index];
    lua_pushnumber(L, row.minimum);  // min
    lua_pushnumber(L, row.maximum);  // min, max
    return 2;
}

int midi_getParameterUnit(lua_State* L) {
    const int index = LuaMIDIHelper::CheckParameter(L, 1);
    lua_pushinteger(L, helperOf(L).parameterTable()[index].unit);  // unit
    return 1;
}

int midi_getParameterName(lua_State* L) {
    const int index = LuaMIDIHelper::CheckParameter(L, 1);
    const char* name = helperOf(L).parameterTable()[index].name;
    if (name)
        lua_pushstring(L, name);  // name
    else
        lua_pushnil(L);  // nil
    return 1;
}

int midi_isParameterUsed(lua_State* L) {
    const int index = LuaMIDIHelper::CheckParameter(L, 1);
    lua_pushboolean(L, helperOf(L).IsParameterUsed(index));  // used
    return 1;
}

int midi_getNumParameters(lua_State* L) {
    lua_pushinteger(L, helperOf(L).parameterCount());  // count
    return 1;
}

int midi_setOthersParameter(lua_State* L) {
    const int otherId = checkInt(L, 1);
    const int index = LuaMIDIHelper::CheckParameter(L, 2);
    const float value = static_cast<float>(luaL_checknumber(L, 3));
    luaL_argcheck(L, std::isfinite(value), 3, "not a finite number");
    auto set = [index, value](ZephCorvaneBase& plugin) {
        plugin.setParameterNative(index, value, true);
        return true;
    };
    forEachOther(otherId, set);
    return 0;
}

int midi_getOthersParameter(lua_State* L) {
    const int otherId = checkInt(L, 1);
    const int index = LuaMIDIHelper::CheckParameter(L, 2);
    float value = 0.0f;
    auto get = [index, &value](ZephCorvaneBase& plugin) {
        value = plugin.getParameterNative(index);
        return false;
    };
    forEachOther(otherId, get);
    lua_pushnumber(L, value);  // value
    return 1;
}

// ---- OSC: the server's own code -----------------------------------------------------------

int midi_sendOSC(lua_State* L) {
    OSCScriptInterface* osc = LuaMIDILibrary::osc(helperOf(L));
    return osc ? osc->SendOSCFromLua(L) : 0;
}

int midi_registerOSCPathForParameter(lua_State* L) {
    OSCScriptInterface* osc = LuaMIDILibrary::osc(helperOf(L));
    return osc ? osc->RegisterOSCPathForParameter(L, false) : 0;
}

int midi_registerOSCPathForParameterNormalized(lua_State* L) {
    OSCScriptInterface* osc = LuaMIDILibrary::osc(helperOf(L));
    return osc ? osc->RegisterOSCPathForParameter(L, true) : 0;
}

int midi_registerOSCPathForFunction(lua_State* L) {
    OSCScriptInterface* osc = LuaMIDILibrary::osc(helperOf(L));
    return osc ? osc->RegisterOSCPathForFunction(L) : 0;
}

// ---- MIDI callbacks ---------------------------------------------------------------------------

// Takes a registry reference to the function at `arg`.
int refFunction(lua_State* L, int arg) {
    lua_pushvalue(L, arg);                  // f
    return luaL_ref(L, LUA_REGISTRYINDEX);  // (popped)
}

int requestAll(lua_State* L, LuaMIDILibrary::Keyed which, const char* notAFunction) {
    if (!lua_isfunction(L, 1))
        return luaL_error(L, "%s", notAFunction);
    const int ref = refFunction(L, 1);
    if (!LuaMIDILibrary::addAll(helperOf(L), which, ref)) {
        luaL_unref(L, LUA_REGISTRYINDEX, ref);
        return luaL_error(L, "not enough memory");
    }
    return 0;
}

int requestKeyed(lua_State* L, LuaMIDILibrary::Keyed which, const char* notAFunction) {
    const int key = checkInt(L, 1);
    if (!lua_isfunction(L, 2))
        return luaL_error(L, "%s", notAFunction);
    const int ref = refFunction(L, 2);
    if (!LuaMIDILibrary::addKeyed(helperOf(L), which, key, ref)) {
        luaL_unref(L, LUA_REGISTRYINDEX, ref);
        return luaL_error(L, "not enough memory");
    }
    return 0;
}

int requestListed(lua_State* L, LuaMIDILibrary::Listed which, const char* notAFunction) {
    if (!lua_isfunction(L, 1))
        return luaL_error(L, "%s", notAFunction);
    const int ref = refFunction(L, 1);
    if (!LuaMIDILibrary::addListed(helperOf(L), which, ref)) {
        luaL_unref(L, LUA_REGISTRYINDEX, ref);
        return luaL_error(L, "not enough memory");
    }
    return 0;
}

int midi_requestAllNoteOn(lua_State* L) {
    return requestAll(L, LuaMIDILibrary::kNoteOn,
                      "first argument to requestAllNoteOn() is not a function");
}

int midi_requestAllNoteOff(lua_State* L) {
    return requestAll(L, LuaMIDILibrary::kNoteOff,
                      "first argument to requestAllNoteOff() is not a function");
}

int midi_requestAllCC(lua_State* L) {
    return requestAll(L, LuaMIDILibrary::kControlChange,
                      "first argument to requestAllCC() is not a function");
}

int midi_requestAllNRPN(lua_State* L) {
    return requestAll(L, LuaMIDILibrary::kNrpn,
                      "first argument to requestAllNRPN() is not a function");
}

int midi_requestAllProgramChange(lua_State* L) {
    return requestAll(L, LuaMIDILibrary::kProgramChange,
                      "first argument to requestAllProgramChange() is not a function");
}

int midi_requestAllPolyPressure(lua_State* L) {
    return requestAll(L, LuaMIDILibrary::kPolyPressure,
                      "first argument to requestAllPolyPressure() is not a function");
}

int midi_requestNoteOn(lua_State* L) {
    return requestKeyed(L, LuaMIDILibrary::kNoteOn,
                        "second argument to requestNoteOn() is not a function");
}

int midi_requestNoteOff(lua_State* L) {
    return requestKeyed(L, LuaMIDILibrary::kNoteOff,
                        "second argument to requestNoteOff() is not a function");
}

int midi_requestCC(lua_State* L) {
    return requestKeyed(L, LuaMIDILibrary::kControlChange,
                        "second argument to requestCC() is not a function");
}

int midi_requestNRPN(lua_State* L) {
    return requestKeyed(L, LuaMIDILibrary::kNrpn,
                        "second argument to requestNRPN() is not a function");
}

int midi_requestProgramChange(lua_State* L) {
    return requestKeyed(L, LuaMIDILibrary::kProgramChange,
                        "second argument to requestProgramChange() is not a function");
}

int midi_requestPolyPressure(lua_State* L) {
    return requestKeyed(L, LuaMIDILibrary::kPolyPressure,
                        "second argument to requestPolyPressure() is not a function");
}

int midi_requestPitchWheel(lua_State* L) {
    return requestListed(L, LuaMIDILibrary::kPitchWheel,
                         "first argument to requestPitchWheel() is not a function");
}

int midi_requestChannelPressure(lua_State* L) {
    return requestListed(L, LuaMIDILibrary::kChannelPressure,
                         "first argument to requestChannelPressure() is not a function");
}

// ---- Time and timers --------------------------------------------------------------------------

int midi_time(lua_State* L) {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - kProcessStart);
    lua_pushnumber(L, static_cast<lua_Number>(elapsed.count()) * 0.001);  // seconds
    return 1;
}

// Milliseconds of a delay in seconds, truncated, within what the first
// platform's timers accepted (an unsigned 32-bit count); NaN and negative
// delays expire at once.
std::int64_t delayMilliseconds(lua_Number seconds) {
    const lua_Number ms = seconds * 1000.0;
    if (!(ms > 0.0))
        return 0;
    if (ms >= 4294967295.0)
        return 4294967295LL;
    return static_cast<std::int64_t>(ms);
}

int startTimer(lua_State* L, bool periodic) {
    const lua_Number seconds = luaL_checknumber(L, 1);
    if (!lua_isfunction(L, 2))
        return luaL_error(L, "second argument to requestTimerCallback() is not a function");
    LuaMIDIHelper& helper = helperOf(L);
    const std::uint64_t id = LuaMIDILibrary::nextTimerId(helper);
    auto* slot = static_cast<std::uint64_t*>(lua_newuserdata(L, sizeof(std::uint64_t)));  // t
    *slot = id;
    luaL_getmetatable(L, LuaMIDIHelper::kTimerMetatable);  // t, mt
    lua_setmetatable(L, -2);                               // t
    LuaMIDILibrary::pushTimerFunctions(L, helper);         // t, functions
    lua_pushnumber(L, static_cast<lua_Number>(id));        // t, functions, id
    lua_pushvalue(L, 2);                                   // t, functions, id, f
    lua_rawset(L, -3);                                     // t, functions
    // The function is in place before the timer exists: the timer thread
    // needs the Lua lock, which this call holds, to look for it.
    if (!LuaMIDILibrary::startTimer(helper, id, delayMilliseconds(seconds), periodic)) {
        lua_pushnumber(L, static_cast<lua_Number>(id));  // t, functions, id
        lua_pushnil(L);                                  // t, functions, id, nil
        lua_rawset(L, -3);                               // t, functions
        return luaL_error(L, "failed to start timer");
    }
    lua_pop(L, 1);  // t
    return 1;
}

int midi_requestTimedCallback(lua_State* L) {
    return startTimer(L, false);
}

int midi_requestPeriodicCallback(lua_State* L) {
    return startTimer(L, true);
}

int midi_cancelTimer(lua_State* L) {
    const void* slot = lua_touserdata(L, 1);
    bool isTimer = false;
    if (slot && lua_getmetatable(L, 1)) {                      // mt
        luaL_getmetatable(L, LuaMIDIHelper::kTimerMetatable);  // mt, timer mt
        isTimer = lua_rawequal(L, -1, -2) != 0;
        lua_pop(L, 2);  //
    }
    if (!isTimer)
        return luaL_argerror(L, 1, "first argument to cancelTimer() is not a timer");
    const std::uint64_t id = *static_cast<const std::uint64_t*>(slot);
    LuaMIDIHelper& helper = helperOf(L);
    LuaMIDILibrary::cancelTimer(helper, id);
    // Also when the record is gone: an expiry already on its way then finds
    // no function to call.
    LuaMIDILibrary::pushTimerFunctions(L, helper);   // functions
    lua_pushnumber(L, static_cast<lua_Number>(id));  // functions, id
    lua_pushnil(L);                                  // functions, id, nil
    lua_rawset(L, -3);                               // functions
    lua_pop(L, 1);                                   //
    return 0;
}

// ---- Indicator flags ----------------------------------------------------------------------------

int midi_setGUIBoolValue(lua_State* L) {
    const int id = checkIndicator(L, 1);
    helperOf(L).SetGUIBoolValue(id, lua_toboolean(L, 2) != 0);
    return 0;
}

int midi_getGUIBoolValue(lua_State* L) {
    const int id = checkIndicator(L, 1);
    lua_pushboolean(L, helperOf(L).GetGUIBoolValue(id));  // value
    return 1;
}

// Other instances' flags are written where their helpers keep them, in the
// plug-in: their helpers may be on their way out while the instance is still
// registered.
int midi_setOthersGUIBoolValue(lua_State* L) {
    const int otherId = checkInt(L, 1);
    const int id = checkIndicator(L, 2);
    const std::uint8_t value = lua_toboolean(L, 3) ? 1 : 0;
    auto set = [id, value](ZephCorvaneBase& plugin) {
        plugin.indicatorFlag(id).store(value, std::memory_order_relaxed);
        return true;
    };
    forEachOther(otherId, set);
    return 0;
}

int midi_getOthersGUIBoolValue(lua_State* L) {
    const int otherId = checkInt(L, 1);
    const int id = checkIndicator(L, 2);
    bool value = false;
    auto get = [id, &value](ZephCorvaneBase& plugin) {
        value = plugin.indicatorFlag(id).load(std::memory_order_relaxed) != 0;
        return false;
    };
    forEachOther(otherId, get);
    lua_pushboolean(L, value);  // value
    return 1;
}

// ---- print ------------------------------------------------------------------------------------

// The base library's print, written to the debugger output in one piece so
// that lines of several threads do not interleave.
int midi_print(lua_State* L) {
    pushPrintLine(L);  // args..., tostring, line
    LuaMIDILibrary::print(helperOf(L), lua_tostring(L, -1));
    return 0;
}

const luaL_Reg kFunctions[] = {
    {"setParameter", midi_setParameter},
    {"getParameter", midi_getParameter},
    {"getParameterID", midi_getParameterID},
    {"getParameterMinMax", midi_getParameterMinMax},
    {"getParameterUnit", midi_getParameterUnit},
    {"getParameterName", midi_getParameterName},
    {"isParameterUsed", midi_isParameterUsed},
    {"getNumParameters", midi_getNumParameters},
    {"sendOSC", midi_sendOSC},
    {"setOthersParameter", midi_setOthersParameter},
    {"getOthersParameter", midi_getOthersParameter},
    {"requestAllNoteOn", midi_requestAllNoteOn},
    {"requestAllNoteOff", midi_requestAllNoteOff},
    {"requestAllCC", midi_requestAllCC},
    {"requestAllNRPN", midi_requestAllNRPN},
    {"requestAllProgramChange", midi_requestAllProgramChange},
    {"requestAllPolyPressure", midi_requestAllPolyPressure},
    {"requestNoteOn", midi_requestNoteOn},
    {"requestNoteOff", midi_requestNoteOff},
    {"requestCC", midi_requestCC},
    {"requestNRPN", midi_requestNRPN},
    {"requestProgramChange", midi_requestProgramChange},
    {"requestPolyPressure", midi_requestPolyPressure},
    {"requestPitchWheel", midi_requestPitchWheel},
    {"requestChannelPressure", midi_requestChannelPressure},
    {"time", midi_time},
    {"requestTimedCallback", midi_requestTimedCallback},
    {"requestPeriodicCallback", midi_requestPeriodicCallback},
    {"cancelTimer", midi_cancelTimer},
    {"setGUIBoolValue", midi_setGUIBoolValue},
    {"getGUIBoolValue", midi_getGUIBoolValue},
    {"setOthersGUIBoolValue", midi_setOthersGUIBoolValue},
    {"getOthersGUIBoolValue", midi_getOthersGUIBoolValue},
    {"registerOSCPathForParameter", midi_registerOSCPathForParameter},
    {"registerOSCPathForParameterNormalized", midi_registerOSCPathForParameterNormalized},
    {"registerOSCPathForFunction", midi_registerOSCPathForFunction},
    {nullptr, nullptr},
};

}  // namespace

int LuaMIDIHelper::CheckParameter(lua_State* L, int arg) {
    LuaMIDIHelper& helper = helperOf(L);
    if (lua_isnumber(L, arg)) {
        const int index = truncateToInt(lua_tonumber(L, arg));
        if (index < 0 || index >= helper.parameterCount())
            return luaL_error(L, "parameter out of range: %d", index);
        return index;
    }
    return ParameterByName(L, arg);
}

int LuaMIDIHelper::ParameterByName(lua_State* L, int arg) {
    if (lua_type(L, arg) != LUA_TSTRING)
        return luaL_typerror(L, arg, "string");
    std::size_t length = 0;
    const char* name = lua_tolstring(L, arg, &length);
    lua_getfield(L, LUA_REGISTRYINDEX, kParamLookupKey);  // lookup
    const auto* lookup = static_cast<const ParameterLookup*>(lua_touserdata(L, -1));
    lua_pop(L, 1);  //
    int index = -1;
    if (lookup) {
        const auto found = lookup->find(std::string_view(name, length));
        if (found != lookup->end())
            index = found->second;
    }
    if (index < 0)
        return luaL_error(L, "parameter not found: '%s'", name);
    return index;
}

int luaopen_midihelper(lua_State* L) {
    for (const luaL_Reg* function = kFunctions; function->name; ++function)
        lua_register(L, function->name, function->func);
    luaL_newmetatable(L, LuaMIDIHelper::kTimerMetatable);  // mt
    lua_pop(L, 1);                                         //
    lua_register(L, "print", midi_print);
    return 0;
}

}  // namespace QX
