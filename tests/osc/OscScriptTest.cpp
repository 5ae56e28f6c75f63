// The OSC server and Lua: "/exec", "/call", addresses bound by scripts, and
// the script functions sendOSC and registerOSCPathFor*.

#include <gtest/gtest.h>

#include "OscTestSupport.h"

namespace {

using osctest::bundle;
using osctest::bytes;
using osctest::Message;

const IpEndpointName kPeer(0x7F000001, 50000);
const char* const kUrl = "osc.udp://127.0.0.1:9000";
// Lua puts the position of the calling chunk before an error raised in C.
const std::string kWhere = "[string \"test\"]:1: ";

class OscScripts : public ::testing::Test {
protected:
    OscScripts()
        : plugin_(std::make_unique<QX4Controller::ZephCorvane>(osctest::hostCallback, &helpers_)),
          helper_(osctest::oscHelperOf(*plugin_)) {
        EXPECT_EQ(lua_.run(R"(
            function remember(...) got = {...}; count = select('#', ...) end
            function answer() return 1.5, "text", "7", nil, "unseen" end
            function many() return 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17 end
            function aTable() return {} end
            function fails() error("on purpose") end
        )"),
                  "");
    }
    ~OscScripts() override {
        // Every call leaves the stack as it found it.
        EXPECT_EQ(lua_gettop(lua_.luaState()), 0);
    }

    std::string send(const std::string& packet) {
        testing::internal::CaptureStdout();
        helper_.handlePacket(packet.data(), packet.size(), kPeer);
        return testing::internal::GetCapturedStdout();
    }
    // Runs a chunk that must succeed and evaluates `condition` afterwards.
    bool luaTrue(const std::string& condition) {
        return lua_.run("assert(" + condition + ")").empty();
    }

