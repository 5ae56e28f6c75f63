// MIDI messages reaching the scripts: the base helper's dispatch with NRPN
// tracking, and the plug-in's helper, which hands notes, controllers and
// pitch bends to the plug-in instead.

#include <gtest/gtest.h>

#include <lua.hpp>

#include "ScriptTestSupport.h"

namespace scripttest {
namespace {

// The base behaviour of every hook, with flags of its own.
class BaseHelper : public QX::LuaMIDIHelper {
public:
    using LuaMIDIHelper::LuaMIDIHelper;
    ~BaseHelper() override { StopTimers(); }
    void SetGUIBoolValue(int id, bool value) override { flags[id] = value; }
    bool GetGUIBoolValue(int id) override { return flags[id]; }

private:
    bool flags[8] = {};
};

// Every callback appends "name(args)" to the global `log`.
const char* const kLogging = R"(
log = ''
function logger(name)
  return function(...)
    log = log .. name .. '(' .. table.concat({...}, ',') .. ')'
  end
end
)";

class BaseDispatch : public testing::Test {
protected:
    BaseDispatch() : plugin(hostCallback), helper(plugin) {
        // An empty user midi.lua: the built-in one needs the plug-in's addScale.
        folder.addScript("midi.lua", kLogging);
        helper.Initialise();
        helper.GetLuaState();
    }

    void send(int status, int channel, int data1, int data2) {
        helper.HandleMIDIMessage(midiItem(status, channel, data1, data2));
    }
    std::string log() { return text(helper, "log"); }

    UserFolder folder;
    QX4Controller::ZephCorvane plugin;
    BaseHelper helper;
};

TEST_F(BaseDispatch, NrpnNumbersAndValuesAreTrackedAcrossControlChanges) {
    ASSERT_EQ(run(helper,
                  "requestAllNRPN(logger('nrpn')); requestNRPN(130, logger('n130'));"
                  "requestNRPN(131, logger('n131')); requestAllCC(logger('cc'))"),
              "");
    send(0xB0, 0, 99, 1);
    send(0xB0, 0, 98, 2);
    send(0xB0, 0, 6, 3);
    send(0xB0, 0, 38, 4);
    EXPECT_EQ(log(),
              "cc(1,99,1)cc(1,98,2)"
              "nrpn(1,130,384)n130(1,130,384)cc(1,6,3)"
              "nrpn(1,130,388)n130(1,130,388)cc(1,38,4)");
}

TEST_F(BaseDispatch, EveryMessageKindReachesItsCallbacksAllListFirst) {
    ASSERT_EQ(run(helper,
                  "requestNoteOn(60, logger('k1')); requestAllNoteOn(logger('a1'));"
                  "requestNoteOn(60, logger('k2')); requestAllNoteOn(logger('a2'));"
                  "requestNoteOn(61, logger('other'));"
                  "requestAllNoteOff(logger('off')); requestNoteOff(64, logger('off64'));"
                  "requestPitchWheel(logger('pw')); requestChannelPressure(logger('cp'));"
                  "requestProgramChange(5, logger('pc5')); requestPolyPressure(40, "
                  "logger('pp40')); requestCC(7, logger('cc7'));"
                  // Keys that no message carries never match.
                  "requestNoteOn(-1, logger('neg')); requestNoteOn(188, logger('big'));"
                  "requestNRPN(16384, logger('nrpn'))"),
              "");
    send(0x90, 2, 60, 100);
    send(0x90, 0, 64, 0);  // velocity zero: a note off
    send(0x80, 15, 64, 10);
    send(0xE0, 1, 0x10, 0x40);  // lsb, msb
    send(0xD0, 1, 99, 0);
    send(0xC0, 1, 5, 0);
    send(0xC0, 1, 6, 0);
    send(0xA0, 1, 40, 77);
    send(0xB0, 1, 7, 100);
    send(0xF0, 0, 0, 0);
    send(0xB0, 0, 6, 1);
    EXPECT_EQ(log(),
              "a1(3,60,100)a2(3,60,100)k1(3,60,100)k2(3,60,100)"
              "off(1,64,0)off64(1,64,0)off(16,64,10)off64(16,64,10)"
              "pw(2,8208)cp(2,99)pc5(2,5)pp40(2,40,77)cc7(2,7,100)");
}

TEST_F(BaseDispatch, CallbacksAddedDuringADispatchRunFromTheNextMessage) {
    ASSERT_EQ(run(helper,
                  "requestAllProgramChange(function(c, p)"
                  "  log = log .. 'first' .. p;"
                  "  requestAllProgramChange(logger('added'))"
                  "end)"),
              "");
    send(0xC0, 0, 1, 0);
    EXPECT_EQ(log(), "first1");
    send(0xC0, 0, 2, 0);
    EXPECT_EQ(log(), "first1first2added(1,2)");
}

// ---- The plug-in's helper -----------------------------------------------------------------

using PluginDispatch = ScriptedTest;

TEST_F(PluginDispatch, NotesControllersAndPitchGoToThePluginTheRestToTheScripts) {
    HookedPlugin& plugin = start();
    RecordingHelper& helper = plugin.helper();
    ASSERT_EQ(run(helper, kLogging), "");
    ASSERT_EQ(run(helper,
                  "requestAllNoteOn(logger('on')); requestAllNoteOff(logger('off'));"
                  "requestAllCC(logger('cc')); requestAllNRPN(logger('nrpn'));"
                  "requestPitchWheel(logger('pw')); requestNoteOn(60, logger('k'));"
                  "requestAllPolyPressure(logger('pp')); requestProgramChange(9, logger('pc'));"
                  "requestChannelPressure(logger('cp'))"),
              "");
    const int messages[][3] = {{0x90, 60, 100}, {0x90, 60, 0}, {0x80, 60, 0},
                               {0xB0, 99, 1},   {0xB0, 6, 1},  {0xE0, 1, 2},
                               {0xA0, 60, 30},  {0xC0, 9, 0},  {0xD0, 12, 0}};
    for (const auto& m : messages)
        helper.HandleMIDIMessage(midiItem(m[0], 4, m[1], m[2]));
    EXPECT_EQ(text(helper, "log"), "pp(5,60,30)pc(5,9)cp(5,12)");
    EXPECT_EQ(plugin.noteOns.load(), 1);
    EXPECT_EQ(plugin.noteOffs.load(), 2);
    EXPECT_EQ(plugin.controllers.load(), 2);
    EXPECT_EQ(plugin.lastPitchBend.load(), 2 * 128 + 1);
}

}  // namespace
}  // namespace scripttest
