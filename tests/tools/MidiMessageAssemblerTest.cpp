#include "decode/MidiMessageAssembler.h"

#include <gtest/gtest.h>

namespace {

using serialmidi::DecodedByte;
using serialmidi::DecodedMessage;
using serialmidi::MidiMessageAssembler;
using serialmidi::midiMessageName;
using Bytes = std::vector<std::uint8_t>;

// Bytes 10 samples apart, starting at sample 1000.
std::vector<DecodedMessage> assemble(const Bytes& bytes, bool flush = true) {
    MidiMessageAssembler a;
    std::int64_t t = 1000;
    for (std::uint8_t b : bytes) {
        a.push(DecodedByte{t, b, false});
        t += 10;
    }
    if (flush)
        a.flush();
    return a.takeMessages();
}

TEST(MidiMessageAssembler, RunningStatusPutsTheStatusBackAndStartsAtTheFirstDataByte) {
    const auto m = assemble({0x90, 0x3C, 0x64, 0x3E, 0x64, 0x3C, 0x00});
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0].bytes, (Bytes{0x90, 0x3C, 0x64}));
    EXPECT_FALSE(m[0].runningStatus);
    EXPECT_EQ(m[1].bytes, (Bytes{0x90, 0x3E, 0x64}));
    EXPECT_TRUE(m[1].runningStatus);
    EXPECT_EQ(m[1].startSample, 1030);
    EXPECT_EQ(m[1].byteStarts, (std::vector<std::int64_t>{-1, 1030, 1040}));
    EXPECT_EQ(m[2].bytes, (Bytes{0x90, 0x3C, 0x00}));
}

TEST(MidiMessageAssembler, RealTimeBytesInsideAMessageComeOutOnTheirOwn) {
    const auto m = assemble({0x90, 0xF8, 0x3C, 0xFE, 0x64, 0xFA});
    ASSERT_EQ(m.size(), 4u);
    EXPECT_EQ(m[0].bytes, Bytes{0xF8});
    EXPECT_EQ(m[0].startSample, 1010);
    EXPECT_EQ(m[1].bytes, Bytes{0xFE});
    EXPECT_EQ(m[2].bytes, (Bytes{0x90, 0x3C, 0x64}));
    EXPECT_EQ(m[2].startSample, 1000);
    EXPECT_FALSE(m[2].incomplete);
    EXPECT_EQ(m[3].bytes, Bytes{0xFA});
}

TEST(MidiMessageAssembler, SystemExclusiveOfAnyLengthWithRealTimeInside) {
    Bytes sysex = {0xF0};
    for (int i = 0; i < 5000; ++i)
        sysex.push_back(static_cast<std::uint8_t>(i & 0x7F));
    Bytes wire = sysex;
    wire.insert(wire.begin() + 100, 0xF8);
    wire.push_back(0xF7);
    sysex.push_back(0xF7);
    const auto m = assemble(wire);
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].bytes, Bytes{0xF8});
    EXPECT_EQ(m[1].bytes, sysex);
    EXPECT_FALSE(m[1].incomplete);
    EXPECT_EQ(midiMessageName(m[1].bytes), "System Exclusive");
}

TEST(MidiMessageAssembler, ANewStatusCutsAMessageShort) {
    const auto m = assemble({0x90, 0x3C, 0xB0, 0x07, 0x64, 0xF0, 0x01, 0x02, 0x80, 0x3C, 0x40});
    ASSERT_EQ(m.size(), 4u);
    EXPECT_EQ(m[0].bytes, (Bytes{0x90, 0x3C}));
    EXPECT_TRUE(m[0].incomplete);
    EXPECT_EQ(m[1].bytes, (Bytes{0xB0, 0x07, 0x64}));
    EXPECT_EQ(m[2].bytes, (Bytes{0xF0, 0x01, 0x02}));
    EXPECT_TRUE(m[2].incomplete);
    EXPECT_EQ(m[3].bytes, (Bytes{0x80, 0x3C, 0x40}));
}

