// The built-in layout as the editor builds it: the window size, where the
// Prefs button and the groups go, every control of the layout bound to its
// parameter or property, and the Test button swapping the two views.

#include <algorithm>
#include <set>

#include "LayoutFixture.h"
#include "gui/Buttons.h"
#include "gui/DropDown.h"
#include "gui/Font.h"
#include "gui/InfoDisplay.h"
#include "gui/Knob.h"
#include "gui/Label.h"
#include "gui/MIDIBrowseButton.h"
#include "gui/MIDIHistoryDisplay.h"
#include "gui/TextField.h"
#include "gui/Texture.h"
#include "plugin/ParameterTable.h"
#include "plugin/Properties.h"

namespace layouttest {
namespace {

std::set<int> parametersOf(const std::vector<QX::ArcKnob*>& knobs) {
    std::set<int> found;
    for (const QX::ArcKnob* knob : knobs)
        found.insert(knob->info.index);
    return found;
}

QX::PlexStatefulButton* statefulButton(const std::vector<QX::PlexStatefulButton*>& buttons,
                                       const std::string& caption) {
    for (QX::PlexStatefulButton* button : buttons)
        if (button->caption == caption)
            return button;
    return nullptr;
}

bool contains(const QX::Group* group, const QX::UIElement* element) {
    return std::find(group->children.begin(), group->children.end(), element) !=
           group->children.end();
}

TEST_F(LayoutTest, TheWindowIs1000By450WithThePrefsButtonInTheTopRightCorner) {
    Build();
    EXPECT_EQ(width, 1000);
    EXPECT_EQ(height, 450);
    EXPECT_EQ(manager->width, 1000);
    EXPECT_EQ(manager->height, 450);
    EXPECT_EQ(gui->output, "");

    QX::PlexButton* prefs = nullptr;
    for (QX::PlexButton* button : ElementsOf<QX::PlexButton>())
        if (button->caption == "Prefs")
            prefs = button;
    ASSERT_NE(prefs, nullptr);
    const QX::Box box = prefs->AbsoluteBox();
    EXPECT_FLOAT_EQ(box.minX, 941);
    EXPECT_FLOAT_EQ(box.minY, 420);
    EXPECT_FLOAT_EQ(box.Width(), 54);
    EXPECT_FLOAT_EQ(box.Height(), 25);
    // Its banner text is the preferences' among the default texts.
    EXPECT_EQ(prefs->infoId, -2);
    ASSERT_NE(manager->InfoText(-2), nullptr);
    EXPECT_TRUE(contains(manager->root, prefs));

    // The banner runs from the left edge to the Prefs button.
    EXPECT_FLOAT_EQ(manager->bannerBox.minX, 10);
    EXPECT_FLOAT_EQ(manager->bannerBox.minY, 425);
    EXPECT_FLOAT_EQ(manager->bannerBox.maxX, 931);
    EXPECT_FLOAT_EQ(manager->bannerBox.maxY, 440);
    EXPECT_EQ(manager->bannerMode, 0);
    EXPECT_FLOAT_EQ(manager->titleX, 60);
    EXPECT_FLOAT_EQ(manager->infoX, -1);
}

TEST_F(LayoutTest, FontsColoursAndOverlaysAreSetUp) {
    Build();
    ASSERT_NE(manager->mainFont, nullptr);
    ASSERT_NE(manager->labelFont, nullptr);
    ASSERT_NE(manager->textFieldFont, nullptr);
    EXPECT_EQ(manager->mainFont->size(), 13);
    EXPECT_EQ(manager->labelFont->size(), 11);
    EXPECT_EQ(manager->textFieldFont->size(), 11);
    EXPECT_TRUE(manager->drawOverlays);
    EXPECT_FLOAT_EQ(manager->clearColour[0], 0.4f);
    EXPECT_FLOAT_EQ(manager->bannerColour[3], 0.3f);
    EXPECT_FLOAT_EQ(manager->groupActiveColour[0], 0.7f);
    EXPECT_FLOAT_EQ(manager->groupInactiveColour[0], 0.6f);
    EXPECT_FLOAT_EQ(manager->bannerTextColour[0], 0.9f);
    // One atlas, from the built-in image.
    ASSERT_EQ(manager->textures.size(), 1u);
    EXPECT_EQ(manager->textures[0]->resourceId, 120);
    EXPECT_EQ(manager->textures[0]->path, "");
}

TEST_F(LayoutTest, TheGroupsAreInPlaceAndOnlyTheNormalViewShows) {
    Build();
    QX::NamedGroup* adjust = Group("Adjust");
    QX::NamedGroup* midiOut = Group("MIDI Out");
    QX::NamedGroup* test = Group("Test");
    QX::NamedGroup* osc = Group("OSC");
    const auto histories = GroupsNamed("History");
    ASSERT_TRUE(adjust && midiOut && test && osc);
    ASSERT_EQ(histories.size(), 2u);
    EXPECT_TRUE(adjust->visible);
    EXPECT_TRUE(midiOut->visible);
    EXPECT_TRUE(histories[0]->visible);
    EXPECT_FALSE(histories[1]->visible);
    EXPECT_FALSE(test->visible);
    EXPECT_FALSE(osc->visible);

    // Framed boxes placed by their lower left corners.
    const QX::Box a = adjust->AbsoluteBox();
    EXPECT_FLOAT_EQ(a.minX, 5);
    EXPECT_FLOAT_EQ(a.minY, 5);
    const QX::Box m = midiOut->AbsoluteBox();
    const QX::Box t = test->AbsoluteBox();
    EXPECT_FLOAT_EQ(m.minY, 5);
    EXPECT_FLOAT_EQ(t.minX, m.minX);
    EXPECT_FLOAT_EQ(t.minY, 5);
    // After Adjust, the Test button (78 wide) and 10 units either side.
    EXPECT_FLOAT_EQ(m.minX, a.maxX + 10 + 78 + 10);
    for (QX::NamedGroup* history : histories) {
        const QX::Box h = history->AbsoluteBox();
        EXPECT_FLOAT_EQ(h.minX, 5);
        EXPECT_FLOAT_EQ(h.minY, 5 + m.Height() + 10);
        // Below the banner and the Prefs button.
        EXPECT_LT(h.maxY, 420);
    }
}

TEST_F(LayoutTest, EveryControlIsBoundToItsParameterOrProperty) {
    Build();
    const auto knobs = ElementsOf<QX::ArcKnob>();
    EXPECT_EQ(parametersOf(knobs),
              (std::set<int>{kParamOutputLevel, kParamSpace, kParamBalance, kParamSwing,
                             kParamClockOffset, kParamTestInterval, kParamMessageByte1,
                             kParamMessageByte2, kParamMessageByte3, kParamOscPortOffset}));
    EXPECT_EQ(knobs.size(), 10u);
    EXPECT_EQ(ElementsOf<QX::TextField>().size(), 10u);
    for (QX::ArcKnob* knob : knobs)
        EXPECT_FLOAT_EQ(knob->box.Width(), 34);

    std::set<int> dropDowns;
    for (QX::DropDown* dropDown : ElementsOf<QX::ALDropDown>())
        dropDowns.insert(dropDown->info.index);
    EXPECT_EQ(dropDowns, (std::set<int>{kParamMidiChannel, kParamChannelise, kParamSwingType,
                                        kParamTestType}));

    std::set<std::pair<std::string, int>> switches;
    for (QX::CrvnButton* button : ElementsOf<QX::CrvnButton>())
        switches.insert({button->caption, button->info.index});
    EXPECT_EQ(switches,
              (std::set<std::pair<std::string, int>>{{"Enable", kParamTestEnable},
                                                     {"Clock", kParamClock},
                                                     {"Song Position Pointer", kParamUseMidiSpp},
                                                     {"Send SPP 0", kParamSendSppZero}}));

    const auto stateful = ElementsOf<QX::PlexStatefulButton>();
    ASSERT_EQ(stateful.size(), 3u);
    ASSERT_NE(statefulButton(stateful, "Test"), nullptr);
    ASSERT_NE(statefulButton(stateful, "Don't Panic"), nullptr);
    ASSERT_NE(statefulButton(stateful, "Clear"), nullptr);
    EXPECT_EQ(statefulButton(stateful, "Test")->mode, 1);
    EXPECT_EQ(statefulButton(stateful, "Don't Panic")->mode, 0);
    EXPECT_EQ(*manager->InfoText(statefulButton(stateful, "Test")->infoId),
              "Show/Hide Test Controls");
    EXPECT_EQ(*manager->InfoText(statefulButton(stateful, "Don't Panic")->infoId),
              "Send All Sound Off");

    const auto browse = ElementsOf<QX::MIDIBrowseButton>();
    ASSERT_EQ(browse.size(), 1u);
    EXPECT_EQ(browse[0]->caption, "Browse");
    EXPECT_EQ(browse[0]->propertyId, prop::kMidiSourceName);
    EXPECT_EQ(*manager->InfoText(browse[0]->infoId), "Browse for MIDI source");
    const auto sources = ElementsOf<QX::PropertyTextField>();
    ASSERT_EQ(sources.size(), 1u);
    EXPECT_EQ(sources[0]->propertyId, prop::kMidiSourceName);
    EXPECT_EQ(sources[0]->prompt, "Enter MIDI source");
    const auto info = ElementsOf<QX::InfoDisplay>();
    ASSERT_EQ(info.size(), 1u);
    EXPECT_EQ(info[0]->source, plugin->historyBlock());
    EXPECT_TRUE(contains(Group("Test"), info[0]));

    const auto histories = ElementsOf<QX::MIDIHistoryDisplay>();
    ASSERT_EQ(histories.size(), 4u);
    std::vector<int> kinds;
    for (QX::MIDIHistoryDisplay* display : histories) {
        kinds.push_back(display->kind);
        EXPECT_FLOAT_EQ(display->box.Width(), 480);
        EXPECT_FLOAT_EQ(display->box.Height(), 285);
        EXPECT_EQ(display->history, plugin->historyBlock());
        ASSERT_NE(display->font, nullptr);
        EXPECT_EQ(display->font->size(), 12);
    }
    EXPECT_EQ(kinds, (std::vector<int>{0, 3, 1, 2}));
    const auto groups = GroupsNamed("History");
    EXPECT_TRUE(contains(groups[0], histories[0]) && contains(groups[0], histories[1]));
    EXPECT_TRUE(contains(groups[1], histories[2]) && contains(groups[1], histories[3]));

    // Every knob has its value field, and every label of the layout a font
    // to be measured with: none is left without a box.
    for (QX::Label* label : ElementsOf<QX::Label>())
        EXPECT_FALSE(label->box.Empty()) << label->text;
}

TEST_F(LayoutTest, PressingTestSwapsTheViewsAndPressingItAgainSwapsBack) {
    Build();
    QX::PlexStatefulButton* test = statefulButton(ElementsOf<QX::PlexStatefulButton>(), "Test");
    ASSERT_NE(test, nullptr);
    const QX::Point centre = test->AbsoluteBox().Centre();
    const auto histories = GroupsNamed("History");
    auto press = [&] {
        manager->MouseDown(centre, 0, 1);
        manager->MouseUp(centre, 0);
    };

    press();
    EXPECT_TRUE(test->GetState());
    EXPECT_TRUE(Group("Test")->visible);
    EXPECT_TRUE(histories[1]->visible);
    EXPECT_FALSE(Group("MIDI Out")->visible);
    EXPECT_FALSE(histories[0]->visible);
    for (QX::MIDIHistoryDisplay* display : ElementsOf<QX::MIDIHistoryDisplay>())
        EXPECT_EQ(display->visible, display->kind == 1 || display->kind == 2);
    EXPECT_TRUE(Group("Adjust")->visible);

    press();
    EXPECT_FALSE(test->GetState());
    EXPECT_FALSE(Group("Test")->visible);
    EXPECT_FALSE(histories[1]->visible);
    EXPECT_TRUE(Group("MIDI Out")->visible);
    EXPECT_TRUE(histories[0]->visible);
    EXPECT_EQ(gui->output, "");
}

TEST_F(LayoutTest, TheHiddenGroupsAreNeverHit) {
    Build();
    // The Test group's Enable button lies where MIDI Out's drop-downs are.
    QX::CrvnButton* enable = nullptr;
    for (QX::CrvnButton* button : ElementsOf<QX::CrvnButton>())
        if (button->info.index == kParamTestEnable)
            enable = button;
    ASSERT_NE(enable, nullptr);
    const QX::Point p = enable->AbsoluteBox().Centre();
    EXPECT_NE(manager->root->HitTest(p, QX::HitMode::kControls), enable);
    manager->MouseDown(p, 0, 1);
    manager->MouseUp(p, 0);
    EXPECT_EQ(plugin->getParameterNative(kParamTestEnable), 0.0f);
}

TEST_F(LayoutTest, ThePluginNamesTheLayoutScriptItRuns) {
    const char* name = nullptr;
    ASSERT_EQ(plugin->GetProperty(prop::kGuiScriptName, 0, 0, &name), 0);
    EXPECT_STREQ(name, "gui_qx4controller.lua");
    Build();
    EXPECT_EQ(Run("assert(type(createUI) == 'function' and type(toggleTest) == 'function')"), "");
}

}  // namespace
}  // namespace layouttest
