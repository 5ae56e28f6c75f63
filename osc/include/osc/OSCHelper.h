#pragma once
// The OSC server of one plug-in instance. It owns three classes and what
// they share:
//   - OscAddressSpace: what a received datagram means and what is answered
//     (no sockets, no threads);
//   - OscServerThreads: the receive and notify threads, the socket and
//     port changes;
//   - OscScriptBridge: the OSC functions of the Lua MIDI scripts;
//   - shared: the Lua access (when there is one), the transport of every
//     outgoing datagram (not owned) and the host lookup with its thread.
// The plug-in reaches it as its OscServerControl, the Lua MIDI helper and
// the editor's scripts as an OSCScriptInterface (the editor by casting the
// plug-in's server); its functions only forward to the three. Each of
// them says at its top which threads call it and which locks it takes.

#include <cstddef>
#include <memory>

#include <ip/IpEndpointName.h>

#include "osc/HostLookup.h"
#include "osc/OscAddressSpace.h"
#include "osc/OscLuaAccess.h"
#include "osc/OscScriptBridge.h"
#include "osc/OscServerThreads.h"
#include "osc/OscTransport.h"
#include "plugin/OscServerControl.h"
#include "script/OSCScriptInterface.h"

class ZephCorvaneBase;

namespace QX {

class OSCHelper : public OscServerControl, public OSCScriptInterface {
public:
    // `lua` may be null: no Lua support ("/exec", "/call" and function
    // paths fail). `transport` (not owned) null means UDP. [main-thread]
    OSCHelper(ZephCorvaneBase& owner, std::unique_ptr<OscLuaAccess> lua = nullptr,
              OscTransport* transport = nullptr);
    // Stops both threads.
    ~OSCHelper() override;
    OSCHelper(const OSCHelper&) = delete;
    OSCHelper& operator=(const OSCHelper&) = delete;

    // ---- OscServerControl ----
    // Reads the product name and parameter table, and creates the Lua state
    // (running the MIDI scripts).
    void Initialise() override;
    void StartTasks() override;
    void StopTasks() override;
    // 0 closes the socket; see OscServerThreads::requestPort.
    void portChanged(int port) override;
    void parameterChanged(int index, float native) override;

    // ---- OSCScriptInterface: see OscScriptBridge ----
    int SendOSCFromLua(lua_State* L) override;
    int RegisterOSCPathForParameter(lua_State* L, bool normalised) override;
    int RegisterOSCPathForFunction(lua_State* L) override;

    // One datagram as if the socket had received it. [tests, benchmarks and
    // the fuzz target, in place of the receive thread]
    void handlePacket(const char* data, std::size_t size, const IpEndpointName& from);

    // ---- Inspection [any-thread] ----
    // The port the socket is bound to; 0 while none is open.
    int boundPort() const { return threads_.boundPort(); }
    const OscAddressSpace& addressSpace() const { return addressSpace_; }
    const OscServerThreads& threads() const { return threads_; }

private:
    std::unique_ptr<OscLuaAccess> lua_;
    OscTransport& transport_;
    // Reply and script hosts by name; sendOSC never waits for a lookup.
    HostLookup lookup_;
    OscAddressSpace addressSpace_;
    OscScriptBridge scriptBridge_;
    // Last: its threads stop before what they use goes.
    OscServerThreads threads_;
};

}  // namespace QX
