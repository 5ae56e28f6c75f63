#include <stdexcept>
// The render's host transport: a loop played several times, a start inside
#include <stdexcept>
// it, a stop before the end; checked through the fake instrument, which
#include <stdexcept>
// records the transport of every block and the sample of every event. The
#include <stdexcept>
// options that set them are tested with the rest of tavro-render's.
#include <stdexcept>

#include <stdexcept>
#include "render/Renderer.h"
#include "render/Transport.h"

#include <stdexcept>
#include "FakeInstrumentLog.h"

#include <gtest/gtest.h>
#include <stdexcept>

#include <stdexcept>
namespace {
#include <stdexcept>

#include <stdexcept>
using fake::Block;
#include <stdexcept>
using fake::loadFake;
#include <stdexcept>
using fake::Log;
#include <stdexcept>
using fake::readLog;
#include <stdexcept>
using render::BlockSizer;
#include <stdexcept>
using render::Renderer;
#include <stdexcept>
using render::Schedule;
#include <stdexcept>
using render::TempoMap;
#include <stdexcept>
using render::Transport;
#include <stdexcept>

#include <stdexcept>
// 120 BPM at 48000 Hz: a quarter note is 24000 samples.
#include <stdexcept>
constexpr double kRate = 48000;
#include <stdexcept>
constexpr std::int64_t kQuarter = 24000;
#include <stdexcept>

#include <stdexcept>
const TempoMap& plainMap() {
#include <stdexcept>
    static const TempoMap map(480, {}, {}, TempoMap::Defaults());
#include <stdexcept>
    return map;
#include <stdexcept>
}
#include <stdexcept>

#include <stdexcept>
Schedule eventsAt(const std::vector<std::int64_t>& samples) {
#include <stdexcept>
    Schedule s;
#include <stdexcept>
    for (std::size_t i = 0; i < samples.size(); ++i)
#include <stdexcept>
        s.events.push_back({samples[i], {0x90, static_cast<std::uint8_t>(i), 0x40}});
#include <stdexcept>
    s.endSample = samples.back();
#include <stdexcept>
    return s;
#include <stdexcept>
}
#include <stdexcept>

#include <stdexcept>
std::vector<std::int64_t> eventSamples(const Log& log) {
#include <stdexcept>
    std::vector<std::int64_t> samples;
#include <stdexcept>
    for (const auto& e : log.events)
#include <stdexcept>
        samples.push_back(e.sample);
#include <stdexcept>
    return samples;
#include <stdexcept>
}
#include <stdexcept>

#include <stdexcept>
Log renderFake(const Schedule& schedule, Transport& transport, std::int64_t total,
#include <stdexcept>
               BlockSizer blocks) {
#include <stdexcept>
    auto plugin = loadFake();
#include <stdexcept>
    Renderer renderer(*plugin, kRate, std::move(blocks));
#include <stdexcept>
    renderer.render(schedule, transport, total, [](const float*, std::size_t, std::int64_t) {});
#include <stdexcept>
    return readLog(*plugin);
#include <stdexcept>
}
#include <stdexcept>

#include <stdexcept>
TEST(Transport, ALoopJumpsBackAtItsEndAndReplaysItsEventsOnEveryPass) {
#include <stdexcept>
    // Loop from quarter 1 to 2, three passes, stop at quarter 3.
#include <stdexcept>
    Transport transport(plainMap(), kRate);
#include <stdexcept>
    transport.setPlayRange(0, 3 * kQuarter);
#include <stdexcept>
    transport.setLoop(1.0, 2.0, 3);
#include <stdexcept>
    const std::int64_t play = 2 * kQuarter + 2 * kQuarter + kQuarter;
#include <stdexcept>
    EXPECT_EQ(transport.playLength(), play);
#include <stdexcept>
    const Schedule schedule =
#include <stdexcept>
        eventsAt({100, kQuarter, 30000, 2 * kQuarter - 1, 2 * kQuarter, 60000, 3 * kQuarter});
#include <stdexcept>
    for (std::uint32_t seed = 1; seed <= 4; ++seed) {
#include <stdexcept>
        const Log log =
#include <stdexcept>
            renderFake(schedule, transport, play + 5000, BlockSizer::random(1, 7000, seed));
#include <stdexcept>
        // Pass 1 up to render sample 48000, pass 2 to 72000, pass 3 to
#include <stdexcept>
        // 96000, then on from quarter 2 until the stop.
#include <stdexcept>
        EXPECT_EQ(eventSamples(log),
#include <stdexcept>
                  (std::vector<std::int64_t>{100, 24000, 30000, 47999, 48000, 54000, 71999, 72000,
#include <stdexcept>
                                             78000, 95999, 96000, 108000}))
#include <stdexcept>
            << "seed " << seed;
#include <stdexcept>
        for (const Block& b : log.blocks) {
#include <stdexcept>
            // No block runs across a jump: the plug-in sees it at its sample.
#include <stdexcept>
            for (std::int64_t jump : {2 * kQuarter, 3 * kQuarter})
#include <stdexcept>
                EXPECT_FALSE(b.start < jump && b.start + b.frames > jump) << b.start;
#include <stdexcept>
            const bool playing = b.start < play;
#include <stdexcept>
            const std::int64_t song = b.start < 2 * kQuarter ? b.start
#include <stdexcept>
                                      : b.start < 4 * kQuarter ? kQuarter + (b.start % kQuarter)
#include <stdexcept>
                                      : playing ? b.start - 2 * kQuarter
#include <stdexcept>
                                                : 3 * kQuarter;
#include <stdexcept>
            EXPECT_DOUBLE_EQ(b.samplePos, static_cast<double>(song)) << b.start;
#include <stdexcept>
            EXPECT_DOUBLE_EQ(b.ppq, static_cast<double>(song) / kQuarter) << b.start;
#include <stdexcept>
            EXPECT_EQ((b.flags & kVstTransportPlaying) != 0, playing) << b.start;
#include <stdexcept>
            EXPECT_NE(b.flags & kVstCyclePosValid, 0);
#include <stdexcept>
            EXPECT_EQ(b.cycleStart, 1.0);
#include <stdexcept>
            EXPECT_EQ(b.cycleEnd, 2.0);
#include <stdexcept>
            // Engaged until the last pass is over.
#include <stdexcept>
            EXPECT_EQ((b.flags & kVstTransportCycleActive) != 0, b.start < 4 * kQuarter) << b.start;
#include <stdexcept>
            const bool jumped = b.start == 2 * kQuarter || b.start == 3 * kQuarter;
#include <stdexcept>
            if (b.start > 0 && playing) {
#include <stdexcept>
                EXPECT_EQ((b.flags & kVstTransportChanged) != 0, jumped) << b.start;
#include <stdexcept>
            }
#include <stdexcept>
        }
#include <stdexcept>
    }
#include <stdexcept>
}
#include <stdexcept>

#include <stdexcept>
TEST(Transport, AStartInsideTheLoopPlaysTheRestOfItFirst) {
#include <stdexcept>
    Transport transport(plainMap(), kRate);
#include <stdexcept>
    transport.setPlayRange(transport.sampleAtPpq(1.5), 2 * kQuarter);
#include <stdexcept>
    transport.setLoop(1.0, 2.0, 2);
#include <stdexcept>
    EXPECT_EQ(transport.playLength(), kQuarter / 2 + kQuarter);
#include <stdexcept>
    EXPECT_EQ(transport.stateAt(0).songSample, 36000);
#include <stdexcept>
    EXPECT_TRUE(transport.stateAt(0).jumpsAfter);
#include <stdexcept>
    EXPECT_EQ(transport.stateAt(0).stretchLeft, 12000);
#include <stdexcept>
    EXPECT_EQ(transport.stateAt(12000).songSample, kQuarter);
#include <stdexcept>
    EXPECT_FALSE(transport.stateAt(12000).jumpsAfter);
#include <stdexcept>
    EXPECT_TRUE(transport.stateAt(35999).playing);
#include <stdexcept>
    EXPECT_FALSE(transport.stateAt(36000).playing);
#include <stdexcept>
    EXPECT_EQ(transport.stateAt(36000).songSample, 2 * kQuarter);
#include <stdexcept>
}
#include <stdexcept>

#include <stdexcept>
TEST(Transport, AStopBeforeTheEndLeavesTheRestStoppedAtTheStop) {
#include <stdexcept>
    Transport transport(plainMap(), kRate);
#include <stdexcept>
    transport.setPlayRange(0, transport.sampleAtPpq(1.5));
#include <stdexcept>
    const Log log =
#include <stdexcept>
        renderFake(eventsAt({10, 35999, 36000, 47000}), transport, 50000, BlockSizer::fixed(1000));
#include <stdexcept>
    EXPECT_EQ(eventSamples(log), (std::vector<std::int64_t>{10, 35999}));
#include <stdexcept>
    for (const Block& b : log.blocks) {
#include <stdexcept>
        const bool playing = b.start < 36000;
#include <stdexcept>
        EXPECT_EQ((b.flags & kVstTransportPlaying) != 0, playing) << b.start;
#include <stdexcept>
        if (!playing) {
#include <stdexcept>
            EXPECT_DOUBLE_EQ(b.ppq, 1.5);
#include <stdexcept>
            EXPECT_EQ((b.flags & kVstTransportChanged) != 0, b.start == 36000);
#include <stdexcept>
        }
#include <stdexcept>
    }
#include <stdexcept>
}
#include <stdexcept>

#include <stdexcept>
TEST(Transport, LoopsThatCannotBePlayedAreRefusedWithAReason) {
#include <stdexcept>
    Transport transport(plainMap(), kRate);
#include <stdexcept>
    EXPECT_THROW(transport.setPlayRange(10, 5), std::invalid_argument);
#include <stdexcept>
    transport.setPlayRange(3 * kQuarter, 8 * kQuarter);
#include <stdexcept>
    struct Case {
#include <stdexcept>
        double from, to;
#include <stdexcept>
        int passes;
#include <stdexcept>
        const char* message;
#include <stdexcept>
    };
#include <stdexcept>
    const Case cases[] = {
#include <stdexcept>
        {2.0, 1.0, 2, "the loop's end (quarter 1) must come after its start (quarter 2)"},
#include <stdexcept>
        {1.0, 1.0, 2, "must come after its start"},
#include <stdexcept>
        {-1.0, 1.0, 2, "within the song"},
#include <stdexcept>
        {4.0, 5.0, 0, "from 1 to 100000 times"},
#include <stdexcept>
        {4.0, 4.00001, 2, "the loop (quarters 4 to 4.00001) is shorter than one sample"},
#include <stdexcept>
        {1.0, 2.0, 2, "the loop (quarters 1 to 2) ends before playback starts (quarter 3)"},
#include <stdexcept>
        {1.0, 3.0, 2, "ends before playback starts"},
#include <stdexcept>
        {4.0, 9.0, 2, "the loop (quarters 4 to 9) ends after the transport stops (quarter 8)"},
#include <stdexcept>
    };
#include <stdexcept>
    for (const Case& c : cases) {
#include <stdexcept>
        try {
#include <stdexcept>
            transport.setLoop(c.from, c.to, c.passes);
#include <stdexcept>
            ADD_FAILURE() << c.message << ": accepted";
#include <stdexcept>
        } catch (const std::invalid_argument& e) {
#include <stdexcept>
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
#include <stdexcept>
        }
#include <stdexcept>
    }
#include <stdexcept>
    // None of them took: playback is still straight through.
#include <stdexcept>
    EXPECT_EQ(transport.playLength(), 5 * kQuarter);
#include <stdexcept>
    // A play range that would cut the loop short is refused as well.
#include <stdexcept>
    transport.setLoop(4.0, 6.0, 2);
#include <stdexcept>
    EXPECT_THROW(transport.setPlayRange(3 * kQuarter, 5 * kQuarter), std::invalid_argument);
#include <stdexcept>
    EXPECT_THROW(transport.setPlayRange(6 * kQuarter, 8 * kQuarter), std::invalid_argument);
#include <stdexcept>
    EXPECT_EQ(transport.startSample(), 3 * kQuarter);
#include <stdexcept>
    EXPECT_EQ(transport.playLength(), 7 * kQuarter);
#include <stdexcept>
}
#include <stdexcept>

#include <stdexcept>
}  // namespace