TEST(MidiMessageAssembler, SystemCommonMessagesAndTheirEffectOnRunningStatus) {
    const auto m =
        assemble({0x90, 0x3C, 0x64, 0xF2, 0x10, 0x20, 0xF1, 0x31, 0xF3, 0x05, 0xF6, 0x3C, 0x00});
    ASSERT_EQ(m.size(), 7u);
    EXPECT_EQ(m[1].bytes, (Bytes{0xF2, 0x10, 0x20}));
    EXPECT_EQ(m[2].bytes, (Bytes{0xF1, 0x31}));
    EXPECT_EQ(m[3].bytes, (Bytes{0xF3, 0x05}));
    EXPECT_EQ(m[4].bytes, Bytes{0xF6});
    // System common ends running status: these are strays.
    EXPECT_TRUE(m[5].stray);
    EXPECT_EQ(m[5].bytes, Bytes{0x3C});
    EXPECT_TRUE(m[6].stray);
}

TEST(MidiMessageAssembler, StrayBytesAndFramingErrors) {
    MidiMessageAssembler a;
    a.push({{0, 0x40, false},
            {10, 0xF7, false},
            {20, 0x90, false},
            {30, 0x3C, false},
            {40, 0x55, true},
            {50, 0x3C, false}});
    a.flush();
    const auto m = a.takeMessages();
    ASSERT_EQ(m.size(), 5u);
    EXPECT_TRUE(m[0].stray);
    EXPECT_EQ(midiMessageName(m[0].bytes), "Data");
    EXPECT_TRUE(m[1].stray);
    EXPECT_EQ(midiMessageName(m[1].bytes), "End of Exclusive");
    EXPECT_EQ(m[2].bytes, (Bytes{0x90, 0x3C}));
    EXPECT_TRUE(m[2].incomplete);
    EXPECT_TRUE(m[3].framingError);
    EXPECT_EQ(m[3].bytes, Bytes{0x55});
    // Running status did not survive the framing error.
    EXPECT_TRUE(m[4].stray);
}

TEST(MidiMessageAssembler, AMessageInProgressWaitsForMoreBytesUntilFlushed) {
    MidiMessageAssembler a;
    a.push(DecodedByte{0, 0x90, false});
    a.push(DecodedByte{10, 0x3C, false});
    EXPECT_TRUE(a.takeMessages().empty());
    a.push(DecodedByte{20, 0x64, false});
    EXPECT_EQ(a.takeMessages().size(), 1u);
}

TEST(MidiMessageAssembler, NamesMessagesByStatus) {
    const std::vector<std::pair<Bytes, const char*>> cases = {
        {{0x80, 1, 2}, "Note Off"},
        {{0x9F, 1, 0}, "Note On"},
        {{0xA0, 1, 2}, "Poly Pressure"},
        {{0xB3, 7, 2}, "Control Change"},
        {{0xC0, 1}, "Program Change"},
        {{0xD0, 1}, "Channel Pressure"},
        {{0xE0, 0, 64}, "Pitch Bend"},
        {{0xF0, 1, 0xF7}, "System Exclusive"},
        {{0xF1, 1}, "MTC Quarter Frame"},
        {{0xF2, 0, 0}, "Song Position Pointer"},
        {{0xF3, 1}, "Song Select"},
        {{0xF4}, "Undefined"},
        {{0xF5}, "Undefined"},
        {{0xF6}, "Tune Request"},
        {{0xF8}, "Timing Clock"},
        {{0xF9}, "Undefined"},
        {{0xFA}, "Start"},
        {{0xFB}, "Continue"},
        {{0xFC}, "Stop"},
        {{0xFD}, "Undefined"},
        {{0xFE}, "Active Sensing"},
        {{0xFF}, "System Reset"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(midiMessageName(c.first), c.second) << int(c.first[0]);
    EXPECT_EQ(midiMessageName({}), "");
}

}  // namespace
