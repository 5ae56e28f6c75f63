// A host that embeds a Lua of its own (5.4, linked in and exported to the
// whole process, as some DAWs do) loads tavro.so through its entry point with
// a user MIDI script and the OSC server on, and plays MIDI through it. The
// plug-in's Lua 5.1 must be its own: were any of its lua_* calls bound to the
// host's functions, the first one would run on a state of the other version
// and the process would crash while the plug-in opens.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <lua.hpp>

#include "SignalRig.h"
#include "platform/Folders.h"
#include "platform/Preferences.h"
#include "platform/SharedLibrary.h"
#include "platform/testing/TestAccess.h"

static_assert(LUA_VERSION_NUM >= 503, "the host's Lua must differ from the plug-in's 5.1");

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using platform::testsupport::setEnvironmentVariable;

constexpr VstInt32 kChannelise = 12;
constexpr VstInt32 kOscPortOffset = 15;
constexpr VstInt32 kSoftly = 25;
constexpr float kSoftlyOff = 1.0f;

// Program n re-channels the output to channel n + 1 straight from the MIDI
// callback (audio thread). Channel pressure p asks the plug-in's own OSC
// server for channel p: the message goes out through a UDP socket and comes
// back on the server's receive thread, which runs the bound function.
constexpr const char* kUserScript = R"lua(
local base = tonumber(os.getenv("TAVRO_OWN_LUA_OSC_BASE"))

requestAllProgramChange(function(channel, program)
    setParameter("Channelise", program + 1)
end)

registerOSCPathForFunction("/ownlua/channelise", function(channel)
    setParameter("Channelise", channel)
end)

requestChannelPressure(function(channel, pressure)
    local port = base + getParameter("OSC Port Offset")
    sendOSC("osc.udp://127.0.0.1:" .. port, "/ownlua/channelise", "i", {pressure})
end)
)lua";

// The host's own interpreter, in use before, during and after the plug-in.
class HostLua {
public:
    HostLua() : state_(luaL_newstate()) { luaL_openlibs(state_); }
    ~HostLua() { lua_close(state_); }
    HostLua(const HostLua&) = delete;
    HostLua& operator=(const HostLua&) = delete;

    std::string run(const char* code) {
        std::string result;
        if (luaL_dostring(state_, code) != 0)
            result = "error: ";
        const char* text = lua_tostring(state_, -1);
        result += text ? text : "(not a string)";
        lua_settop(state_, 0);
        return result;
    }

private:
    lua_State* state_;
};

// Private per-user folders: the preference file with the OSC base port, and
// the Scripts folder with the user's script.
class UserSetup {
public:
    explicit UserSetup(int oscBasePort) {
        std::random_device random;
        root_ = fs::temp_directory_path() /
                ("tavro-own-lua-" + std::to_string(random()) + std::to_string(random()));
        fs::create_directories(root_);
        setEnvironmentVariable("XDG_CONFIG_HOME", (root_ / "config").string().c_str());
        setEnvironmentVariable("XDG_DATA_HOME", (root_ / "data").string().c_str());
        setEnvironmentVariable("TAVRO_OWN_LUA_OSC_BASE", std::to_string(oscBasePort).c_str());
        fs::create_directories(root_ / "config");
        platform::writeIntPreference(platform::kPrefOscBasePort, oscBasePort);
        const std::string scripts = platform::scriptsFolder("tavro");
        fs::create_directories(scripts);
        std::ofstream(scripts + "rechannel.lua", std::ios::binary) << kUserScript;
    }
    ~UserSetup() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

private:
    fs::path root_;
};

// Differs between concurrent runs, so that two of them rarely want one port.
int oscBasePort() {
    std::random_device random;
    return 21000 + static_cast<int>(random() % 400) * 100;
}

float channeliseNormalized(int channel) {
    return static_cast<float>(channel) / 16.0f;
}

std::vector<std::vector<std::uint8_t>> noteOns(const std::vector<Message>& messages) {
    std::vector<std::vector<std::uint8_t>> notes;
    for (const Message& m : messages)
        if (!m.bytes.empty() && (m.bytes[0] & 0xF0) == 0x90)
            notes.push_back(m.bytes);
    return notes;
}

TEST(HostWithItsOwnLua, OffersItsLuaToTheWholeProcess) {
    // Without this the test below would prove nothing: the plug-in's
    // references could not meet the host's functions.
    HostLua lua;
    EXPECT_EQ(lua.run("return _VERSION"), "Lua " LUA_VERSION_MAJOR "." LUA_VERSION_MINOR);
    std::string error;
    // An empty path opens the program itself.
    std::unique_ptr<platform::SharedLibrary> program = platform::SharedLibrary::open("", error);
    ASSERT_TRUE(program) << error;
    // Names the plug-in's Lua 5.1 defines as well.
    for (const char* name : {"luaL_newstate", "luaL_openlibs", "lua_pushstring", "lua_settop",
                             "lua_gettop", "lua_setfield", "lua_pushcclosure", "lua_tolstring"})
        EXPECT_NE(program->symbol(name), nullptr) << name;
}

TEST(HostWithItsOwnLua, PluginRunsTheUserScriptOnItsOwnLuaWithTheOscServerOn) {
    HostLua lua;
    ASSERT_EQ(lua.run("return string.format('%d', 7 // 2)"), "3");  // integer division: 5.3+
    const int base = oscBasePort();
    UserSetup user(base);
    {
        SignalRig rig(48000, 512);
        ASSERT_TRUE(rig.loaded());
        rig.setParameter(kSoftly, kSoftlyOff);

        rig.block({{10, {0x90, 60, 100}}});
        // Program 4: channel 5 from this note on.
        rig.block({{10, {0xC0, 4}}, {200, {0x90, 62, 100}}});
        EXPECT_FLOAT_EQ(rig.host.getParameter(kChannelise), channeliseNormalized(5));

        // Channel pressure 9 travels round the OSC server. Another program
        // may hold a port: then the next offset.
        bool roundTrip = false;
        for (int offset = 1; offset <= 3 && !roundTrip; ++offset) {
            rig.setParameter(kOscPortOffset, static_cast<float>(offset) / 100.0f);
            const auto deadline = std::chrono::steady_clock::now() + 4s;
            while (!roundTrip && std::chrono::steady_clock::now() < deadline) {
                rig.block({{0, {0xD0, 9}}});
                std::this_thread::sleep_for(5ms);
                roundTrip =
                    std::fabs(rig.host.getParameter(kChannelise) - channeliseNormalized(9)) < 1e-6f;
            }
        }
        ASSERT_TRUE(roundTrip) << "the OSC message never came back to the plug-in's server";
        rig.block({{10, {0x90, 64, 100}}});
        rig.silence(2);

        const std::vector<std::vector<std::uint8_t>> expected = {
            {0x90, 60, 100}, {0x94, 62, 100}, {0x98, 64, 100}};
        EXPECT_EQ(noteOns(rig.decode()), expected);
    }
    // The host's interpreter is untouched by the plug-in's.
    EXPECT_EQ(lua.run("local t = {} for i = 1, 3 do t[#t + 1] = i * i end "
                      "return table.concat(t, ',')"),
              "1,4,9");
}

}  // namespace
