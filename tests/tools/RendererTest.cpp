#include "render/Renderer.h"

#include "host/VstHost.h"

#include "FakeInstrumentLog.h"

#include <gtest/gtest.h>

namespace {

using fake::Block;
using fake::loadFake;
using fake::Log;
using fake::readLog;
using render::BlockSizer;
using render::Renderer;
using render::Schedule;
using render::TempoMap;
using render::Transport;
using Bytes = std::vector<std::uint8_t>;

// The fake reports three MIDI bytes for every short message.
Bytes padded(Bytes b) {
    if (b[0] != 0xF0)
        b.resize(3, 0);
    return b;
}

Schedule testSchedule() {
    Schedule s;
    s.events = {
        {0, {0x90, 0x3C, 0x64}},
        {0, {0xC0, 0x05}},
        {1, {0xF8}},
        {63, {0xB0, 0x07, 0x64}},
        {64, {0x80, 0x3C, 0x40}},
        {65, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}},
        {65, {0xB0, 0x0A, 0x40}},  // in the same list as the system exclusive
        {300, {0x90, 0x40, 0x10}},
        {300, {0x90, 0x43, 0x10}},
        {300, {0x90, 0x47, 0x10}},
        {1000, {0xE0, 0x00, 0x40}},
        {1999, {0x80, 0x40, 0x00}},
    };
    s.endSample = 1999;
    return s;
}

void renderWith(BlockSizer blocks, std::int64_t total, const std::string& what) {
    const TempoMap map(480, {}, {}, TempoMap::Defaults());
    Transport transport(map, 44100);
    transport.setPlayRange(0, 2000);
    auto plugin = loadFake();
    Renderer renderer(*plugin, 44100, blocks);
    std::int64_t expectedStart = 0;
    renderer.render(testSchedule(), transport, total,
                    [&](const float* samples, std::size_t frames, std::int64_t blockStart) {
                        EXPECT_EQ(blockStart, expectedStart) << what;
                        for (std::size_t i = 0; i < frames; ++i)
                            ASSERT_EQ(samples[i], static_cast<float>(blockStart + i)) << what;
                        expectedStart += static_cast<std::int64_t>(frames);
                    });
    EXPECT_EQ(expectedStart, total) << what;
    const Log log = readLog(*plugin);
    const auto& expected = testSchedule().events;
    ASSERT_EQ(log.events.size(), expected.size()) << what;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(log.events[i].sample, expected[i].sample) << what << " event " << i;
        EXPECT_EQ(log.events[i].bytes, padded(expected[i].bytes)) << what << " event " << i;
    }
    EXPECT_EQ(renderer.eventsDelivered(), expected.size());
    // Each block asked for its own transport, at its own first sample.
    for (const Block& b : log.blocks)
        EXPECT_EQ(b.samplePos, static_cast<double>(std::min<long long>(b.start, 2000))) << what;
}

TEST(Renderer, EventsLandOnTheirExactSampleWhateverTheBlockSizes) {
    renderWith(BlockSizer::fixed(64), 2500, "64");
    renderWith(BlockSizer::fixed(1), 2100, "1");
    renderWith(BlockSizer::fixed(4096), 2500, "4096");
    renderWith(BlockSizer::cycle({1, 7, 128, 3, 64}), 2500, "cycle");
    for (std::uint32_t seed = 1; seed <= 5; ++seed)
        renderWith(BlockSizer::random(1, 300, seed), 2500, "random " + std::to_string(seed));
}

TEST(Renderer, BlockSizesFollowTheSizerAndTheEndCutsTheLastBlock) {
    const TempoMap map(480, {}, {}, TempoMap::Defaults());
    Transport transport(map, 48000);
    transport.setPlayRange(0, 100);
    auto plugin = loadFake();
    Renderer renderer(*plugin, 48000, BlockSizer::cycle({10, 3, 50}));
    renderer.render(Schedule(), transport, 130, [](const float*, std::size_t, std::int64_t) {});
    const Log log = readLog(*plugin);
    std::vector<int> sizes;
    for (const Block& b : log.blocks)
        sizes.push_back(b.frames);
    EXPECT_EQ(sizes, (std::vector<int>{10, 3, 50, 10, 3, 50, 4}));
    // Prepared before the first block with the largest block, suspended after.
    ASSERT_GE(log.lines.size(), 4u);
    EXPECT_EQ(log.lines[0], "rate 48000");
    EXPECT_EQ(log.lines[1], "blocksize 50");
    EXPECT_EQ(log.lines[2], "mains 1");
    EXPECT_EQ(log.lines.back(), "mains 0");
}

TEST(Renderer, SchedulesFileEventsOnRoundedSamplesAndSplitsEscapes) {
    // 96 ticks a quarter at 120 BPM: a tick is 1/192 s = 229.6875 samples
    // at 44100 Hz.
    const std::vector<std::uint8_t> file = {
        'M',  'T',  'h',  'd',  0,    0,    0,    6,    0,    0, 0, 1, 0, 96,  //
        'M',  'T',  'r',  'k',  0,    0,    0,    20,                          //
        0x01, 0x90, 0x3C, 0x64,                                                // tick 1
        0x01, 0xF7, 0x06, 0xF8, 0xB0, 0x07, 0x10, 0x42, 0xFA,                  // tick 2
        0x01, 0x3C, 0x00,                                                      // tick 3
        0x00, 0xFF, 0x2F, 0x00};
    const auto midi = render::MidiFile::parse(file.data(), file.size());
    const TempoMap map(midi);
    const Schedule s = render::scheduleEvents(midi, map, 44100);
    ASSERT_EQ(s.events.size(), 5u);
    EXPECT_EQ(s.events[0].sample, 230);  // 229.6875 rounded
    EXPECT_EQ(s.events[1].bytes, Bytes{0xF8});
    EXPECT_EQ(s.events[1].sample, 459);  // 459.375
    EXPECT_EQ(s.events[2].bytes, (Bytes{0xB0, 0x07, 0x10}));
    EXPECT_EQ(s.events[3].bytes, Bytes{0xFA});
    EXPECT_EQ(s.droppedBytes, 1u);       // the 0x42 after a complete message
    EXPECT_EQ(s.events[4].sample, 689);  // 689.0625
    EXPECT_EQ(s.events[4].bytes, (Bytes{0x90, 0x3C, 0x00}));
    EXPECT_EQ(s.endSample, 689);
}

}  // namespace
