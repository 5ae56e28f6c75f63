#pragma once
// The host transport during a render: which song position each rendered
// sample plays, whether the song is playing, and the VstTimeInfo the plug-in
// reads for a block. Everything about where playback starts, loops and stops
// lives here, so the renderer only asks for the state at the start of each
// block.
//
// A play runs in stretches of continuous song time: from the start to the
// loop's end, then the loop again (each pass from its start to its end), then
// on to the stop. Where one stretch jumps back to the loop's start the
// renderer ends its block, as a DAW splits its processing call at the loop's
// end, so the plug-in sees the jump at the exact sample.

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
    // (the first block, a loop's jump, the stop); set by beginBlock() only.
    bool changed;
    // The loop is engaged: its passes are not over yet.
    bool cycleActive;
    // While playing: rendered samples from this one on that play in one
    // stretch, up to the jump back (jumpsAfter) or the stop. 0 when stopped.
    std::int64_t stretchLeft;
    bool jumpsAfter;
    MusicalPosition position;
};

class Transport {
public:
    static constexpr std::int64_t kNoStop = std::numeric_limits<std::int64_t>::max();

    Transport(const TempoMap& map, double sampleRate);

    // Rendering starts at song sample `start` and plays until song sample
    // `stop` (exclusive); from there the transport stands stopped at `stop`.
    // Throws std::invalid_argument when stop < start, or when the loop set
    // before would no longer be played in full.
    void setPlayRange(std::int64_t start, std::int64_t stop);
    std::int64_t startSample() const { return start_; }
    std::int64_t stopSample() const { return stop_; }

    // A loop from quarter note `from` to quarter note `to`, played `passes`
    // times (1 to kMaxPasses): when the song reaches `to` it jumps back to
    // `from` until the last pass, which goes on past `to`. While the passes
    // last, the host reports the loop (cycleStartPos, cycleEndPos) with
    // kVstTransportCycleActive. Throws std::invalid_argument, with a message
    // for the user, when `to` is not after `from`, the loop is shorter than
    // a sample, playback starts at or after its end, or the transport stops
    // before its end; nothing changes then.
    void setLoop(double fromPpq, double toPpq, int passes);
    static constexpr int kMaxPasses = 100000;

    // The song sample a position in quarter notes falls on:
    // round(seconds × rate).
    std::int64_t sampleAtPpq(double ppq) const;
    // Rendered samples from the start until the transport stops, every pass
    // of the loop included; kNoStop without a stop.
    std::int64_t playLength() const;

    // The state at rendered sample `renderSample` (0 = the first sample
    // written). Song time runs one sample per rendered sample while playing.
    TransportState stateAt(std::int64_t renderSample) const;
    // The state for a block starting at `renderSample`, with `changed` set
    // against the block before. Blocks are asked for in order; asking for
    // sample 0 starts over.
    TransportState beginBlock(std::int64_t renderSample);

    // The record for audioMasterGetTime: samplePos, sampleRate, ppqPos,
    // tempo, barStartPos, time signature, loop, and the playing, cycle and
    // valid flags.
    VstTimeInfo timeInfo(const TransportState& state) const;

    double sampleRate() const { return sampleRate_; }
    const TempoMap& tempoMap() const { return map_; }

private:
    struct Loop {
        double fromPpq = 0.0;
        double toPpq = 0.0;
        std::int64_t from = 0;  // song samples
        std::int64_t to = 0;
        int passes = 1;
    };

    // Throws when `loop` does not fit between start and stop.
    void checkLoop(const Loop& loop, std::int64_t start, std::int64_t stop) const;
    double ppqOfSample(std::int64_t sample) const;

    const TempoMap& map_;
    double sampleRate_;
    std::int64_t start_ = 0;
    std::int64_t stop_ = kNoStop;
    bool looping_ = false;
    Loop loop_;
    bool havePrevious_ = false;
    TransportState previous_{};
    std::int64_t previousRenderSample_ = 0;
};

}  // namespace render
