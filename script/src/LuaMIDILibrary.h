#pragma once
// The global functions of the MIDI scripts' Lua state (LuaMIDILibrary.cpp).

#include <cstdint>

#include "script/LuaMIDIHelper.h"

struct lua_State;

namespace QX {

// What the script functions need of the helper beyond its public interface.
// Every function runs inside a Lua C function, holding the Lua lock.
struct LuaMIDILibrary {
    enum Keyed { kNoteOn, kNoteOff, kControlChange, kNrpn, kProgramChange, kPolyPressure };
    enum Listed { kPitchWheel, kChannelPressure };

    static LuaMIDIHelper::KeyedCallbacks& keyed(LuaMIDIHelper& helper, Keyed which);
    // Appends a registry reference; false when memory runs out.
    static bool addAll(LuaMIDIHelper& helper, Keyed which, int ref) noexcept;
    static bool addKeyed(LuaMIDIHelper& helper, Keyed which, int key, int ref) noexcept;
    static bool addListed(LuaMIDIHelper& helper, Listed which, int ref) noexcept;

    // The timer functions' registry table (pushed) and the timers.
    static void pushTimerFunctions(lua_State* L, LuaMIDIHelper& helper);
    static std::uint64_t nextTimerId(LuaMIDIHelper& helper) { return ++helper.nextTimerId_; }
    static bool startTimer(LuaMIDIHelper& helper, std::uint64_t id, std::int64_t milliseconds,
                           bool periodic) noexcept;
    static void cancelTimer(LuaMIDIHelper& helper, std::uint64_t id) noexcept;

    static OSCScriptInterface* osc(LuaMIDIHelper& helper) { return helper.osc_; }
    static void print(LuaMIDIHelper& helper, const char* text) { helper.writeDebugOutput(text); }

    // While the state is built.
    static void registerExtraFunctions(LuaMIDIHelper& helper, lua_State* L);
    static void* parameterLookup(LuaMIDIHelper& helper);
    static void setTimerFunctionsRef(LuaMIDIHelper& helper, int ref);
};

// Registers the global functions in their documented order, the timer
// metatable and the replacement of print. [inside a protected call]
int luaopen_midihelper(lua_State* L);

}  // namespace QX
