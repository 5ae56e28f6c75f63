// Which scripts run when the Lua state is first asked for, what they find in
// it, and what happens when one fails.

#include <gtest/gtest.h>

#include <lua.hpp>

#include "ScriptTestSupport.h"
#include "platform/testing/CapturedReports.h"

namespace scripttest {
namespace {

int maskOf(std::initializer_list<int> degrees) {
    int mask = 0;
    for (int degree : degrees)
        mask |= 1 << (degree - 1);
    return mask;
}

using ScriptLoading = ScriptedTest;

TEST_F(ScriptLoading, TheBuiltInScriptOffersTwelveScales) {
    start();
    const std::vector<int> expected = {
        maskOf({1, 3, 5, 6, 8, 10, 12}), maskOf({1, 3, 4, 6, 8, 9, 12}),
        maskOf({1, 3, 4, 6, 8, 10, 12}), maskOf({1, 3, 4, 6, 8, 9, 11}),
        maskOf({1, 3, 4, 6, 8, 10, 11}), maskOf({1, 2, 4, 6, 8, 9, 11}),
        maskOf({1, 3, 5, 7, 8, 10, 12}), maskOf({1, 3, 5, 6, 8, 10, 11}),
        maskOf({1, 2, 4, 6, 7, 9, 11}),  maskOf({1, 3, 5, 8, 10}),
        maskOf({1, 4, 6, 8, 11}),        maskOf({1})};
    EXPECT_EQ(plugin->scales(), expected);
    EXPECT_EQ(helper().output(), "");
}

TEST_F(ScriptLoading, AUserMidiScriptReplacesTheBuiltInOne) {
    folder.addScript("midi.lua", "mine = true");
    start();
    EXPECT_TRUE(plugin->scales().empty());
    EXPECT_EQ(text(helper(), "tostring(mine)"), "true");
}

TEST_F(ScriptLoading, OtherUserScriptsRunOnceAfterTheBuiltInOne) {
    folder.addScript("extra.lua",
                     "addScale('Fifths', {1, 8}); loads = (loads or 0) + getNumParameters()");
    folder.addScript("notes.txt", "error('not a script')");
    start();
    const std::vector<int> scales = plugin->scales();
    ASSERT_EQ(scales.size(), 13u);
    EXPECT_EQ(scales.back(), maskOf({1, 8}));
    // The state is built once and shared by every caller.
    lua_State* first = helper().GetLuaState();
    EXPECT_EQ(helper().GetLuaState(), first);
    EXPECT_EQ(number(helper(), "loads"), 28.0);
}

TEST_F(ScriptLoading, AFailingScriptIsReportedAndTheOthersStillRun) {
    folder.addScript("midi.lua", "first = true");
    folder.addScript("broken.lua", "this is not lua");
    folder.addScript("raises.lua", "error('stop here')");
    folder.addScript("fine.lua", "fine = true");
    platform::testing::CapturedReports said;
    start();
    EXPECT_EQ(text(helper(), "tostring(first)"), "true");
    EXPECT_EQ(text(helper(), "tostring(fine)"), "true");
    const std::string output = helper().output();
    EXPECT_NE(output.find("@@@ failed to run file: "), std::string::npos) << output;
    EXPECT_NE(output.find("broken.lua:1: "), std::string::npos) << output;
    EXPECT_NE(output.find("raises.lua:1: stop here\n"), std::string::npos) << output;
    // And for the musician, who sees no debugger output: in the editor.
    const std::string reported = said.Text();
    EXPECT_NE(reported.find("MIDI script broken.lua, line 1 did not load; correct it and reload "
                            "the plug-in: "),
              std::string::npos)
        << reported;
    EXPECT_NE(reported.find("MIDI script raises.lua, line 1 did not load; correct it and reload "
                            "the plug-in: stop here\n"),
              std::string::npos)
        << reported;
}

TEST_F(ScriptLoading, PrintWritesOneLineToTheDebuggerOutput) {
    start();
    EXPECT_EQ(run(helper(), "print('a', 1, nil, true)"), "");
    EXPECT_EQ(run(helper(), "print()"), "");
    EXPECT_EQ(helper().output(), "a\t1\tnil\ttrue\n\n");
    EXPECT_EQ(run(helper(), "print(setmetatable({}, {__tostring = function() return {} end}))"),
              "test:1: 'tostring' must return a string to 'print'");
}

TEST_F(ScriptLoading, AddScaleChecksItsArgumentsAndIgnoresImpossibleDegrees) {
    start();
    EXPECT_EQ(run(helper(), "addScale('Odd', {0, 13, 16, 17, -3, 'x', 2.5})"), "");
    EXPECT_EQ(plugin->scales().back(), maskOf({13, 16, 2}));
    EXPECT_EQ(run(helper(), "addScale('x', 5)"),
              "test:1: bad argument #2 to 'addScale' (table expected, got number)");
}

#if !defined(_WIN32)
// The plug-in's Lua is private to it: a C module would look for lua_* in the
// process and find nothing, or a host's own Lua running on our state. Asking
// for one is refused with a Lua error instead.
TEST_F(ScriptLoading, CModulesAreRefusedWithAnError) {
    start();
    EXPECT_EQ(text(helper(), "select(3, package.loadlib('libm.so.6', 'cos'))"), "absent");
    // Any readable file stands for the module's library.
    const std::string error = run(helper(), "package.cpath = '/proc/self/exe' require('cmodule')");
    EXPECT_NE(error.find("dynamic libraries not enabled"), std::string::npos) << error;
}
#endif

}  // namespace
}  // namespace scripttest
