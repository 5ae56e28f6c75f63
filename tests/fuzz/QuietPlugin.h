#pragma once
// What the editor fuzzers share: a plug-in made with quiet helpers. The host
// answers only its version, preferences and message boxes stay in memory,
// and the OSC server sends nothing and reaches no resolver.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <lua.hpp>

#include "osc/OSCHelper.h"
#include "platform/Diagnostics.h"
#include "platform/Preferences.h"
#include "plugin/PluginHelpers.h"
#include "plugin/ZephCorvaneBase.h"

namespace fuzzplugin {

inline VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

class QuietPreferences : public platform::PreferenceStore {
public:
    int readInt(const char*, int defaultValue) override { return defaultValue; }
    void writeInt(const char*, int) override {}
    void readSkin(std::string&) override {}
    void writeSkin(const std::string&) override {}
};

class QuietBoxes : public platform::MessageBoxSink {
public:
    void messageBox(const std::string&, const std::string&) override {}
};

// sendOSC builds its message and sends it nowhere; host names never reach a
// resolver, and no receive thread runs.
class NullTransport : public QX::OscTransport {
public:
    std::uint32_t resolveHost(const char*) override { return 0x7F000001; }
    std::uint32_t localAddressFor(const IpEndpointName&) override { return 0x7F000001; }
    void send(const IpEndpointName&, const std::vector<std::string>&) override {}
};

class BareLua : public QX::OscLuaAccess {
public:
    BareLua() : L_(luaL_newstate()) {}
    ~BareLua() override { lua_close(L_); }
    lua_State* luaState() override { return L_; }
    std::recursive_mutex& luaLock() override { return lock_; }

private:
    lua_State* L_;
    std::recursive_mutex lock_;
};

class Helpers : public QX::PluginHelpers {
public:
    std::unique_ptr<QX::MidiScripting> createMidiScripting(ZephCorvaneBase&) const override {
        return nullptr;
    }
    std::unique_ptr<QX::OscServerControl> createOscServer(ZephCorvaneBase& plugin,
                                                          QX::MidiScripting*) const override {
        auto helper =
            std::make_unique<QX::OSCHelper>(plugin, std::make_unique<BareLua>(), &transport);
        server = helper.get();
        return helper;
    }
    mutable NullTransport transport;
    mutable QX::OSCHelper* server = nullptr;
};

}  // namespace fuzzplugin
