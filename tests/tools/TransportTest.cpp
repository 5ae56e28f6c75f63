// The render's host transport: a loop played several times, a start inside
// it, a stop before the end; checked through the fake instrument, which
// records the transport of every block and the sample of every event. The
// options that set them are tested with the rest of tavro-render's.

#include "render/Renderer.h"
#include "render/Transport.h"

#include "FakeInstrumentLog.h"

#include <gtest/gtest.h>

#include <stdexcept>

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

// 120 BPM at 48000 Hz: a quarter note is 24000 samples.
constexpr double kRate = 48000;
constexpr std::int64_t kQuarter = 24000;

const TempoMap& plainMap() {
    static const TempoMap map(480, {}, {}, TempoMap::Defaults());
    return map;
}

Schedule eventsAt(const std::vector<std::int64_t>& samples) {
    Schedule s;
    for (std::size_t i = 0; i < samples.size(); ++i)
        s.events.push_back({samples[i], {0x90, static_cast<std::uint8_t>(i), 0x40}});
    s.endSample = samples.back();
    return s;
}

std::vector<std::int64_t> eventSamples(const Log& log) {
    std::vector<std::int64_t> samples;
    for (const auto& e : log.events)
        samples.push_back(e.sample);
    return samples;
}

Log renderFake(const Schedule& schedule, Transport& transport, std::int64_t total,
               BlockSizer blocks) {
    auto plugin = loadFake();
    Renderer renderer(*plugin, kRate, std::move(blocks));
    renderer.render(schedule, transport, total, [](const float*, std::size_t, std::int64_t) {});
    return readLog(*plugin);
}

TEST(Transport, ALoopJumpsBackAtItsEndAndReplaysItsEventsOnEveryPass) {
    // Loop from quarter 1 to 2, three passes, stop at quarter 3.
    Transport transport(plainMap(), kRate);
    transport.setPlayRange(0, 3 * kQuarter);
    transport.setLoop(1.0, 2.0, 3);
    const std::int64_t play = 2 * kQuarter + 2 * kQuarter + kQuarter;
    EXPECT_EQ(transport.playLength(), play);
    const Schedule schedule =
        eventsAt({100, kQuarter, 30000, 2 * kQuarter - 1, 2 * kQuarter, 60000, 3 * kQuarter});
    for (std::uint32_t seed = 1; seed <= 4; ++seed) {
        const Log log =
            renderFake(schedule, transport, play + 5000, BlockSizer::random(1, 7000, seed));
        // Pass 1 up to render sample 48000, pass 2 to 72000, pass 3 to
        // 96000, then on from quarter 2 until the stop.
        EXPECT_EQ(eventSamples(log),
                  (std::vector<std::int64_t>{100, 24000, 30000, 47999, 48000, 54000, 71999, 72000,
                                             78000, 95999, 96000, 108000}))
            << "seed " << seed;
        for (const Block& b : log.blocks) {
            // No block runs across a jump: the plug-in sees it at its sample.
            for (std::int64_t jump : {2 * kQuarter, 3 * kQuarter})
                EXPECT_FALSE(b.start < jump && b.start + b.frames > jump) << b.start;
            const bool playing = b.start < play;
            const std::int64_t song = b.start < 2 * kQuarter   ? b.start
                                      : b.start < 4 * kQuarter ? kQuarter + (b.start % kQuarter)
                                      : playing                ? b.start - 2 * kQuarter
                                                               : 3 * kQuarter;
            EXPECT_DOUBLE_EQ(b.samplePos, static_cast<double>(song)) << b.start;
            EXPECT_DOUBLE_EQ(b.ppq, static_cast<double>(song) / kQuarter) << b.start;
            EXPECT_EQ((b.flags & kVstTransportPlaying) != 0, playing) << b.start;
            EXPECT_NE(b.flags & kVstCyclePosValid, 0);
            EXPECT_EQ(b.cycleStart, 1.0);
            EXPECT_EQ(b.cycleEnd, 2.0);
            // Engaged until the last pass is over.
            EXPECT_EQ((b.flags & kVstTransportCycleActive) != 0, b.start < 4 * kQuarter) << b.start;
            const bool jumped = b.start == 2 * kQuarter || b.start == 3 * kQuarter;
            if (b.start > 0 && playing) {
                EXPECT_EQ((b.flags & kVstTransportChanged) != 0, jumped) << b.start;
            }
        }
    }
}

