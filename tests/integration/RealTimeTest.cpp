// What the plug-in does on the host's audio thread, counted as a strict host
// would: inside effProcessEvents, processReplacing and setParameter nothing
// allocates, prints or makes a system call, and the only locks are the two
// the design allows: the MIDI input list's, drained once per block, and the
// Lua lock while a script's MIDI callback runs. Every C library function that
// allocates, locks, prints or calls the system is replaced in this program
// (ThreadActivityHooks.c), so the real tavro.so is counted as loaded by a
// host. The host here takes no lock of its own.
//
// Each case prints one line with its counts. TAVRO_REALTIME_PLUGIN names
// another build of the plug-in to count.

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "AllocationCounter.h"
#include "PluginHome.h"
#include "platform/SharedLibrary.h"
#include "plugin/ParameterTable.h"
#include "vst/AEffect.h"

namespace {

using namespace std::chrono_literals;
using testsupport::ThreadActivity;

constexpr float kRate = 48000.0f;
constexpr VstInt32 kBlock = 256;
constexpr int kMaxEvents = 128;

// ---- A host that never locks ------------------------------------------------------------------

// The transport the plug-in reads at the start of every block; written by
// the test between blocks only.
VstTimeInfo gTime{};

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    switch (opcode) {
        case audioMasterVersion:
            return 2400;
        case audioMasterGetTime:
            return reinterpret_cast<VstIntPtr>(&gTime);
        default:
            return 0;
    }
}

std::string pluginPath() {
    const char* other = std::getenv("TAVRO_REALTIME_PLUGIN");
    return other && *other ? other : TAVRO_PLUGIN_PATH;
}

// The events of one effProcessEvents call, built before the call.
class EventList {
public:
    EventList() : storage_(offsetof(VstEvents, events) + kMaxEvents * sizeof(VstEvent*)) {}

    void clear() { count_ = 0; }
    void midi(VstInt32 delta, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
        VstMidiEvent& event = midi_[static_cast<std::size_t>(count_)];
        event = VstMidiEvent{};
        event.type = kVstMidiType;
        event.byteSize = sizeof(VstMidiEvent);
        event.deltaFrames = delta;
        event.midiData[0] = static_cast<char>(status);
        event.midiData[1] = static_cast<char>(data1);
        event.midiData[2] = static_cast<char>(data2);
        pointers()[count_++] = reinterpret_cast<VstEvent*>(&event);
    }
    // A dump of `bytes` bytes in all, F0 and F7 included.
    void sysex(std::size_t bytes) {
        dump_.assign(bytes, 0x11);
        dump_.front() = 0xF0;
        dump_.back() = 0xF7;
        VstMidiSysexEvent& event = sysex_;
        event = VstMidiSysexEvent{};
        event.type = kVstSysExType;
        event.byteSize = sizeof(VstMidiSysexEvent);
        event.dumpBytes = static_cast<VstInt32>(bytes);
        event.sysexDump = reinterpret_cast<char*>(dump_.data());
        pointers()[count_++] = reinterpret_cast<VstEvent*>(&event);
    }
    VstEvents* list() {
        auto* events = reinterpret_cast<VstEvents*>(storage_.data());
        events->numEvents = count_;
        events->reserved = 0;
        return events;
    }

private:
    VstEvent** pointers() {
        return reinterpret_cast<VstEvent**>(storage_.data() + offsetof(VstEvents, events));
    }

    std::vector<unsigned char> storage_;
    VstMidiEvent midi_[kMaxEvents];
    VstMidiSysexEvent sysex_{};
    std::vector<std::uint8_t> dump_;
    VstInt32 count_ = 0;
};

// ---- The fixture --------------------------------------------------------------------------------

