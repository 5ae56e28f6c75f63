// The render's host transport: a start position, a loop played several
// times, a stop before the end; checked through the fake instrument, which
// records the transport of every block and the sample of every event.

#include "render/RenderTool.h"
#include "render/Renderer.h"
#include "render/Transport.h"

#include "FakeInstrumentLog.h"

#include <sndfile.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

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

TEST(Transport, PlaybackFromAStartPositionLeavesOutTheEventsBeforeIt) {
    Transport transport(plainMap(), kRate);
    const std::int64_t start = transport.sampleAtPpq(2.0);
    ASSERT_EQ(start, 2 * kQuarter);
    transport.setPlayRange(start, 4 * kQuarter);
    const Log log =
        renderFake(eventsAt({0, kQuarter, start - 1, start, start + 12345, 4 * kQuarter}),
                   transport, 60000, BlockSizer::random(1, 3000, 3));
    // Rendered samples count from the start position.
    EXPECT_EQ(eventSamples(log), (std::vector<std::int64_t>{0, 12345}));
    ASSERT_FALSE(log.blocks.empty());
    EXPECT_DOUBLE_EQ(log.blocks[0].ppq, 2.0);
    EXPECT_DOUBLE_EQ(log.blocks[0].samplePos, static_cast<double>(start));
    EXPECT_NE(log.blocks[0].flags & kVstTransportChanged, 0);
    EXPECT_NE(log.blocks[0].flags & kVstTransportPlaying, 0);
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

// ---- The options of tavro-render ------------------------------------------------

class TransportOptions : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("tavro-transport-" +
                std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        // 96 ticks a quarter, no tempo (120 BPM): a Note On on each of the
        // quarters 0 to 7, the end of the track at quarter 8.
        std::string track;
        for (int q = 0; q < 8; ++q) {
            track += q == 0 ? std::string(1, '\0') : std::string("\x60", 1);
            track += std::string("\x90", 1) + static_cast<char>(0x30 + q) + "\x40";
        }
        track += std::string("\x60\xFF\x2F\x00", 4);
        std::string file("MThd\0\0\0\6\0\0\0\1\0\x60MTrk\0\0\0", 21);
        file += static_cast<char>(track.size());
        std::ofstream(path("eight.mid"), std::ios::binary) << file << track;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    int render(std::vector<std::string> options) {
        std::vector<std::string> args = {TAVRO_FAKE_INSTRUMENT,
                                         path("eight.mid"),
                                         path("out.wav"),
                                         "--rate",
                                         "48000",
                                         "--tail",
                                         "0"};
        args.insert(args.end(), options.begin(), options.end());
        std::ostringstream err;
        const int code = render::runRenderTool(args, err, false);
        err_ = err.str();
        return code;
    }

    std::filesystem::path dir_;
    std::string err_;
};

TEST_F(TransportOptions, StartLoopAndStopShapeTheRenderAndTheEventList) {
    ASSERT_EQ(render({"--start", "1", "--loop", "2-4", "--passes", "3", "--stop-at", "6",
                      "--random-blocks", "1-5000", "--events", path("events.tsv")}),
              0)
        << err_;
    // Quarters 1 to 4, twice 2 to 4 again, then 4 to 6: 9 quarters.
    SF_INFO info{};
    SNDFILE* wav = sf_open(path("out.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(wav, nullptr);
    sf_close(wav);
    EXPECT_EQ(info.frames, 9 * kQuarter);
    std::ifstream in(path("events.tsv"));
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(),
              "event\t0\t90 31 40\n"
              "event\t24000\t90 32 40\n"
              "event\t48000\t90 33 40\n"
              "event\t72000\t90 32 40\n"
              "event\t96000\t90 33 40\n"
              "event\t120000\t90 32 40\n"
              "event\t144000\t90 33 40\n"
              "event\t168000\t90 34 40\n"
              "event\t192000\t90 35 40\n");
}

TEST_F(TransportOptions, InconsistentPositionsAreUsageErrors) {
    struct Case {
        std::vector<std::string> options;
        const char* message;
    };
    const std::vector<Case> cases = {
        {{"--loop", "4-2"}, "--loop 4-2: the loop must end after it starts"},
        {{"--loop", "4"}, "--loop wants FROM-TO"},
        {{"--loop", "2-x"}, "--loop wants a number"},
        {{"--passes", "3"}, "--passes goes with --loop"},
        {{"--loop", "2-4", "--passes", "0"}, "--passes wants a whole number from 1"},
        {{"--start", "-1"}, "--start wants quarter notes from 0"},
        {{"--start", "9"}, "--start 9 is not before the end of"},
        {{"--stop-at", "9"}, "--stop-at 9 lies past the end of"},
        {{"--start", "4", "--stop-at", "3"}, "--stop-at must come after --start"},
        {{"--loop", "1-3", "--start", "5"}, "ends before playback starts (quarter 5)"},
        {{"--loop", "2-7", "--stop-at", "6"}, "ends after the transport stops (quarter 6)"},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const auto& a : c.options)
            line += a + " ";
        EXPECT_EQ(render(c.options), 1) << line << "\n" << err_;
        EXPECT_NE(err_.find(c.message), std::string::npos) << line << "\n" << err_;
    }
}

}  // namespace
