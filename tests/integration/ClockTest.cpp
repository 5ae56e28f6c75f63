// MIDI clock, Start/Continue/Song Position Pointer and Stop locked to the
// host transport, checked on the decoded output of the real plug-in.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include "SignalRig.h"

namespace {

constexpr VstInt32 kClock = 3, kSwing = 4, kSwingType = 5, kClockOffset = 10, kUseSpp = 13,
                   kSoftly = 25, kSendSppZero = 27;

// 120 BPM at 48000 Hz: one clock every 1000 samples.
// `parameters` are (index, normalized value) pairs set before playback.
std::unique_ptr<SignalRig> clockRig(VstInt32 blockSize = 512, double ppq = 0.0,
                                    std::vector<std::pair<VstInt32, float>> parameters = {}) {
    auto rig = std::make_unique<SignalRig>(48000.0f, blockSize);
    rig->setParameter(kSoftly, 1.0f);
    rig->setParameter(kClock, 1.0f);
    for (const auto& [index, value] : parameters)
        rig->setParameter(index, value);
    // A block with the transport stopped first, as a host runs after
    // loading: the engine reads its parameters during a block, so the
    // transport start that follows already sees the clock on.
    rig->transport.enabled = true;
    rig->transport.playing = false;
    rig->block();
    rig->recording.clear();
    rig->transport.playing = true;
    rig->transport.ppq = ppq;
    return rig;
}

std::vector<std::uint8_t> firstBytes(const SignalRig& rig, std::size_t count) {
    std::vector<std::uint8_t> bytes;
    for (const Message& m : rig.decode()) {
        bytes.insert(bytes.end(), m.bytes.begin(), m.bytes.end());
        if (bytes.size() >= count)
            break;
    }
    bytes.resize(std::min(bytes.size(), count));
    return bytes;
}

TEST(Clock, EveryThousandSamplesAt120BpmAnd48000) {
    const auto rig = clockRig();
    rig->silence(24);  // 12288 samples
    const auto clocks = rig->startsOf(0xF8);
    ASSERT_GE(clocks.size(), 12u);
    // The first clock follows the Start byte at sample 0; from then on each
    // clock starts where ppqPos x 24 is whole.
    EXPECT_EQ(rig->startsOf(0xFA), (std::vector<std::int64_t>{0}));
    EXPECT_EQ(clocks[0], 16);
    for (std::size_t i = 1; i < clocks.size(); ++i)
        EXPECT_EQ(clocks[i], static_cast<std::int64_t>(i) * 1000) << i;
}

TEST(Clock, OffsetMovesEveryClockEarlier) {
    const auto rig = clockRig(512, 0.0, {{kClockOffset, 0.55f}});  // +10 ms
    rig->silence(200);  // past the bar line where the clock starts
    const auto clocks = rig->startsOf(0xF8);
    ASSERT_GE(clocks.size(), 3u);
    // The offset position (0.02 quarter notes) is past the first bar line, so
    // the clock begins at the next one: clock 96, 480 samples early.
    EXPECT_EQ(rig->startsOf(0xFA).front(), 96000 - 480);
    EXPECT_EQ(clocks[1], 97000 - 480);
    EXPECT_EQ(clocks[2], 98000 - 480);
}

TEST(Clock, StartMidBarWithSongPositionPointer) {
    const auto rig = clockRig(512, 1.5, {{kUseSpp, 1.0f}});
    rig->silence(130);
    // The bar line after 1.5 is quarter note 4: clock 96, 60 000 samples on.
    EXPECT_EQ(firstBytes(*rig, 5), (std::vector<std::uint8_t>{0xF2, 0x10, 0x00, 0xFB, 0xF8}));
    EXPECT_EQ(rig->decode().front().start, 60000);
}

TEST(Clock, StartAtZeroSendsStartWithOptionalPositionZero) {
    const auto plain = clockRig(512, 0.0, {{kUseSpp, 1.0f}});
    plain->silence(4);
    EXPECT_EQ(firstBytes(*plain, 2), (std::vector<std::uint8_t>{0xFA, 0xF8}));

    const auto zero = clockRig(512, 0.0, {{kUseSpp, 1.0f}, {kSendSppZero, 1.0f}});
    zero->silence(4);
    EXPECT_EQ(firstBytes(*zero, 5), (std::vector<std::uint8_t>{0xF2, 0x00, 0x00, 0xFA, 0xF8}));
}

TEST(Clock, SongPositionWrapsAt16384) {
    // Quarter note 4097 starts the clock at the bar of 4100: 16400 sixteenths.
    const auto rig = clockRig(512, 4097.0, {{kUseSpp, 1.0f}});
    rig->silence(200);
    EXPECT_EQ(firstBytes(*rig, 4), (std::vector<std::uint8_t>{0xF2, 16400 & 0x7F, 0x00, 0xFB}));
}

TEST(Clock, SwingMovesTheSixthClockOfTwelve) {
    const auto straight = clockRig(512, 0.0, {{kSwing, 0.5005f}});  // 50.05 %: no swing
    straight->silence(20);
    EXPECT_EQ(straight->startsOf(0xF8)[6], 6000);

    const auto swung = clockRig(512, 0.0, {{kSwing, 0.66f}, {kSwingType, 0.0f}});  // "16"
    swung->silence(40);
    const auto clocks = swung->startsOf(0xF8);
    ASSERT_GE(clocks.size(), 19u);
    EXPECT_EQ(clocks[6], 7920);
    EXPECT_EQ(clocks[12], 12000);
    EXPECT_EQ(clocks[18], 12000 + 7920);
}

TEST(Clock, SwitchedOnWhilePlayingCatchesUpTwoPerTick) {
    SignalRig rig(48000.0f, 500);
    rig.setParameter(kSoftly, 1.0f);
    rig.transport.enabled = true;
    rig.silence(40);  // 20 clocks' worth of playing with the clock off
    rig.setParameter(kClock, 1.0f);
    rig.silence(120);
    const auto messages = rig.decode();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.front().bytes, (std::vector<std::uint8_t>{0xFA}));
    // A tick every 1000 samples; until the count has caught up with the
    // song position each tick sends two clocks back to back, then one.
    const auto clocks = rig.startsOf(0xF8);
    ASSERT_GE(clocks.size(), 50u);
    int pairs = 0;
    for (std::size_t i = 1; i < clocks.size(); ++i)
        pairs += clocks[i] - clocks[i - 1] == 16;
    EXPECT_GE(pairs, 18);
    EXPECT_LE(pairs, 24);
    for (std::size_t i = clocks.size() - 10; i < clocks.size(); ++i)
        EXPECT_EQ(clocks[i] - clocks[i - 1], 1000);
}

