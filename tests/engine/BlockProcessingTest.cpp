// Host MIDI through the plug-in object: intake, filters, re-channelling,
// Don't Panic and the history they leave.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "engine/ZephCorvane.h"

namespace QX4Controller {
namespace {

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

struct Event {
    VstInt32 deltaFrames;
    std::vector<std::uint8_t> bytes;
};

class BlockProcessing : public testing::Test {
protected:
    BlockProcessing() : plugin(hostCallback) {
        effect = plugin.getAeffect();
        effect->dispatcher(effect, effSetBlockSize, 0, 256, nullptr, 0.0f);
        effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
        output.resize(256);
    }

    VstIntPtr send(const std::vector<Event>& events) {
        list.numEvents = static_cast<VstInt32>(events.size());
        for (std::size_t i = 0; i < events.size(); ++i) {
            const Event& e = events[i];
            const bool isSysex = !e.bytes.empty() && e.bytes[0] == 0xF0;
            VstEvent* event = isSysex ? reinterpret_cast<VstEvent*>(&sysex[i])
                                      : reinterpret_cast<VstEvent*>(&midi[i]);
            event->type = isSysex ? kVstSysExType : kVstMidiType;
            event->byteSize = isSysex ? sizeof(VstMidiSysexEvent) : sizeof(VstMidiEvent);
            event->deltaFrames = e.deltaFrames;
            list.events[i] = event;
            if (isSysex) {
                sysex[i].dumpBytes = static_cast<VstInt32>(e.bytes.size());
                sysex[i].sysexDump =
                    reinterpret_cast<char*>(const_cast<std::uint8_t*>(e.bytes.data()));
            }
            for (std::size_t b = 0; !isSysex && b < 3; ++b)
                midi[i].midiData[b] = b < e.bytes.size() ? static_cast<char>(e.bytes[b]) : 0;
        }
        return effect->dispatcher(effect, effProcessEvents, 0, 0, &list, 0.0f);
    }

    void process(int frames = 256) {
        float* outputs[1] = {output.data()};
        effect->processReplacing(effect, nullptr, outputs, frames);
    }

    void set(int index, float native) { plugin.setParameterNative(index, native, false); }
    void panic() {
        const std::uint8_t one = 1;
        plugin.setPropertyAndNotify(prop::kDontPanic, &one, 1);
    }

    const MidiHistory::Ring& ring(HistoryKind kind) { return plugin.historyBlock()->rings[kind]; }

    std::vector<MidiHistoryEntry> entries(HistoryKind kind) {
        const MidiHistory::Ring& r = ring(kind);
        std::vector<MidiHistoryEntry> out;
        for (int i = 1; i <= r.writeIndex.load(); ++i)
            out.push_back(r.entries[i]);
        return out;
    }

    ZephCorvane plugin;
    AEffect* effect;
    std::vector<float> output;
    VstMidiEvent midi[32] = {};
    VstMidiSysexEvent sysex[32] = {};
    struct {
        VstInt32 numEvents;
        VstIntPtr reserved;
        VstEvent* events[32];
    } list{};
};

TEST_F(BlockProcessing, IntakeMasksBytesAndKeepsEventsAfterASysex) {
    EXPECT_EQ(send({{5, {0x93, 0x3C, 0xFF}}, {0, {0xF0, 0x7D, 0x01, 0xF7}}, {9, {0x83, 0x3C, 0}}}),
              1);
    QX::MessageQueue& queue = plugin.hostEventQueue();
    const QX::MessageQueueItem* note = queue.pop();
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->kind, QX::MessageQueueItem::kMidi);
    EXPECT_EQ(note->status, 0x90);
    EXPECT_EQ(note->channel, 3);
    EXPECT_EQ(note->data2, 0x7F);
    EXPECT_EQ(note->frameOffset, 5u);
    const QX::MessageQueueItem* dump = queue.pop();
    ASSERT_NE(dump, nullptr);
    EXPECT_EQ(dump->kind, QX::MessageQueueItem::kSysEx);
    ASSERT_EQ(dump->sysex.size(), 3u);
    EXPECT_EQ(std::vector<std::uint8_t>(dump->sysex.first, dump->sysex.first + 3),
              (std::vector<std::uint8_t>{0x7D, 0x01, 0xF7}));
    const QX::MessageQueueItem* noteOff = queue.pop();  // not lost behind the sysex
    ASSERT_NE(noteOff, nullptr);
    EXPECT_EQ(noteOff->status, 0x80);
    EXPECT_EQ(noteOff->frameOffset, 9u);
    EXPECT_EQ(queue.pop(), nullptr);
}

// The wire shows the filtered, re-channelled bytes; only the history can show
// the channel a message came in on.
TEST_F(BlockProcessing, HistoryLogsTheIncomingChannelBeforeChannelise) {
    set(kParamMidiChannel, 5);
    set(kParamChannelise, 10);
    send({{0, {0x94, 60, 100}}, {1, {0x95, 61, 100}}});
    process();
    const auto received = entries(kHistoryReceivedPluginInput);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].byte0, 0x94);
    EXPECT_EQ(entries(kHistorySentPluginOutput)[0].byte0, 0x99);
}

