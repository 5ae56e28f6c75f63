// The lines of the MIDI history displays: the text of each kind of message
// (every space counts) and the order and colour of the lines.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "gui/MIDIHistoryDisplay.h"

namespace {

MidiHistoryEntry entry(std::uint32_t length, std::uint8_t b0, std::uint8_t b1 = 0,
                       std::uint8_t b2 = 0, std::uint32_t result = 0) {
    MidiHistoryEntry e{};
    e.time = HistoryTime{2024, 5, 3, 17, 9, 5, 7, 42};
    e.length = length;
    e.byte0 = b0;
    e.byte1 = b1;
    e.byte2 = b2;
    e.result = result;
    return e;
}

std::string line(const MidiHistoryEntry& e) {
    char text[QX::MIDIHistoryDisplay::kLineSize];
    QX::FormatHistoryLine(e, text, sizeof text);
    return text;
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

TEST(HistoryLine, ANoteOnShowsTimeBytesChannelAndName) {
    EXPECT_EQ(line(entry(3, 0x93, 0x3C, 0x64)),
              " 9: 5: 7.042 0x93 0x3C 0x64  Ch  4 Note On   60 100");
}

TEST(HistoryLine, ChannelMessagesOfThreeBytes) {
    const std::string prefix = " 9: 5: 7.042 ";
    EXPECT_EQ(line(entry(3, 0x80, 0x3C, 0x00)), prefix + "0x80 0x3C 0x00  Ch  1 Note Off  60   0");
    EXPECT_EQ(line(entry(3, 0xAF, 1, 127)),
              prefix + "0xAF 0x01 0x7F  Ch 16 Poly Aftertouch   1 127");
    EXPECT_EQ(line(entry(3, 0xB0, 7, 100)), prefix + "0xB0 0x07 0x64  Ch  1 CC   7 100");
    EXPECT_TRUE(endsWith(line(entry(3, 0xE0, 0x00, 0x40)), " Bend    0"));
    EXPECT_TRUE(endsWith(line(entry(3, 0xE0, 0x00, 0x00)), " Bend -8192"));
    EXPECT_TRUE(endsWith(line(entry(3, 0xE0, 0x7F, 0x7F)), " Bend 8191"));
    // Program and channel pressure say nothing more with three bytes.
    EXPECT_EQ(line(entry(3, 0xC2, 5, 0)), prefix + "0xC2 0x05 0x00  Ch  3");
}

TEST(HistoryLine, TwoByteMessages) {
    const std::string l = line(entry(2, 0xC2, 0x05));
    EXPECT_EQ(l, " 9: 5: 7.042 0xC2 0x05       Ch1  3 Program   5");
    EXPECT_TRUE(endsWith(l, " Ch1  3 Program   5"));
    EXPECT_TRUE(endsWith(line(entry(2, 0xD9, 99)), " Ch1 10 Aftertouch  99"));
    // A system message of two bytes shows its bytes only.
    EXPECT_EQ(line(entry(2, 0xF3, 2)), " 9: 5: 7.042 0xF3 0x02      ");
}

TEST(HistoryLine, OneByteMessagesAreNamedWhenTheyAreRealTime) {
    const std::string prefix = " 9: 5: 7.042 ";
    EXPECT_EQ(line(entry(1, 0xF8)), prefix + "0xF8            Clock");
    EXPECT_TRUE(endsWith(line(entry(1, 0xFA)), " Start"));
    EXPECT_TRUE(endsWith(line(entry(1, 0xFB)), " Continue"));
    EXPECT_TRUE(endsWith(line(entry(1, 0xFC)), " Stop"));
    EXPECT_TRUE(endsWith(line(entry(1, 0xFE)), " Active Sensing"));
    EXPECT_TRUE(endsWith(line(entry(1, 0xFF)), " Reset"));
    EXPECT_EQ(line(entry(1, 0xF6)), prefix + "0xF6           ");
}

TEST(HistoryLine, SystemExclusiveShowsItsFirstThreeBytes) {
    // The plug-in's test sysex: 1027 bytes, the second telling its length.
    EXPECT_EQ(line(entry(1027, 0xF0, 0x02, 0x11)), " 9: 5: 7.042 0xF0 0x02 0x11  Sysex");
    EXPECT_TRUE(endsWith(line(entry(3, 0xF2, 0x10, 0x02)), " SPP  272"));
    EXPECT_EQ(line(entry(3, 0xF1, 0x10, 0)), " 9: 5: 7.042 0xF1 0x10 0x00 ");
}

TEST(HistoryLine, TheTimeIsPaddedAndAShortBufferIsCutNotOverrun) {
    MidiHistoryEntry e = entry(3, 0x90, 1, 2);
    e.time.hour = 23;
    e.time.minute = 59;
    e.time.second = 59;
    e.time.milliseconds = 999;
    EXPECT_EQ(line(e).substr(0, 13), "23:59:59.999 ");
    char text[20];
    std::memset(text, 'x', sizeof text);
    QX::FormatHistoryLine(e, text, 10);
    EXPECT_EQ(std::string(text), "23:59:59.");
    EXPECT_EQ(text[10], 'x');
}

TEST(HistoryDisplay, LinesAreNewestFirstWithTheirResults) {
    MidiHistory history{};
    history.clear();
    auto& ring = history.rings[kHistoryReceivedTestInput];
    // Slots 1..3 written in turn, as the audio thread writes them.
    ring.entries[1] = entry(3, 0x90, 1, 1, 1);
    ring.entries[2] = entry(3, 0x90, 2, 2, 2);
    ring.entries[3] = entry(3, 0x90, 3, 3, 1);
    ring.writeIndex = 3;
    QX::MIDIHistoryDisplay display(nullptr, 0, 0, 480, 285, kHistoryReceivedTestInput, nullptr,
                                   &history);
    char lines[QX::MIDIHistoryDisplay::kLines][QX::MIDIHistoryDisplay::kLineSize];
    std::uint32_t results[QX::MIDIHistoryDisplay::kLines];
    ASSERT_EQ(display.CollectLines(lines, results), 3);
    EXPECT_TRUE(endsWith(lines[0], "Note On    3   3"));
    EXPECT_TRUE(endsWith(lines[1], "Note On    2   2"));
    EXPECT_TRUE(endsWith(lines[2], "Note On    1   1"));
    EXPECT_EQ(results[0], 1u);
    EXPECT_EQ(results[1], 2u);
    EXPECT_EQ(results[2], 1u);

    // After a wrap the oldest go first; empty slots are never shown.
    for (int i = 0; i < 17; ++i) {
        const int slot = (ring.writeIndex + 1) % kHistoryRingSize;
        ring.entries[slot] = entry(3, 0x90, static_cast<std::uint8_t>(10 + i), 0);
        ring.writeIndex = slot;
    }
    ASSERT_EQ(display.CollectLines(lines, results), 16);
    EXPECT_TRUE(endsWith(lines[0], " 26   0"));
    EXPECT_TRUE(endsWith(lines[15], " 11   0"));

    // Another kind's ring is empty.
    QX::MIDIHistoryDisplay other(nullptr, 0, 0, 480, 285, kHistorySentTest, nullptr, &history);
    EXPECT_EQ(other.CollectLines(lines, results), 0);
}

TEST(HistoryDisplay, TitlesNameTheStreams) {
    EXPECT_STREQ(QX::HistoryTitle(0), "Received (Plug-In Input)");
    EXPECT_STREQ(QX::HistoryTitle(1), "Sent (Test)");
    EXPECT_STREQ(QX::HistoryTitle(2), "Received (Test Input)");
    EXPECT_STREQ(QX::HistoryTitle(3), "Sent (Plug-In Output)");
    EXPECT_STREQ(QX::HistoryTitle(4), "");
}

}  // namespace
