#pragma once
// Plays a MIDI file into a plug-in block by block, the way a host renders a
// song: before each block it sets the transport the plug-in will ask for,
// delivers the events that fall into the block with their sample offsets,
// runs processReplacing and hands the output on.

#include "render/BlockSizer.h"
#include "render/MidiFile.h"
#include "render/TempoMap.h"
#include "render/Transport.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace host {
class VstHost;
}

namespace render {

// An event on the song's timeline, as the host delivers it: one MIDI
// message of one to three bytes, or system exclusive from 0xF0.
struct ScheduledEvent {
    std::int64_t sample;
    std::vector<std::uint8_t> bytes;
};

struct Schedule {
    // Sorted by sample, in file order at the same sample.
    std::vector<ScheduledEvent> events;
    // The song sample of the file's end (its last event or End of Track).
    std::int64_t endSample = 0;
    // Bytes of escape events that formed no message and were left out.
    std::size_t droppedBytes = 0;
};

// An event at `tick` goes to sample round(seconds × rate). Escape events
// are split into the messages they hold.
Schedule scheduleEvents(const MidiFile& file, const TempoMap& map, double sampleRate);

class Renderer {
public:
    // The output of each block: the plug-in's first channel, `frames`
    // samples, first of them the rendered sample `blockStart`.
    using OutputCallback =
        std::function<void(const float* samples, std::size_t frames, std::int64_t blockStart)>;
    // After each block: samples rendered so far and in all.
    using ProgressCallback = std::function<void(std::int64_t done, std::int64_t total)>;
    // Each event as it is delivered, with the rendered sample it plays on.
    using EventCallback =
        std::function<void(std::int64_t renderSample, const ScheduledEvent& event)>;

    // The host must have loaded a plug-in with at least one output.
    Renderer(host::VstHost& host, double sampleRate, BlockSizer blocks);

    // effSetSampleRate, effSetBlockSize with the largest block, resume
    // (effMainsChanged 1). Called by render() unless called before.
    void prepare();

    // Renders `totalSamples` samples with the transport's positions,
    // delivering the scheduled events that fall on played song samples (on
    // every pass of a loop). A block that reaches a loop's end is split
    // there: the rest of it is the next block. Suspends the plug-in
    // (effMainsChanged 0) at the end.
    void render(const Schedule& schedule, Transport& transport, std::int64_t totalSamples,
                const OutputCallback& output, const ProgressCallback& progress = {});

    void setEventCallback(EventCallback callback) { eventCallback_ = std::move(callback); }

    // Events delivered by the last render().
    std::size_t eventsDelivered() const { return delivered_; }

private:
    host::VstHost& host_;
    double sampleRate_;
    BlockSizer blocks_;
    bool prepared_ = false;
    std::size_t delivered_ = 0;
    EventCallback eventCallback_;
};

}  // namespace render
