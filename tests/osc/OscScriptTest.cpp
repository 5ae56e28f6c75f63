// The OSC server and Lua: "/exec", "/call", addresses bound by scripts, and
// the script functions sendOSC and registerOSCPathFor*.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "OscTestSupport.h"
#include "platform/testing/CapturedReports.h"

namespace {

using osctest::bundle;
using osctest::bytes;
using osctest::Message;
using osctest::refused;

using osctest::kPeer;
using osctest::kUrl;

// Lua puts the position of the calling chunk before an error raised in C.
const std::string kWhere = "[string \"test\"]:1: ";

class OscScripts : public osctest::RecordedServer {
protected:
    OscScripts() {
        EXPECT_EQ(lua_.run(R"(
            function remember(...) got = {...}; count = select('#', ...) end
            function answer() return 1.5, "text", "7", nil, "unseen" end
            function many() return 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17 end
            function aTable() return {} end
            function fails() error("on purpose") end
        )"),
                  "");
    }
    // Every call leaves the stack as it found it.
    ~OscScripts() override { EXPECT_EQ(lua_gettop(lua_.luaState()), 0); }

    // Runs a chunk that must succeed and evaluates `condition` afterwards.
    bool luaTrue(const std::string& condition) {
        return lua_.run("assert(" + condition + ")").empty();
    }
};

// ---- /exec and /call --------------------------------------------------------------------------

TEST_F(OscScripts, ExecConvertsEveryAcceptedType) {
    Message packet("/exec");
    packet.s("remember").i(3).f(0.5f).s("word").raw('T').raw('F').raw('N');
    packet.raw('d', bytes("\x40\x04\0\0\0\0\0\0"))
        .raw('h', bytes("\0\0\0\x01\0\0\0\0"));  // 2.5, 2^32
    EXPECT_EQ(send(packet), "");
    EXPECT_TRUE(luaTrue("count == 8 and got[1] == 3 and got[2] == 0.5 and got[3] == 'word'"));
    EXPECT_TRUE(luaTrue("got[4] == true and got[5] == false and got[6] == nil"));
    EXPECT_TRUE(luaTrue("got[7] == 2.5 and got[8] == 4294967296"));
}

TEST_F(OscScripts, ExecFailuresLeaveTheServerWorking) {
    const std::string failed = refused("/exec", "failed to exec function");
    EXPECT_EQ(send(Message("/exec").s("remember").raw('b', bytes("\0\0\0\x01x\0\0\0"))),
              refused("/exec", "unhandled argument type to exec"));
    EXPECT_EQ(send(Message("/exec").s("fails")), failed);
    EXPECT_EQ(send(Message("/exec").s("noSuchFunction")), failed);
    EXPECT_EQ(send(Message("/exec").i(1)), refused("/exec", "wrong argument type"));
    EXPECT_EQ(send(Message("/exec")), refused("/exec", "missing argument"));
    Message tooMany("/exec");  // more arguments than Lua takes
    tooMany.s("remember");
    for (int i = 0; i < 9000; ++i)
        tooMany.raw('N');
    EXPECT_EQ(send(tooMany), failed);

    // The helper lists the standard libraries' functions in its registry:
    // the peer may not call them.
    ASSERT_EQ(lua_.run("debug.getregistry()['QX::LuaMIDIHelper::kLibraryFunctions'] = "
                       "{[dofile] = true, [loadfile] = true}"),
              "");
    EXPECT_EQ(send(Message("/exec").s("dofile")), failed);
    EXPECT_EQ(send(Message("/exec").s("remember").i(1)), "");
    ASSERT_EQ(lua_.run("debug.getregistry()['QX::LuaMIDIHelper::kLibraryFunctions'] = nil"), "");

    // Scripts in the style of strict.lua raise on reading an unknown global;
    // outside a protected call that would end the host.
    ASSERT_EQ(lua_.run("setmetatable(_G, {__index = function(_, k) error('undeclared ' .. k) "
                       "end})"),
              "");
    EXPECT_EQ(send(Message("/exec").s("undeclared")), failed);
    EXPECT_EQ(send(Message("/exec").s("remember").i(1)), "");
    ASSERT_EQ(lua_.run("setmetatable(_G, nil)"), "");
}

TEST_F(OscScripts, CallRepliesWithTheResultsUpToTheFirstNil) {
    EXPECT_EQ(send(Message("/call").s("answer").s(kUrl).s("/r")), "");
    send(Message("/call").s("many").s(kUrl).s("/r"));
    const auto replies = transport_.replies();
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[0], "/r ,fsf 1.5 \"text\" 7");
    // Sixteen results are kept.
    EXPECT_EQ(replies[1].substr(0, 20), "/r ,ffffffffffffffff");
    EXPECT_EQ(replies[1].substr(replies[1].size() - 3), " 16");

