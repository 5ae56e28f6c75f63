// Datagrams come from anyone on the network: whatever bytes reach the OSC
// server's packet handler must be refused or handled without reading past
// them, without a crash and without a Lua panic. Replies are built but not
// sent; names never go to a resolver; no thread or socket runs.

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <lua.hpp>

#include "FuzzTarget.h"
#include "engine/ZephCorvane.h"
#include "osc/OSCHelper.h"

namespace {

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// Builds every reply, sends none.
class NullTransport : public QX::OscTransport {
public:
    std::uint32_t resolveHost(const char* host) override {
        unsigned a, b, c, d;
        char tail;
        return std::sscanf(host, "%u.%u.%u.%u%c", &a, &b, &c, &d, &tail) == 4
                   ? ((a & 0xFF) << 24) | ((b & 0xFF) << 16) | ((c & 0xFF) << 8) | (d & 0xFF)
                   : 0;
    }
    std::uint32_t localAddressFor(const IpEndpointName&) override { return 0x7F000001; }
    void send(const IpEndpointName&, const std::vector<std::string>&) override {}
};

// A bare Lua state (no libraries: a fuzzed "/exec" must not reach files)
// with a few functions and one bound path of each kind.
class FuzzLua : public QX::OscLuaAccess {
public:
    FuzzLua() : L_(luaL_newstate()) {}
    ~FuzzLua() override { lua_close(L_); }
    lua_State* luaState() override { return L_; }
    std::recursive_mutex& luaLock() override { return lock_; }

private:
    lua_State* L_;
    std::recursive_mutex lock_;
};

QX::OSCHelper* gHelper = nullptr;
FuzzLua* gLua = nullptr;

int lua_registerOSCPathForParameter(lua_State* L) {
    return gHelper->RegisterOSCPathForParameter(L, false);
}
int lua_registerOSCPathForFunction(lua_State* L) {
    return gHelper->RegisterOSCPathForFunction(L);
}

class Helpers : public QX::PluginHelpers {
public:
    std::unique_ptr<QX::MidiScripting> createMidiScripting(ZephCorvaneBase&) const override {
        return nullptr;
    }
    std::unique_ptr<QX::OscServerControl> createOscServer(ZephCorvaneBase& plugin,
                                                          QX::MidiScripting*) const override {
        auto lua = std::make_unique<FuzzLua>();
        gLua = lua.get();
        auto helper = std::make_unique<QX::OSCHelper>(plugin, std::move(lua), &transport);
        gHelper = helper.get();
        return helper;
    }
    mutable NullTransport transport;
};

constexpr const char* kSetUp = R"(
    function echo(a, b, c, d) return a, b, c, d end
    function fails() undefinedFunction() end
    function many() return 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17 end
    registerOSCPathForParameter("/p", {4, "Swing", 10})
    registerOSCPathForFunction("/fn", echo)
    registerOSCPathForFunction("/fn", fails)
    registerOSCPathForFunction("/ok", echo)
)";

struct Fixture {
    Fixture() {
        // Every refused datagram prints a line, tens of thousands here. The
        // driver's faults go to standard error (its closing summary to
        // standard output is lost with them).
        if (!std::freopen("/dev/null", "w", stdout))
            std::fprintf(stderr, "fuzz: standard output stays open\n");
        plugin = std::make_unique<QX4Controller::ZephCorvane>(hostCallback, &helpers);
        // No receive thread: a fuzzed "/set 15 ..." must not open a socket.
        gHelper->StopTasks();
        lua_State* L = gLua->luaState();
        lua_register(L, "registerOSCPathForParameter", lua_registerOSCPathForParameter);
        lua_register(L, "registerOSCPathForFunction", lua_registerOSCPathForFunction);
        if (luaL_loadstring(L, kSetUp) != 0 || lua_pcall(L, 0, 0, 0) != 0) {
            std::fprintf(stderr, "fuzz: set-up script failed: %s\n", lua_tostring(L, -1));
            std::abort();
        }
    }

    Helpers helpers;
    std::unique_ptr<QX4Controller::ZephCorvane> plugin;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Fixture fixture;
    const IpEndpointName peer(0x7F000001, 50000);
    // Exactly `size` bytes, so that the sanitizers see any read past them.
    std::vector<char> copy(data, data + size);
    gHelper->handlePacket(copy.data(), copy.size(), peer);
    // Most mutations break the four-byte alignment and stop at the first
    // check; the aligned part of them reaches the argument parsing too.
    if (size % 4 != 0) {
        copy.resize(size - size % 4);
        gHelper->handlePacket(copy.data(), copy.size(), peer);
    }
    return 0;
}
