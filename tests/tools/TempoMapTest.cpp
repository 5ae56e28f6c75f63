#include "render/TempoMap.h"

#include <gtest/gtest.h>

namespace {

using render::TempoMap;

TEST(TempoMap, TempoChangesBendTimeBothWays) {
    // 120 BPM, 60 BPM from beat 2, 240 BPM from beat 4.
    const TempoMap map(480, {{0, 500000}, {960, 1000000}, {1920, 250000}}, {},
                       TempoMap::Defaults());
    EXPECT_DOUBLE_EQ(map.ticksToSeconds(960), 1.0);
    EXPECT_DOUBLE_EQ(map.ticksToSeconds(1440), 2.0);
    EXPECT_DOUBLE_EQ(map.ticksToSeconds(1920), 3.0);
    EXPECT_DOUBLE_EQ(map.ticksToSeconds(2400), 3.25);
    EXPECT_EQ(map.tickToSample(2400, 48000), 156000);
    for (double seconds : {0.0, 0.3, 1.0, 1.7, 3.0, 3.1, 10.0}) {
        const double ppq = map.secondsToPpq(seconds);
        EXPECT_NEAR(map.ticksToSeconds(static_cast<std::int64_t>(ppq * 480 * 1024) / 1024), seconds,
                    1e-3);
    }
    EXPECT_DOUBLE_EQ(map.positionAtSeconds(1.5).tempo, 60.0);
    EXPECT_DOUBLE_EQ(map.positionAtSeconds(3.0).tempo, 240.0);
}

TEST(TempoMap, BarsFollowTimeSignatureChanges) {
    // 4/4 for two bars, then 3/4, then 7/8 set in the middle of a 3/4 bar.
    const TempoMap map(480, {}, {{0, 4, 4}, {3840, 3, 4}, {3840 + 1440 + 480, 7, 8}},
                       TempoMap::Defaults());
    auto barAt = [&](double ppq) { return map.positionAtSeconds(ppq * 0.5).barStartPpq; };
    EXPECT_DOUBLE_EQ(barAt(7.9), 4.0);
    EXPECT_DOUBLE_EQ(barAt(8.0), 8.0);
    EXPECT_DOUBLE_EQ(barAt(10.5), 8.0);
    EXPECT_DOUBLE_EQ(barAt(11.0), 11.0);
    EXPECT_DOUBLE_EQ(barAt(11.5), 11.0);
    EXPECT_DOUBLE_EQ(barAt(12.0), 12.0);  // the 7/8 starts a bar of its own
    EXPECT_DOUBLE_EQ(barAt(15.4), 12.0);
    EXPECT_DOUBLE_EQ(barAt(15.5), 15.5);
    EXPECT_EQ(map.positionAtSeconds(8.0).numerator, 7);
    EXPECT_EQ(map.positionAtSeconds(8.0).denominator, 8);
    EXPECT_EQ(map.positionAtSeconds(5.0).numerator, 3);
}

TEST(TempoMap, ABarLineOnASampleIsNotMissedByRounding) {
    // Tempos whose second bar starts exactly on a sample, with quotients that
    // binary floating point does not hold exactly.
    for (std::uint32_t micros : {600000u, 480000u, 520000u, 625000u, 700000u}) {
        for (double rate : {44100.0, 48000.0, 96000.0}) {
            const double exact = 4.0 * micros * rate / 1e6;
            if (exact != static_cast<double>(static_cast<std::int64_t>(exact)))
                continue;
            const TempoMap map(480, {{0, micros}}, {}, TempoMap::Defaults());
            const auto sample = static_cast<std::int64_t>(exact);
            EXPECT_DOUBLE_EQ(map.positionAtSample(sample, rate).barStartPpq, 4.0)
                << micros << " at " << rate;
            EXPECT_DOUBLE_EQ(map.positionAtSample(sample - 1, rate).barStartPpq, 0.0)
                << micros << " at " << rate;
        }
    }
}

}  // namespace
