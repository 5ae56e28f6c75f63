// The plug-in's test through the software loop-back cable: the plug-in is
// linked into this program and driven through an entry function by the
// renderer, its output decoded block by block and sent back into its MIDI
// input (an in-memory device) before the next block. The failure count and
// the history are read from the plug-in object, as the editor does.

#include "engine/ZephCorvane.h"
#include "host/ParameterByName.h"
#include "host/VstHost.h"
#include "platform/MemoryMidiInput.h"
#include "plugin/MidiHistory.h"
#include "plugin/Properties.h"
#include "plugin/RoundTrip.h"
#include "plugin/ZephAuBase.h"
#include "render/LoopbackCable.h"
#include "render/MidiSource.h"
#include "render/Renderer.h"
#include "render/Transport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using render::CableFault;

// The library's entry builds the same object with its Lua MIDI helper and
// OSC server, which the loop-back path does not touch (and whose server
// would bind a UDP port in every test).
AEffect* linkedInPlugin(audioMasterCallback master) {
    return (new QX4Controller::ZephCorvane(master))->getAeffect();
}

class Rig {
public:
    Rig(double rate, int maxBlock, std::vector<CableFault> faults = {},
        render::CableDelay delay = {})
        : rate_(rate),
          map_(480, {}, {}, render::TempoMap::Defaults()),
          transport_(map_, rate),
          cable_(
              rate, std::move(faults),
              [this](const std::uint8_t* bytes, std::size_t n) {
                  return devices_.send(device_, bytes, n);
              },
              delay) {
        device_ = devices_.addDevice("Loop");
        platform::installMidiInputSystem(&devices_);
        std::string error;
        EXPECT_TRUE(host_.attach(&linkedInPlugin, error)) << error;
        if (host_.effect() == nullptr)
            return;
        host_.dispatch(effOpen);
        plugin_ = dynamic_cast<ZephAuBase*>(static_cast<AudioEffect*>(host_.effect()->object));
        if (plugin_ == nullptr) {
            ADD_FAILURE() << "the entry built no ZephAuBase";
            return;
        }
        EXPECT_EQ(plugin_->GetProperty(prop::kMidiHistory, 0, 0, &history_), 0);
        // The source is set as tavro-render sets it: through the saved state.
        EXPECT_TRUE(render::setMidiSource(host_, "Loop"));
        EXPECT_TRUE(devices_.isOpen(device_));
        renderer_.emplace(host_, rate, render::BlockSizer::random(16, maxBlock, 3));
    }
    ~Rig() {
        host_.close();
        platform::installMidiInputSystem(nullptr);
    }

    bool ready() const { return history_ != nullptr && renderer_.has_value(); }

    void set(const std::string& setting) {
        std::string name, value, error;
        ASSERT_TRUE(host::splitParameterSetting(setting, name, value)) << setting;
        EXPECT_TRUE(host::setParameterByName(host_, name, value, error)) << error;
    }

    // Renders `seconds` more, checking every "Received (Test Input)" entry
    // as it appears.
    void run(double seconds) {
        const auto samples = static_cast<std::int64_t>(std::llround(seconds * rate_));
        transport_.setPlayRange(0, samples);
        renderer_->render(render::Schedule(), transport_, samples,
                          [this](const float* output, std::size_t frames, std::int64_t) {
                              readNewEntries();
                              // What this block's drain could see: all that
                              // came back before it.
                              EXPECT_EQ(checked_, heardBefore_);
                              cable_.feed(output, frames);
                              heardBefore_ = cable_.messagesHeard();
                          });
    }

