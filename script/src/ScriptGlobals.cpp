#include "ScriptGlobals.h"

#include <climits>

#include <lua.hpp>

namespace QX {
namespace {

// Version of the product as the scripts see it.
constexpr int kMajorVersion = 1;
constexpr int kMinorVersion = 0;
constexpr int kDotVersion = 7;

// Scripts pick fonts, paths and conventions by isWin: the Linux build must
// not claim Windows.
#if defined(_WIN32)
constexpr bool kIsWindows = true;
#else
constexpr bool kIsWindows = false;
#endif

void setGlobalBoolean(lua_State* L, const char* name, bool value) {
    lua_pushboolean(L, value);                // value
    lua_setfield(L, LUA_GLOBALSINDEX, name);  //
}

void setGlobalInteger(lua_State* L, const char* name, int value) {
    lua_pushinteger(L, value);                // value
    lua_setfield(L, LUA_GLOBALSINDEX, name);  //
}

}  // namespace

void setProductGlobals(lua_State* L) {
    setGlobalBoolean(L, "isMac", false);
    setGlobalBoolean(L, "isWin", kIsWindows);
    setGlobalBoolean(L, "isVST", true);
    setGlobalBoolean(L, "isAU", false);
    setGlobalInteger(L, "majorVersion", kMajorVersion);
    setGlobalInteger(L, "minorVersion", kMinorVersion);
    setGlobalInteger(L, "dotVersion", kDotVersion);
    setGlobalInteger(L, "version", kMajorVersion * 10000 + kMinorVersion * 100 + kDotVersion);
}

void pushPrintLine(lua_State* L) {
    const int n = lua_gettop(L);
    lua_getglobal(L, "tostring");  // args..., tostring
    luaL_Buffer buffer;
    luaL_buffinit(L, &buffer);
    for (int i = 1; i <= n; ++i) {
        if (i > 1)
            luaL_addchar(&buffer, '\t');
        lua_pushvalue(L, n + 1);  // ..., tostring
        lua_pushvalue(L, i);      // ..., tostring, arg
        lua_call(L, 1, 1);        // ..., text
        if (!lua_isstring(L, -1))
            luaL_error(L, "'tostring' must return a string to 'print'");
        luaL_addvalue(&buffer);  // (added)
    }
    luaL_addchar(&buffer, '\n');
    luaL_pushresult(&buffer);  // args..., tostring, line
}

int truncateToInt(double value) {
    if (!(value > static_cast<double>(INT_MIN) - 1.0))
        return INT_MIN;
    if (!(value < static_cast<double>(INT_MAX) + 1.0))
        return INT_MAX;
    return static_cast<int>(value);
}

}  // namespace QX