    osctest::ScopedPreferences preferences_{7000};
    osctest::RecordingTransport transport_;
    osctest::TestLua lua_;
    osctest::RecordingHelpers helpers_{transport_, &lua_};
    std::unique_ptr<QX4Controller::ZephCorvane> plugin_;
    QX::OSCHelper& helper_;
};

// ---- /exec and /call --------------------------------------------------------------------------

TEST_F(OscScripts, ExecConvertsEveryAcceptedType) {
    const std::string packet = Message("/exec")
                                   .s("remember")
                                   .i(3)
                                   .f(0.5f)
                                   .s("word")
                                   .raw('T')
                                   .raw('F')
                                   .raw('N')
                                   .raw('d', bytes("\x40\x04\0\0\0\0\0\0"))  // 2.5
                                   .raw('h', bytes("\0\0\0\x01\0\0\0\0"));   // 2^32
    EXPECT_EQ(send(packet), "");
    EXPECT_TRUE(luaTrue("count == 8"));
    EXPECT_TRUE(luaTrue("got[1] == 3 and got[2] == 0.5 and got[3] == 'word'"));
    EXPECT_TRUE(luaTrue("got[4] == true and got[5] == false and got[6] == nil"));
    EXPECT_TRUE(luaTrue("got[7] == 2.5 and got[8] == 4294967296"));
}

TEST_F(OscScripts, ExecFailures) {
    EXPECT_EQ(send(Message("/exec").s("remember").raw('b', bytes("\0\0\0\x01x\0\0\0"))),
              "error while parsing message: /exec: unhandled argument type to exec\n");
    EXPECT_EQ(send(Message("/exec").s("fails")),
              "error while parsing message: /exec: failed to exec function\n");
    EXPECT_EQ(send(Message("/exec").s("noSuchFunction")),
              "error while parsing message: /exec: failed to exec function\n");
    EXPECT_EQ(send(Message("/exec").i(1)),
              "error while parsing message: /exec: wrong argument type\n");
    EXPECT_EQ(send(Message("/exec")), "error while parsing message: /exec: missing argument\n");
}

TEST_F(OscScripts, LuaLibraryFunctionsAreNotCallableFromThePeer) {
    // The helper lists the standard libraries' functions in its registry.
    ASSERT_EQ(lua_.run("debug.getregistry()['QX::LuaMIDIHelper::kLibraryFunctions'] = "
                       "{[dofile] = true, [loadfile] = true}"),
              "");
    EXPECT_EQ(send(Message("/exec").s("dofile")),
              "error while parsing message: /exec: failed to exec function\n");
    EXPECT_EQ(send(Message("/exec").s("remember").i(1)), "");
    ASSERT_EQ(lua_.run("debug.getregistry()['QX::LuaMIDIHelper::kLibraryFunctions'] = nil"), "");
}

TEST_F(OscScripts, ExecSurvivesGlobalsGuardedByAMetamethod) {
    // Scripts in the style of strict.lua raise on reading an unknown global;
    // outside a protected call that would end the host.
    ASSERT_EQ(lua_.run("setmetatable(_G, {__index = function(_, k) error('undeclared ' .. k) "
                       "end})"),
              "");
    EXPECT_EQ(send(Message("/exec").s("undeclared")),
              "error while parsing message: /exec: failed to exec function\n");
    EXPECT_EQ(send(Message("/exec").s("remember").i(1)), "");
    ASSERT_EQ(lua_.run("setmetatable(_G, nil)"), "");
}

TEST_F(OscScripts, ExecWithMoreArgumentsThanLuaTakesFails) {
    Message message("/exec");
    message.s("remember");
    for (int i = 0; i < 9000; ++i)
        message.raw('N');
    EXPECT_EQ(send(message), "error while parsing message: /exec: failed to exec function\n");
}

TEST_F(OscScripts, CallRepliesWithTheResultsUpToTheFirstNil) {
    EXPECT_EQ(send(Message("/call").s("answer").s(kUrl).s("/r")), "");
    EXPECT_EQ(transport_.replies(), std::vector<std::string>{"/r ,fsf 1.5 \"text\" 7"});

    transport_.clear();
    send(Message("/call").s("many").s(kUrl).s("/r"));
    const auto replies = transport_.replies();
    ASSERT_EQ(replies.size(), 1u);
    // Sixteen results are kept.
    EXPECT_EQ(replies[0].substr(0, 20), "/r ,ffffffffffffffff");
    EXPECT_EQ(replies[0].substr(replies[0].size() - 3), " 16");
}

TEST_F(OscScripts, CallFailures) {
    EXPECT_EQ(send(Message("/call").s("aTable").s(kUrl).s("/r")),
              "error while parsing message: /call: unhandled argument type return from call\n");
    EXPECT_EQ(send(Message("/call").s("fails").s(kUrl).s("/r")),
              "error while parsing message: /call: failed to exec function\n");
    EXPECT_EQ(send(Message("/call").s("answer").s(kUrl)),
              "error while parsing message: /call: missing argument\n");
    EXPECT_TRUE(transport_.sent().empty());
}

TEST(OscWithoutLua, ExecCallAndBoundPathsHaveNoLuaSupport) {
    osctest::ScopedPreferences preferences(7000);
    osctest::RecordingTransport transport;
    osctest::RecordingHelpers helpers(transport, nullptr);
    QX4Controller::ZephCorvane plugin(osctest::hostCallback, &helpers);
    QX::OSCHelper& helper = osctest::oscHelperOf(plugin);
    for (const std::string& packet : {std::string(Message("/exec").s("f")),
                                      std::string(Message("/call").s("f").s(kUrl).s("/r"))}) {
        testing::internal::CaptureStdout();
        helper.handlePacket(packet.data(), packet.size(), kPeer);
        const std::string address = packet.substr(0, 5);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "error while parsing message: " + address + ": no Lua support from OSC\n");
    }
}

// ---- Addresses bound by scripts ---------------------------------------------------------------

