#include "render/TempoMap.h"
#include "render/Transport.h"

#include <gtest/gtest.h>

namespace {

using render::TempoMap;
using render::Transport;

TEST(TempoMap, DefaultsTo120BpmIn4By4) {
    const TempoMap map(480, {}, {}, TempoMap::Defaults());
    EXPECT_DOUBLE_EQ(map.ticksToSeconds(480), 0.5);
    EXPECT_EQ(map.tickToSample(480 * 3, 44100), 66150);
    const auto p = map.positionAtSeconds(2.25);  // beat 4.5: bar 2 from ppq 4
    EXPECT_DOUBLE_EQ(p.ppq, 4.5);
    EXPECT_DOUBLE_EQ(p.tempo, 120.0);
    EXPECT_DOUBLE_EQ(p.barStartPpq, 4.0);
    EXPECT_EQ(p.numerator, 4);
    EXPECT_EQ(p.denominator, 4);
}

TEST(TempoMap, DefaultsCanBeOverridden) {
    TempoMap::Defaults d;
    d.tempoBpm = 90;
    d.numerator = 6;
    d.denominator = 8;
    const TempoMap map(96, {}, {}, d);
    EXPECT_DOUBLE_EQ(map.ticksToSeconds(96), 60.0 / 90.0);
    EXPECT_DOUBLE_EQ(map.positionAtSeconds(60.0 / 90.0 * 4).barStartPpq, 3.0);
}

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

TEST(Transport, PlaysThroughItsRangeThenStandsStopped) {
    const TempoMap map(480, {}, {}, TempoMap::Defaults());
    Transport t(map, 48000);
    t.setPlayRange(0, 96000);
    const auto a = t.beginBlock(0);
    EXPECT_TRUE(a.playing);
    EXPECT_TRUE(a.changed);
    const auto b = t.beginBlock(512);
    EXPECT_FALSE(b.changed);
    EXPECT_EQ(b.songSample, 512);
    const auto c = t.beginBlock(95900);
    EXPECT_TRUE(c.playing);
    const auto d = t.beginBlock(96100);  // the stop fell inside the last block
    EXPECT_FALSE(d.playing);
    EXPECT_TRUE(d.changed);
    EXPECT_EQ(d.songSample, 96000);
    EXPECT_DOUBLE_EQ(d.position.ppq, 4.0);
    const auto e = t.beginBlock(96612);
    EXPECT_FALSE(e.changed);

    const VstTimeInfo playing = t.timeInfo(b);
    EXPECT_EQ(playing.samplePos, 512.0);
    EXPECT_EQ(playing.sampleRate, 48000.0);
    EXPECT_DOUBLE_EQ(playing.ppqPos, 512.0 / 24000.0);
    EXPECT_EQ(playing.tempo, 120.0);
    EXPECT_EQ(playing.timeSigNumerator, 4);
    const VstInt32 valid =
        kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstCyclePosValid | kVstTimeSigValid;
    EXPECT_EQ(playing.flags, valid | kVstTransportPlaying);
    EXPECT_EQ(t.timeInfo(d).flags, valid | kVstTransportChanged);
}

TEST(Transport, StartsWhereItIsTold) {
    const TempoMap map(480, {}, {}, TempoMap::Defaults());
    Transport t(map, 44100);
    t.setPlayRange(88200, 176400);
    const auto s = t.beginBlock(0);
    EXPECT_EQ(s.songSample, 88200);
    EXPECT_DOUBLE_EQ(s.position.ppq, 4.0);
    EXPECT_DOUBLE_EQ(s.position.barStartPpq, 4.0);
    EXPECT_THROW(t.setPlayRange(10, 5), std::invalid_argument);
}

}  // namespace
