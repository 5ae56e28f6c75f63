// Scripts inside the running plug-in: host MIDI through effProcessEvents and
// processReplacing reaches the callbacks, and failing scripts never stop the
// blocks.

#include <gtest/gtest.h>

#include <vector>

#include "ScriptTestSupport.h"

namespace scripttest {
namespace {

class PluginScripting : public testing::Test {
protected:
    PluginScripting() : plugin(&helpers), helper(plugin.helper()) {
        effect = plugin.getAeffect();
        effect->dispatcher(effect, effSetBlockSize, 0, 256, nullptr, 0.0f);
        effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
        output.resize(256);
        helper.GetLuaState();
    }

    void block(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
        VstMidiEvent event{};
        event.type = kVstMidiType;
        event.byteSize = sizeof event;
        event.deltaFrames = 10;
        event.midiData[0] = static_cast<char>(status);
        event.midiData[1] = static_cast<char>(data1);
        event.midiData[2] = static_cast<char>(data2);
        struct {
            VstInt32 numEvents;
            VstIntPtr reserved;
            VstEvent* events[2];
        } list{1, 0, {reinterpret_cast<VstEvent*>(&event), nullptr}};
        effect->dispatcher(effect, effProcessEvents, 0, 0, &list, 0.0f);
        float* outputs[1] = {output.data()};
        effect->processReplacing(effect, nullptr, outputs, 256);
    }

    const MidiHistoryEntry& lastSent() {
        const MidiHistory::Ring& ring = plugin.historyBlock()->rings[kHistorySentPluginOutput];
        return ring.entries[ring.writeIndex.load()];
    }

    UserFolder folder;
    TestHelpers helpers;
    HookedPlugin plugin;
    RecordingHelper& helper;
    AEffect* effect = nullptr;
    std::vector<float> output;
};

TEST_F(PluginScripting, FailingCallbacksNeverStopTheBlocks) {
    ASSERT_EQ(run(helper,
                  "calls = 0; requestAllProgramChange(function(c, p) "
                  "calls = calls + 1; error('bad program ' .. p) end);"
                  "requestChannelPressure(function() local x = nil; return x.y end)"),
              "");
    for (int i = 0; i < 20; ++i) {
        block(0xC2, static_cast<std::uint8_t>(i), 0);
        const MidiHistoryEntry& sent = lastSent();
        EXPECT_EQ(sent.byte0, 0xC2);
        EXPECT_EQ(sent.byte1, i);
        block(0xD2, 64, 0);
        EXPECT_EQ(lastSent().byte0, 0xD2);
    }
    EXPECT_EQ(number(helper, "calls"), 20.0);
    EXPECT_GE(helper.callbackErrors(), 2);
}

}  // namespace
}  // namespace scripttest
