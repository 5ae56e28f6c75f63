// The bodies of the Lua functions sendOSC, registerOSCPathForParameter,
// registerOSCPathForParameterNormalized and registerOSCPathForFunction.
//
// Each runs inside a lua_CFunction. A Lua error is a longjmp that skips C++
// destructors, so every check that can raise comes first, while no C++
// object is alive; the C++ work follows in a function of its own that
// catches everything and reports back in plain text, and only then is an
// error raised.

#include "osc/OscScriptBridge.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <lua.hpp>

#include "OscLuaSupport.h"
#include "OscReply.h"
#include "osc/HostLookup.h"
#include "osc/OscAddressSpace.h"
#include "osc/ReplyEndpoint.h"
#include "platform/Diagnostics.h"

namespace QX {

namespace {

enum class ParameterCheck { Ok, OutOfRange, NotFound, WrongType };

// The parameter at stack slot `index`: a number (numeric strings count) or
// a parameter's name.
ParameterCheck checkParameter(const OscAddressSpace& addressSpace, lua_State* L, int index,
                              int& parameter) {
    const int type = lua_type(L, index);
    if (type == LUA_TNUMBER || (type == LUA_TSTRING && lua_isnumber(L, index))) {
        parameter = luaNumberToInt(lua_tonumber(L, index));
        return parameter >= 0 && parameter < addressSpace.parameterCount()
                   ? ParameterCheck::Ok
                   : ParameterCheck::OutOfRange;
    }
    if (type == LUA_TSTRING) {
        parameter = addressSpace.findParameter(lua_tostring(L, index));
        return parameter >= 0 ? ParameterCheck::Ok : ParameterCheck::NotFound;
    }
    return ParameterCheck::WrongType;
}

int raiseParameterError(lua_State* L, ParameterCheck check, int index, int parameter) {
    switch (check) {
        case ParameterCheck::OutOfRange:
            return luaL_error(L, "parameter out of range: %d", parameter);
        case ParameterCheck::NotFound:
            return luaL_error(L, "parameter not found: '%s'", lua_tostring(L, index));
        default: {
            // A table element of the wrong type is reported against the
            // argument that holds it, with the element's own type.
            const char* message =
                lua_pushfstring(L, "%s expected, got %s", "string", luaL_typename(L, index));
            return luaL_argerror(L, 2, message);
        }
    }
}

}  // namespace

OscScriptBridge::OscScriptBridge(OscAddressSpace& addressSpace, HostLookup& lookup,
                                 bool functionsCallable)
    : addressSpace_(addressSpace), lookup_(lookup), functionsCallable_(functionsCallable) {}

// ---- sendOSC ----------------------------------------------------------------------------------

int OscScriptBridge::SendOSCFromLua(lua_State* L) {
    const char* url = luaL_checkstring(L, 1);
    const char* path = luaL_checkstring(L, 2);
    const int argumentCount = lua_gettop(L);
    const char* format = nullptr;
    std::size_t formatLength = 0;
    int values = 0;
    if (argumentCount == 3) {
        values = 3;
    } else if (argumentCount == 4) {
        format = luaL_checklstring(L, 3, &formatLength);
        values = 4;
    }
    if (values != 0) {
        luaL_checktype(L, values, LUA_TTABLE);
        const std::size_t length = lua_objlen(L, values);
        if (format && formatLength != length)
            return luaL_error(L, "format string length mismatch in sendOSC");
        for (std::size_t i = 1; i <= length; ++i) {
            lua_rawgeti(L, values, static_cast<int>(i));  // push the value
            const int type = lua_type(L, -1);
            lua_pop(L, 1);
            if (type != LUA_TNIL && type != LUA_TNUMBER && type != LUA_TSTRING)
                return luaL_error(L, "unhandled argument type return from call");
        }
    }
    char error[256];
    if (!sendMessage(L, url, path, format, values, error, sizeof error))
        return luaL_error(L, "%s", error);
    return 0;
}

bool OscScriptBridge::sendMessage(lua_State* L, const char* url, const char* path,
                                  const char* format, int valuesIndex, char* error,
                                  std::size_t errorSize) noexcept {
    const int top = lua_gettop(L);
    try {
        const ReplyUrl to = splitReplyUrl(url);
        Reply message(path);
        if (valuesIndex != 0) {
            const int length = static_cast<int>(lua_objlen(L, valuesIndex));
            for (int i = 1; i <= length; ++i) {
                lua_rawgeti(L, valuesIndex, i);  // push the value
                if (lua_isnil(L, -1)) {
                    message.args() << osc::OscNil;
                } else if (lua_isnumber(L, -1)) {
                    // Numeric strings count as numbers.
                    const double number = lua_tonumber(L, -1);
                    if (format && format[i - 1] == 'i')
                        message.args() << static_cast<osc::int32>(luaNumberToInt(number));
                    else
                        message.args() << luaNumberToFloat(number);
                } else {
                    message.args() << lua_tostring(L, -1);
                }
                lua_pop(L, 1);
            }
        }
        // We hold the Lua lock: a name not known yet is looked up, and the
        // datagram sent, by the lookup thread.
        lookup_.send(to.host, to.port, message.finish());
        return true;
    } catch (const std::exception& e) {
        lua_settop(L, top);
        std::snprintf(error, errorSize, "%s", e.what());
        // oscpack's socket texts end in a newline; a Lua message does not.
        const std::size_t length = std::strlen(error);
        if (length > 0 && error[length - 1] == '\n')
            error[length - 1] = '\0';
        return false;
    }
}

// ---- registerOSCPathForParameter(Normalized) --------------------------------------------------

int OscScriptBridge::RegisterOSCPathForParameter(lua_State* L, bool normalised) {
    const char* path = luaL_checkstring(L, 1);
    const bool many = lua_type(L, 2) == LUA_TTABLE;
    const int count = many ? static_cast<int>(lua_objlen(L, 2)) : 1;
    int parameter = 0;
    if (many) {
        for (int i = 1; i <= count; ++i) {
            lua_rawgeti(L, 2, i);  // push the element
            const ParameterCheck check = checkParameter(addressSpace_, L, -1, parameter);
            if (check != ParameterCheck::Ok)
                return raiseParameterError(L, check, lua_gettop(L), parameter);
            lua_pop(L, 1);
        }
    } else {
        const ParameterCheck check = checkParameter(addressSpace_, L, 2, parameter);
        if (check != ParameterCheck::Ok)
            return raiseParameterError(L, check, 2, parameter);
    }
    bool inconsistent = false;
    if (!addParameterPath(L, path, many, count, normalised, inconsistent))
        return luaL_error(L, "not enough memory");
    if (inconsistent) {
        platform::report(platform::ReportLevel::kWarning,
                         "@@@ inconsistent sizes in RegisterOSCPathForParameter");
        std::fflush(stdout);
    }
    return 0;
}

bool OscScriptBridge::addParameterPath(lua_State* L, const char* path, bool many, int count,
                                       bool normalised, bool& inconsistent) noexcept {
    const int top = lua_gettop(L);
    try {
        std::vector<int> parameters;
        parameters.reserve(static_cast<std::size_t>(count));
        for (int i = 1; i <= count; ++i) {
            int parameter = 0;
            if (many) {
                lua_rawgeti(L, 2, i);
                checkParameter(addressSpace_, L, -1, parameter);  // checked above: cannot fail
                lua_pop(L, 1);
            } else {
                checkParameter(addressSpace_, L, 2, parameter);
            }
            parameters.push_back(parameter);
        }
        inconsistent = !addressSpace_.addParameterPath(path, parameters, normalised);
        return true;
    } catch (const std::exception&) {
        lua_settop(L, top);
        return false;
    }
}

// ---- registerOSCPathForFunction ----------------------------------------------------------------

int OscScriptBridge::RegisterOSCPathForFunction(lua_State* L) {
    if (!functionsCallable_)
        return 0;
    const char* path = luaL_checkstring(L, 1);
    if (!lua_isfunction(L, 2))
        return luaL_error(L, "second argument to registerOSCPathForFunction is not a function");
    lua_pushvalue(L, 2);                                   // push the function
    const int reference = luaL_ref(L, LUA_REGISTRYINDEX);  // and pop it into the registry
    if (!addFunctionPath(path, reference)) {
        luaL_unref(L, LUA_REGISTRYINDEX, reference);
        return luaL_error(L, "not enough memory");
    }
    return 0;
}

bool OscScriptBridge::addFunctionPath(const char* path, int reference) noexcept {
    try {
        addressSpace_.addFunctionPath(path, reference);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace QX