TEST_F(OscScripts, FunctionPathsCallEveryBoundFunctionInOrder) {
    ASSERT_EQ(lua_.run(R"(
        order = ""
        registerOSCPathForFunction("/fn", function(a, b) order = order .. "1:" .. a .. b end)
        registerOSCPathForFunction("/fn", function(a) order = order .. ",2:" .. a end)
    )"),
              "");
    EXPECT_EQ(send(Message("/fn").i(4).s("x")), "");
    EXPECT_TRUE(luaTrue("order == '1:4x,2:4'"));

    // A bound path comes before the built-in address of the same name.
    ASSERT_EQ(lua_.run("registerOSCPathForFunction('/ping', function() pinged = true end)"), "");
    send(Message("/ping"));
    EXPECT_TRUE(luaTrue("pinged"));
    EXPECT_TRUE(transport_.sent().empty());
}

TEST_F(OscScripts, AFailingBoundFunctionStopsTheMessage) {
    ASSERT_EQ(lua_.run(R"(
        registerOSCPathForFunction("/fn", function() error("no") end)
        registerOSCPathForFunction("/fn", function() second = true end)
    )"),
              "");
    EXPECT_EQ(send(Message("/fn")), "error while parsing message: /fn: failed to pcall function\n");
    EXPECT_TRUE(luaTrue("second == nil"));
    EXPECT_EQ(send(Message("/fn").raw('b', bytes("\0\0\0\0"))),
              "error while parsing message: /fn: unhandled argument type to exec\n");
}

TEST_F(OscScripts, RegisterOSCPathForFunctionWantsAFunction) {
    EXPECT_EQ(
        lua_.run("registerOSCPathForFunction('/fn', 3)"),
        kWhere + std::string("second argument to registerOSCPathForFunction is not a function"));
    EXPECT_EQ(
        lua_.run("registerOSCPathForFunction(nil, print)"),
        kWhere + std::string(
                     "bad argument #1 to 'registerOSCPathForFunction' (string expected, got nil)"));
}

TEST_F(OscScripts, ParameterPathsSetNativeOrNormalisedValues) {
    ASSERT_EQ(lua_.run(R"(
        registerOSCPathForParameter("/swing", "Swing")
        registerOSCPathForParameterNormalized("/two", {"Swing", 10})
    )"),
              "");
    EXPECT_EQ(send(Message("/swing").f(30)), "");
    EXPECT_FLOAT_EQ(plugin_->getParameterNative(4), 30.0f);

    EXPECT_EQ(send(Message("/two").f(0.75f).f(0.25f)), "");
    EXPECT_FLOAT_EQ(plugin_->getParameterNative(4), 75.0f);
    EXPECT_EQ(plugin_->getParameterNative(10), -50.0f);

    EXPECT_EQ(send(Message("/two").f(0.75f)),
              "error while parsing message: /two: missing argument\n");
    EXPECT_EQ(send(Message("/swing").f(1).f(2)),
              "error while parsing message: /swing: too many arguments\n");
    EXPECT_EQ(send(Message("/swing").i(1)),
              "error while parsing message: /swing: wrong argument type\n");
}