    std::uint32_t failures() const { return history_->testFailureCount.load(); }
    RoundTripFigures roundTrip() const {
        RoundTripFigures f;
        EXPECT_TRUE(history_->roundTrip.read(f));
        return f;
    }
    std::size_t checked() const { return checked_; }
    std::size_t unmatched() const { return unmatched_; }
    const render::LoopbackCable& cable() const { return cable_; }
    // Received entries that did not match, from the last reset on.
    std::size_t unmatchedSinceReset() const { return unmatched_ - unmatchedAtReset_; }
    void markReset() { unmatchedAtReset_ = unmatched_; }

private:
    // The check runs once per block at the start; a ring holds 16 entries,
    // so no block may bring more than 15 (the check itself needs fewer than
    // 16 test messages on their way, as the tests keep it).
    void readNewEntries() {
        const MidiHistory::Ring& ring = history_->rings[kHistoryReceivedTestInput];
        const std::int32_t now = ring.writeIndex.load();
        const std::int32_t added = (now - lastIndex_ + kHistoryRingSize) % kHistoryRingSize;
        for (std::int32_t i = 1; i <= added; ++i) {
            const MidiHistoryEntry& e = ring.entries[(lastIndex_ + i) % kHistoryRingSize];
            ++checked_;
            if (e.result != 1)
                ++unmatched_;
        }
        lastIndex_ = now;
    }

    double rate_;
    platform::MemoryMidiInputSystem devices_;
    int device_ = 0;
    render::TempoMap map_;
    render::Transport transport_;
    render::LoopbackCable cable_;
    host::VstHost host_;
    ZephAuBase* plugin_ = nullptr;
    MidiHistory* history_ = nullptr;
    std::optional<render::Renderer> renderer_;
    std::int32_t lastIndex_ = 0;
    std::size_t checked_ = 0;
    std::size_t heardBefore_ = 0;
    std::size_t unmatched_ = 0;
    std::size_t unmatchedAtReset_ = 0;
};

// A message every 2 ms at 44100 Hz, every 1 ms at 192000 Hz (89 and 193
// samples apart); blocks of up to 512 and 1024 samples keep fewer than 16
// test messages on their way, as the history's ring needs.
TEST(LoopbackThroughTheCable, EveryTestTypeComesBackWithoutAFailure) {
    struct RateCase {
        double rate;
        const char* intervalMs;
        int maxBlock;
    };
    struct TestCase {
        const char* name;
        std::vector<std::string> settings;
        std::size_t messages;  // at least this many go round
    };
    const std::vector<TestCase> cases = {
        {"Notes (Random)", {"Test Type=Notes (Random)"}, 3000},
        {"Notes (Exhaustive)", {"Test Type=Notes (Exhaustive)"}, 3000},
        {"Clocks", {"Test Type=Clocks"}, 3000},
        {"Clocks + SPP", {"Test Type=Clocks + SPP"}, 3000},
        {"Message",
         {"Test Type=Message", "Message Byte 1=179", "Message Byte 2=7", "Message Byte 3=100"},
         3000},
        // The shortest system exclusive (F0 01 F7) often, then 1027-byte
        // messages, each a third of a second on the line.
        {"Sysex", {"Test Type=Sysex", "Message Byte 3=0"}, 2000},
        {"Sysex 1027", {"Test Type=Sysex", "Message Byte 3=1", "Test Interval=1"}, 6},
    };
    for (const RateCase r : {RateCase{44100, "2", 512}, RateCase{192000, "1", 1024}}) {
        for (const TestCase& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(int(r.rate)) + " Hz");
            Rig rig(r.rate, r.maxBlock);
            ASSERT_TRUE(rig.ready());
            rig.set(std::string("Test Interval=") + r.intervalMs);
            for (const std::string& s : c.settings)
                rig.set(s);
            rig.set("Test Enable=On");
            // A 1027-byte message takes 1027 x 320 us on the line, and the
            // next waits for the queue to empty.
            const bool longSysex = std::string(c.name) == "Sysex 1027";
            const double each = longSysex ? 0.33 : (std::atof(r.intervalMs) + 0.05) * 0.001;
            rig.run(static_cast<double>(c.messages + 1) * each);
            EXPECT_GE(rig.cable().messagesDecoded(), c.messages);
            EXPECT_EQ(rig.cable().messagesHeard(), rig.cable().messagesSent());
            EXPECT_EQ(rig.cable().messagesSent(), rig.cable().messagesDecoded());
            EXPECT_EQ(rig.cable().framingErrors(), 0u);
            // All but those that came back after the last block were checked.
            EXPECT_LE(rig.cable().messagesDecoded() - rig.checked(), 15u);
            EXPECT_EQ(rig.unmatched(), 0u);
            EXPECT_EQ(rig.failures(), 0u);
        }
    }
}