    transport_.clear();
    EXPECT_EQ(send(Message("/call").s("aTable").s(kUrl).s("/r")),
              refused("/call", "unhandled argument type return from call"));
    EXPECT_EQ(send(Message("/call").s("fails").s(kUrl).s("/r")),
              refused("/call", "failed to exec function"));
    EXPECT_EQ(send(Message("/call").s("answer").s(kUrl)), refused("/call", "missing argument"));
    EXPECT_TRUE(transport_.sent().empty());
}

TEST(OscWithoutLua, ExecAndCallHaveNoLuaSupport) {
    osctest::ScopedPreferences preferences(7000);
    osctest::RecordingTransport transport;
    osctest::RecordingHelpers helpers(transport, nullptr);
    QX4Controller::ZephCorvane plugin(osctest::hostCallback, &helpers);
    for (const std::string& packet : {std::string(Message("/exec").s("f")),
                                      std::string(Message("/call").s("f").s(kUrl).s("/r"))}) {
        platform::testing::CapturedReports said;
        osctest::oscHelperOf(plugin).handlePacket(packet.data(), packet.size(), kPeer);
        EXPECT_EQ(said.Text(), refused(packet.substr(0, 5), "no Lua support from OSC"));
    }
}

// ---- Addresses bound by scripts ---------------------------------------------------------------

TEST_F(OscScripts, FunctionPathsCallEveryBoundFunctionInOrderUntilOneFails) {
    ASSERT_EQ(lua_.run(R"(
        order = ""
        registerOSCPathForFunction("/fn", function(a, b) order = order .. "1:" .. a .. b end)
        registerOSCPathForFunction("/fn", function(a) order = order .. ",2:" .. a end)
        registerOSCPathForFunction("/bad", function() error("no") end)
        registerOSCPathForFunction("/bad", function() second = true end)
    )"),
              "");
    EXPECT_EQ(send(Message("/fn").i(4).s("x")), "");
    EXPECT_TRUE(luaTrue("order == '1:4x,2:4'"));
    EXPECT_EQ(send(Message("/bad")), refused("/bad", "failed to pcall function"));
    EXPECT_TRUE(luaTrue("second == nil"));
    EXPECT_EQ(send(Message("/fn").raw('b', bytes("\0\0\0\0"))),
              refused("/fn", "unhandled argument type to exec"));

    // A bound path comes before the built-in address of the same name.
    ASSERT_EQ(lua_.run("registerOSCPathForFunction('/ping', function() pinged = true end)"), "");
    send(Message("/ping"));
    EXPECT_TRUE(luaTrue("pinged"));
    EXPECT_TRUE(transport_.sent().empty());

    EXPECT_EQ(
        lua_.run("registerOSCPathForFunction('/fn', 3)"),
        kWhere + std::string("second argument to registerOSCPathForFunction is not a function"));
}

TEST_F(OscScripts, ParameterPathsSetNativeOrNormalisedValues) {
    ASSERT_EQ(lua_.run(R"(
        registerOSCPathForParameter("/swing", "Swing")
        registerOSCPathForParameterNormalized("/two", {"Swing", 10})
        registerOSCPathForParameter("/p", 4)
        registerOSCPathForParameter("/p", "23")
    )"),
              "");
    EXPECT_EQ(send(Message("/swing").f(30)), "");
    EXPECT_FLOAT_EQ(plugin_->getParameterNative(4), 30.0f);
    EXPECT_EQ(send(Message("/two").f(0.75f).f(0.25f)), "");
    EXPECT_FLOAT_EQ(plugin_->getParameterNative(4), 75.0f);
    EXPECT_EQ(plugin_->getParameterNative(10), -50.0f);
    // Every registration of one address applies.
    send(Message("/p").f(7));
    EXPECT_FLOAT_EQ(plugin_->getParameterNative(4), 7.0f);
    EXPECT_EQ(plugin_->getParameterNative(23), 7.0f);

    EXPECT_EQ(send(Message("/two").f(0.75f)), refused("/two", "missing argument"));
    EXPECT_EQ(send(Message("/swing").f(1).f(2)), refused("/swing", "too many arguments"));
    EXPECT_EQ(send(Message("/swing").i(1)), refused("/swing", "wrong argument type"));
}