class AudioThread : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ThreadActivity::supported());
        ASSERT_NE(home_.oscBasePort(), 0);
        base_ = home_.oscBasePort();
        gTime = VstTimeInfo{};
        gTime.sampleRate = kRate;
        gTime.tempo = 120.0;
        gTime.timeSigNumerator = gTime.timeSigDenominator = 4;
        output_.assign(kBlock, 0.0f);
    }

    void TearDown() override { close(); }

    void addScript(const std::string& name, const std::string& text) {
        home_.addScript(name, text);
    }
    // Loads and resumes the plug-in (after the scripts are in place).
    void open() {
        std::string error;
        library_ = platform::SharedLibrary::open(pluginPath(), error);
        ASSERT_TRUE(library_) << error;
        auto entry =
            reinterpret_cast<AEffect* (*)(audioMasterCallback)>(library_->symbol("VSTPluginMain"));
        ASSERT_NE(entry, nullptr);
        effect_ = entry(hostCallback);
        ASSERT_NE(effect_, nullptr);
        dispatch(effSetSampleRate, 0, 0, nullptr, kRate);
        dispatch(effSetBlockSize, 0, kBlock);
        dispatch(effMainsChanged, 0, 1);
    }

    void close() {
        if (effect_)
            dispatch(effClose);
        effect_ = nullptr;
        library_.reset();
    }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f) {
        return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
    }

    // What the host's audio thread does for one block, counted: the events,
    // then the block. Answers effProcessEvents' answer (1 without events).
    VstIntPtr block(EventList* events = nullptr) {
        VstIntPtr answer = 1;
        float* outputs[1] = {output_.data()};
        probe_.count([&] {
            if (events)
                answer = dispatch(effProcessEvents, 0, 0, events->list());
            effect_->processReplacing(effect_, nullptr, outputs, kBlock);
        });
        ++blocks_;
        if (gTime.flags & kVstTransportPlaying)
            gTime.ppqPos += kBlock / kRate * gTime.tempo / 60.0;
        return answer;
    }

    // A parameter set on the audio thread, counted.
    void automate(VstInt32 index, float normalized) {
        probe_.count([&] { effect_->setParameter(effect_, index, normalized); });
    }

    void play() {
        gTime.flags = kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid | kVstTimeSigValid;
    }

    // The line of the results table.
    void report(const char* what) const {
        std::printf(
            "audio thread, %-34s blocks %4d: allocations %ld, locks %ld on %d objects, prints %ld, "
            "system calls %ld, wake signals %ld\n",
            what, blocks_, probe_.heapAllocations(), probe_.locks(), probe_.lockSites(),
            probe_.prints(), probe_.systemCalls(), probe_.wakeSignals());
        std::fflush(stdout);
    }

    // What every case must show: no allocation, print or system call, and
    // no lock but the input list's, at most once per block.
    void expectOnlyTheInputDrain() const {
        EXPECT_EQ(probe_.heapAllocations(), 0);
        EXPECT_EQ(probe_.prints(), 0);
        EXPECT_EQ(probe_.systemCalls(), 0);
        EXPECT_LE(probe_.lockSites(), 1);
        EXPECT_LE(probe_.locks(), blocks_);
    }

    // Waits (bounded) until another thread has printed `text` `count` times
    // on standard error; answers how often it saw it. Capturing started in
    // the case.
    static int waitForLines(const std::string& text, int count) {
        std::string seen = testing::internal::GetCapturedStderr();
        auto occurrences = [&] {
            int n = 0;
            for (std::size_t at = seen.find(text); at != std::string::npos;
                 at = seen.find(text, at + text.size()))
                ++n;
            return n;
        };
        for (int i = 0; i < 50 && occurrences() < count; ++i) {
            testing::internal::CaptureStderr();
            std::this_thread::sleep_for(100ms);
            seen += testing::internal::GetCapturedStderr();
        }
        return occurrences();
    }

    pluginhome::PluginHome home_{testing::UnitTest::GetInstance()->current_test_info()->name()};
    int base_ = 0;
    std::unique_ptr<platform::SharedLibrary> library_;
    AEffect* effect_ = nullptr;
    std::vector<float> output_;
    ThreadActivity probe_;
    int blocks_ = 0;
};

// ---- The counter itself -----------------------------------------------------------------------

