#include "render/Renderer.h"

#include "decode/MidiMessageAssembler.h"
#include "host/VstHost.h"

#include <algorithm>
#include <stdexcept>

namespace render {

namespace {

// The messages in the bytes of an escape event. Data bytes that belong to
// no status are counted in `dropped`.
void splitEscape(const std::vector<std::uint8_t>& bytes, std::int64_t sample,
                 std::vector<ScheduledEvent>& out, std::size_t& dropped) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::uint8_t status = bytes[i];
        if (status < 0x80 || status == 0xF7) {
            ++dropped;
            ++i;
            continue;
        }
        ScheduledEvent e{sample, {status}};
        ++i;
        if (status == 0xF0) {
            while (i < bytes.size()) {
                const std::uint8_t b = bytes[i++];
                e.bytes.push_back(b);
                if (b == 0xF7)
                    break;
            }
        } else {
            const int length = serialmidi::midiDataLength(status);
            for (int k = 0; k < length && i < bytes.size() && bytes[i] < 0x80; ++k)
                e.bytes.push_back(bytes[i++]);
            if (static_cast<int>(e.bytes.size()) != 1 + length) {
                dropped += e.bytes.size();
                continue;
            }
        }
        out.push_back(std::move(e));
    }
}

}  // namespace

Schedule scheduleEvents(const MidiFile& file, const TempoMap& map, double sampleRate) {
    Schedule s;
    s.events.reserve(file.events().size());
    for (const MidiEvent& e : file.events()) {
        const std::int64_t sample = map.tickToSample(e.tick, sampleRate);
        if (e.kind == MidiEvent::Kind::escape)
            splitEscape(e.bytes, sample, s.events, s.droppedBytes);
        else
            s.events.push_back({sample, e.bytes});
    }
    // Already in tick order, and rounding keeps that order; stable all the
    // same.
    std::stable_sort(
        s.events.begin(), s.events.end(),
        [](const ScheduledEvent& a, const ScheduledEvent& b) { return a.sample < b.sample; });
    s.endSample = map.tickToSample(file.endTick(), sampleRate);
    return s;
}

Renderer::Renderer(host::VstHost& host, double sampleRate, BlockSizer blocks)
    : host_(host), sampleRate_(sampleRate), blocks_(std::move(blocks)) {
    if (host.effect() == nullptr)
        throw std::invalid_argument("no plug-in loaded");
    if (host.effect()->numOutputs < 1)
        throw std::invalid_argument("the plug-in has no audio output");
}

void Renderer::prepare() {
    host_.dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate_));
    host_.dispatch(effSetBlockSize, 0, blocks_.largest());
    host_.resume();
    prepared_ = true;
}

void Renderer::render(const Schedule& schedule, Transport& transport, std::int64_t totalSamples,
                      const OutputCallback& output, const ProgressCallback& progress) {
    if (!prepared_)
        prepare();
    delivered_ = 0;
    const auto& events = schedule.events;
    std::vector<host::HostEvent> blockEvents;

    std::int64_t done = 0;
    std::int64_t carried = 0;  // the rest of a block split at a loop's end
    while (done < totalSamples) {
        std::int64_t frames =
            std::min<std::int64_t>(carried > 0 ? carried : blocks_.next(), totalSamples - done);
        const TransportState state = transport.beginBlock(done);
        carried = 0;
        if (state.playing && state.jumpsAfter && frames > state.stretchLeft) {
            carried = frames - state.stretchLeft;
            frames = state.stretchLeft;
        }
        host_.setTimeInfo(transport.timeInfo(state));

        blockEvents.clear();
        if (state.playing) {
            // Only song samples that are played: a stop inside this block
            // ends the range early.
            const std::int64_t first = state.songSample;
            const std::int64_t last = first + std::min(frames, state.stretchLeft);
            auto it = std::lower_bound(
                events.begin(), events.end(), first,
                [](const ScheduledEvent& e, std::int64_t sample) { return e.sample < sample; });
            for (; it != events.end() && it->sample < last; ++it) {
                blockEvents.push_back({static_cast<VstInt32>(it->sample - first), it->bytes});
                if (eventCallback_)
                    eventCallback_(done + (it->sample - first), *it);
            }
        }
        if (!blockEvents.empty()) {
            host_.sendEvents(blockEvents);
            delivered_ += blockEvents.size();
        }
        host_.processReplacing(static_cast<VstInt32>(frames));
        output(host_.output(0).data(), static_cast<std::size_t>(frames), done);
        done += frames;
        if (progress)
            progress(done, totalSamples);
    }
    host_.suspend();
    prepared_ = false;
}

}  // namespace render
