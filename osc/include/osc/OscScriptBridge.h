#pragma once
// The OSC functions of the instance's Lua MIDI scripts: sendOSC sends a
// message, registerOSCPathForParameter(Normalized) and
// registerOSCPathForFunction bind addresses in the address space.
//
// Threads: any thread that runs a script, holding the Lua lock, inside a
// lua_CFunction (see OSCScriptInterface). It never looks a host name up
// itself, which would hold the Lua lock for as long as a name server takes:
// a name not known yet is resolved, and the datagram sent, by the lookup
// thread (HostLookup). The only lock it takes is the address space's tables
// lock.
//
// Owns nothing: the address space and the host lookup are the caller's and
// must outlive it.

#include <cstddef>

#include "script/OSCScriptInterface.h"

namespace QX {

class HostLookup;
class OscAddressSpace;

class OscScriptBridge final : public OSCScriptInterface {
public:
    // Without `functionsCallable` (the server has no Lua access) a function
    // is not bound: nothing could call it.
    OscScriptBridge(OscAddressSpace& addressSpace, HostLookup& lookup, bool functionsCallable);
    OscScriptBridge(const OscScriptBridge&) = delete;
    OscScriptBridge& operator=(const OscScriptBridge&) = delete;

    int SendOSCFromLua(lua_State* L) override;
    int RegisterOSCPathForParameter(lua_State* L, bool normalised) override;
    int RegisterOSCPathForFunction(lua_State* L) override;

private:
    // The C++ halves of the functions: they catch everything and report in
    // plain text, so that the caller can raise the Lua error once no C++
    // object is alive.
    bool sendMessage(lua_State* L, const char* url, const char* path, const char* format,
                     int valuesIndex, char* error, std::size_t errorSize) noexcept;
    bool addParameterPath(lua_State* L, const char* path, bool many, int count, bool normalised,
                          bool& inconsistent) noexcept;
    bool addFunctionPath(const char* path, int reference) noexcept;

    OscAddressSpace& addressSpace_;
    HostLookup& lookup_;
    const bool functionsCallable_;
};

}  // namespace QX
