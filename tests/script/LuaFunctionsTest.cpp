// The global functions of the MIDI scripts: parameters, indicator flags,
// other instances, argument errors and the stack they leave.

#include <gtest/gtest.h>

#include <lua.hpp>

#include "ScriptTestSupport.h"
#include "platform/Settings.h"

namespace scripttest {
namespace {

class LuaFunctions : public ScriptedTest {
protected:
    LuaFunctions() { start(); }
};

TEST_F(LuaFunctions, ParameterIndicesOutsideTheTableAreRejectedWithTheirNumber) {
    EXPECT_EQ(run(helper(), "getParameter(28)"), "test:1: parameter out of range: 28");
    EXPECT_EQ(run(helper(), "getParameter(-1)"), "test:1: parameter out of range: -1");
    EXPECT_EQ(run(helper(), "setParameter('28', 1)"), "test:1: parameter out of range: 28");
    EXPECT_EQ(run(helper(), "getParameter(0/0)"), "test:1: parameter out of range: -2147483648");
    EXPECT_EQ(run(helper(), "getParameter(1e300)"), "test:1: parameter out of range: 2147483647");
}

TEST_F(LuaFunctions, ParametersAreFoundByIndexOrDisplayName) {
    EXPECT_EQ(number(helper(), "getParameter('Swing')"), 50.0);
    EXPECT_EQ(run(helper(), "setParameter('Swing', 62.5)"), "");
    EXPECT_FLOAT_EQ(plugin->getParameterNative(kParamSwing), 62.5f);
    EXPECT_EQ(number(helper(), "getParameter(4.9)"), 62.5);  // truncated to 4
    EXPECT_EQ(number(helper(), "getParameter('4')"), 62.5);
    EXPECT_EQ(number(helper(), "getParameterID('OSC Port Offset')"), 15.0);
    EXPECT_EQ(run(helper(), "lo, hi = getParameterMinMax('OSC Port Offset')"), "");
    EXPECT_EQ(text(helper(), "lo .. ',' .. hi"), "0,100");

    EXPECT_EQ(run(helper(), "getParameterID('Nope')"), "test:1: parameter not found: 'Nope'");
    EXPECT_EQ(run(helper(), "getParameterID('3')"), "test:1: parameter not found: '3'");
    // The standard libraries' functions are listed, so that peers on the
    // network cannot call them; the helper's own are not.
    EXPECT_EQ(text(helper(),
                   "tostring(debug.getregistry()['QX::LuaMIDIHelper::kLibraryFunctions']"
                   "[dofile] and not debug.getregistry()"
                   "['QX::LuaMIDIHelper::kLibraryFunctions'][setParameter])"),
              "true");
    // Names keep their spaces; the OSC form without them is not a name here.
    EXPECT_EQ(run(helper(), "getParameter('OSCPortOffset')"),
              "test:1: parameter not found: 'OSCPortOffset'");
    EXPECT_EQ(run(helper(), "getParameter(true)"),
              "test:1: bad argument #1 to 'getParameter' (string expected, got boolean)");
}

TEST_F(LuaFunctions, ValuesNoParameterCanTakeAreRefusedOthersClamped) {
    EXPECT_EQ(run(helper(), "setParameter('Swing', 0/0)"),
              "test:1: bad argument #2 to 'setParameter' (not a finite number)");
    EXPECT_EQ(run(helper(), "setParameter('Swing', 1/0)"),
              "test:1: bad argument #2 to 'setParameter' (not a finite number)");
    EXPECT_EQ(run(helper(), "setOthersParameter(1, 'Swing', 0/0)"),
              "test:1: bad argument #3 to 'setOthersParameter' (not a finite number)");
    EXPECT_EQ(plugin->getParameterNative(kParamSwing), 50.0f);
    EXPECT_EQ(run(helper(), "setParameter('Swing', 1e28)"), "");
    EXPECT_EQ(plugin->getParameterNative(kParamSwing), 100.0f);

    platform::processSettings().oscBasePort.store(65535);
    EXPECT_EQ(run(helper(), "setParameter('OSC Port Offset', 1)"),
              "test:1: bad argument #2 to 'setParameter' (OSC Base Port + OSC Port Offset is "
              "above 65535)");
    EXPECT_EQ(run(helper(), "setParameter('OSC Port Offset', 0)"), "");
    platform::processSettings().oscBasePort.store(platform::kDefaultOscBasePort);
    EXPECT_EQ(plugin->getParameterNative(kParamOscPortOffset), 0.0f);
}

TEST_F(LuaFunctions, IndicatorFlagsAreThePluginsAndLimitedToEight) {
    EXPECT_EQ(run(helper(), "setGUIBoolValue(3, 'yes')"), "");
    EXPECT_EQ(plugin->indicatorFlag(3).load(), 1);
    EXPECT_EQ(run(helper(), "setGUIBoolValue(3, nil)"), "");
    plugin->indicatorFlag(7).store(1);
    EXPECT_EQ(text(helper(), "tostring(getGUIBoolValue(7))"), "true");

    EXPECT_EQ(run(helper(), "setGUIBoolValue(8, true)"), "test:1: indicator id out of range: 8");
    EXPECT_EQ(run(helper(), "getGUIBoolValue(-1)"), "test:1: indicator id out of range: -1");
    EXPECT_EQ(run(helper(), "setOthersGUIBoolValue(1, 8, true)"),
              "test:1: indicator id out of range: 8");
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(plugin->indicatorFlag(i).load(), i == 7 ? 1 : 0);
}

TEST_F(LuaFunctions, OtherInstancesAreChosenByTheirOscPortOffset) {
    HookedPlugin second(&helpers);
    HookedPlugin third(&helpers);
    plugin->setParameterNative(kParamOscPortOffset, 3, false);
    second.setParameterNative(kParamOscPortOffset, 5, false);
    third.setParameterNative(kParamOscPortOffset, 5, false);
    third.setParameterNative(kParamSwing, 80, false);

    // Every match is set, this instance included when it matches.
    EXPECT_EQ(run(helper(), "setOthersParameter(5, 'Swing', 70)"), "");
    EXPECT_FLOAT_EQ(second.getParameterNative(kParamSwing), 70.0f);
    EXPECT_FLOAT_EQ(third.getParameterNative(kParamSwing), 70.0f);
    EXPECT_FLOAT_EQ(plugin->getParameterNative(kParamSwing), 50.0f);
    EXPECT_EQ(run(helper(), "setOthersParameter(3, 4, 20)"), "");
    EXPECT_FLOAT_EQ(plugin->getParameterNative(kParamSwing), 20.0f);

    // Reads come from the first match in registry order; none gives 0.
    third.setParameterNative(kParamSwing, 90, false);
    EXPECT_EQ(number(helper(), "getOthersParameter(5, 'Swing')"), 70.0);
    EXPECT_EQ(number(helper(), "getOthersParameter(9, 'Swing')"), 0.0);

    EXPECT_EQ(run(helper(), "setOthersGUIBoolValue(5, 2, true)"), "");
    EXPECT_EQ(second.indicatorFlag(2).load(), 1);
    EXPECT_EQ(third.indicatorFlag(2).load(), 1);
    EXPECT_EQ(plugin->indicatorFlag(2).load(), 0);
    EXPECT_EQ(text(helper(), "tostring(getOthersGUIBoolValue(5, 2))"), "true");
    EXPECT_EQ(text(helper(), "tostring(getOthersGUIBoolValue(9, 2))"), "false");
    EXPECT_EQ(run(helper(), "setOthersParameter(5, 28, 1)"), "test:1: parameter out of range: 28");
}

TEST_F(LuaFunctions, CallbackRegistrationsWantFunctions) {
    EXPECT_EQ(run(helper(), "requestAllCC(5)"),
              "test:1: first argument to requestAllCC() is not a function");
    EXPECT_EQ(run(helper(), "requestNRPN(60, 'f')"),
              "test:1: second argument to requestNRPN() is not a function");
    EXPECT_EQ(run(helper(), "requestNoteOn('x', print)"),
              "test:1: bad argument #1 to 'requestNoteOn' (number expected, got string)");
}

TEST_F(LuaFunctions, BindingsLeaveExactlyTheirResultsOnTheStack) {
    // A function and its arguments; the results it leaves, -1 when it raises.
    const std::pair<const char*, int> calls[] = {
        {"setParameter, 4, 55", 0},
        {"getParameter, 4", 1},
        {"getParameter, 28", -1},
        {"getParameterID, 'Swing'", 1},
        {"getParameterID, 'Nope'", -1},
        {"getParameterMinMax, 15", 2},
        {"getParameterUnit, 15", 1},
        {"getParameterName, 15", 1},
        {"isParameterUsed, 15", 1},
        {"getNumParameters", 1},
        {"setOthersParameter, 9, 4, 1", 0},
        {"getOthersParameter, 9, 4", 1},
        {"setGUIBoolValue, 1, true", 0},
        {"getGUIBoolValue, 1", 1},
        {"getGUIBoolValue, 8", -1},
        {"time", 1},
        {"requestChannelPressure, print", 0},
        {"requestCC, 7, print", 0},
        {"requestTimedCallback, 60, print", 1},
        {"cancelTimer, 5", -1},
        {"addScale, 'Fifths', {1, 8}", 0},
        {"sendOSC, 'osc.udp://h:1', '/x'", 0},
        {"registerOSCPathForFunction, '/f', print", 0},
    };
    std::lock_guard<std::recursive_mutex> guard(helper().luaLock());
    lua_State* L = helper().GetLuaState();
    const int top = lua_gettop(L);
    for (const auto& [call, results] : calls) {
        ASSERT_EQ(luaL_loadstring(L, ("return " + std::string(call)).c_str()), 0);
        ASSERT_EQ(lua_pcall(L, 0, LUA_MULTRET, 0), 0);
        const int status = lua_pcall(L, lua_gettop(L) - top - 1, LUA_MULTRET, 0);
        EXPECT_EQ(status != 0, results < 0) << call << ": " << (status ? lua_tostring(L, -1) : "");
        EXPECT_EQ(lua_gettop(L), top + (results < 0 ? 1 : results)) << call;  // an error: just it
        lua_settop(L, top);
    }
}

}  // namespace
}  // namespace scripttest
