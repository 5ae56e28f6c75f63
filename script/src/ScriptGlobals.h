// What every Lua state of the product has in common: the globals that tell
// a script which product, version and system it runs in, and a print that
// joins its arguments into one line.

#pragma once

struct lua_State;

namespace QX {

// isMac, isWin, isVST, isAU and the version numbers.
void setProductGlobals(lua_State* L);

// Joins the arguments as the base library's print does (tab-separated,
// through tostring, ending with a newline) and pushes the line.
void pushPrintLine(lua_State* L);

// Truncation towards zero that stays defined for any Lua number (NaN and
// values beyond the int range included): INT_MIN below, INT_MAX above.
int truncateToInt(double value);

}  // namespace QX
