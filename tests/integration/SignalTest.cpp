// MIDI in, audio out, through the real entry point: the output is decoded
// back into serial MIDI bytes and compared, sample for sample.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SignalRig.h"

namespace {

constexpr float kSoftlyOff = 1.0f;  // normalized: "Off" is the last of three
constexpr float kRates[] = {44100, 48000, 88200, 96000, 176400, 192000};

TEST(Signal, EveryRateCarriesTheHostsMidiAtItsSample) {
    for (float rate : kRates) {
        SignalRig rig(rate, 512);
        ASSERT_TRUE(rig.loaded());
        rig.setParameter(25, kSoftlyOff);
        rig.block({{17, {0x90, 60, 100}}, {300, {0xB0, 7, 99}}});
        rig.block({{0, {0xC3, 12}}, {511, {0xE0, 0x00, 0x40}}});
        rig.block({{250, {0x80, 60, 0}}});
        rig.silence(2);
        const std::vector<Message> expected = {{17, {0x90, 60, 100}},
                                               {300, {0xB0, 7, 99}},
                                               {512, {0xC3, 12}},
                                               {1023, {0xE0, 0x00, 0x40}},
                                               {1274, {0x80, 60, 0}}};
        const std::vector<Message> got = rig.decode();
        ASSERT_EQ(got.size(), expected.size()) << rate;
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].bytes, expected[i].bytes) << rate << " message " << i;
            EXPECT_EQ(got[i].start, expected[i].start) << rate << " message " << i;
        }
    }
}

TEST(Signal, SoftlyAtTheLowRatesStillDecodes) {
    for (float rate : {44100.0f, 48000.0f}) {
        SignalRig rig(rate, 256);  // Softly "Automatic": on at these rates
        rig.block({{100, {0x90, 0x3C, 0x7F}}, {100, {0x90, 0x40, 0x7F}}});
        rig.silence(2);
        const auto got = rig.decode(true);
        ASSERT_EQ(got.size(), 2u) << rate;
        EXPECT_EQ(got[0].bytes, (std::vector<std::uint8_t>{0x90, 0x3C, 0x7F}));
        EXPECT_EQ(got[0].start, 100);
        EXPECT_EQ(got[1].bytes, (std::vector<std::uint8_t>{0x90, 0x40, 0x7F}));
    }
}

TEST(Signal, EventsAtOneSampleLeaveInArrivalOrderBackToBack) {
    SignalRig rig(48000, 256);
    rig.setParameter(25, kSoftlyOff);
    rig.block({{100, {0x90, 1, 1}}, {100, {0x90, 2, 2}}, {100, {0xF8}}});
    rig.silence(1);
    const auto got = rig.decode();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].start, 100);
    EXPECT_EQ(got[1].start, 100 + 3 * 16);  // three bytes of 16 samples at 48000
    EXPECT_EQ(got[1].bytes[1], 2);
    EXPECT_EQ(got[2].start, 100 + 6 * 16);
    EXPECT_EQ(got[2].bytes, (std::vector<std::uint8_t>{0xF8}));
}

TEST(Signal, ChannelFilterAndChanneliseOnTheWire) {
    SignalRig rig(96000, 512);
    rig.setParameter(2, 5.0f / 17.0f);    // MIDI Channel 5
    rig.setParameter(12, 10.0f / 16.0f);  // Channelise 10
    rig.block({{0, {0x94, 60, 100}}, {0, {0x95, 61, 100}}, {0, {0xF8}}});
    rig.setParameter(2, 0.0f);  // Off: only system messages
    rig.block({{0, {0x94, 62, 100}}, {10, {0xFA}}});
    rig.setParameter(2, 1.0f);   // Omni
    rig.setParameter(12, 0.0f);  // Channelise off
    rig.block({{0, {0x95, 63, 100}}, {0, {0xF7}}, {0, {0xF4}}});
    rig.silence(2);
    std::vector<std::vector<std::uint8_t>> bytes;
    for (const auto& m : rig.decode())
        bytes.push_back(m.bytes);
    const std::vector<std::vector<std::uint8_t>> expected = {
        {0x99, 60, 100}, {0xF8}, {0xFA}, {0x95, 63, 100}};
    EXPECT_EQ(bytes, expected);
}

TEST(Signal, HostSysexGoesOutWhole) {
    SignalRig rig(88200, 512);
    rig.block({{0, {0xF0, 0x7D, 0x01, 0x02, 0x03, 0xF7}}});
    rig.silence(2);
    const auto got = rig.decode();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].bytes, (std::vector<std::uint8_t>{0xF0, 0x7D, 0x01, 0x02, 0x03, 0xF7}));
}

TEST(Signal, UnsupportedRateIsSilent) {
    SignalRig rig(32000, 256);
    rig.block({{0, {0x90, 60, 100}}});
    rig.silence(3);
    for (float s : rig.recording)
        ASSERT_EQ(s, 0.0f);
}

}  // namespace
