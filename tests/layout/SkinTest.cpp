// Skins: a folder below the user's skins folder, selected by the "Skin"
// preference, whose Contents/Resources hold scripts and images that replace
// the built-in ones. Skin scripts run first; what they define wins.

#include "LayoutFixture.h"
#include "gui/Buttons.h"
#include "gui/Texture.h"

namespace layouttest {
namespace {

using testing::HasSubstr;

QX::PlexButton* prefsButton(const std::vector<QX::PlexButton*>& buttons) {
    for (QX::PlexButton* button : buttons)
        if (button->caption == "Prefs")
            return button;
    return nullptr;
}

TEST_F(LayoutTest, ASkinsGetWindowSizeSetsTheSizeAndTheLayoutFollows) {
    const fs::path resources = MakeSkin("Small");
    WriteFile(resources / "gui.lua", "getWindowSize = function() return 800, 400 end\n");
    Build();
    EXPECT_EQ(gui->output, "");
    EXPECT_EQ(width, 800);
    EXPECT_EQ(height, 400);
    QX::PlexButton* prefs = prefsButton(ElementsOf<QX::PlexButton>());
    ASSERT_NE(prefs, nullptr);
    EXPECT_FLOAT_EQ(prefs->box.minX, 800 - 54 - 5);
    EXPECT_FLOAT_EQ(prefs->box.minY, 400 - 25 - 5);
}

TEST_F(LayoutTest, ASkinHoldingOnlyTheAtlasChangesTheAtlasAndNothingElse) {
    const fs::path resources = MakeSkin("Atlas.bundle");
    WriteFile(resources / "buttons.png", "not looked at before the window opens");
    preferences.skin = "Atlas";  // the ".bundle" ending is found by itself
    Build();
    EXPECT_EQ(gui->output, "");
    EXPECT_TRUE(gui->skinSelected());
    ASSERT_EQ(manager->textures.size(), 1u);
    EXPECT_EQ(fs::path(manager->textures[0]->path), resources / "buttons.png");
    EXPECT_EQ(manager->textures[0]->resourceId, 0);
    // The built-in scripts made the layout.
    EXPECT_EQ(width, 1000);
    EXPECT_EQ(height, 450);
    EXPECT_NE(prefsButton(ElementsOf<QX::PlexButton>()), nullptr);
    EXPECT_NE(Group("History"), nullptr);
    EXPECT_FLOAT_EQ(manager->clearColour[0], 0.4f);
}

TEST_F(LayoutTest, ASkinScriptWithAnErrorIsSkippedAndTheBuiltInLayoutAppears) {
    const fs::path resources = MakeSkin("Broken");
    WriteFile(resources / "gui.lua", "this is not Lua\n");
    WriteFile(resources / "gui_qx4controller.lua",
              "getWindowSize = function() return 640, 320 end\n"
              "error('the skin gives up here')\n");
    Build();
    EXPECT_THAT(gui->output, HasSubstr("@@@ failed to run buffer: [string \"gui.lua\"]:1:"));
    EXPECT_THAT(gui->output,
                HasSubstr("@@@ failed to run buffer: [string \"gui_qx4controller.lua\"]:2: the "
                          "skin gives up here"));
    // What ran before the error stays defined.
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 320);
    EXPECT_NE(prefsButton(ElementsOf<QX::PlexButton>()), nullptr);
    EXPECT_NE(Group("Adjust"), nullptr);
    EXPECT_NE(Group("MIDI Out"), nullptr);
    EXPECT_EQ(GroupsNamed("History").size(), 2u);
}

TEST_F(LayoutTest, ASkinMayReplaceAnyFunctionOfTheCommonScript) {
    const fs::path resources = MakeSkin("Dark");
    WriteFile(resources / "gui.lua",
              "setUIColours = function()\n"
              "    setBackgroundColour(0.1, 0.12, 0.15)\n"
              "    setBannerColour(0.0, 0.0, 0.0, 0.5)\n"
              "    setBannerTextColour(1, 0.8, 0.4, 1)\n"
              "    setGroupActiveColour(1, 0.6, 0.2, 1)\n"
              "    setGroupInactiveColour(0.5, 0.3, 0.1, 1)\n"
              "end\n");
    Build();
    EXPECT_EQ(gui->output, "");
    EXPECT_FLOAT_EQ(manager->clearColour[0], 0.1f);
    EXPECT_FLOAT_EQ(manager->clearColour[2], 0.15f);
    EXPECT_FLOAT_EQ(manager->groupActiveColour[1], 0.6f);
    EXPECT_FLOAT_EQ(manager->bannerTextColour[2], 0.4f);
    EXPECT_NE(Group("Adjust"), nullptr);
}

TEST_F(LayoutTest, ASkinLayoutScriptMayReplaceTheWholeLayout) {
    const fs::path resources = MakeSkin("Minimal");
    WriteFile(resources / "gui_qx4controller.lua",
              "createUI = function()\n"
              "    createUICommon()\n"
              "    theKnobRenderer = bigKnobRenderer\n"
              "    local g = group('Level')\n"
              "    bigKnobAndTextField(g, 'Output Level', 'Level', 0, 0)\n"
              "    g:setPosition(20, 20, true)\n"
              "end\n");
    Build();
    EXPECT_EQ(gui->output, "");
    EXPECT_NE(Group("Level"), nullptr);
    EXPECT_EQ(Group("Adjust"), nullptr);
    EXPECT_NE(prefsButton(ElementsOf<QX::PlexButton>()), nullptr);
}

TEST_F(LayoutTest, WithoutTheSkinPreferenceASkinFolderIsIgnored) {
    const fs::path resources = MakeSkin("Unused");
    WriteFile(resources / "gui.lua", "getWindowSize = function() return 800, 400 end\n");
    preferences.skin.clear();
    Build();
    EXPECT_FALSE(gui->skinSelected());
    EXPECT_EQ(width, 1000);

    // A skin that is no longer there is the built-in one.
    preferences.skin = "Gone";
    gui.reset();
    manager.reset();
    Build();
    EXPECT_FALSE(gui->skinSelected());
    EXPECT_EQ(width, 1000);
    EXPECT_EQ(gui->output, "");
}

TEST_F(LayoutTest, AWindowSizeTheScriptsCannotGiveFallsBackToTheDefault) {
    const fs::path resources = MakeSkin("NoSize");
    WriteFile(resources / "gui.lua", "getWindowSize = function() return 'wide', nil end\n");
    Build();
    EXPECT_EQ(width, 1000);
    EXPECT_EQ(height, 450);
    EXPECT_THAT(gui->output, HasSubstr("getWindowSize"));
}

}  // namespace
}  // namespace layouttest