TEST(Transport, AStartInsideTheLoopPlaysTheRestOfItFirst) {
    Transport transport(plainMap(), kRate);
    transport.setPlayRange(transport.sampleAtPpq(1.5), 2 * kQuarter);
    transport.setLoop(1.0, 2.0, 2);
    EXPECT_EQ(transport.playLength(), kQuarter / 2 + kQuarter);
    EXPECT_EQ(transport.stateAt(0).songSample, 36000);
    EXPECT_TRUE(transport.stateAt(0).jumpsAfter);
    EXPECT_EQ(transport.stateAt(0).stretchLeft, 12000);
    EXPECT_EQ(transport.stateAt(12000).songSample, kQuarter);
    EXPECT_FALSE(transport.stateAt(12000).jumpsAfter);
    EXPECT_TRUE(transport.stateAt(35999).playing);
    EXPECT_FALSE(transport.stateAt(36000).playing);
    EXPECT_EQ(transport.stateAt(36000).songSample, 2 * kQuarter);
}

TEST(Transport, AStopBeforeTheEndLeavesTheRestStoppedAtTheStop) {
    Transport transport(plainMap(), kRate);
    transport.setPlayRange(0, transport.sampleAtPpq(1.5));
    const Log log =
        renderFake(eventsAt({10, 35999, 36000, 47000}), transport, 50000, BlockSizer::fixed(1000));
    EXPECT_EQ(eventSamples(log), (std::vector<std::int64_t>{10, 35999}));
    for (const Block& b : log.blocks) {
        const bool playing = b.start < 36000;
        EXPECT_EQ((b.flags & kVstTransportPlaying) != 0, playing) << b.start;
        if (!playing) {
            EXPECT_DOUBLE_EQ(b.ppq, 1.5);
            EXPECT_EQ((b.flags & kVstTransportChanged) != 0, b.start == 36000);
        }
    }
}

TEST(Transport, LoopsThatCannotBePlayedAreRefusedWithAReason) {
    Transport transport(plainMap(), kRate);
    EXPECT_THROW(transport.setPlayRange(10, 5), std::invalid_argument);
    transport.setPlayRange(3 * kQuarter, 8 * kQuarter);
    struct Case {
        double from, to;
        int passes;
        const char* message;
    };
    const Case cases[] = {
        {2.0, 1.0, 2, "the loop's end (quarter 1) must come after its start (quarter 2)"},
        {1.0, 1.0, 2, "must come after its start"},
        {-1.0, 1.0, 2, "within the song"},
        {4.0, 5.0, 0, "from 1 to 100000 times"},
        {4.0, 4.00001, 2, "the loop (quarters 4 to 4.00001) is shorter than one sample"},
        {1.0, 2.0, 2, "the loop (quarters 1 to 2) ends before playback starts (quarter 3)"},
        {1.0, 3.0, 2, "ends before playback starts"},
        {4.0, 9.0, 2, "the loop (quarters 4 to 9) ends after the transport stops (quarter 8)"},
    };
    for (const Case& c : cases) {
        try {
            transport.setLoop(c.from, c.to, c.passes);
            ADD_FAILURE() << c.message << ": accepted";
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
    // None of them took: playback is still straight through.
    EXPECT_EQ(transport.playLength(), 5 * kQuarter);
    // A play range that would cut the loop short is refused as well.
    transport.setLoop(4.0, 6.0, 2);
    EXPECT_THROW(transport.setPlayRange(3 * kQuarter, 5 * kQuarter), std::invalid_argument);
    EXPECT_THROW(transport.setPlayRange(6 * kQuarter, 8 * kQuarter), std::invalid_argument);
    EXPECT_EQ(transport.startSample(), 3 * kQuarter);
    EXPECT_EQ(transport.playLength(), 7 * kQuarter);
}

}  // namespace