TEST_F(BlockProcessing, DontPanicSendsSixteenAllSoundOffInOrderAfterResume) {
    effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0.0f);
    panic();
    const MidiHistory::Ring& sent = ring(kHistorySentPluginOutput);
    EXPECT_EQ(sent.writeIndex.load(), 0);  // it waits for the first block after resume
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
    process();
    // The ring holds the last sixteen: exactly the sixteen messages.
    EXPECT_EQ(sent.writeIndex.load(), 0);  // sixteen entries: slots 1..15, then 0
    for (int channel = 0; channel < 16; ++channel) {
        const MidiHistoryEntry& e = sent.entries[(channel + 1) % 16];
        EXPECT_EQ(e.byte0, 0xB0 | channel);
        EXPECT_EQ(e.byte1, 120);
        EXPECT_EQ(e.byte2, 0);
    }
    EXPECT_EQ(ring(kHistoryReceivedPluginInput).entries[1].byte0, 0xB0);
    EXPECT_EQ(ring(kHistoryReceivedPluginInput).writeIndex.load(), 0);

    set(kParamMidiChannel, 3);
    panic();
    process();
    EXPECT_EQ(sent.entries[sent.writeIndex.load()].byte0, 0xB2);
    EXPECT_EQ(sent.writeIndex.load(), 1);
}

TEST_F(BlockProcessing, TestEnableSuppressesHostMidi) {
    set(kParamTestEnable, 1);
    process();  // the engine reads Test Enable at its next refresh
    panic();
    send({{0, {0x90, 60, 100}}});
    process();
    EXPECT_EQ(ring(kHistoryReceivedPluginInput).writeIndex.load(), 0);
    EXPECT_EQ(plugin.hostEventQueue().peek(), nullptr);  // consumed all the same
}

TEST_F(BlockProcessing, HostileTransportAndClockValuesAreHarmless) {
    set(kParamClock, 1.0f);
    set(kParamClockOffset, std::numeric_limits<float>::quiet_NaN());
    set(kParamSwing, std::numeric_limits<float>::infinity());
    process();
    process();
    for (float s : output)
        ASSERT_TRUE(std::isfinite(s));
}

TEST_F(BlockProcessing, HistoryKeepsTheLastSixteen) {
    const MidiHistory::Ring& received = ring(kHistoryReceivedPluginInput);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(received.entries[i].length, 0u);
    std::vector<Event> notes;
    for (int i = 0; i < 17; ++i)
        notes.push_back({i, {0x90, static_cast<std::uint8_t>(i), 1}});
    send(notes);
    process();
    EXPECT_EQ(received.writeIndex.load(), 1);  // the seventeenth went to slot 1
    EXPECT_EQ(received.entries[1].byte1, 16);
    EXPECT_EQ(received.entries[2].byte1, 1);  // the first was overwritten
    EXPECT_EQ(received.entries[0].byte1, 15);
    EXPECT_GE(received.entries[1].time.year, 2024);
    for (const auto& e : received.entries)
        EXPECT_EQ(e.result, 0u);
}

TEST_F(BlockProcessing, EventsBeyondTheBlockWaitForTheirSampleButNoLonger) {
    send({{300, {0x90, 60, 100}}});
    process();
    EXPECT_EQ(ring(kHistoryReceivedPluginInput).writeIndex.load(), 0);
    // 300 samples after the first block's start is sample 44 of the next.
    send({{10, {0x91, 61, 100}}});
    process();
    const auto received = entries(kHistoryReceivedPluginInput);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].byte0, 0x90);
    EXPECT_EQ(received[1].byte0, 0x91);

    // An absurd offset does not hold up the queue: it is due no later than
    // the last sample of the next block.
    send({{0x7FFFFFFF, {0x90, 60, 100}}, {0, {0x91, 61, 100}}});
    process();
    process();
    EXPECT_EQ(ring(kHistoryReceivedPluginInput).writeIndex.load(), 4);
}

}  // namespace
}  // namespace QX4Controller
