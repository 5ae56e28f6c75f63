#pragma once
// Drives the real plug-in through its entry point block by block, with a
// host transport, keeps what it plays, and decodes the recording back into
// MIDI messages.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decode/MidiMessageAssembler.h"
#include "decode/SerialMidiDecoder.h"
#include "host/VstHost.h"

namespace {

inline const char* const kPluginPath = TAVRO_PLUGIN_PATH;

struct Message {
    std::int64_t start;
    std::vector<std::uint8_t> bytes;
};

class SignalRig {
public:
    // The host's transport, handed out for audioMasterGetTime before every
    // block once `enabled`; it advances with the blocks while playing.
    struct Transport {
        bool enabled = false;
        bool playing = true;
        double tempo = 120.0;
        double ppq = 0.0;
        int numerator = 4, denominator = 4;
        bool cycleActive = false;
        double cycleStart = 0.0, cycleEnd = 0.0;
    };

    SignalRig(float rate, VstInt32 blockSize) : rate_(rate), blockSize_(blockSize) {
        std::string error;
        loaded_ = host.load(kPluginPath, error);
        EXPECT_TRUE(loaded_) << error;
        if (!loaded_)
            return;
        host.dispatch(effSetSampleRate, 0, 0, nullptr, rate);
        host.dispatch(effSetBlockSize, 0, blockSize);
        host.dispatch(effMainsChanged, 0, 1);
    }

    bool loaded() const { return loaded_; }
    float rate() const { return rate_; }

    // Native value through the host's normalized path.
    void setParameter(VstInt32 index, float normalized) { host.setParameter(index, normalized); }

    // One block with these events; its output joins the recording.
    void block(const std::vector<host::HostEvent>& events = {}, VstInt32 frames = 0) {
        const VstInt32 n = frames ? frames : blockSize_;
        if (transport.enabled)
            host.setTimeInfo(timeInfo());
        if (!events.empty())
            host.sendEvents(events);
        host.processReplacing(n);
        const std::vector<float>& out = host.output(0);
        recording.insert(recording.end(), out.begin(), out.begin() + n);
        if (transport.enabled && transport.playing)
            transport.ppq += n / static_cast<double>(rate_) * transport.tempo / 60.0;
    }

    void silence(int blocks) {
        for (int i = 0; i < blocks; ++i)
            block();
    }

    std::vector<Message> decode(bool softlyTolerant = false) const {
        serialmidi::DecoderOptions options;
        options.polarity = serialmidi::Polarity::idleLow;
        options.adaptive = softlyTolerant;
        serialmidi::SerialMidiDecoder decoder(rate_, options);
        decoder.feed(recording.data(), recording.size());
        decoder.finish();
        serialmidi::MidiMessageAssembler assembler;
        const auto bytes = decoder.takeBytes();
        for (const auto& b : bytes)
            EXPECT_FALSE(b.framingError) << "at " << b.startSample;
        assembler.push(bytes);
        assembler.flush();
        std::vector<Message> messages;
        for (auto& m : assembler.takeMessages())
            messages.push_back({m.startSample, m.bytes});
        return messages;
    }

    // Start samples of the decoded messages with this first byte.
    std::vector<std::int64_t> startsOf(std::uint8_t status) const {
        std::vector<std::int64_t> starts;
        for (const Message& m : decode())
            if (!m.bytes.empty() && m.bytes[0] == status)
                starts.push_back(m.start);
        return starts;
    }

    host::VstHost host;
    std::vector<float> recording;
    Transport transport;

private:
    VstTimeInfo timeInfo() const {
        VstTimeInfo info{};
        info.samplePos = static_cast<double>(recording.size());
        info.sampleRate = rate_;
        info.ppqPos = transport.ppq;
        info.tempo = transport.tempo;
        info.timeSigNumerator = transport.numerator;
        info.timeSigDenominator = transport.denominator;
        info.cycleStartPos = transport.cycleStart;
        info.cycleEndPos = transport.cycleEnd;
        info.flags = kVstPpqPosValid | kVstTempoValid | kVstTimeSigValid | kVstCyclePosValid |
                     (transport.playing ? kVstTransportPlaying : 0) |
                     (transport.cycleActive ? kVstTransportCycleActive : 0);
        return info;
    }

    float rate_;
    VstInt32 blockSize_;
    bool loaded_ = false;
};

}  // namespace
