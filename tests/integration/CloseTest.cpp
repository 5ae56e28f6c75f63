// effClose comes back in bounded time whatever a user script is doing: a
// script function reached through "/exec" or a timer callback that never
// returns is interrupted, and the plug-in then waits for its threads.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>

#include "PluginHome.h"
#include "host/VstHost.h"

namespace {

using namespace std::chrono_literals;

const char* const kPluginPath = TAVRO_PLUGIN_PATH;
constexpr VstInt32 kSwing = 4;
constexpr VstInt32 kOscPortOffset = 15;

class CloseWithAScriptRunning : public testing::Test {
protected:
    void SetUp() override { ASSERT_NE(home_.oscBasePort(), 0); }

    void load() {
        std::string error;
        ASSERT_TRUE(host_.load(kPluginPath, error)) << error;
        host_.dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
        host_.dispatch(effSetBlockSize, 0, 256);
        host_.resume();
    }

    // Waits (bounded) until a script has set Swing: it is running.
    bool scriptRunning() const {
        for (int i = 0; i < 500; ++i) {
            for (const host::AutomationRecord& record : host_.automation())
                if (record.kind == host::AutomationRecord::Automate && record.index == kSwing)
                    return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

    // effClose on another thread; how long it took. A close that does not
    // come back ends the test program rather than hang it.
    std::chrono::milliseconds timedClose() {
        const auto start = std::chrono::steady_clock::now();
        auto closed = std::async(std::launch::async, [&] { host_.close(); });
        if (closed.wait_for(20s) != std::future_status::ready) {
            std::fprintf(stderr, "effClose did not return within 20 s\n");
            std::_Exit(1);
        }
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        std::printf("effClose took %lld ms\n", static_cast<long long>(took.count()));
        return took;
    }

    pluginhome::PluginHome home_{testing::UnitTest::GetInstance()->current_test_info()->name()};
    host::VstHost host_;
};

TEST_F(CloseWithAScriptRunning, AnExecThatNeverReturns) {
    // Catching the interruption does not help a script either.
    home_.addScript("stuck.lua", R"(
        function forever()
          setParameter('Swing', 77)
          while true do pcall(function() while true do end end) end
        end
    )");
    load();
    host_.setParameter(kOscPortOffset, 0.03f);
    pluginhome::OscPeer peer;
    bool running = false;
    for (int i = 0; i < 50 && !running; ++i) {
        peer.send(home_.oscBasePort() + 3, "/exec", {"forever"});
        running = scriptRunning();
    }
    ASSERT_TRUE(running);
    EXPECT_LT(timedClose(), 6s);
}

TEST_F(CloseWithAScriptRunning, ATimerCallbackThatNeverReturns) {
    home_.addScript("stuck.lua", R"(
        requestTimedCallback(0.05, function()
          setParameter('Swing', 66)
          while true do end
        end)
    )");
    load();
    ASSERT_TRUE(scriptRunning());
    EXPECT_LT(timedClose(), 6s);
}

}  // namespace