TEST(ThreadActivityProbe, CountsWhatItsThreadDoesAndNothingElse) {
    ThreadActivity probe;
    std::mutex mutex;
    int* volatile leaked = nullptr;
    // Through a volatile pointer: the compiler drops a print of a known
    // empty text.
    const char* volatile nothing = "";
    probe.count([&] {
        mutex.lock();
        mutex.unlock();
        std::fputs(nothing, stderr);
        leaked = new int(1);
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        ::close(fd);
    });
    delete leaked;
    // Another thread's work, and this thread's outside count(), are not
    // counted.
    std::thread([&] { std::lock_guard<std::mutex> guard(mutex); }).join();
    mutex.lock();
    mutex.unlock();
    EXPECT_EQ(probe.locks(), 1);
    EXPECT_EQ(probe.lockSites(), 1);
    EXPECT_EQ(probe.prints(), 1);
    EXPECT_GE(probe.heapAllocations(), 1);
    EXPECT_GE(probe.systemCalls(), 1);
}

TEST_F(AudioThread, TheCountsReachIntoThePlugin) {
    // What the plug-in does on other occasions, counted the same way: the
    // counting sees into the library, whatever it links statically.
    addScript("loud.lua", R"(
        requestAllProgramChange(function() print('from a MIDI callback') end)
        requestChannelPressure(function() sendOSC('osc.udp://127.0.0.1:9', '/x') end)
    )");
    open();
    void* chunk = nullptr;
    ThreadActivity saving, resuming;
    saving.count([&] { dispatch(effGetChunk, 0, 0, &chunk); });
    resuming.count([&] { dispatch(effMainsChanged, 0, 1); });
    EXPECT_GT(saving.heapAllocations(), 0);
    EXPECT_GT(resuming.locks(), 0);

    EventList events;
    events.midi(0, 0xC0, 1, 0);
    events.midi(1, 0xD0, 5, 0);
    testing::internal::CaptureStderr();
    block(&events);
    testing::internal::GetCapturedStderr();
    // The script's own doing: a print and a datagram.
    EXPECT_GT(probe_.prints(), 0);
    EXPECT_GT(probe_.systemCalls(), 0);
}

// ---- The cases ----------------------------------------------------------------------------------

TEST_F(AudioThread, IdleBlocks) {
    open();
    for (int i = 0; i < 200; ++i)
        block();
    report("idle blocks");
    expectOnlyTheInputDrain();
}

TEST_F(AudioThread, BlocksFullOfNotesWithTheClockRunning) {
    open();
    dispatch(effMainsChanged, 0, 1);
    effect_->setParameter(effect_, kParamClock, 1.0f);
    play();
    EventList events;
    for (int i = 0; i < 200; ++i) {
        events.clear();
        for (int n = 0; n < 60; ++n)
            events.midi(n * 4, static_cast<std::uint8_t>(n % 2 ? 0x80 : 0x90),
                        static_cast<std::uint8_t>(36 + n), 100);
        block(&events);
        automate(kParamSwing, 0.5f + 0.1f * static_cast<float>(i % 3));
    }
    report("blocks full of notes");
    expectOnlyTheInputDrain();
}

// Test messages every millisecond, each timed from its start bit for the
// round-trip figures published every block.
TEST_F(AudioThread, ALoopBackTestSendingAndTiming) {
    open();
    dispatch(effMainsChanged, 0, 1);
    automate(kParamTestInterval, 0.0f);
    automate(kParamTestEnable, 1.0f);
    for (int i = 0; i < 200; ++i)
        block();
    report("a loop-back test");
    expectOnlyTheInputDrain();
}

TEST_F(AudioThread, HostSysexOfGrowingSizes) {
    open();
    EventList events;
    testing::internal::CaptureStderr();
    // Up to what the encoder's ring can carry (F0 and 524287 bytes), then
    // beyond: dropped whole, answered 0.
    for (std::size_t bytes : {3u, 16u, 256u, 4096u, 65536u, 524288u, 524289u, 1000000u}) {
        events.clear();
        events.sysex(bytes);
        events.midi(0, 0x90, 60, 100);
        EXPECT_EQ(block(&events), bytes <= 524288u ? 1 : 0) << bytes;
        block();
    }
    report("host sysex of growing sizes");
    expectOnlyTheInputDrain();
    EXPECT_EQ(waitForLines("MessageQueue::WriteSysEx() overflow\n", 2), 2);
}

