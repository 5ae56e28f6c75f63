// Timers of the MIDI scripts: one-shot and periodic expiry, cancelling, and
// errors in timer callbacks.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "ScriptTestSupport.h"
#include "TimerService.h"

namespace scripttest {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class Timers : public ScriptedTest {
protected:
    Timers() { start(); }

    // Waits until the Lua expression is true or `limit` passes.
    bool waitFor(const std::string& condition, std::chrono::milliseconds limit) {
        const auto end = Clock::now() + limit;
        while (Clock::now() < end) {
            if (text(helper(), "tostring(" + condition + ")") == "true")
                return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }
};

TEST_F(Timers, AOneShotTimerFiresOnceAfterItsDelay) {
    const auto started = Clock::now();
    ASSERT_EQ(run(helper(),
                  "fired = 0; t = requestTimedCallback(0.5, function() "
                  "fired = fired + 1 end)"),
              "");
    ASSERT_TRUE(waitFor("fired > 0", 5000ms));
    const auto elapsed = Clock::now() - started;
    EXPECT_GE(elapsed, 480ms);
    EXPECT_LT(elapsed, 3000ms);  // a slow machine, not a wrong delay
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(number(helper(), "fired"), 1.0);
    // Its record is gone: cancelling now does nothing.
    EXPECT_EQ(run(helper(), "cancelTimer(t)"), "");
}

TEST_F(Timers, CancelTimerWantsATimer) {
    for (const char* other : {"5", "io.stdout"})
        EXPECT_EQ(run(helper(), std::string("cancelTimer(") + other + ")"),
                  "test:1: bad argument #1 to 'cancelTimer' "
                  "(first argument to cancelTimer() is not a timer)");
    EXPECT_EQ(run(helper(), "requestPeriodicCallback(0.1)"),
              "test:1: second argument to requestTimerCallback() is not a function");
}

TEST_F(Timers, CancelledTimersNeverFireAndAPeriodicOneCanCancelItself) {
    ASSERT_EQ(run(helper(),
                  "fired = 0; local t = requestTimedCallback(0.05, function() "
                  "fired = fired + 1 end); cancelTimer(t);"
                  "cancelTimer(requestPeriodicCallback(0.01, function() fired = fired + 1 end));"
                  "ticks = 0; p = requestPeriodicCallback(0.01, function() "
                  "ticks = ticks + 1; if ticks == 3 then cancelTimer(p) end end)"),
              "");
    ASSERT_TRUE(waitFor("ticks >= 3", 5000ms));
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(number(helper(), "ticks"), 3.0);
    EXPECT_EQ(number(helper(), "fired"), 0.0);
}

TEST_F(Timers, ErrorsInTimerCallbacksAreReportedAndTimersKeepRunning) {
    ASSERT_EQ(run(helper(),
                  "ticks = 0; p = requestPeriodicCallback(0.01, function() "
                  "ticks = ticks + 1; error('tick') end);"
                  "requestTimedCallback(0, function() error({}) end)"),
              "");
    ASSERT_TRUE(waitFor("ticks >= 3", 5000ms));
    EXPECT_EQ(run(helper(), "cancelTimer(p)"), "");
    const std::string output = helper().output();
    EXPECT_NE(output.find("@@@ test:1: tick\n"), std::string::npos) << output;
    EXPECT_NE(output.find("@@@ (error object is not a string)\n"), std::string::npos) << output;
}

TEST_F(Timers, DestroyingTheHelperStopsRunningTimers) {
    ASSERT_EQ(run(helper(),
                  "ticks = 0; requestPeriodicCallback(0.001, function() "
                  "ticks = ticks + 1; setGUIBoolValue(ticks % 8, true) end);"
                  "requestTimedCallback(30, function() ticks = -1 end)"),
              "");
    ASSERT_TRUE(waitFor("ticks >= 5", 5000ms));
    plugin.reset();  // must neither hang nor call into a closed state
}

TEST(TimerService, APeriodicTimerWithoutPeriodFiresOnceAndStaysUntilCancelled) {
    std::atomic<int> calls{0};
    QX::TimerService service([&](std::uint64_t, bool) { ++calls; });
    ASSERT_TRUE(service.start(1, 0ms, true));
    const auto end = Clock::now() + 2000ms;
    while (calls == 0 && Clock::now() < end)
        std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(calls.load(), 1);
    EXPECT_EQ(service.pending(), 1u);
    EXPECT_TRUE(service.cancel(1));
    EXPECT_FALSE(service.cancel(1));
    EXPECT_FALSE(service.cancel(99));
}

TEST(TimerService, StopWaitsForARunningExpiryAndRefusesNewTimers) {
    std::atomic<bool> inside{false}, finished{false};
    QX::TimerService service([&](std::uint64_t, bool) {
        inside = true;
        std::this_thread::sleep_for(100ms);
        finished = true;
    });
    ASSERT_TRUE(service.start(1, 0ms, false));
    while (!inside)
        std::this_thread::sleep_for(1ms);
    service.stop();
    EXPECT_TRUE(finished.load());
    EXPECT_FALSE(service.start(2, 0ms, false));
}

}  // namespace
}  // namespace scripttest
