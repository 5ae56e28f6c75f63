#include "render/Transport.h"

#include <stdexcept>

namespace render {

Transport::Transport(const TempoMap& map, double sampleRate) : map_(map), sampleRate_(sampleRate) {
    if (!(sampleRate > 0.0))
        throw std::invalid_argument("sample rate must be positive");
}

void Transport::setPlayRange(std::int64_t start, std::int64_t stop) {
    if (stop < start)
        throw std::invalid_argument("the transport cannot stop before it starts");
    start_ = start;
    stop_ = stop;
}

TransportState Transport::stateAt(std::int64_t renderSample) const {
    TransportState s{};
    const bool playing = renderSample < stop_ - start_;
    s.playing = playing;
    s.songSample = playing ? start_ + renderSample : stop_;
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
    // No loop region yet: the cycle positions are valid and say so by
    // leaving kVstTransportCycleActive clear.
    info.cycleStartPos = 0.0;
    info.cycleEndPos = 0.0;
    info.flags =
        kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstCyclePosValid | kVstTimeSigValid;
    if (state.playing)
        info.flags |= kVstTransportPlaying;
    if (state.changed)
        info.flags |= kVstTransportChanged;
    return info;
}

}  // namespace render
