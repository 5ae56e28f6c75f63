// The test input port and the loop-back check, with an in-memory MIDI
// device standing in for the computer's input.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/ZephCorvane.h"
#include "platform/Diagnostics.h"
#include "platform/MemoryMidiInput.h"

namespace QX4Controller {
namespace {

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

struct CapturedBoxes : platform::MessageBoxSink {
    void messageBox(const std::string& caption, const std::string& text) override {
        captions.push_back(caption);
        texts.push_back(text);
    }
    std::vector<std::string> captions, texts;
};

class Loopback : public testing::Test {
protected:
    Loopback() {
        cable = devices.addDevice("Cable");
        platform::installMidiInputSystem(&devices);
        platform::installMessageBoxSink(&boxes);
        plugin = std::make_unique<ZephCorvane>(hostCallback);
        effect = plugin->getAeffect();
        effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, 48000.0f);
        effect->dispatcher(effect, effSetBlockSize, 0, 256, nullptr, 0.0f);
        effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
    }
    ~Loopback() override {
        plugin.reset();
        platform::installMessageBoxSink(nullptr);
        platform::installMidiInputSystem(nullptr);
    }

    void setSource(const std::string& name) {
        plugin->setPropertyAndNotify(prop::kMidiSourceName, name.c_str(),
                                     static_cast<std::uint32_t>(name.size() + 1));
    }
    void process() {
        float samples[256];
        float* outputs[1] = {samples};
        effect->processReplacing(effect, nullptr, outputs, 256);
    }
    void receive(std::vector<std::uint8_t> bytes) {
        EXPECT_TRUE(devices.send(cable, bytes.data(), bytes.size()));
    }
    void startTest(float type) {
        plugin->setParameterNative(kParamTestType, type, false);
        plugin->setParameterNative(kParamTestInterval, 1000.0f, false);  // one message a second
        plugin->setParameterNative(kParamTestEnable, 1.0f, false);
        process();  // the first test message goes out at once
    }
    MidiHistory& history() { return *plugin->historyBlock(); }
    const MidiHistoryEntry& lastReceived() {
        const auto& ring = history().rings[kHistoryReceivedTestInput];
        return ring.entries[ring.writeIndex.load()];
    }

    platform::MemoryMidiInputSystem devices;
    CapturedBoxes boxes;
    int cable = 0;
    std::unique_ptr<ZephCorvane> plugin;
    AEffect* effect = nullptr;
};

TEST_F(Loopback, TheSourceIsFoundByItsExactNameAtTheLowerIndex) {
    const int second = devices.addDevice("Cable");
    setSource("cable");
    EXPECT_FALSE(devices.isOpen(cable));
    setSource("Cable");
    EXPECT_TRUE(devices.isOpen(cable));
    EXPECT_FALSE(devices.isOpen(second));
    receive({0xB0, 1, 2});  // messages arrive even without a test
    process();
    EXPECT_EQ(lastReceived().byte0, 0xB0);
    EXPECT_EQ(lastReceived().result, 2u);  // nothing was expected
    const std::uint8_t one = 1;
    plugin->setPropertyAndNotify(prop::kClearMidiSource, &one, 1);
    EXPECT_FALSE(devices.isOpen(cable));
    EXPECT_EQ(plugin->midiSourceName(), "");
    EXPECT_FALSE(devices.send(cable, &one, 1));  // nobody listens any more
    EXPECT_TRUE(boxes.captions.empty());
}

TEST_F(Loopback, ABusyDeviceIsReportedAndLeftClosed) {
    devices.setBusy(cable, true);
    setSource("Cable");
    EXPECT_FALSE(devices.isOpen(cable));
    ASSERT_EQ(boxes.captions.size(), 1u);
    EXPECT_EQ(boxes.captions[0], "Failed to open MIDI input");
    EXPECT_EQ(
        boxes.texts[0],
        "Failed to open MIDI input.\nPlease be sure that no other application\n(including the "
        "DAW that is hosting the TAVRO plug-in)\nis using the specified MIDI input.");
}

TEST_F(Loopback, EchoesAreComparedInOrder) {
    setSource("Cable");
    plugin->setParameterNative(kParamMessageByte1, 0x90, false);
    plugin->setParameterNative(kParamMessageByte2, 0x40, false);
    plugin->setParameterNative(kParamMessageByte3, 0x41, false);
    startTest(kTestMessage);
    receive({0x90, 0x40, 0x41});
    process();
    EXPECT_EQ(lastReceived().result, 1u);
    EXPECT_EQ(history().testFailureCount.load(), 0u);
    EXPECT_EQ(lastReceived().length, 3u);
    // A clock byte in between is compared like any message: a failure.
    receive({0xF8});
    process();
    EXPECT_EQ(lastReceived().result, 2u);
    // A message of another length fails even when its first bytes agree.
    receive({0x90, 0x40});
    process();
    EXPECT_EQ(lastReceived().result, 2u);
    EXPECT_EQ(history().testFailureCount.load(), 2u);
}

TEST_F(Loopback, ReenablingTheTestClearsTheCountAndReaims) {
    setSource("Cable");
    startTest(kTestMessage);
    receive({0xF8});
    process();
    EXPECT_EQ(history().testFailureCount.load(), 1u);
    plugin->setParameterNative(kParamTestEnable, 0.0f, false);
    process();
    plugin->setParameterNative(kParamTestEnable, 1.0f, false);
    // The countdown carries on from the first test; a shorter interval cuts
    // it, so that the next message goes out within this block.
    plugin->setParameterNative(kParamTestInterval, 1.0f, false);
    process();
    EXPECT_EQ(history().testFailureCount.load(), 0u);
    receive({0x90, 0x40, 0x40});  // the defaults of the message bytes
    process();
    EXPECT_EQ(lastReceived().result, 1u);
}

TEST_F(Loopback, SysexEchoesAreComparedWithTheReference) {
    setSource("Cable");
    plugin->setParameterNative(kParamMessageByte3, 1.0f, false);  // n = 1: 1027 bytes
    startTest(kTestSysex);
    std::vector<std::uint8_t> echo(plugin->testSysexReference().data(),
                                   plugin->testSysexReference().data() + 1027);
    echo[1] = 2;
    echo[1026] = 0xF7;
    receive(echo);
    process();
    EXPECT_EQ(lastReceived().result, 1u);
    EXPECT_EQ(lastReceived().length, 1027u);

    // Wait for the next test message, then send one whose second byte
    // disagrees with its length.
    for (int i = 0; i < 200; ++i)
        process();
    std::vector<std::uint8_t> wrong = echo;
    wrong[500] ^= 0x01;
    receive(wrong);
    process();
    EXPECT_EQ(lastReceived().result, 2u);
    EXPECT_EQ(history().testFailureCount.load(), 1u);
}

}  // namespace
}  // namespace QX4Controller
