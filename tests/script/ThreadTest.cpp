// The audio thread, a fast timer and an OSC-like thread all run script code
// of one instance while a second instance reaches into the first through the
// registry. Under the thread sanitizer any data race fails the run; without
// it, the test still checks that every party got its turn.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <lua.hpp>

#include "ScriptTestSupport.h"

namespace scripttest {
namespace {

using namespace std::chrono_literals;

TEST(ScriptThreads, TimersOscCallsAndOtherInstancesWhileBlocksRun) {
    UserFolder folder;
    folder.addScript("midi.lua", R"(
        ticks, pressures, calls = 0, 0, 0
        requestPeriodicCallback(0.001, function()
          ticks = ticks + 1
          setGUIBoolValue(ticks % 8, ticks % 2 == 0)
          setParameter('Swing', ticks % 100)
          if ticks % 7 == 0 then error('tick') end
        end)
        requestTimedCallback(0.002, function() oneShot = true end)
        requestChannelPressure(function(c, p)
          pressures = pressures + 1
          getParameter('Swing')
          if p == 13 then error('pressure') end
        end)
        function fromOsc(n) calls = calls + n; return getGUIBoolValue(1) end
    )");
    TestHelpers helpers;
    HookedPlugin plugin(&helpers);
    HookedPlugin other(&helpers);
    plugin.setParameterNative(kParamOscPortOffset, 4, false);
    RecordingHelper& helper = plugin.helper();
    AEffect* effect = plugin.getAeffect();
    resume(effect, 128);
    helper.GetLuaState();
    other.helper().GetLuaState();

    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0};
    std::thread audio([&] {
        float samples[128];
        HostEvents events({{0xD0, 13, 0}, {0x90, 60, 100}}, 5);
        while (!stop) {
            events[0].midiData[1] = static_cast<char>(blocks % 20);
            events.block(effect, samples, 128);
            ++blocks;
        }
    });
    std::thread osc([&] {
        for (int i = 0; i < 300; ++i) {
            std::lock_guard<std::recursive_mutex> guard(helper.luaLock());
            lua_State* L = helper.GetLuaState();
            lua_getglobal(L, "fromOsc");
            lua_pushinteger(L, 1);
            if (lua_pcall(L, 1, 1, 0) != 0)
                ADD_FAILURE() << lua_tostring(L, -1);
            lua_pop(L, 1);
        }
    });
    std::thread neighbour([&] {
        for (int i = 0; i < 300; ++i) {
            EXPECT_EQ(run(other.helper(),
                          "setOthersParameter(4, 'Swing', 25);"
                          "getOthersParameter(4, 'Swing');"
                          "setOthersGUIBoolValue(4, 3, true);"
                          "getOthersGUIBoolValue(4, 1)"),
                      "");
        }
    });
    osc.join();
    neighbour.join();
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (std::chrono::steady_clock::now() < end && (number(helper, "ticks") < 20 || blocks < 100))
        std::this_thread::sleep_for(10ms);
    stop = true;
    audio.join();

    EXPECT_GE(number(helper, "ticks"), 20.0);
    EXPECT_GE(number(helper, "pressures"), 1.0);
    EXPECT_EQ(number(helper, "calls"), 300.0);
    EXPECT_EQ(text(helper, "tostring(oneShot)"), "true");
    EXPECT_NE(helper.output().find("@@@ "), std::string::npos);
}

// Closing interrupts script code that never returns, on whatever thread it
// runs, so that the plug-in's wait for its threads ends.
TEST(ScriptThreads, StoppingInterruptsScriptsThatNeverReturn) {
    UserFolder folder;
    folder.addScript("midi.lua", R"(
        function forever()
          -- Due while this call holds the Lua lock: the timer thread waits.
          requestTimedCallback(0.01, function() while true do end end)
          setGUIBoolValue(1, true)
          while true do pcall(function() while true do end end) end
        end
    )");
    TestHelpers helpers;
    HookedPlugin plugin(&helpers);
    RecordingHelper& helper = plugin.helper();
    helper.GetLuaState();

    // A peer's call spins, catching every error it meets.
    std::string error;
    std::thread osc([&] {
        std::lock_guard<std::recursive_mutex> guard(helper.luaLock());
        lua_State* L = helper.GetLuaState();
        lua_getglobal(L, "forever");
        if (lua_pcall(L, 0, 0, 0) != 0)
            error = lua_tostring(L, -1);
        lua_pop(L, 1);
    });
    for (int i = 0; i < 500 && plugin.indicatorFlag(1).load() == 0; ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_NE(plugin.indicatorFlag(1).load(), 0);
    std::this_thread::sleep_for(50ms);  // the timer is due and waits

    helper.StopTasks();  // returns: both the call and the timer callback end
    osc.join();
    EXPECT_NE(error.find("interrupted: the plug-in is closing"), std::string::npos) << error;
    // And nothing runs any more.
    EXPECT_NE(run(helper, "x = 1").find("interrupted"), std::string::npos);
}

}  // namespace
}  // namespace scripttest
