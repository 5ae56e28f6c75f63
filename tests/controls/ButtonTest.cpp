// Buttons: what each kind writes or calls on press and release, and what
// the banner shows while the pointer is over one.

#include <gmock/gmock.h>

#include "ControlsFixture.h"
#include "gui/Buttons.h"
#include "plugin/ParameterTable.h"
#include "plugin/Properties.h"

namespace controlstest {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

struct Calls {
    std::vector<bool> states;  // the button's state at each call
};

void recordState(QX::Button* button, void* context) {
    static_cast<Calls*>(context)->states.push_back(button->GetState());
}

class Buttons : public ControlsTest {
protected:
    // Every button here sits at (100, 100), 80 x 20.
    QX::PlexPropertyButton* propertyButton(int mode) {
        return add(new QX::PlexPropertyButton(manager.get(), "Prop", RecordingPlugin::kSwitch, 100,
                                              100, 80, 20, -1, mode));
    }
    QX::PlexStatefulButton* statefulButton(int mode) {
        return add(new QX::PlexStatefulButton(manager.get(), "State", recordState, &calls, 100, 100,
                                              80, 20, -1, mode));
    }
    Calls calls;
};

TEST_F(Buttons, TriggerPropertyButtonWritesZeroOnPressAndOneOnRelease) {
    propertyButton(QX::PlexPropertyButton::kTrigger);
    manager->MouseDown({140, 110}, 0, 1);
    EXPECT_THAT(plugin->switchWrites, ElementsAre(0));
    manager->MouseUp({140, 110}, 0);
    EXPECT_THAT(plugin->switchWrites, ElementsAre(0, 1));
    // Buttons are not parameter gestures.
    EXPECT_THAT(host.log, IsEmpty());
}

TEST_F(Buttons, TogglePropertyButtonWritesTheFlippedPropertyOnEachPress) {
    QX::PlexPropertyButton* button = propertyButton(QX::PlexPropertyButton::kToggle);
    click(140, 110);
    click(140, 110);
    plugin->switchValue = 0;  // changed elsewhere meanwhile
    click(140, 110);
    EXPECT_THAT(plugin->switchWrites, ElementsAre(1, 0, 1));
    button->Idle();
    EXPECT_TRUE(button->GetState());
    EXPECT_THAT(button->targetColour, testing::ElementsAreArray(QX::kButtonOnColour));
}

TEST_F(Buttons, IndicatorNeverWritesAndShowsThePropertyEveryFrame) {
    QX::PlexPropertyButton* button = propertyButton(QX::PlexPropertyButton::kIndicator);
    click(140, 110);
    click(140, 110);
    EXPECT_THAT(plugin->switchWrites, IsEmpty());
    plugin->switchValue = 1;
    button->Idle();
    EXPECT_TRUE(button->GetState());
    plugin->switchValue = 0;
    button->Idle();
    EXPECT_FALSE(button->GetState());
    EXPECT_THAT(button->targetColour, testing::ElementsAreArray(QX::kButtonRestingColour));
}

TEST_F(Buttons, PropertyButtonOnAWriteOnlyOrLongPropertyReadsOff) {
    // Don't Panic cannot be read; a long text must not be copied into the
    // few bytes a switch needs (the address sanitizer watches).
    plugin->text = std::string(100, 'x');
    for (std::uint32_t id : {std::uint32_t{prop::kDontPanic}, RecordingPlugin::kText}) {
        auto* button = add(new QX::PlexPropertyButton(manager.get(), "P", id, 300, 300, 10, 10, -1,
                                                      QX::PlexPropertyButton::kIndicator));
        button->Idle();
        EXPECT_FALSE(button->GetState()) << id;
    }
}

TEST_F(Buttons, MomentaryStatefulButtonActsOnPressOnly) {
    QX::PlexStatefulButton* button = statefulButton(0);
    EXPECT_TRUE(button->GetState());
    manager->MouseDown({140, 110}, 0, 1);
    EXPECT_THAT(calls.states, ElementsAre(false));
    manager->MouseUp({140, 110}, 0);
    EXPECT_THAT(calls.states, ElementsAre(false));
    EXPECT_TRUE(button->GetState());
}

TEST_F(Buttons, ToggleStatefulButtonActsOnEveryPressWithTheFlippedState) {
    QX::PlexStatefulButton* button = statefulButton(1);
    EXPECT_FALSE(button->GetState());
    click(140, 110);
    click(140, 110);
    click(140, 110);
    EXPECT_THAT(calls.states, ElementsAre(true, false, true));
    EXPECT_TRUE(button->GetState());
}

TEST_F(Buttons, PlainButtonCallsItsActionOnRelease) {
    add(new QX::PlexButton(manager.get(), "Go", recordState, &calls, 100, 100, 80, 20, -1));
    manager->MouseDown({140, 110}, 0, 1);
    EXPECT_THAT(calls.states, IsEmpty());
    manager->MouseUp({140, 110}, 0);
    EXPECT_EQ(calls.states.size(), 1u);
}

TEST_F(Buttons, ParameterButtonTogglesAndEndsTheHostEditOnRelease) {
    auto* button = add(new QX::CrvnButton(manager.get(), "Clock", 100, 100, 80, 20, kParamClock));
    manager->MouseDown({140, 110}, 0, 1);
    EXPECT_FLOAT_EQ(native(kParamClock), 1);
    EXPECT_THAT(host.log, ElementsAre("begin 3", "automate 3"));
    manager->MouseUp({140, 110}, 0);
    EXPECT_THAT(host.log, ElementsAre("begin 3", "automate 3", "end 3"));
    button->Idle();
    EXPECT_THAT(button->targetColour, testing::ElementsAreArray(QX::kButtonOnColour));
    click(140, 110);
    EXPECT_FLOAT_EQ(native(kParamClock), 0);
    EXPECT_EQ(host.log.back(), "end 3");
}

TEST_F(Buttons, HoveringAButtonWithATextIdShowsThatTextUntilThePointerLeaves) {
    manager->AddDefaultInfoTexts();
    const int id = manager->AddInfoText("Clear MIDI source");
    EXPECT_EQ(id, -7);
    add(new QX::PlexButton(manager.get(), "Clear", nullptr, nullptr, 100, 100, 80, 20, id));
    manager->MouseMove({140, 110});
    ASSERT_EQ(manager->hoverId, -7);
    ASSERT_NE(manager->InfoText(manager->hoverId), nullptr);
    EXPECT_EQ(*manager->InfoText(manager->hoverId), "Clear MIDI source");
    manager->MouseMove({400, 400});
    EXPECT_EQ(manager->hoverId, -1);

    add(new QX::PlexButton(manager.get(), "Prefs", nullptr, nullptr, 300, 100, 80, 20, -3));
    manager->MouseMove({340, 110});
    EXPECT_EQ(*manager->InfoText(manager->hoverId), "Save calibration data");
}

}  // namespace
}  // namespace controlstest