TEST(Clock, AClockDueAtTheBlockEndGoesOutAtTheNextBlocksStart) {
    const auto rig = clockRig(1000);
    rig->silence(12);
    const auto clocks = rig->startsOf(0xF8);
    ASSERT_GE(clocks.size(), 11u);
    for (std::size_t i = 1; i < clocks.size(); ++i)
        EXPECT_EQ(clocks[i], static_cast<std::int64_t>(i) * 1000) << i;
}

TEST(Clock, ALoopJumpContinuesWithoutGapOrBurst) {
    // A four-quarter loop is 96 000 samples; blocks of 500 divide it, so the
    // jump falls on a block boundary as hosts arrange it, where the clock
    // due at the loop's end is carried into the block after the jump.
    const auto rig = clockRig(500);
    rig->transport.cycleActive = true;
    rig->transport.cycleStart = 0.0;
    rig->transport.cycleEnd = 4.0;
    int jumps = 0;
    for (int block = 0; block < 450; ++block) {
        rig->block();
        if (rig->transport.ppq >= 4.0 - 1e-9) {
            rig->transport.ppq -= 4.0;  // the host loops
            ++jumps;
        }
    }
    ASSERT_EQ(jumps, 2);
    const auto clocks = rig->startsOf(0xF8);
    ASSERT_GE(clocks.size(), 220u);
    for (std::size_t i = 2; i < clocks.size(); ++i)
        ASSERT_EQ(clocks[i] - clocks[i - 1], 1000) << i;
}

TEST(Clock, StopGoesOutAtTheNextBlock) {
    const auto rig = clockRig();
    rig->silence(10);
    rig->transport.playing = false;
    const auto before = rig->recording.size();
    rig->silence(3);
    const auto stops = rig->startsOf(0xFC);
    ASSERT_EQ(stops.size(), 1u);
    EXPECT_EQ(stops[0], static_cast<std::int64_t>(before));
}

}  // namespace
