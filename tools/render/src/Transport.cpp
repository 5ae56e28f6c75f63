#include "render/Transport.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace render {

namespace {

std::string quarters(double ppq) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", ppq);
    return text;
}

// Stretch lengths without a stop are kNoStop; sums of them stay there.
std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) {
    return a > Transport::kNoStop - b ? Transport::kNoStop : a + b;
}

}  // namespace

Transport::Transport(const TempoMap& map, double sampleRate) : map_(map), sampleRate_(sampleRate) {
    if (!(sampleRate > 0.0))
        throw std::invalid_argument("sample rate must be positive");
}

double Transport::ppqOfSample(std::int64_t sample) const {
    return map_.positionAtSample(sample, sampleRate_).ppq;
}

std::int64_t Transport::sampleAtPpq(double ppq) const {
    return std::llround(map_.ppqToSeconds(ppq) * sampleRate_);
}

void Transport::checkLoop(const Loop& loop, std::int64_t start, std::int64_t stop) const {
    const std::string region =
        "the loop (quarters " + quarters(loop.fromPpq) + " to " + quarters(loop.toPpq) + ")";
    if (loop.to <= start)
        throw std::invalid_argument(region + " ends before playback starts (quarter " +
                                    quarters(ppqOfSample(start)) + ")");
    if (loop.to > stop)
        throw std::invalid_argument(region + " ends after the transport stops (quarter " +
                                    quarters(ppqOfSample(stop)) + ")");
}

void Transport::setPlayRange(std::int64_t start, std::int64_t stop) {
    if (stop < start)
        throw std::invalid_argument("the transport cannot stop before it starts");
    if (looping_)
        checkLoop(loop_, start, stop);
    start_ = start;
    stop_ = stop;
}

void Transport::setLoop(double fromPpq, double toPpq, int passes) {
    if (!std::isfinite(fromPpq) || !std::isfinite(toPpq) || fromPpq < 0.0)
        throw std::invalid_argument("the loop must lie within the song");
    if (!(toPpq > fromPpq))
        throw std::invalid_argument("the loop's end (quarter " + quarters(toPpq) +
                                    ") must come after its start (quarter " + quarters(fromPpq) +
                                    ")");
    if (passes < 1 || passes > kMaxPasses)
        throw std::invalid_argument("a loop is played from 1 to " + std::to_string(kMaxPasses) +
                                    " times");
    Loop loop;
    loop.fromPpq = fromPpq;
    loop.toPpq = toPpq;
    loop.from = sampleAtPpq(fromPpq);
    loop.to = sampleAtPpq(toPpq);
    loop.passes = passes;
    if (loop.to <= loop.from)
        throw std::invalid_argument("the loop (quarters " + quarters(fromPpq) + " to " +
                                    quarters(toPpq) + ") is shorter than one sample");
    checkLoop(loop, start_, stop_);
    loop_ = loop;
    looping_ = true;
}

std::int64_t Transport::playLength() const {
    if (!looping_)
        return stop_ == kNoStop ? kNoStop : stop_ - start_;
    const std::int64_t repeats = (loop_.to - loop_.from) * (loop_.passes - 1);
    const std::int64_t beyond = stop_ == kNoStop ? kNoStop : stop_ - loop_.to;
    return saturatingAdd(loop_.to - start_ + repeats, beyond);
}

TransportState Transport::stateAt(std::int64_t renderSample) const {
    TransportState s{};
    s.playing = true;
    const std::int64_t beyond = stop_ == kNoStop ? kNoStop : stop_ - loop_.to;
    if (!looping_) {
        const std::int64_t length = stop_ == kNoStop ? kNoStop : stop_ - start_;
        s.playing = renderSample < length;
        s.songSample = start_ + renderSample;
        s.stretchLeft = length - renderSample;
    } else {
        // First stretch: from the start to the loop's end; then the repeats,
        // each from the loop's start to its end; then on to the stop. The
        // stretch of the last pass runs on into what follows the loop.
        const std::int64_t first = loop_.to - start_;
        const std::int64_t period = loop_.to - loop_.from;
        const std::int64_t repeats = loop_.passes - 1;
        s.cycleActive = true;
        if (renderSample < first) {
            s.songSample = start_ + renderSample;
            s.stretchLeft = first - renderSample;
            s.jumpsAfter = repeats > 0;
        } else if ((renderSample - first) / period < repeats) {
            const std::int64_t pass = (renderSample - first) / period;
            const std::int64_t into = (renderSample - first) % period;
            s.songSample = loop_.from + into;
            s.stretchLeft = period - into;
            s.jumpsAfter = pass + 1 < repeats;
        } else {
            const std::int64_t into = renderSample - first - repeats * period;
            s.songSample = loop_.to + into;
            s.stretchLeft = beyond == kNoStop ? kNoStop : beyond - into;
            s.cycleActive = false;
            s.playing = into < beyond;
        }
        if (!s.jumpsAfter && s.cycleActive)
            s.stretchLeft = saturatingAdd(s.stretchLeft, beyond);
    }
    if (!s.playing) {
        s.songSample = stop_;
        s.stretchLeft = 0;
        s.jumpsAfter = false;
        s.cycleActive = false;
    }
    s.changed = false;
    s.position = map_.positionAtSample(s.songSample, sampleRate_);
    return s;
}

TransportState Transport::beginBlock(std::int64_t renderSample) {
    TransportState s = stateAt(renderSample);
    if (renderSample == 0 || !havePrevious_) {
        s.changed = true;
    } else {
        const std::int64_t advanced = previous_.playing ? renderSample - previousRenderSample_ : 0;
        s.changed =
            s.playing != previous_.playing || s.songSample != previous_.songSample + advanced;
        // Stopping inside the previous block shows as a stop, not a jump.
        if (!s.playing && !previous_.playing)
            s.changed = false;
    }
    havePrevious_ = true;
    previous_ = s;
    previousRenderSample_ = renderSample;
    return s;
}

VstTimeInfo Transport::timeInfo(const TransportState& state) const {
    VstTimeInfo info{};
    info.samplePos = static_cast<double>(state.songSample);
    info.sampleRate = sampleRate_;
    info.ppqPos = state.position.ppq;
    info.tempo = state.position.tempo;
    info.barStartPos = state.position.barStartPpq;
    info.timeSigNumerator = state.position.numerator;
    info.timeSigDenominator = state.position.denominator;
    // The loop's positions are reported whenever there is one, as DAWs show
    // their locators; kVstTransportCycleActive says whether it is engaged.
    if (looping_) {
        info.cycleStartPos = loop_.fromPpq;
        info.cycleEndPos = loop_.toPpq;
    }
    info.flags =
        kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstCyclePosValid | kVstTimeSigValid;
    if (state.playing)
        info.flags |= kVstTransportPlaying;
    if (state.cycleActive)
        info.flags |= kVstTransportCycleActive;
    if (state.changed)
        info.flags |= kVstTransportChanged;
    return info;
}

}  // namespace render
