#include <gtest/gtest.h>

#include <thread>

#include "platform/WakeSignal.h"

namespace {

TEST(WakeSignal, ASignalGivenBeforeTheWaitIsKept) {
    platform::WakeSignal wake;
    wake.signal();
    EXPECT_TRUE(wake.waitFor(1000));
    EXPECT_FALSE(wake.waitFor(20));  // and used up
}

TEST(WakeSignal, ManySignalsBeforeAWaitWakeItOnce) {
    platform::WakeSignal wake;
    for (int i = 0; i < 100; ++i)
        wake.signal();
    EXPECT_TRUE(wake.waitFor(1000));
    EXPECT_FALSE(wake.waitFor(20));
}

TEST(WakeSignal, WakesAThreadWaitingElsewhere) {
    platform::WakeSignal wake;
    std::thread waker([&] { wake.signal(); });
    EXPECT_TRUE(wake.waitFor(5000));
    waker.join();
}

}  // namespace
