#pragma once
// Small pieces shared by the OSC server's calls into Lua and its Lua
// functions.

#include <cfloat>
#include <climits>
#include <cmath>

#include <osc/OscReceivedElements.h>
#include <lua.hpp>

namespace QX {

// Puts the Lua stack back to its height at construction when the scope
// ends, also by a C++ exception. Only for code outside a lua_CFunction: a
// Lua error would jump over the destructor.
class LuaStackHeight {
public:
    explicit LuaStackHeight(lua_State* L) : L_(L), top_(lua_gettop(L)) {}
    ~LuaStackHeight() { lua_settop(L_, top_); }
    LuaStackHeight(const LuaStackHeight&) = delete;
    LuaStackHeight& operator=(const LuaStackHeight&) = delete;

private:
    lua_State* L_;
    int top_;
};

// Conversions that stay defined for every double a script can produce.
inline float luaNumberToFloat(double value) {
    if (value > FLT_MAX)
        return INFINITY;
    if (value < -FLT_MAX)
        return -INFINITY;
    return static_cast<float>(value);
}

inline int luaNumberToInt(double value) {
    if (std::isnan(value))
        return 0;
    if (value >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (value <= static_cast<double>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(value);
}

// The OSC types a script receives: T and F as booleans, f d i h as
// numbers, s as a string, N as nil. Counts the arguments; -1 when one has
// another type.
inline int countLuaArguments(osc::ReceivedMessageArgumentIterator argument,
                             const osc::ReceivedMessageArgumentIterator& end) {
    int count = 0;
    for (; argument != end; ++argument, ++count) {
        switch (argument->TypeTag()) {
            case 'T':
            case 'F':
            case 'f':
            case 'd':
            case 'i':
            case 'h':
            case 's':
            case 'N':
                break;
            default:
                return -1;
        }
    }
    return count;
}

// Pushes arguments that countLuaArguments accepted. The caller made room.
inline void pushLuaArguments(lua_State* L, osc::ReceivedMessageArgumentIterator argument,
                             const osc::ReceivedMessageArgumentIterator& end) {
    for (; argument != end; ++argument) {
        switch (argument->TypeTag()) {
            case 'T':
                lua_pushboolean(L, 1);
                break;
            case 'F':
                lua_pushboolean(L, 0);
                break;
            case 'f':
                lua_pushnumber(L, argument->AsFloatUnchecked());
                break;
            case 'd':
                lua_pushnumber(L, argument->AsDoubleUnchecked());
                break;
            case 'i':
                lua_pushnumber(L, argument->AsInt32Unchecked());
                break;
            case 'h':
                lua_pushnumber(L, static_cast<lua_Number>(argument->AsInt64Unchecked()));
                break;
            case 's':
                lua_pushstring(L, argument->AsStringUnchecked());
                break;
            default:
                lua_pushnil(L);
                break;
        }
    }
}

}  // namespace QX
