#include "render/MidiFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

using render::MidiEvent;
using render::MidiFile;
using render::MidiFileError;
using Bytes = std::vector<std::uint8_t>;

Bytes be(std::uint32_t v, int n) {
    Bytes b;
    for (int i = n - 1; i >= 0; --i)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return b;
}

Bytes chunk(const char* tag, const Bytes& data) {
    Bytes c(tag, tag + 4);
    const Bytes length = be(static_cast<std::uint32_t>(data.size()), 4);
    c.insert(c.end(), length.begin(), length.end());
    c.insert(c.end(), data.begin(), data.end());
    return c;
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes header(int format, int tracks, int division) {
    return chunk("MThd", join({be(static_cast<std::uint32_t>(format), 2),
                               be(static_cast<std::uint32_t>(tracks), 2),
                               be(static_cast<std::uint32_t>(division), 2)}));
}

const Bytes kEnd = {0x00, 0xFF, 0x2F, 0x00};

MidiFile parse(const Bytes& b) {
    return MidiFile::parse(b.data(), b.size());
}

// The error's text and offset.
std::pair<std::string, std::size_t> failure(const Bytes& b) {
    try {
        parse(b);
    } catch (const MidiFileError& e) {
        return {e.what(), e.offset()};
    }
    return {"no error", 0};
}

TEST(MidiFile, FormatZeroWithRunningStatus) {
    const Bytes track = join({{0x00, 0x90, 0x3C, 0x64},  // note on
                              {0x60, 0x3E, 0x64},        // running status
                              {0x60, 0x3C, 0x00},
                              {0x81, 0x00, 0xC2, 0x05},  // delta 128
                              {0x00, 0x06},              // running status, one data byte
                              kEnd});
    const MidiFile f = parse(join({header(0, 1, 96), chunk("MTrk", track)}));
    EXPECT_EQ(f.format(), 0);
    EXPECT_EQ(f.ticksPerQuarter(), 96);
    ASSERT_EQ(f.events().size(), 5u);
    EXPECT_EQ(f.events()[1].bytes, (Bytes{0x90, 0x3E, 0x64}));
    EXPECT_EQ(f.events()[1].tick, 0x60);
    EXPECT_EQ(f.events()[3].bytes, (Bytes{0xC2, 0x05}));
    EXPECT_EQ(f.events()[3].tick, 0xC0 + 128);
    EXPECT_EQ(f.events()[4].bytes, (Bytes{0xC2, 0x06}));
    EXPECT_EQ(f.endTick(), 0xC0 + 128);
    EXPECT_TRUE(f.warnings().empty());
}

TEST(MidiFile, FormatOneMergesTracksStablyAndKeepsTempoAndMeter) {
    const Bytes conductor = join({{0x00, 0xFF, 0x03, 0x03, 'a', 'b', 'c'},     // name: skipped
                                  {0x00, 0xFF, 0x58, 0x04, 3, 2, 24, 8},       // 3/4
                                  {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20},  // 120 BPM
                                  {0x83, 0x60, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40},  // 60 BPM
                                  {0x00, 0xB0, 0x07, 0x10},  // a channel event here too
                                  {0x83, 0x60, 0xFF, 0x2F, 0x00}});
    const Bytes music = join({{0x00, 0x91, 0x40, 0x50},
                              {0x83, 0x60, 0x81, 0x40, 0x00},        // tick 480: after track 1's CC
                              {0x00, 0xFF, 0x7F, 0x02, 0x01, 0x02},  // sequencer specific
                              kEnd});
    const MidiFile f =
        parse(join({header(1, 2, 480), chunk("MTrk", conductor), chunk("MTrk", music)}));
    EXPECT_EQ(f.trackCount(), 2);
    ASSERT_EQ(f.events().size(), 3u);
    EXPECT_EQ(f.events()[0].track, 1);
    EXPECT_EQ(f.events()[1].bytes, (Bytes{0xB0, 0x07, 0x10}));
    EXPECT_EQ(f.events()[1].track, 0);
    EXPECT_EQ(f.events()[2].bytes, (Bytes{0x81, 0x40, 0x00}));
    ASSERT_EQ(f.tempoChanges().size(), 2u);
    EXPECT_EQ(f.tempoChanges()[1].tick, 480);
    EXPECT_EQ(f.tempoChanges()[1].microsecondsPerQuarter, 1000000u);
    ASSERT_EQ(f.timeSignatures().size(), 1u);
    EXPECT_EQ(f.timeSignatures()[0].numerator, 3);
    EXPECT_EQ(f.timeSignatures()[0].denominator, 4);
    EXPECT_EQ(f.endTick(), 960);
}

TEST(MidiFile, SystemExclusivePacketsAreJoinedAndEscapesKept) {
    const Bytes track = join({{0x00, 0xF0, 0x03, 0x43, 0x12, 0x00},  // first packet, no F7
                              {0x10, 0xF7, 0x02, 0x34, 0xF7},        // continuation, ends it
                              {0x00, 0xF0, 0x02, 0x7E, 0xF7},        // whole in one
                              {0x05, 0xF7, 0x01, 0xF8},              // escape: a clock
                              kEnd});
    const MidiFile f = parse(join({header(0, 1, 96), chunk("MTrk", track)}));
    ASSERT_EQ(f.events().size(), 3u);
    EXPECT_EQ(f.events()[0].kind, MidiEvent::Kind::sysex);
    EXPECT_EQ(f.events()[0].bytes, (Bytes{0xF0, 0x43, 0x12, 0x00, 0x34, 0xF7}));
    EXPECT_EQ(f.events()[0].tick, 0);
    EXPECT_EQ(f.events()[1].bytes, (Bytes{0xF0, 0x7E, 0xF7}));
    EXPECT_EQ(f.events()[2].kind, MidiEvent::Kind::escape);
    EXPECT_EQ(f.events()[2].bytes, Bytes{0xF8});
    EXPECT_EQ(f.events()[2].tick, 0x15);
}

TEST(MidiFile, UnknownChunksAreSkippedAndAMissingEndIsTolerated) {
    const MidiFile f = parse(join(
        {header(1, 1, 96), chunk("XFIH", {1, 2, 3}), chunk("MTrk", {0x00, 0x90, 0x3C, 0x64})}));
    EXPECT_EQ(f.events().size(), 1u);
    ASSERT_EQ(f.warnings().size(), 1u);
    EXPECT_NE(f.warnings()[0].find("no End of Track"), std::string::npos);
}

TEST(MidiFile, UnsupportedAndMalformedFilesNameTheProblemAndItsOffset) {
    auto file = [](const Bytes& track) { return join({header(0, 1, 96), chunk("MTrk", track)}); };
    Bytes longChunk = file(kEnd);
    longChunk[21] = 0xFF;  // a chunk claiming more than the file holds
    struct Case {
        Bytes file;
        const char* message;
        std::size_t offset;  // a track's data starts at byte 22
    };
    const std::vector<Case> cases = {
        {join({header(2, 1, 96), chunk("MTrk", kEnd)}), "format 2", 8},
        {join({header(1, 1, 0xE728), chunk("MTrk", kEnd)}), "SMPTE", 12},
        {{'R', 'I', 'F', 'F', 0, 0, 0, 4, 'W', 'A', 'V', 'E', 0, 0}, "not a Standard MIDI File", 0},
        {header(1, 1, 96), "no track", 14},
        {longChunk, "runs past the end of the file", 18},
        {file({0x00, 0x3C, 0x64}), "without a status byte", 23},
        {file({0x00, 0x90, 0x3C, 0x90}), "where a data byte", 25},
        {file({0x80, 0x80, 0x80, 0x80, 0x00}), "longer than four bytes", 22},
        {file({0x00, 0x90, 0x3C}), "track ends inside", 25},
        {file({0x00, 0xFF, 0x01, 0x10, 'x'}), "runs past the end of the track", 25},
        {file({0x00, 0xF0, 0x8F, 0xFF, 0xFF, 0x7F}), "runs past the end of the track", 24},
        {file({0x00, 0xF2, 0x00, 0x00}), "cannot appear", 23},
        {file({0x00, 0xFF}), "track ends inside a meta event", 24},
    };
    for (const Case& c : cases) {
        const auto f = failure(c.file);
        EXPECT_NE(f.first.find(c.message), std::string::npos) << f.first;
        EXPECT_EQ(f.second, c.offset) << f.first;
        EXPECT_NE(f.first.find("at byte " + std::to_string(c.offset)), std::string::npos)
            << f.first;
    }
}

TEST(MidiFile, EveryTruncationAndByteFlipOfARealFileFailsCleanly) {
    std::ifstream in(TAVRO_EXAMPLE_MIDI, std::ios::binary);
    const Bytes whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(whole.size(), 100u);
    EXPECT_EQ(parse(whole).events().size(), 31u);
    for (std::size_t n = 0; n < whole.size(); ++n) {
        try {
            parse(Bytes(whole.begin(), whole.begin() + static_cast<long>(n)));
        } catch (const MidiFileError& e) {
            EXPECT_LE(e.offset(), n);
        }
    }
    for (std::size_t i = 0; i < whole.size(); ++i) {
        for (std::uint8_t value : {0x00, 0x7F, 0x80, 0xFF}) {
            Bytes b = whole;
            b[i] = value;
            try {
                parse(b);
            } catch (const MidiFileError& e) {
                EXPECT_LE(e.offset(), b.size());
            }
        }
    }
}

}  // namespace
