// With scripts listening, the audio thread still allocates nothing of its
// own: every C++ allocation in this binary is counted while blocks carrying
// MIDI for the scripts are processed. (Lua's allocator is realloc, so the
// scripts' own work is not counted.)

#include <gtest/gtest.h>

#include "AllocationCounter.h"
#include "ScriptTestSupport.h"
#include "platform/testing/CapturedReports.h"

namespace scripttest {
namespace {

// The plug-in's own helper, printing to the real debugger output.
class ProductHelpers : public QX::PluginHelpers {
public:
    std::unique_ptr<QX::MidiScripting> createMidiScripting(ZephCorvaneBase& plugin) const override {
        return std::make_unique<QX::CrvnLuaMIDIHelper>(plugin);
    }
    std::unique_ptr<QX::OscServerControl> createOscServer(ZephCorvaneBase&,
                                                          QX::MidiScripting*) const override {
        return nullptr;
    }
};

TEST(ScriptAudioThread, BlocksWithScriptedMidiAllocateNothing) {
    UserFolder folder;
    folder.addScript("listen.lua", R"(
        seen = ''
        requestAllProgramChange(function(c, p)
          seen = seen .. p
          if p == 7 then error('seven') end
        end)
        requestChannelPressure(function(c, p) setParameter('Swing', p) end)
        requestPolyPressure(60, function(c, n, p) setGUIBoolValue(1, p > 0) end)
        requestAllNoteOn(function() seen = seen .. 'never' end)
    )");
    ProductHelpers helpers;
    QX4Controller::ZephCorvane plugin(hostCallback, &helpers);
    auto& helper = dynamic_cast<QX::LuaMIDIHelper&>(*plugin.midiScripting());
    helper.GetLuaState();
    AEffect* effect = plugin.getAeffect();
    resume(effect, 256);
    float samples[256];
    HostEvents events({{0xC0, 0, 0}, {0xD0, 30, 0}, {0xA0, 60, 5}, {0x90, 60, 100}}, 20);

    long allocations = 0;
    {
        testsupport::AllocationCounter counter;
        for (int block = 0; block < 10; ++block) {
            events[0].midiData[1] = static_cast<char>(block);
            events.block(effect, samples, 256);
        }
        allocations = counter.count();
    }
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(text(helper, "seen"), "0123456789");
    EXPECT_FLOAT_EQ(plugin.getParameterNative(kParamSwing), 30.0f);
    EXPECT_EQ(plugin.indicatorFlag(1).load(), 1);

    // The error raised on the audio thread is said by another, with the
    // script's name and line, for the editor to show.
    platform::testing::CapturedReports said;
    plugin.reportDeferredDiagnostics();
    EXPECT_EQ(said.Text(),
              "MIDI script listen.lua, line 5 failed in a MIDI callback; correct it and reload "
              "the plug-in: seven\n");
}

}  // namespace
}  // namespace scripttest
