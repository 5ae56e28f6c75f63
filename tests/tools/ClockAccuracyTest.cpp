// MIDI clock of the real plug-in over a long render, through the renderer
// with random block sizes, decoded block by block as it is rendered. Every
// clock must start on the sample that the plug-in's own rule gives for its
// block (nowClocks from the block's ppqPos and tempo, samplesPerClock =
// rate x 2.5 / tempo, due = int((k - nowClocks) x samplesPerClock + 0.5));
// how far that lies from the ideal time of the clock in the tempo map is
// measured and reported.
//
// TAVRO_CLOCK_SECONDS sets the length of each render (default 60).

#include "decode/SerialMidiDecoder.h"
#include "host/ParameterByName.h"
#include "host/VstHost.h"
#include "render/Renderer.h"
#include "render/Transport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <optional>
#include <string>

namespace {

using render::TempoMap;

double renderSeconds() {
    const char* text = std::getenv("TAVRO_CLOCK_SECONDS");
    const double seconds = text != nullptr ? std::atof(text) : 0.0;
    return seconds > 0.0 ? seconds : 60.0;
}

// A clock the plug-in's rule puts into a block.
struct Tick {
    std::int64_t sample;
    std::int64_t clock;
};

// The plug-in's scheduling rule for one block, clock offset 0 and no swing,
// in the plug-in's own arithmetic, including the clock carried over when it
// falls exactly on the block's end.
class ClockRule {
public:
    explicit ClockRule(double rate) : rate_(static_cast<float>(rate)) {}

    void block(std::int64_t start, std::int64_t frames, double ppq, double tempo,
               std::deque<Tick>& ticks) {
        nowClocks_ = 0.0 * tempo * 0.4 + ppq * 24.0;
        samplesPerClock_ = static_cast<double>(rate_) * 2.5 / tempo;
        std::int64_t next = static_cast<std::int64_t>(std::ceil(nowClocks_));
        std::uint32_t due = offsetOf(next);
        if (carried_) {
            next = *carried_;
            due = 0;
            carried_.reset();
        }
        while (due < frames) {
            ticks.push_back({start + due, next});
            ++next;
            due = offsetOf(next);
        }
        if (due == frames)
            carried_ = next;
    }

private:
    std::uint32_t offsetOf(std::int64_t clock) const {
        const double offset = (static_cast<double>(clock) - nowClocks_) * samplesPerClock_ + 0.5;
        if (!(offset > -2147483648.0 && offset < 4294967295.0))
            return 0xFFFFFFFFu;
        return static_cast<std::uint32_t>(static_cast<std::int64_t>(offset));
    }