TEST_F(AudioThread, AFullQueue) {
    open();
    EventList events;
    for (int n = 0; n < 100; ++n)
        events.midi(n, 0x90, 60, 100);
    testing::internal::CaptureStderr();
    // 63 fit; the rest of the first list and the whole second are dropped.
    probe_.count([&] {
        dispatch(effProcessEvents, 0, 0, events.list());
        dispatch(effProcessEvents, 0, 0, events.list());
    });
    for (int i = 0; i < 20; ++i)
        block();
    report("a full queue");
    expectOnlyTheInputDrain();
    // Printed by another thread, once per dropped message.
    EXPECT_EQ(waitForLines("MessageQueue::Write() overflow\n", 137), 137);
}

TEST_F(AudioThread, OscPortOffsetAutomated) {
    open();
    for (int i = 0; i < 200; ++i) {
        block();
        automate(kParamOscPortOffset, static_cast<float>(i % 4) / 100.0f);
    }
    automate(kParamOscPortOffset, 0.02f);
    report("OSC Port Offset automated");
    expectOnlyTheInputDrain();

    // And the server follows: it answers on the last port asked for.
    pluginhome::OscPeer peer;
    bool answered = false;
    for (int i = 0; i < 50 && !answered; ++i) {
        peer.send(base_ + 2, "/ping", {peer.url(), "/pong"});
        answered = peer.receive();
    }
    EXPECT_TRUE(answered);
}

TEST_F(AudioThread, TheSameOscPortOffsetAutomatedEveryBlock) {
    open();
    automate(kParamOscPortOffset, 0.03f);
    probe_.reset();
    blocks_ = 0;
    for (int i = 0; i < 200; ++i) {
        block();
        automate(kParamOscPortOffset, 0.03f);
    }
    report("the same OSC Port Offset every block");
    expectOnlyTheInputDrain();
    EXPECT_EQ(probe_.wakeSignals(), 0);

    // A real change wakes the server once.
    probe_.reset();
    automate(kParamOscPortOffset, 0.04f);
    EXPECT_EQ(probe_.wakeSignals(), 1);
    EXPECT_EQ(probe_.systemCalls(), 0);
}

TEST_F(AudioThread, AUserScriptListeningToMidi) {
    addScript("listen.lua", R"(
        programs = 0
        requestAllProgramChange(function(c, p) programs = programs + 1 end)
        requestChannelPressure(function(c, v) setParameter('Swing', 40 + v / 10) end)
        requestPolyPressure(60, function(c, n, v) setGUIBoolValue(1, v > 0) end)
    )");
    open();
    EventList events;
    auto fill = [&](int i) {
        events.clear();
        events.midi(0, 0xC0, static_cast<std::uint8_t>(i % 128), 0);
        events.midi(10, 0xD0, static_cast<std::uint8_t>(i % 100), 0);
        events.midi(20, 0xA0, 60, static_cast<std::uint8_t>(i % 2));
        events.midi(30, 0x90, 60, 100);
    };
    // Lua sizes its stacks on the first calls.
    for (int i = 0; i < 5; ++i) {
        fill(i);
        block(&events);
    }
    probe_.reset();
    blocks_ = 0;
    for (int i = 0; i < 200; ++i) {
        fill(i);
        block(&events);
    }
    report("a user script listening to MIDI");
    EXPECT_EQ(probe_.heapAllocations(), 0);
    EXPECT_EQ(probe_.prints(), 0);
    EXPECT_EQ(probe_.systemCalls(), 0);
    // The input list once per block, the Lua lock once per callback (three
    // a block).
    EXPECT_LE(probe_.lockSites(), 2);
    EXPECT_LE(probe_.locks(), 4 * blocks_);
    EXPECT_LE(probe_.locksBeyondTheBusiest(1), blocks_);
}

}  // namespace
