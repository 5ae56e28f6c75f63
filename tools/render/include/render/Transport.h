#pragma once
// The host transport during a render: which song position each rendered
// sample plays, whether the song is playing, and the VstTimeInfo the plug-in
// reads for a block. Everything about where playback starts, stops (and,
// later, loops and jumps) lives here, so the renderer only asks for the state
// at the start of each block.

#include "render/TempoMap.h"
#include "vst/AEffect.h"

#include <cstdint>
#include <limits>

namespace render {

struct TransportState {
    // Position on the song's timeline, in samples from tick 0.
    std::int64_t songSample;
    bool playing;
    // Playing state or position does not follow on from the previous block
    // (the first block, the stop); set by beginBlock() only.
    bool changed;
    MusicalPosition position;
};

class Transport {
public:
    Transport(const TempoMap& map, double sampleRate);

    // Rendering starts at song sample `start` and plays until song sample
    // `stop` (exclusive); from there the transport stands stopped at `stop`.
    // Throws std::invalid_argument when stop < start.
    void setPlayRange(std::int64_t start, std::int64_t stop);
    std::int64_t startSample() const { return start_; }
    std::int64_t stopSample() const { return stop_; }

    // The state at rendered sample `renderSample` (0 = the first sample
    // written). Song time runs one sample per rendered sample while playing.
    TransportState stateAt(std::int64_t renderSample) const;
    // The state for a block starting at `renderSample`, with `changed` set
    // against the block before. Blocks are asked for in order; asking for
    // sample 0 starts over.
    TransportState beginBlock(std::int64_t renderSample);

    // The record for audioMasterGetTime: samplePos, sampleRate, ppqPos,
    // tempo, barStartPos, time signature, and the playing and valid flags.
    VstTimeInfo timeInfo(const TransportState& state) const;

    double sampleRate() const { return sampleRate_; }
    const TempoMap& tempoMap() const { return map_; }

private:
    const TempoMap& map_;
    double sampleRate_;
    std::int64_t start_ = 0;
    std::int64_t stop_ = std::numeric_limits<std::int64_t>::max();
    bool havePrevious_ = false;
    TransportState previous_{};
    std::int64_t previousRenderSample_ = 0;
};

}  // namespace render