TEST_F(OscScripts, RefusedParameterRegistrationsRegisterNothing) {
    ASSERT_EQ(lua_.run("registerOSCPathForParameter('/p', 4)"), "");
    // A registration of another size is refused with a diagnostic.
    platform::testing::CapturedReports said;
    EXPECT_EQ(lua_.run("registerOSCPathForParameter('/p', {1, 2})"), "");
    EXPECT_EQ(said.Text(), "@@@ inconsistent sizes in RegisterOSCPathForParameter\n");
    EXPECT_EQ(lua_.run("registerOSCPathForParameter('/p', 28)"),
              kWhere + std::string("parameter out of range: 28"));
    EXPECT_EQ(lua_.run("registerOSCPathForParameter('/p', {1, -1})"),
              kWhere + std::string("parameter out of range: -1"));
    EXPECT_EQ(lua_.run("registerOSCPathForParameter('/p', 'Nope')"),
              kWhere + std::string("parameter not found: 'Nope'"));
    EXPECT_EQ(
        lua_.run("registerOSCPathForParameter('/p', {1, {}})"),
        kWhere +
            std::string(
                "bad argument #2 to 'registerOSCPathForParameter' (string expected, got table)"));
    EXPECT_EQ(send(Message("/p").f(8)), "");
    EXPECT_EQ(plugin_->getParameterNative(1), 0.0f);
}

// ---- sendOSC ----------------------------------------------------------------------------------

TEST_F(OscScripts, SendOSCWritesTheFormatsTypes) {
    ASSERT_EQ(lua_.run("sendOSC('osc.udp://127.0.0.1:9000', '/s', 'if', {3, 0.5})"), "");
    ASSERT_EQ(lua_.run("sendOSC('osc.udp://127.0.0.1:9000', '/bare')"), "");
    // Without a format: floats, strings and nils.
    ASSERT_EQ(lua_.run("sendOSC('osc.udp://127.0.0.1:9000', '/t', {1, 'abc', '2', nil, 5})"), "");
    const auto sent = transport_.sent();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].to.address, 0x7F000001u);
    EXPECT_EQ(sent[0].to.port, 9000);
    EXPECT_EQ(sent[0].packets.at(0), bytes("#bundle\0\0\0\0\0\0\0\0\1"
                                           "\0\0\0\x10"
                                           "/s\0\0,if\0\0\0\0\x03\x3f\0\0\0"));
    EXPECT_EQ(sent[1].packets.at(0), bytes("#bundle\0\0\0\0\0\0\0\0\1"
                                           "\0\0\0\x0c"
                                           "/bare\0\0\0,\0\0\0"));
    EXPECT_EQ(osctest::describeReply(sent[2].packets.at(0)), "/t ,fsfNf 1 \"abc\" 2 nil 5");
}

TEST_F(OscScripts, SendOSCToANameNeverLooksItUpUnderTheLuaLock) {
    // "/exec" of a script function that sends to a name whose lookup hangs.
    transport_.holdLookup("slow.example", 0x0A000001);
    ASSERT_EQ(lua_.run("function report(v) sendOSC('osc.udp://slow.example:9000', '/r', {v}) end"),
              "");
    std::thread receiveThread([&] { send(Message("/exec").s("report").i(5)); });
    ASSERT_TRUE(transport_.waitUntilLookupHangs());
    // Meanwhile a MIDI callback on the audio thread takes the Lua lock.
    bool locked = false;
    for (int i = 0; i < 200 && !locked; ++i) {
        locked = lua_.luaLock().try_lock();
        if (!locked)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (locked)
        lua_.luaLock().unlock();
    transport_.releaseLookup();
    receiveThread.join();
    EXPECT_TRUE(locked) << "the Lua lock was held while the name was looked up";
    // The datagram leaves once the name is known.
    ASSERT_TRUE(transport_.waitForSends(1));
    EXPECT_EQ(transport_.sent()[0].to.address, 0x0A000001u);
    EXPECT_EQ(transport_.replies(), std::vector<std::string>{"/r ,f 5"});
}

TEST_F(OscScripts, SendOSCFailures) {
    const std::string call = "sendOSC('osc.udp://127.0.0.1:9000'";
    EXPECT_EQ(lua_.run(call + ", '/s', 'i', {1, 2})"),
              kWhere + std::string("format string length mismatch in sendOSC"));
    EXPECT_EQ(lua_.run(call + ", '/s', {print})"),
              kWhere + std::string("unhandled argument type return from call"));
    EXPECT_EQ(lua_.run(call + ", '/s', 5)"),
              kWhere + std::string("bad argument #3 to 'sendOSC' (table expected, got number)"));
    std::string big = "{";
    for (int i = 0; i < 300; ++i)
        big += "1,";
    EXPECT_EQ(lua_.run(call + ", '/s', " + big + "})"),
              kWhere + std::string("out of buffer memory"));
    EXPECT_TRUE(transport_.sent().empty());
}

}  // namespace