TEST_F(OscScripts, ParameterPathsOfOneAddressAllApply) {
    ASSERT_EQ(lua_.run(R"(
        registerOSCPathForParameter("/p", 4)
        registerOSCPathForParameter("/p", "23")
    )"),
              "");
    send(Message("/p").f(7));
    EXPECT_FLOAT_EQ(plugin_->getParameterNative(4), 7.0f);
    EXPECT_EQ(plugin_->getParameterNative(23), 7.0f);

    // A registration of another size is refused with a diagnostic.
    testing::internal::CaptureStdout();
    EXPECT_EQ(lua_.run("registerOSCPathForParameter('/p', {1, 2})"), "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "@@@ inconsistent sizes in RegisterOSCPathForParameter\n");
    EXPECT_EQ(send(Message("/p").f(8)), "");
    EXPECT_EQ(plugin_->getParameterNative(1), 0.0f);
}

TEST_F(OscScripts, RegisterOSCPathForParameterChecksEveryParameter) {
    EXPECT_EQ(lua_.run("registerOSCPathForParameter('/p', 28)"),
              kWhere + std::string("parameter out of range: 28"));
    EXPECT_EQ(lua_.run("registerOSCPathForParameter('/p', {1, -1})"),
              kWhere + std::string("parameter out of range: -1"));
    EXPECT_EQ(lua_.run("registerOSCPathForParameter('/p', 'Nope')"),
              kWhere + std::string("parameter not found: 'Nope'"));
    EXPECT_EQ(
        lua_.run("registerOSCPathForParameter('/p', true)"),
        kWhere +
            std::string(
                "bad argument #2 to 'registerOSCPathForParameter' (string expected, got boolean)"));
    EXPECT_EQ(
        lua_.run("registerOSCPathForParameter('/p', {1, {}})"),
        kWhere +
            std::string(
                "bad argument #2 to 'registerOSCPathForParameter' (string expected, got table)"));
    // Nothing of a refused call was registered.
    EXPECT_EQ(send(Message("/p").f(1)), "");
    EXPECT_EQ(plugin_->getParameterNative(1), 0.0f);
}

// ---- sendOSC ----------------------------------------------------------------------------------

TEST_F(OscScripts, SendOSCWritesTheFormatsTypes) {
    ASSERT_EQ(lua_.run("sendOSC('osc.udp://127.0.0.1:9000', '/s', 'if', {3, 0.5})"), "");
    const auto sent = transport_.sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].to.address, 0x7F000001u);
    EXPECT_EQ(sent[0].to.port, 9000);
    EXPECT_EQ(sent[0].packets.at(0), bytes("#bundle\0\0\0\0\0\0\0\0\1"
                                           "\0\0\0\x10"
                                           "/s\0\0,if\0\0\0\0\x03\x3f\0\0\0"));
}

TEST_F(OscScripts, SendOSCWithoutValuesSendsNoArguments) {
    ASSERT_EQ(lua_.run("sendOSC('osc.udp://127.0.0.1:9000', '/bare')"), "");
    ASSERT_EQ(transport_.sent().size(), 1u);
    EXPECT_EQ(transport_.sent()[0].packets.at(0), bytes("#bundle\0\0\0\0\0\0\0\0\1"
                                                        "\0\0\0\x0c"
                                                        "/bare\0\0\0,\0\0\0"));
}

TEST_F(OscScripts, SendOSCWithoutFormatSendsFloatsStringsAndNils) {
    ASSERT_EQ(lua_.run("sendOSC('osc.udp://127.0.0.1:9000', '/t', {1, 'abc', '2', nil, 5})"), "");
    EXPECT_EQ(transport_.replies(), std::vector<std::string>{"/t ,fsfNf 1 \"abc\" 2 nil 5"});
}

TEST_F(OscScripts, SendOSCFailures) {
    EXPECT_EQ(lua_.run("sendOSC('osc.udp://127.0.0.1:9000', '/s', 'i', {1, 2})"),
              kWhere + std::string("format string length mismatch in sendOSC"));
    EXPECT_EQ(lua_.run("sendOSC('osc.udp://127.0.0.1:9000', '/s', {print})"),
              kWhere + std::string("unhandled argument type return from call"));
    EXPECT_EQ(lua_.run("sendOSC('osc.udp://127.0.0.1:9000', '/s', 5)"),
              kWhere + std::string("bad argument #3 to 'sendOSC' (table expected, got number)"));
    EXPECT_EQ(lua_.run("sendOSC('osc.udp://127.0.0.1:9000')"),
              kWhere + std::string("bad argument #2 to 'sendOSC' (string expected, got no value)"));
    std::string big = "{";
    for (int i = 0; i < 300; ++i)
        big += "1,";
    EXPECT_EQ(lua_.run("sendOSC('osc.udp://127.0.0.1:9000', '/s', " + big + "})"),
              kWhere + std::string("out of buffer memory"));
    EXPECT_TRUE(transport_.sent().empty());
}

}  // namespace
