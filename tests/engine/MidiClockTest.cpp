// The clock's counters against hosts that report odd transports for a long
// time. This binary runs under the undefined-behaviour sanitizer, which
// aborts on a signed overflow.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "engine/MidiClock.h"

namespace QX4Controller {
namespace {

constexpr float kRate = 48000.0f;
constexpr std::uint32_t kBlock = 64;

HostTime playingAt(double ppq, bool cycleActive) {
    HostTime time;
    time.answered = true;
    time.playing = true;
    time.tempoValid = time.ppqValid = time.cycleValid = true;
    time.tempo = 120.0;
    time.ppqPosition = ppq;
    time.cycleActive = cycleActive;
    time.cycleStart = 0.0;
    time.cycleEnd = 16.0;
    return time;
}

// A clock with its own encoder, driven block by block like renderBlock does.
struct ClockRig {
    ClockRig() : writer(history), encoder(writer), clock(encoder) {
        ClockParameters parameters;
        parameters.clock = 1.0f;
        clock.updateParameters(parameters);
    }

    // One block; answers how many ticks fell due in it.
    int block(const HostTime& time) {
        clock.beginBlock(time);
        clock.prepareBlock(kRate);
        int ticks = 0;
        while (clock.dueOffset() < kBlock) {
            clock.tick();
            ++ticks;
        }
        clock.endBlock(kBlock);
        return ticks;
    }

    // Plays from the top for `blocks` blocks; the ticks of each block.
    std::vector<int> playFromTheTop(int blocks) {
        std::vector<int> ticks;
        for (int i = 0; i < blocks; ++i)
            ticks.push_back(block(playingAt(static_cast<double>(i) * kBlock / kRate * 2.0, true)));
        return ticks;
    }

    MidiHistory history{};
    HistoryWriter writer;
    SerialEncoder encoder;
    MidiClock clock;
};

TEST(MidiClockCounters, HoursOfAStillPositionWithTheLoopOnStayDefined) {
    // Every block counts as a loop jump and moves the last clock sent back by
    // the loop's 384 clocks: past the range of a signed 32-bit counter after
    // about two hours of 64-sample blocks at 48 kHz. Three hours here.
    ClockRig stuck;
    const HostTime still = playingAt(8.0, true);
    const long blocks = 3L * 3600 * static_cast<long>(kRate) / kBlock;
    std::uint32_t lastSent = static_cast<std::uint32_t>(stuck.clock.lastSentClock());
    std::uint64_t movedBack = 0;
    for (long i = 0; i < blocks; ++i) {
        stuck.block(still);
        const auto now = static_cast<std::uint32_t>(stuck.clock.lastSentClock());
        movedBack += static_cast<std::uint32_t>(lastSent - now);
        lastSent = now;
    }
    EXPECT_GT(movedBack, std::uint64_t{0x80000000u});

    // Stopped and played again, it runs exactly like a clock that never saw
    // the stuck host.
    HostTime stopped = still;
    stopped.playing = false;
    stuck.block(stopped);
    ClockRig fresh;
    const std::vector<int> expected = fresh.playFromTheTop(2000);
    EXPECT_EQ(stuck.playFromTheTop(2000), expected);
    EXPECT_EQ(stuck.clock.lastSentClock(), fresh.clock.lastSentClock());
    // 2000 blocks of 64 samples are 128 000 samples: 128 clocks at 1000
    // samples each, from clock 0.
    EXPECT_EQ(fresh.clock.lastSentClock(), 127);
}

}  // namespace
}  // namespace QX4Controller
