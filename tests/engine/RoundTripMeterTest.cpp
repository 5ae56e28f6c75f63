// The loop-back test's round-trip measurement, driven as the engine drives
// it: messages sent every `spacing` samples, each start bit on the sample it
// was sent, echoes back after a delay and taken at the next block's start.
// At 1000 Hz a sample is a millisecond.

#include "engine/RoundTripMeter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using QX4Controller::RoundTripMeter;

constexpr float kRate = 1000.0f;
constexpr int kNeverBack = -1;

struct Outcome {
    RoundTripFigures figures;
    std::uint32_t awaited;
};

// Message k is sent at sample 1 + k * spacing and comes back delays[k %
// size] samples later (kNeverBack: not at all); `blocks` more blocks run
// after the last echo is due.
Outcome simulate(std::uint32_t block, std::uint32_t spacing, const std::vector<int>& delays,
                 std::uint32_t messages, std::uint32_t blocks = 4) {
    RoundTripSummary summary;
    RoundTripMeter meter(summary);
    meter.restart();
    meter.setTiming(spacing, kRate);
    struct Echo {
        std::uint64_t at;
        std::uint8_t b1, b2;
    };
    std::vector<Echo> echoes;
    std::size_t delivered = 0;
    std::uint32_t sent = 0;
    const int longest = *std::max_element(delays.begin(), delays.end());
    const std::uint64_t end = 1 + std::uint64_t{messages} * spacing +
                              static_cast<std::uint64_t>(std::max(longest, 0)) +
                              std::uint64_t{blocks} * block;
    for (std::uint64_t start = 0; start < end; start += block) {
        for (; delivered < echoes.size() && echoes[delivered].at <= start; ++delivered)
            meter.received(3, 0x90, echoes[delivered].b1, echoes[delivered].b2, start);
        for (; sent < messages && 1 + std::uint64_t{sent} * spacing < start + block; ++sent) {
            const std::uint64_t at = 1 + std::uint64_t{sent} * spacing;
            const auto b1 = static_cast<std::uint8_t>(sent & 0x7F);
            const auto b2 = static_cast<std::uint8_t>(sent >> 7);
            meter.sent(3 * sent, true, 3, 0x90, b1, b2, start);
            meter.startBit(3 * sent, at);
            const int delay = delays[sent % delays.size()];
            if (delay != kNeverBack)
                echoes.push_back({at + static_cast<std::uint64_t>(delay), b1, b2});
        }
        meter.endBlock(start + block);
    }
    Outcome run{{}, meter.awaitedCount()};
    EXPECT_TRUE(summary.read(run.figures));
    return run;
}

TEST(RoundTripMeter, FiguresFollowTheDelayToWithinOneBlock) {
    struct Case {
        const char* name;
        std::uint32_t block, spacing;
        std::vector<int> delays;
        std::uint32_t messages;
        // ms; taking the echo in at a block's start adds up to one block (a
        // whole one when it came back in the block it was sent in)
        float minimum, median, maximum;
        std::uint32_t kept, late, lost;
    };
    const std::vector<Case> cases = {
        {"no delay, one-sample blocks", 1, 20, {0}, 40, 0, 0, 0, 40, 0, 0},
        {"no delay, 16-sample blocks", 16, 20, {0}, 40, 0, 0, 0, 40, 0, 0},
        {"a few blocks", 16, 20, {50}, 40, 50, 50, 50, 40, 0, 0},
        {"jitter", 1, 20, {20, 40, 30}, 63, 20, 30, 40, 63, 0, 0},
        {"jitter in blocks", 8, 20, {20, 40, 30}, 63, 20, 30, 40, 63, 0, 0},
        // The late limit: twice the spacing (300), at least 100 ms, plus
        // about a sample of line time.
        {"late", 16, 150, {320, 280}, 20, 280, 300, 320, 20, 10, 0},
        {"just in time", 1, 150, {300}, 10, 300, 300, 300, 10, 0, 0},
        // Overtaken by the next echo: lost at once.
        {"every fourth lost", 4, 20, {10, 10, 10, kNeverBack}, 39, 10, 10, 10, 30, 0, 9},
        // The ring keeps the last 64: delays 36..99 of 0..99.
        {"the ring wraps", 1, 200,
         [] {
             std::vector<int> d;
             for (int i = 0; i < 100; ++i)
                 d.push_back(i);
             return d;
         }(),
         100, 36, 67.5f, 99, 64, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome run = simulate(c.block, c.spacing, c.delays, c.messages);
        const RoundTripFigures& f = run.figures;
        const auto block = static_cast<float>(c.block);
        EXPECT_EQ(f.kept, c.kept);
        EXPECT_EQ(f.late, c.late);
        EXPECT_EQ(f.lost, c.lost);
        EXPECT_EQ(run.awaited, 0u);
        EXPECT_GE(f.minimumMs, c.minimum);
        EXPECT_LE(f.minimumMs, c.minimum + block);
        EXPECT_GE(f.medianMs, c.median);
        EXPECT_LE(f.medianMs, c.median + block);
        EXPECT_GE(f.maximumMs, c.maximum);
        EXPECT_LE(f.maximumMs, c.maximum + block);
    }
}

TEST(RoundTripMeter, AMessageNeverBackIsLostAfterFourTimesItsLateLimit) {
    // Spacing 10: the limit is the 100 ms floor plus the line time.
    const Outcome waiting = simulate(10, 10, {kNeverBack}, 1, 38);
    EXPECT_EQ(waiting.figures.lost, 0u);
    EXPECT_EQ(waiting.awaited, 1u);
    const Outcome given = simulate(10, 10, {kNeverBack}, 1, 39);
    EXPECT_EQ(given.figures.lost, 1u);
    EXPECT_EQ(given.awaited, 0u);
}

TEST(RoundTripMeter, RefusedMessagesAndEchoesOfAnEarlierRun) {
    RoundTripSummary summary;
    RoundTripMeter meter(summary);
    meter.setTiming(100, kRate);
    meter.sent(0, false, 3, 0x90, 1, 2, 0);  // no room in the encoder
    meter.sent(3, true, 3, 0x90, 3, 4, 0);
    meter.startBit(3, 5);
    meter.endBlock(10);
    RoundTripFigures f;
    ASSERT_TRUE(summary.read(f));
    EXPECT_EQ(f.lost, 1u);

    meter.restart();
    meter.received(3, 0x90, 3, 4, 20);  // sent before the restart
    meter.endBlock(30);
    ASSERT_TRUE(summary.read(f));
    EXPECT_EQ(f.lost, 0u);
    EXPECT_EQ(f.kept, 0u);
    EXPECT_EQ(meter.awaitedCount(), 0u);
}

}  // namespace
