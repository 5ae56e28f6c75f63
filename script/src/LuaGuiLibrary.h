#pragma once
// The global functions and metatables of the editor's Lua state
// (LuaGuiLibrary.cpp), and what they need of LuaGui beyond its public
// interface.

#include <cstddef>
#include <cstdint>

#include "script/LuaGui.h"

struct lua_State;

namespace QX {

class Font;

// A font list as a script gave it: names point into Lua strings that stay
// on the stack while the list is used.
struct RawFontList {
    static constexpr int kMaxCandidates = 16;
    struct Entry {
        const char* name;
        int size;
    };
    Entry entries[kMaxCandidates];
    int count = 0;
};

struct LuaGuiLibrary {
    // Reads the list {{name=, size=}, ...} at `index` (no metamethods run).
    // [inside a Lua function or protected call]
    static void readFontList(lua_State* L, int index, RawFontList& list);
    // The first candidate of the list that loads, registered with the
    // Manager's fonts when there is one; null when none loads (or memory
    // ran out). Calls no Lua function.
    static Font* makeFont(LuaGui& gui, const RawFontList& list) noexcept;

    // Callback records for the buttons; null when memory ran out.
    static void* addLuaButton(LuaGui& gui, int reference) noexcept;
    static void* addTrigger(LuaGui& gui, std::uint32_t propertyId) noexcept;
    static ButtonAction luaButtonAction() { return &LuaGui::LuaButtonPressed; }
    static ButtonAction triggerAction() { return &LuaGui::TriggerPressed; }

    static LuaGui::ParameterLookup& parameterLookup(LuaGui& gui) { return gui.parameterLookup_; }
    static int parameterCount(LuaGui& gui) { return gui.parameterCount_; }
};

// Registers the metatables, the global functions in their documented order,
// the replacement of print, the registry entries and the global values, and
// the subclass's extra functions. [inside a protected call; argument 1 is
// the LuaGui as light userdata]
int luaopen_qxgui(lua_State* L);

// Adds an element, group or renderer to what the Manager owns only when
// memory allows: `new` with the arguments, null on any failure. No Lua call
// may happen inside.
template <typename T, typename... Args>
T* makeObject(Args&&... args) noexcept {
    try {
        return new T(static_cast<Args&&>(args)...);
    } catch (...) {
        return nullptr;
    }
}

}  // namespace QX
