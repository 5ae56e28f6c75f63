// Scripts inside the running plug-in: host MIDI through effProcessEvents and
// processReplacing reaches the callbacks, and failing scripts never stop the
// blocks.

#include <gtest/gtest.h>

#include "ScriptTestSupport.h"

namespace scripttest {
namespace {

using PluginScripting = ScriptedTest;

TEST_F(PluginScripting, FailingCallbacksNeverStopTheBlocks) {
    HookedPlugin& plugin = start();
    RecordingHelper& helper = plugin.helper();
    AEffect* effect = plugin.getAeffect();
    resume(effect, 256);
    ASSERT_EQ(run(helper,
                  "calls = 0; requestAllProgramChange(function(c, p) "
                  "calls = calls + 1; error('bad program ' .. p) end);"
                  "after = 0; requestAllProgramChange(function() after = after + 1 end);"
                  "requestChannelPressure(function() local x = nil; return x.y end)"),
              "");
    const MidiHistory::Ring& sent = plugin.historyBlock()->rings[kHistorySentPluginOutput];
    float samples[256];
    for (int i = 0; i < 20; ++i) {
        HostEvents({{0xC2, i, 0}}, 0).block(effect, samples, 256);
        EXPECT_EQ(sent.entries[sent.writeIndex.load()].byte0, 0xC2);
        EXPECT_EQ(sent.entries[sent.writeIndex.load()].byte1, i);
        HostEvents({{0xD2, 64, 0}}, 0).block(effect, samples, 256);
        EXPECT_EQ(sent.entries[sent.writeIndex.load()].byte0, 0xD2);
    }
    EXPECT_EQ(number(helper, "calls"), 20.0);
    EXPECT_EQ(number(helper, "after"), 20.0);  // the next callback still runs
    EXPECT_GE(helper.callbackErrors(), 2);
    EXPECT_EQ(helper.output().find("bad program"),
              std::string::npos);  // nothing printed from audio
}

}  // namespace
}  // namespace scripttest