// Random notes never repeat a message at the next position: once the order
// is broken every later message fails.
TEST(FaultsOnTheCable, CountAsTheCheckByOrderSaysUntilTheTestIsReenabled) {
    for (const CableFault::Kind kind :
         {CableFault::Kind::flipBit, CableFault::Kind::loseByte, CableFault::Kind::extraMessage}) {
        SCOPED_TRACE(render::cableFaultText({kind, 100}));
        Rig rig(44100, 512, {{kind, 100}});
        ASSERT_TRUE(rig.ready());
        rig.set("Test Type=Notes (Random)");
        rig.set("Test Interval=2");
        rig.set("Test Enable=On");
        rig.run(0.8);  // about 400 messages
        ASSERT_EQ(rig.cable().injected().size(), 1u);
        const std::size_t checked = rig.checked();
        ASSERT_GT(checked, 300u);
        switch (kind) {
            case CableFault::Kind::flipBit:
                // Same length, other velocity: that message alone.
                EXPECT_EQ(rig.failures(), 1u);
                break;
            case CableFault::Kind::loseByte:
                // The cut-short message never arrives: from there on each
                // message is compared with the one sent before it.
                EXPECT_EQ(rig.failures(), checked - 100);
                break;
            case CableFault::Kind::extraMessage:
                // Message 100 matched, its copy and all after it do not.
                EXPECT_EQ(rig.failures(), checked - 101);
                break;
        }
        EXPECT_EQ(rig.unmatched(), rig.failures());

        // Switched off until the messages on their way are back, then on:
        // the count starts from 0 and the order is right again.
        rig.set("Test Enable=Off");
        rig.run(0.05);
        rig.set("Test Enable=On");
        rig.markReset();
        rig.run(0.4);
        EXPECT_GT(rig.checked(), checked + 150);
        EXPECT_EQ(rig.failures(), 0u);
        EXPECT_EQ(rig.unmatchedSinceReset(), 0u);
    }
}

// The cable holds each message back by a known delay (and jitter); the
// plug-in takes its input once per block, so its figures may exceed the
// cable's by up to a block, plus the message's own 0.96 ms on the line.
TEST(RoundTripThroughTheCable, FiguresMatchTheCablesDelayWithinOneBlock) {
    struct Case {
        const char* name;
        render::CableDelay delay;
        const char* intervalMs;
        std::vector<CableFault> faults;
        bool late;
        std::uint32_t lost;
    };
    const std::vector<Case> cases = {
        {"no delay", {0, 0}, "10", {}, false, 0},
        {"20 ms", {20, 0}, "10", {}, false, 0},
        {"20 ms and up to 10 more", {20, 10}, "10", {}, false, 0},
        // Later than twice the spacing: every one late.
        {"250 ms at 100 ms spacing", {250, 0}, "100", {}, true, 0},
        {"a lost byte", {5, 0}, "10", {{CableFault::Kind::loseByte, 20}}, false, 1},
    };
    constexpr double kRate = 48000;
    constexpr int kMaxBlock = 512;
    const double blockMs = 1000.0 * kMaxBlock / kRate;
    const double lineMs = 3 * 10 * 1000.0 / 31250;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(kRate, kMaxBlock, c.faults, c.delay);
        ASSERT_TRUE(rig.ready());
        rig.set("Test Type=Notes (Random)");
        rig.set(std::string("Test Interval=") + c.intervalMs);
        rig.set("Test Enable=On");
        rig.run(1.5);
        const RoundTripFigures f = rig.roundTrip();
        const double low = c.delay.delayMs + lineMs;
        const double high = low + c.delay.jitterMs;
        EXPECT_EQ(f.kept, std::min<std::uint32_t>(f.measured, 64));
        EXPECT_GE(f.measured, 10u);
        EXPECT_GE(f.minimumMs, low - 0.05);
        EXPECT_LT(f.maximumMs, high + blockMs);
        EXPECT_GE(f.medianMs, (low + high) / 2 - c.delay.jitterMs / 4);
        EXPECT_LT(f.medianMs, (low + high) / 2 + c.delay.jitterMs / 4 + blockMs);
        EXPECT_EQ(f.late, c.late ? f.measured : 0u);
        EXPECT_EQ(f.lost, c.lost);
    }
}

}  // namespace