    float rate_;
    double nowClocks_ = 0.0;
    double samplesPerClock_ = 0.0;
    std::optional<std::int64_t> carried_;
};

// Distances of the decoded clocks from their ideal times, in samples.
struct Accuracy {
    std::size_t clocks = 0;
    double maxDistance = 0.0;
    double meanDistance = 0.0;
    // Leaving out the clocks that had to wait for another byte.
    double maxDistanceOnTheirOwn = 0.0;
};

void setParameter(host::VstHost& plugin, const std::string& name, const std::string& value) {
    std::string error;
    EXPECT_TRUE(host::setParameterByName(plugin, name, value, error)) << error;
}

Accuracy measureClock(const TempoMap& map, double rate, double seconds, std::uint32_t seed) {
    Accuracy result;
    host::VstHost plugin;
    std::string error;
    EXPECT_TRUE(plugin.load(TAVRO_PLUGIN_PATH, error)) << error;
    if (plugin.effect() == nullptr)
        return result;
    plugin.dispatch(effOpen);
    setParameter(plugin, "Clock", "On");
    setParameter(plugin, "Softly", "Off");

    render::Transport transport(map, rate);
    const auto play = static_cast<std::int64_t>(seconds * rate);
    transport.setPlayRange(0, play);
    render::Renderer renderer(plugin, rate, render::BlockSizer::random(17, 2048, seed));
    // One block with the transport stopped first, as a DAW runs the plug-in
    // before playback: the plug-in reads its parameters while it renders,
    // so only then does the transport start find the clock on.
    renderer.prepare();
    VstTimeInfo stopped = transport.timeInfo(transport.stateAt(0));
    stopped.flags &= ~kVstTransportPlaying;
    plugin.setTimeInfo(stopped);
    plugin.processReplacing(64);

    serialmidi::DecoderOptions options;
    options.polarity = serialmidi::Polarity::idleLow;
    options.adaptive = false;
    serialmidi::SerialMidiDecoder decoder(rate, options);
    ClockRule rule(rate);
    std::deque<Tick> ticks;
    // The plug-in's lastSentClock, known from the Start byte on.
    std::optional<std::int64_t> lastSent;
    // The clock a receiver counts the next F8 as.
    std::int64_t counted = 0;
    // A clock that follows another byte back to back: after Start, and the
    // second of a pair that catches up on a skipped clock.
    bool backToBack = false;
    double distanceSum = 0.0;
    std::size_t failures = 0;

    auto check = [&](const serialmidi::DecodedByte& b) {
        bool waited = false;
        if (b.value == 0xFA) {
            // Start goes out at the sample of the first clock sent, and that
            // clock follows it.
            while (!ticks.empty() && ticks.front().sample < b.startSample)
                ticks.pop_front();
            ASSERT_FALSE(ticks.empty());
            EXPECT_EQ(ticks.front().sample, b.startSample);
            lastSent = ticks.front().clock;
            counted = ticks.front().clock - 1;
            ticks.pop_front();
            backToBack = true;
        } else {
            ASSERT_EQ(b.value, 0xF8) << "at " << b.startSample;
            ASSERT_TRUE(lastSent.has_value()) << "clock before Start at " << b.startSample;
            if (backToBack) {
                backToBack = false;
                waited = true;
            } else {
                // Ticks of clocks already sent send nothing.
                while (!ticks.empty() && ticks.front().clock <= *lastSent)
                    ticks.pop_front();
                ASSERT_FALSE(ticks.empty()) << "unexpected clock at " << b.startSample;
                const Tick tick = ticks.front();
                ticks.pop_front();
                if (tick.sample != b.startSample && ++failures <= 10)
                    ADD_FAILURE() << "clock " << tick.clock << " at sample " << b.startSample
                                  << ", its block's rule gives " << tick.sample;
                // A tempo rise inside a block moves the next block's first
                // clock past one that was not sent yet: two go out at once.
                const std::int64_t behind = tick.clock - *lastSent;
                backToBack = behind >= 2;
                *lastSent += behind >= 2 ? 2 : 1;
            }
            ++counted;
            const double ideal = map.ppqToSeconds(static_cast<double>(counted) / 24.0) * rate;
            const double distance = std::fabs(static_cast<double>(b.startSample) - ideal);
            result.maxDistance = std::max(result.maxDistance, distance);
            if (!waited)
                result.maxDistanceOnTheirOwn = std::max(result.maxDistanceOnTheirOwn, distance);
            distanceSum += distance;
            ++result.clocks;
        }
    };

    renderer.render(render::Schedule(), transport, play,
                    [&](const float* samples, std::size_t frames, std::int64_t start) {
                        const render::TransportState state = transport.stateAt(start);
                        rule.block(start, static_cast<std::int64_t>(frames), state.position.ppq,
                                   state.position.tempo, ticks);
                        decoder.feed(samples, frames);
                        for (const serialmidi::DecodedByte& b : decoder.takeBytes()) {
                            EXPECT_FALSE(b.framingError) << "at " << b.startSample;
                            check(b);
                        }
                    });
    plugin.close();
    EXPECT_EQ(failures, 0u);
    // Only a clock still on the line when the render ended is left.
    EXPECT_LE(ticks.size(), 1u);
    if (result.clocks > 0)
        result.meanDistance = distanceSum / static_cast<double>(result.clocks);
    return result;
}

void report(const char* what, double rate, double seconds, const Accuracy& a) {
    std::printf(
        "clock accuracy, %s, %.0f Hz, %.0f s: %zu clocks, distance from the ideal time "
        "max %.4f, mean %.4f samples (max %.4f for clocks not after another byte)\n",
        what, rate, seconds, a.clocks, a.maxDistance, a.meanDistance, a.maxDistanceOnTheirOwn);
    std::fflush(stdout);
    ::testing::Test::RecordProperty(std::string(what) + " " + std::to_string(int(rate)) + " max",
                                    std::to_string(a.maxDistance));
    ::testing::Test::RecordProperty(std::string(what) + " " + std::to_string(int(rate)) + " mean",
                                    std::to_string(a.meanDistance));
}

// Tempo changes every one to eight quarter notes (at ticks that fall
// between samples), from 60 to 240 BPM in steps of a microsecond per
// quarter, enough of them to cover `seconds`.
TempoMap changingTempo(double seconds, std::uint32_t seed) {
    std::vector<render::TempoChange> changes;
    std::uint64_t state = seed;
    auto next = [&state](std::uint64_t span) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return (state >> 33) % span;
    };
    std::int64_t tick = 0;
    double elapsed = 0.0;
    std::uint32_t micros = 500000;
    while (elapsed < seconds + 1.0) {
        changes.push_back({tick, micros});
        const std::int64_t length = 480 + static_cast<std::int64_t>(next(7 * 480 + 1)) + 7;
        elapsed += static_cast<double>(length) / 480.0 * micros * 1e-6;
        tick += length;
        micros = 250000 + static_cast<std::uint32_t>(next(750001));
    }
    return TempoMap(480, changes, {}, TempoMap::Defaults());
}

class ClockAccuracy : public ::testing::TestWithParam<double> {};

TEST_P(ClockAccuracy, ClocksAtConstantTempoFallOnTheNearestSample) {
    const double rate = GetParam();
    const double seconds = renderSeconds();
    const TempoMap map(480, {}, {}, TempoMap::Defaults());  // 120 BPM
    const Accuracy a = measureClock(map, rate, seconds, 7);
    report("120 BPM", rate, seconds, a);
    EXPECT_GE(a.clocks, static_cast<std::size_t>(seconds * 48.0) - 2);
    // Rounded to the nearest sample, apart from the rounding of positions;
    // only the first clock, behind the Start byte, is later.
    EXPECT_LE(a.maxDistanceOnTheirOwn, 0.5 + 1e-6);
    EXPECT_LE(a.maxDistance, rate / 31250.0 * 11.0);
}

TEST_P(ClockAccuracy, ClocksFollowTempoChangesByTheirBlocksTempo) {
    const double rate = GetParam();
    const double seconds = renderSeconds();
    const TempoMap map = changingTempo(seconds, 11);
    const Accuracy a = measureClock(map, rate, seconds, 5);
    report("tempo changes", rate, seconds, a);
    EXPECT_GT(a.clocks, static_cast<std::size_t>(seconds * 24.0) - 2);  // 60 BPM at the least
}

INSTANTIATE_TEST_SUITE_P(Rates, ClockAccuracy, ::testing::Values(44100.0, 192000.0),
                         [](const ::testing::TestParamInfo<double>& info) {
                             return "Rate" + std::to_string(static_cast<int>(info.param));
                         });

}  // namespace
