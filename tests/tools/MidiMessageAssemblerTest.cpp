#include "decode/MidiMessageAssembler.h"

#include <gtest/gtest.h>

namespace {

using serialmidi::DecodedByte;
using serialmidi::MidiMessageAssembler;
using serialmidi::midiMessageName;
using Bytes = std::vector<std::uint8_t>;

// Bytes 10 samples apart, starting at sample 1000.
std::vector<serialmidi::DecodedMessage> assemble(const Bytes& bytes) {
    MidiMessageAssembler a;
    std::int64_t t = 1000;
    for (std::uint8_t b : bytes) {
        a.push(DecodedByte{t, b, false});
        t += 10;
    }
    a.flush();
    return a.takeMessages();
}

TEST(MidiMessageAssembler, RunningStatusAndWhatEndsIt) {
    const auto m = assemble(
        {0x90, 0x3C, 0x64, 0x3E, 0x64, 0xB0, 0x07, 0xF2, 0x10, 0x20, 0xF1, 0x31, 0xF6, 0x3C, 0x00});
    ASSERT_EQ(m.size(), 8u);
    EXPECT_EQ(m[1].bytes, (Bytes{0x90, 0x3E, 0x64}));
    EXPECT_TRUE(m[1].runningStatus);
    EXPECT_FALSE(m[0].runningStatus);
    EXPECT_EQ(m[1].startSample, 1030);  // at its first data byte
    EXPECT_EQ(m[1].byteStarts, (std::vector<std::int64_t>{-1, 1030, 1040}));
    // A new status cuts a message short.
    EXPECT_EQ(m[2].bytes, (Bytes{0xB0, 0x07}));
    EXPECT_TRUE(m[2].incomplete);
    EXPECT_EQ(m[3].bytes, (Bytes{0xF2, 0x10, 0x20}));
    EXPECT_EQ(m[4].bytes, (Bytes{0xF1, 0x31}));
    EXPECT_EQ(m[5].bytes, Bytes{0xF6});
    // System common ends running status: these are strays.
    EXPECT_TRUE(m[6].stray);
    EXPECT_EQ(m[6].bytes, Bytes{0x3C});
    EXPECT_TRUE(m[7].stray);
}

TEST(MidiMessageAssembler, RealTimeInsideMessagesAndSystemExclusiveOfAnyLength) {
    Bytes sysex = {0xF0};
    for (int i = 0; i < 5000; ++i)
        sysex.push_back(static_cast<std::uint8_t>(i & 0x7F));
    Bytes wire = {0x90, 0xF8, 0x3C, 0x64};
    wire.insert(wire.end(), sysex.begin(), sysex.end());
    wire.insert(wire.begin() + 100, 0xFE);
    wire.push_back(0xF7);
    sysex.push_back(0xF7);
    const auto m = assemble(wire);
    ASSERT_EQ(m.size(), 4u);
    EXPECT_EQ(m[0].bytes, Bytes{0xF8});
    EXPECT_EQ(m[0].startSample, 1010);
    EXPECT_EQ(m[1].bytes, (Bytes{0x90, 0x3C, 0x64}));
    EXPECT_EQ(m[1].startSample, 1000);
    EXPECT_EQ(m[2].bytes, Bytes{0xFE});
    EXPECT_EQ(m[3].bytes, sysex);
    EXPECT_FALSE(m[3].incomplete);
    EXPECT_EQ(midiMessageName(m[3].bytes), "System Exclusive");
}

TEST(MidiMessageAssembler, StrayBytesAndFramingErrors) {
    MidiMessageAssembler a;
    a.push({{0, 0x40, false}, {10, 0xF7, false}, {20, 0x90, false}, {30, 0x3C, false}});
    EXPECT_EQ(a.takeMessages().size(), 2u);  // the note waits for its last byte
    a.push({{40, 0x55, true}, {50, 0x3C, false}});
    a.flush();
    const auto m = a.takeMessages();
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0].bytes, (Bytes{0x90, 0x3C}));
    EXPECT_TRUE(m[0].incomplete);
    EXPECT_TRUE(m[1].framingError);
    EXPECT_EQ(m[1].bytes, Bytes{0x55});
    // Running status did not survive the framing error.
    EXPECT_TRUE(m[2].stray);
}

}  // namespace
