#include "script/CrvnLuaMIDIHelper.h"

#include <lua.hpp>

#include "plugin/ZephCorvaneBase.h"

namespace QX {
namespace {

// Bits of the scale mask: degrees 1..16.
constexpr int kMaxScaleDegree = 16;

int crvn_addScale(lua_State* L) {
    const char* name = luaL_checkstring(L, 1);
    luaL_checktype(L, 2, LUA_TTABLE);
    unsigned mask = 0;
    const int count = static_cast<int>(lua_objlen(L, 2));
    for (int i = 1; i <= count; ++i) {
        lua_rawgeti(L, 2, i);  // degree
        // Anything that is not a degree of the mask is left out rather than
        // shifted into undefined bits.
        if (lua_type(L, -1) == LUA_TNUMBER) {
            const lua_Number degree = lua_tonumber(L, -1);
            if (degree >= 1.0 && degree < kMaxScaleDegree + 1.0)
                mask |= 1u << (static_cast<int>(degree) - 1);
        }
        lua_pop(L, 1);  //
    }
    // This plug-in's hook ignores both.
    LuaMIDIHelper::FromState(L)->plugin().scriptSetScale(name, static_cast<int>(mask));
    return 0;
}

const luaL_Reg kCrvnFunctions[] = {
    {"addScale", crvn_addScale},
    {nullptr, nullptr},
};

}  // namespace

CrvnLuaMIDIHelper::CrvnLuaMIDIHelper(ZephCorvaneBase& plugin) : LuaMIDIHelper(plugin) {}

CrvnLuaMIDIHelper::~CrvnLuaMIDIHelper() {
    StopTimers();
}

void CrvnLuaMIDIHelper::NoteOn(int channel, int note, int velocity) {
    plugin().scriptNoteOn(channel, note, velocity);
}

void CrvnLuaMIDIHelper::NoteOff(int channel, int note, int velocity) {
    plugin().scriptNoteOff(channel, note, velocity);
}

void CrvnLuaMIDIHelper::ControlChange(int channel, int controller, int value) {
    plugin().scriptController(channel, controller, value);
}

void CrvnLuaMIDIHelper::PitchWheel(int channel, int lsb, int msb) {
    plugin().scriptPitchBend(channel, msb * 128 + lsb);
}

void CrvnLuaMIDIHelper::SetGUIBoolValue(int id, bool value) {
    plugin().indicatorFlag(id).store(value ? 1 : 0, std::memory_order_relaxed);
}

bool CrvnLuaMIDIHelper::GetGUIBoolValue(int id) {
    return plugin().indicatorFlag(id).load(std::memory_order_relaxed) != 0;
}

void CrvnLuaMIDIHelper::RegisterExtraFunctions(lua_State* L) {
    for (const luaL_Reg* function = kCrvnFunctions; function->name; ++function)
        lua_register(L, function->name, function->func);
}

}  // namespace QX
