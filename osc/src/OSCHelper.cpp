// The OSC server's owner: it builds its three classes and forwards the
// calls of the plug-in and its scripts to them.

#include "osc/OSCHelper.h"

namespace QX {

OSCHelper::OSCHelper(ZephCorvaneBase& owner, std::unique_ptr<OscLuaAccess> lua,
                     OscTransport* transport)
    : lua_(std::move(lua)),
      transport_(transport ? *transport : udpOscTransport()),
      lookup_(transport_),
      addressSpace_(owner, lua_.get(), transport_, lookup_),
      scriptBridge_(addressSpace_, lookup_, lua_ != nullptr),
      threads_(owner, addressSpace_, transport_, lookup_) {}

OSCHelper::~OSCHelper() {
    StopTasks();
}

void OSCHelper::Initialise() {
    addressSpace_.initialise();
    if (lua_)
        lua_->luaState();
}

void OSCHelper::StartTasks() {
    threads_.start();
}

void OSCHelper::StopTasks() {
    threads_.stop();
}

void OSCHelper::portChanged(int port) {
    threads_.requestPort(port);
}

void OSCHelper::parameterChanged(int index, float native) {
    threads_.parameterChanged(index, native);
}

int OSCHelper::SendOSCFromLua(lua_State* L) {
    return scriptBridge_.SendOSCFromLua(L);
}

int OSCHelper::RegisterOSCPathForParameter(lua_State* L, bool normalised) {
    return scriptBridge_.RegisterOSCPathForParameter(L, normalised);
}

int OSCHelper::RegisterOSCPathForFunction(lua_State* L) {
    return scriptBridge_.RegisterOSCPathForFunction(L);
}

void OSCHelper::handlePacket(const char* data, std::size_t size, const IpEndpointName& from) {
    addressSpace_.handlePacket(data, size, from, threads_.boundPort());
}

}  // namespace QX
