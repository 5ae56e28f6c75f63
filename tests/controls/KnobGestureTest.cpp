// Knob and slider gestures, checked on the plug-in's parameter and on the
// edit calls the host receives.

#include <gmock/gmock.h>

#include "ControlsFixture.h"
#include "gui/Knob.h"
#include "gui/KnobRenderers.h"
#include "gui/Slider.h"
#include "platform/ManagerPlatformBridge.h"
#include "plugin/ParameterTable.h"

namespace controlstest {
namespace {

using testing::ElementsAre;

constexpr int kAlt = QX::kModifierAlt;
constexpr int kShift = QX::kModifierShift;
constexpr int kControl = QX::kModifierControl;

class KnobGestures : public ControlsTest {
protected:
    // A 34-unit knob at (100, 100); its centre is (117, 117).
    QX::ArcKnob* knob(int parameter) {
        return add(new QX::ArcKnob(manager.get(), renderer, parameter, 100, 100, 34));
    }
    QX::ArcKnobRenderer* renderer =
        new QX::ArcKnobRenderer(manager.get(), nullptr, 2, 92, 34, 2, 52);
};

TEST_F(KnobGestures, DragUpHalfTheSweepFromPointTwoGivesPointSevenAndAllTheWayClampsAtOne) {
    knob(kParamOutputLevel);
    setNative(kParamOutputLevel, 0.2f);
    manager->MouseDown({117, 117}, 0, 1);
    manager->MouseDrag({117, 167}, 0);
    manager->MouseDrag({117, 217}, 0);
    EXPECT_NEAR(plugin->getParameter(kParamOutputLevel), 0.7f, 1e-5f);
    manager->MouseDrag({117, 400}, 0);
    EXPECT_FLOAT_EQ(plugin->getParameter(kParamOutputLevel), 1.0f);
    manager->MouseUp({117, 400}, 0);
    EXPECT_THAT(host.log, ElementsAre("begin 0", "automate 0", "end 0"));
}

TEST_F(KnobGestures, ShiftDragMovesATenthAsFar) {
    knob(kParamOutputLevel);
    setNative(kParamOutputLevel, 0.2f);
    dragBy(117, 117, 100, kShift);
    EXPECT_NEAR(plugin->getParameter(kParamOutputLevel), 0.25f, 1e-5f);
}

TEST_F(KnobGestures, DragStartsFromTheValueTheHostSetSinceTheLastFrame) {
    QX::ArcKnob* k = knob(kParamOutputLevel);
    setNative(kParamOutputLevel, 0.2f);
    k->Idle();
    setNative(kParamOutputLevel, 0.6f);  // automation between two frames
    dragBy(117, 117, 20);
    EXPECT_NEAR(native(kParamOutputLevel), 0.7f, 1e-5f);
}

TEST_F(KnobGestures, AltClickAndDoubleClickRestoreTheDefaultAltDoubleClickGivesZeroOrMinimum) {
    knob(kParamSwing);  // 0..100, default 50
    setNative(kParamSwing, 10);
    click(117, 117, kAlt);
    EXPECT_FLOAT_EQ(native(kParamSwing), 50);
    setNative(kParamSwing, 10);
    click(117, 117, 0, 2);
    EXPECT_FLOAT_EQ(native(kParamSwing), 50);
    click(117, 117, kAlt, 2);
    EXPECT_FLOAT_EQ(native(kParamSwing), 0);

    manager->root->children.clear();
    knob(kParamTestInterval);  // 1..1000: zero is below the range
    click(117, 117, kAlt, 2);
    EXPECT_FLOAT_EQ(native(kParamTestInterval), 1);

    manager->root->children.clear();
    knob(kParamClockOffset);  // -100..100: zero is inside
    setNative(kParamClockOffset, 40);
    click(117, 117, kAlt, 2);
    EXPECT_FLOAT_EQ(native(kParamClockOffset), 0);
}

TEST_F(KnobGestures, PlainClickTogglesASwitchAndLeavesOtherParametersAlone) {
    knob(kParamPhaseInvert);  // stepped 0..1
    click(117, 117);
    EXPECT_FLOAT_EQ(native(kParamPhaseInvert), 1);
    click(117, 117);
    EXPECT_FLOAT_EQ(native(kParamPhaseInvert), 0);
    EXPECT_THAT(host.log,
                ElementsAre("begin 1", "automate 1", "end 1", "begin 1", "automate 1", "end 1"));

    manager->root->children.clear();
    knob(kParamSwing);
    setNative(kParamSwing, 30);
    click(117, 117);
    EXPECT_FLOAT_EQ(native(kParamSwing), 30);
}

TEST_F(KnobGestures, ControlDragMovesInWholePlainValues) {
    knob(kParamSwing);  // 0..100, not stepped by itself
    setNative(kParamSwing, 0);
    dragBy(117, 117, 33);  // 0.165 of the range
    EXPECT_NEAR(native(kParamSwing), 16.5f, 1e-4f);
    setNative(kParamSwing, 0);
    dragBy(117, 117, 33, kControl);
    EXPECT_FLOAT_EQ(native(kParamSwing), 17);
}

TEST_F(KnobGestures, ATenUnitDragAsTheEditorMakesOfAWheelNotchMovesAKnobByOneTwentieth) {
    knob(kParamSwing);
    setNative(kParamSwing, 50);
    dragBy(117, 117, 10);
    EXPECT_NEAR(native(kParamSwing), 55, 1e-4f);
    dragBy(117, 117, -10, kShift);
    EXPECT_NEAR(native(kParamSwing), 54.5f, 1e-4f);
}

TEST_F(KnobGestures, PlexKnobSharesTheGesturesAndStepsTypeTenParameters) {
    auto* textured = new QX::TexturedKnobRenderer(manager.get(), nullptr, 64, 1, 32);
    add(new QX::PlexKnob(manager.get(), textured, kParamOutputLevel, 100, 100, 34));
    setNative(kParamOutputLevel, 0.2f);
    dragBy(117, 117, 100);
    EXPECT_NEAR(native(kParamOutputLevel), 0.7f, 1e-5f);
    click(117, 117, kAlt);
    EXPECT_FLOAT_EQ(native(kParamOutputLevel), 1);
}

// ---- Slider ----------------------------------------------------------------------

class SliderGestures : public ControlsTest {
protected:
    // Horizontal, (100, 100) to (300, 120).
    QX::TexturedSlider* slider(int parameter) {
        auto* s = new QX::TexturedSlider(manager.get(), renderer, 16, 16, 7, 12, parameter, 100,
                                         100, 200, 20, 1);
        return add(s);
    }
    QX::TexturedSliderRenderer* renderer =
        new QX::TexturedSliderRenderer(manager.get(), nullptr, nullptr);
};

TEST_F(SliderGestures, AClickPutsTheThumbUnderThePointerAndShiftClickDoesNot) {
    QX::TexturedSlider* s = slider(kParamOutputLevel);
    setNative(kParamOutputLevel, 0.2f);
    click(150, 110);
    EXPECT_NEAR(native(kParamOutputLevel), 0.25f, 1e-5f);
    click(250, 110, kShift);
    EXPECT_NEAR(native(kParamOutputLevel), 0.25f, 1e-5f);
    dragBy(250, 110, 0);
    manager->MouseDown({250, 110}, kShift, 1);
    manager->MouseDrag({350, 110}, kShift);  // 100 units right: 0.05
    manager->MouseUp({350, 110}, kShift);
    EXPECT_NEAR(native(kParamOutputLevel), 0.8f, 1e-5f);

    // The thumb sits over the value on the track's centre line.
    s->Layout();
    s->Idle();
    EXPECT_NEAR(s->ThumbCentre().x, 100 + 0.8f * 200, 1e-3f);
    EXPECT_FLOAT_EQ(s->ThumbCentre().y, 110);
}

TEST_F(SliderGestures, AltSetsTheDefaultAndHoldsTheThumbWhileControlSnaps) {
    slider(kParamSwing);
    setNative(kParamSwing, 10);
    manager->MouseDown({150, 110}, kAlt, 1);
    manager->MouseDrag({280, 110}, kAlt);
    manager->MouseUp({280, 110}, kAlt);
    EXPECT_FLOAT_EQ(native(kParamSwing), 50);
    click(133.3f, 110, kControl);
    EXPECT_FLOAT_EQ(native(kParamSwing), 17);
    EXPECT_EQ(host.log.back(), "end 4");
}

TEST_F(SliderGestures, AVerticalSliderFollowsThePointerUpItsTrack) {
    auto* s = new QX::TexturedSlider(manager.get(), renderer, 48, 16, 12, 7, kParamOutputLevel, 400,
                                     50, 20, 200, 0);
    add(s);
    click(410, 200);
    EXPECT_NEAR(native(kParamOutputLevel), 0.75f, 1e-5f);
    s->Layout();
    s->Idle();
    EXPECT_FLOAT_EQ(s->ThumbCentre().x, 410);
    EXPECT_NEAR(s->ThumbCentre().y, 200, 1e-3f);
}

TEST_F(SliderGestures, ThumbQuadCoversItsImageAndFollowsThePosition) {
    QX::TexturedSlider* s = slider(kParamOutputLevel);
    setNative(kParamOutputLevel, 0.5f);
    s->Layout();
    s->Idle();
    renderer->PrepareVertices(64, 32);
    const auto& v = renderer->vertices();
    ASSERT_EQ(v.size(), 4u);
    // Corner 0 is (+w, +h) in position and in the image.
    EXPECT_FLOAT_EQ(v[0].x, 200 + 7);
    EXPECT_FLOAT_EQ(v[0].y, 110 + 12);
    EXPECT_FLOAT_EQ(v[0].u, (16 + 7) / 64.0f);
    EXPECT_FLOAT_EQ(v[0].v, (16 + 12) / 32.0f);
    EXPECT_FLOAT_EQ(v[2].x, 200 - 7);
    EXPECT_FLOAT_EQ(v[2].u, (16 - 7) / 64.0f);
    setNative(kParamOutputLevel, 1.0f);
    s->Idle();
    EXPECT_FLOAT_EQ(v[0].x, 300 + 7);
}

}  // namespace
}  // namespace controlstest
