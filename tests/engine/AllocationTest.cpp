// The audio thread allocates nothing: every global allocation in this test
// binary is counted while blocks and events are processed.

#include <gtest/gtest.h>

#include "AllocationCounter.h"
#include "engine/ZephCorvane.h"
#include "platform/MemoryMidiInput.h"
#include "plugin/ParameterTable.h"
#include "vst/AEffect.h"

namespace {

using testsupport::AllocationCounter;

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

TEST(AudioThread, TheCounterSeesAllocations) {
    AllocationCounter counter;
    // Through a volatile pointer: an optimiser may drop a new/delete pair
    // it can see whole.
    int* volatile probe = new int(1);
    delete probe;
    EXPECT_EQ(counter.count(), 1);
}

TEST(AudioThread, ProcessingAndEventsAllocateNothing) {
    QX4Controller::ZephCorvane plugin(hostCallback);
    AEffect* effect = plugin.getAeffect();
    effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    effect->dispatcher(effect, effSetBlockSize, 0, 512, nullptr, 0.0f);
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);

    VstMidiEvent notes[3] = {};
    struct {
        VstInt32 numEvents;
        VstIntPtr reserved;
        VstEvent* events[3];
    } list{3, 0, {}};
    for (int i = 0; i < 3; ++i) {
        list.events[i] = reinterpret_cast<VstEvent*>(&notes[i]);
        notes[i].type = kVstMidiType;
        notes[i].byteSize = sizeof(VstMidiEvent);
        notes[i].deltaFrames = i * 100;
        notes[i].midiData[0] = static_cast<char>(0x90 + i);
        notes[i].midiData[1] = 60;
        notes[i].midiData[2] = 100;
    }
    float left[512];
    float* outputs[1] = {left};
    const std::uint8_t panic = 1;
    plugin.SetProperty(64094, 0, 0, &panic, 1);  // queued before counting: a UI-thread write

    AllocationCounter counter;
    for (int block = 0; block < 200; ++block) {
        effect->dispatcher(effect, effProcessEvents, 0, 0, &list, 0.0f);
        effect->processReplacing(effect, nullptr, outputs, 512);
        effect->setParameter(effect, 4, 0.6f);
        effect->getParameter(effect, 4);
    }
    EXPECT_EQ(counter.count(), 0);
}

// The loop-back test with its echoes coming back: the check, the history
// and the round-trip measurement on the audio thread. The echoes are sent
// between blocks, uncounted, as a driver's thread would.
TEST(AudioThread, ALoopBackTestTimingItsEchoesAllocatesNothing) {
    platform::MemoryMidiInputSystem devices;
    const int loop = devices.addDevice("Loop");
    platform::installMidiInputSystem(&devices);
    {
        QX4Controller::ZephCorvane plugin(hostCallback);
        AEffect* effect = plugin.getAeffect();
        effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, 48000.0f);
        effect->dispatcher(effect, effSetBlockSize, 0, 512, nullptr, 0.0f);
        effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
        plugin.SetProperty(64100, 0, 0, "Loop", 5);
        ASSERT_TRUE(devices.isOpen(loop));
        effect->setParameter(effect, kParamTestInterval, 0.0f);  // 1 ms
        effect->setParameter(effect, kParamTestEnable, 1.0f);
        float left[512];
        float* outputs[1] = {left};
        const MidiHistory::Ring& sent = plugin.historyBlock()->rings[kHistorySentTest];
        std::int32_t echoed = sent.writeIndex.load();
        long allocations = 0;
        for (int block = 0; block < 300; ++block) {
            for (; echoed != sent.writeIndex.load(); echoed = (echoed + 1) % kHistoryRingSize) {
                const MidiHistoryEntry& e = sent.entries[(echoed + 1) % kHistoryRingSize];
                const std::uint8_t bytes[3] = {e.byte0, e.byte1, e.byte2};
                devices.send(loop, bytes, 3);
            }
            AllocationCounter counter;
            effect->processReplacing(effect, nullptr, outputs, 512);
            allocations += counter.count();
        }
        EXPECT_EQ(allocations, 0);
        RoundTripFigures figures;
        ASSERT_TRUE(plugin.historyBlock()->roundTrip.read(figures));
        EXPECT_EQ(figures.kept, RoundTripSummary::kKept);
        EXPECT_EQ(figures.lost, 0u);
    }
    platform::installMidiInputSystem(nullptr);
}

}  // namespace
