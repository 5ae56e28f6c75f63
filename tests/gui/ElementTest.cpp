#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "../../gui/src/GL.h"
#include "GuiTestSupport.h"
#include "gui/Control.h"
#include "gui/Group.h"
#include "gui/Label.h"
#include "gui/StaticText.h"
#include "plugin/ParameterTable.h"

namespace {

using guitest::HostCall;

class Elements : public guitest::GuiTest {
protected:
    QX::ControlBase* Control(float x0, float y0, float x1, float y1) {
        auto* control = new QX::ControlBase(manager.get());
        control->box = QX::Box::Make(x0, y0, x1, y1);
        return control;
    }
    QX::Font* UseMainFont() {
        manager->mainFont = AddFont(guitest::systemTestFontPath(), 12);
        return manager->mainFont;
    }
    QX::Font* UseLabelFont() {
        manager->labelFont = AddFont(guitest::systemTestFontPath(), 11);
        return manager->labelFont;
    }
    void TearDown() override {
        // The fonts are owned through the Manager's list; the slots only
        // point at them.
        manager->mainFont = manager->labelFont = manager->textFieldFont = nullptr;
        guitest::GuiTest::TearDown();
    }
};

// ---- Hit-testing and bounds ---------------------------------------------------------------

TEST_F(Elements, ControlIsHitOnItsEdgesWhateverItsVisibility) {
    QX::ControlBase* control = Control(10, 10, 20, 30);
    EXPECT_EQ(control->HitTest({10, 10}, QX::HitMode::kControls), control);
    EXPECT_EQ(control->HitTest({20, 30}, QX::HitMode::kControls), control);
    EXPECT_EQ(control->HitTest({15, 30.01f}, QX::HitMode::kControls), nullptr);
    EXPECT_EQ(control->HitTest({9.99f, 20}, QX::HitMode::kControls), nullptr);

    auto* group = new QX::Group(manager.get());
    group->Add(control);
    control->SetVisible(false);
    EXPECT_EQ(group->HitTest({15, 20}, QX::HitMode::kControls), control);
}

TEST_F(Elements, HiddenGroupHidesItsChildren) {
    auto* outer = new QX::Group(manager.get());
    auto* inner = new QX::Group(manager.get());
    QX::ControlBase* control = Control(0, 0, 10, 10);
    inner->Add(control);
    outer->Add(inner);
    ASSERT_EQ(outer->HitTest({5, 5}, QX::HitMode::kControls), control);

    inner->SetVisible(false);
    EXPECT_FALSE(control->visible);
    EXPECT_EQ(outer->HitTest({5, 5}, QX::HitMode::kControls), nullptr);

    // Added to a hidden group, an element is hidden too.
    QX::ControlBase* late = Control(20, 0, 30, 10);
    inner->Add(late);
    EXPECT_FALSE(late->visible);
    EXPECT_EQ(late->parent, inner);
}

TEST_F(Elements, GroupHitsItselfOnlyWhileTheManagerTracksThePointer) {
    auto* empty = new QX::Group(manager.get());
    const auto hover = QX::HitMode::kControlsAndGroups;
    // No children and no box: the empty box is never hit.
    EXPECT_EQ(empty->HitTest({0, 0}, hover), nullptr);
    EXPECT_EQ(empty->HitTest({-1e9f, 1e9f}, hover), nullptr);

    auto* group = new QX::Group(manager.get());
    QX::ControlBase* control = Control(0, 0, 10, 10);
    group->Add(control);
    group->SetPosition(100, 50);
    group->box = QX::Box::Make(90, 40, 200, 100);
    EXPECT_EQ(group->HitTest({105, 55}, hover), control);  // children see p - offset
    EXPECT_EQ(group->HitTest({150, 90}, hover), group);    // own box is not offset
    EXPECT_EQ(group->HitTest({150, 90}, QX::HitMode::kControls), nullptr);
}

TEST_F(Elements, AbsoluteBoxAddsEveryEnclosingOffset) {
    auto* outer = new QX::Group(manager.get());
    auto* inner = new QX::Group(manager.get());
    QX::ControlBase* control = Control(1, 2, 3, 4);
    outer->Add(inner);
    inner->Add(control);
    outer->SetPosition(100, 200);
    inner->SetPosition(10, 20);

    const QX::Box box = control->AbsoluteBox();
    EXPECT_EQ(box.minX, 111);
    EXPECT_EQ(box.minY, 222);
    EXPECT_EQ(box.maxX, 113);
    EXPECT_EQ(box.maxY, 224);
    const QX::Box groupBox = inner->AbsoluteBox();
    EXPECT_EQ(groupBox.minX, 111);
    EXPECT_EQ(groupBox.maxY, 224);

    QX::Box united;
    (new QX::Group(manager.get()))->UnionBounds(united);
    EXPECT_TRUE(united.Empty());
}

// ---- Named groups -------------------------------------------------------------------------------

class NamedGroups : public Elements {
protected:
    QX::NamedGroup* MakeExample(const std::string& name) {
        const float margins[4] = {5, 5, 5, 5};
        auto* group = new QX::NamedGroup(manager.get(), name, margins);
        group->Add(Control(10, 10, 60, 40));
        group->Add(Control(50, 30, 110, 60));
        manager->root->Add(group);
        return group;
    }
};

TEST_F(NamedGroups, OutlineLeavesAGapForTheName) {
    QX::Font* font = UseMainFont();
    font->SetScale(1);
    QX::NamedGroup* group = MakeExample("Clock");
    group->Layout();

    const float w = font->Advance("Clock");
    ASSERT_GT(w, 20);
    const float expected[12] = {15, 65, 5, 65, 5, 5, 115, 5, 115, 65, 15 + w, 65};
    for (int i = 0; i < 12; ++i) {
        EXPECT_FLOAT_EQ(group->outline[i], expected[i]) << i;
    }
    EXPECT_EQ(group->box.minX, 5);
    EXPECT_EQ(group->box.maxY, 65);

    ASSERT_GE(group->titleIndex, 0);
    const auto& title = manager->titleText->items[static_cast<std::size_t>(group->titleIndex)];
    EXPECT_EQ(title.text, "Clock");
    EXPECT_FLOAT_EQ(title.x, 15);
    EXPECT_FLOAT_EQ(title.y, 65 - font->LineHeight() * 0.5f - font->Descender());
    EXPECT_EQ(title.colour, group->colour);
    EXPECT_TRUE(title.visible);

    // GL starting again lays out again: still one entry for the name.
    const std::size_t items = manager->titleText->items.size();
    group->Layout();
    EXPECT_EQ(manager->titleText->items.size(), items);
}

TEST_F(NamedGroups, WithoutAFontTheFrameIsClosedAndNameless) {
    QX::NamedGroup* group = MakeExample("Clock");
    group->Layout();
    EXPECT_EQ(group->titleIndex, -1);
    EXPECT_FLOAT_EQ(group->outline[10], 15);
    EXPECT_TRUE(manager->titleText->items.empty());
}

TEST_F(NamedGroups, HidingTheGroupHidesItsName) {
    UseMainFont()->SetScale(1);
    QX::NamedGroup* group = MakeExample("Test");
    group->Layout();
    const auto& title = manager->titleText->items[static_cast<std::size_t>(group->titleIndex)];
    group->SetVisible(false);
    EXPECT_FALSE(title.visible);
    EXPECT_FALSE(group->children[0]->visible);
    group->SetVisible(true);
    EXPECT_TRUE(title.visible);
}

TEST_F(NamedGroups, HoverFadesTheFrameFifteenPercentPerFrame) {
    if (!StartGl(128, 128)) {
        GTEST_SKIP() << "no GL context";
    }
    QX::NamedGroup* group = MakeExample("");
    group->Layout();
    EXPECT_EQ(group->colour[0], manager->groupInactiveColour[0]);

    group->MouseEnter();
    group->Draw();
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(group->colour[i], manager->groupActiveColour[i] * 0.15f +
                                              manager->groupInactiveColour[i] * 0.85f);
    }
    for (int frame = 0; frame < 60; ++frame) {
        group->Draw();
    }
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(group->colour[i], manager->groupActiveColour[i], 1e-3f);
    }
    const float before = group->colour[1];
    group->MouseLeave();
    group->Draw();
    EXPECT_FLOAT_EQ(group->colour[1], manager->groupInactiveColour[1] * 0.15f + before * 0.85f);
}

// ---- Labels -------------------------------------------------------------------------------------

TEST_F(Elements, AutomaticLabelBoxFitsTheTextAroundItsAnchor) {
    QX::Font* font = UseLabelFont();
    float w = 0, h = 0, ignored = 0;
    font->Measure("Phase Invert", w, ignored);
    font->Measure("M", ignored, h);
    const float width = std::floor(w) + 6;

    auto* right = new QX::Label(manager.get(), "Phase Invert", 100, 80, 2, 0, 0);
    EXPECT_EQ(right->box.maxX, 100);
    EXPECT_EQ(right->box.minX, 100 - width);
    EXPECT_EQ(right->textX, 3);
    EXPECT_EQ(right->box.maxY, 80);  // y is the top edge
    EXPECT_EQ(right->box.minY, 80 - (std::floor(h) + 6));
    EXPECT_EQ(right->textY, 3);
    EXPECT_EQ(right->box.minZ, 0);
    EXPECT_EQ(right->box.maxZ, 0);

    auto* left = new QX::Label(manager.get(), "Phase Invert", 100.6f, 80, 1, 0, 0);
    EXPECT_EQ(left->box.minX, 100);
    EXPECT_EQ(left->box.maxX, 100 + width);
    auto* centre = new QX::Label(manager.get(), "Phase Invert", 100, 80, 0, 0, 0);
    EXPECT_EQ(centre->box.minX, std::floor(100 - width / 2));
}

TEST_F(Elements, LabelOfGivenSizeCentresItsText) {
    QX::Font* font = UseLabelFont();
    float w = 0, h = 0, ignored = 0;
    font->Measure("Swing", w, ignored);
    font->Measure("M", ignored, h);

    auto* label = new QX::Label(manager.get(), "Swing", 10.5f, 20.5f, 2, 80.2f, 21);
    EXPECT_EQ(label->box.minX, 10);
    EXPECT_EQ(label->box.maxX, 90);  // floor(10.5 + 80.2): alignment unused
    EXPECT_EQ(label->box.minY, 20);
    EXPECT_EQ(label->box.maxY, 41);
    EXPECT_EQ(label->textX, std::floor(80.2f / 2 - w / 2));
    EXPECT_EQ(label->textY, std::floor(21.0f / 2 - h / 2));
}

TEST_F(Elements, LabelWithoutAFontStaysEmptyAndDrawsNothing) {
    auto* label = new QX::Label(manager.get(), "Swing", 10, 20, 0, 0, 0);
    EXPECT_TRUE(label->box.Empty());
    if (!StartGl(64, 64)) {
        return;
    }
    // A label font that arrives later must not make the inside-out box
    // cover the layer.
    label->DrawStatic(UseLabelFont());
    for (unsigned char byte : ReadPixels()) {
        ASSERT_EQ(byte, 0);
    }
}

TEST_F(Elements, LabelDrawsItsBoxAndText) {
    if (!StartGl(128, 64)) {
        GTEST_SKIP() << "no GL context";
    }
    QX::Font* font = UseLabelFont();
    font->SetScale(1);
    auto* label = new QX::Label(manager.get(), "HH", 10, 50, 1, 0, 0);
    const float blue[4] = {0, 0, 1, 1}, red[4] = {1, 0, 0, 1};
    std::copy(blue, blue + 4, label->backgroundColour);
    std::copy(red, red + 4, label->foregroundColour);
    label->DrawStatic(font);

    const auto pixels = ReadPixels();
    auto at = [&](int x, int y) {
        return &pixels[(static_cast<std::size_t>(y) * glWidth + x) * 4];
    };
    const QX::Box& box = label->box;
    EXPECT_EQ(at(static_cast<int>(box.minX) + 1, static_cast<int>(box.minY) + 1)[2], 255);
    EXPECT_EQ(at(static_cast<int>(box.minX) - 2, static_cast<int>(box.minY) + 1)[2], 0);
    bool redSeen = false;
    for (int x = static_cast<int>(box.minX); x < box.maxX; ++x) {
        redSeen = redSeen || at(x, static_cast<int>(box.minY + label->textY) + 3)[0] > 200;
    }
    EXPECT_TRUE(redSeen);
}

// ---- Controls ----------------------------------------------------------------------------------

TEST_F(Elements, SteppedControlSnapsToAWholeValue) {
    auto* control = new QX::Control(manager.get(), kParamUnused0);  // indexed, 0..3
    ASSERT_TRUE(control->stepped);
    float position = 0.74f;
    control->SetPosition(position);
    EXPECT_EQ(plugin->getParameterNative(kParamUnused0), 2);
    EXPECT_FLOAT_EQ(position, 2.0f / 3.0f);
}

TEST_F(Elements, ControlValuesAreClampedAndFollowThePlugin) {
    auto* level = new QX::Control(manager.get(), kParamOutputLevel);
    EXPECT_FALSE(level->stepped);
    float position = 1.7f;
    level->SetPosition(position);
    EXPECT_EQ(plugin->getParameterNative(kParamOutputLevel), 1);

    auto* swing = new QX::Control(manager.get(), kParamSwing);  // percent 0..100
    position = 0.25f;
    swing->SetPosition(position);
    EXPECT_FLOAT_EQ(plugin->getParameterNative(kParamSwing), 25);
    swing->SetValue(-10);
    EXPECT_EQ(plugin->getParameterNative(kParamSwing), 0);
    EXPECT_EQ(swing->position, 0);

    // The position follows changes made elsewhere (host, OSC) every frame.
    plugin->setParameterNative(kParamSwing, 75, false);
    manager->root->Add(swing);
    manager->root->Idle();
    EXPECT_FLOAT_EQ(swing->position, 0.75f);

    auto* offset = new QX::Control(manager.get(), kParamClockOffset);  // -100..100 ms
    plugin->setParameterNative(kParamClockOffset, 50, false);
    offset->Idle();
    EXPECT_FLOAT_EQ(offset->position, 0.75f);
}

TEST_F(Elements, ExponentialAndWholeNumberScales) {
    auto* control = new QX::Control(manager.get(), kParamOutputLevel);
    control->info.type = kUnitHertz;
    control->info.minimum = 20;
    control->info.maximum = 20000;
    EXPECT_NEAR(control->ValueOfPosition(0.5f), std::sqrt(20.0f * 20000.0f), 0.05f);
    EXPECT_NEAR(control->PositionOfValue(200), 1.0f / 3.0f, 1e-5f);
    EXPECT_EQ(control->PositionOfValue(0), 0);  // below an exponential scale

    control->info.type = kUnitBeats;
    control->info.minimum = 0;
    control->info.maximum = 10;
    EXPECT_EQ(control->ValueOfPosition(0.36f), 4);
    EXPECT_EQ(control->ValueOfPosition(0.34f), 3);

    control->info.maximum = 0;  // a degenerate range
    EXPECT_EQ(control->PositionOfValue(5), 0);
}

TEST_F(Elements, ControlForAParameterTheTableLacksIsInert) {
    auto* control = new QX::Control(manager.get(), 99);
    float position = 0.5f;
    control->SetPosition(position);
    control->MouseDown({0, 0}, 0, 1);
    control->MouseUp({0, 0}, 0);
    control->Idle();
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(manager->editId, -1);
}

TEST_F(Elements, GestureEndsTheHostEditExactlyOnce) {
    auto* swing = new QX::Control(manager.get(), kParamSwing);
    auto* level = new QX::Control(manager.get(), kParamOutputLevel);
    swing->MouseDown({0, 0}, 0, 1);
    EXPECT_EQ(manager->editId, kParamSwing);
    EXPECT_EQ(host.Count(HostCall::kBegin, kParamSwing), 1);
    EXPECT_EQ(QX::lastTouched().index, kParamSwing);
    EXPECT_EQ(QX::lastTouched().plugin, plugin.get());

    level->MouseUp({0, 0}, 0);  // not this control's gesture
    EXPECT_EQ(host.Count(HostCall::kEnd, kParamSwing), 0);
    EXPECT_EQ(manager->editId, kParamSwing);

    swing->MouseUp({0, 0}, 0);
    swing->MouseUp({0, 0}, 0);
    EXPECT_EQ(host.Count(HostCall::kEnd, kParamSwing), 1);
    EXPECT_EQ(manager->editId, -1);
}

TEST_F(Elements, HoverFollowsTheControlUnderThePointer) {
    auto* swing = new QX::Control(manager.get(), kParamSwing);
    auto* level = new QX::Control(manager.get(), kParamOutputLevel);
    swing->MouseEnter();
    EXPECT_EQ(manager->hoverId, kParamSwing);
    EXPECT_EQ(manager->hoverControl, swing);
    level->MouseEnter();
    swing->MouseLeave();  // left after the other was entered
    EXPECT_EQ(manager->hoverId, kParamOutputLevel);
    level->MouseLeave();
    EXPECT_EQ(manager->hoverId, -1);
    EXPECT_EQ(manager->hoverControl, level);
}

// ---- StaticText
// ------------------------------------------------------------------------------------

TEST_F(Elements, StaticTextLaysItemsOutBackToBack) {
    const float colour[4] = {1, 1, 1, 1};
    auto* text = new QX::StaticText(manager.get(), false);
    EXPECT_EQ(manager->effects.back(), text);
    EXPECT_EQ(text->AddText("AB", 0, 0, colour), 0);
    EXPECT_EQ(text->AddText(std::string("A B\xE4\xB8\x80"), 0, 20, colour), 1);
    EXPECT_EQ(text->AddText("C", 0, 40, colour), 2);
    EXPECT_EQ(text->items[1].vertexCount, 4 * 6);
    EXPECT_TRUE(text->dirty);

    text->InitGL();  // no main font yet: nothing laid out
    EXPECT_TRUE(text->vertices.empty());

    UseMainFont()->SetScale(1);
    text->InitGL();
    EXPECT_FALSE(text->dirty);
    // Blanks and characters without a glyph have no quads.
    EXPECT_EQ(text->items[0].firstVertex, 0);
    EXPECT_EQ(text->items[0].vertexCount, 8);
    EXPECT_EQ(text->items[1].firstVertex, 8);
    EXPECT_EQ(text->items[1].vertexCount, 8);
    EXPECT_EQ(text->items[2].firstVertex, 16);
    EXPECT_EQ(text->items[2].vertexCount, 4);
    EXPECT_EQ(text->vertices.size(), 20u);
    EXPECT_FLOAT_EQ(text->vertices[16].y, text->vertices[0].y + 40);

    text->SetText(0, "ABCD", 5, 5);
    EXPECT_TRUE(text->dirty);
    text->SetVisible(2, false);
    EXPECT_FALSE(text->items[2].visible);
    text->SetText(7, "out of range", 0, 0);
    text->SetVisible(-1, false);
}

TEST_F(Elements, StaticTextDrawsOnlyVisibleItemsInTheirColours) {
    if (!StartGl(128, 64)) {
        GTEST_SKIP() << "no GL context";
    }
    UseMainFont()->SetScale(1);
    const float red[4] = {1, 0, 0, 1}, green[4] = {0, 1, 0, 1};
    auto* text = new QX::StaticText(manager.get(), false);
    text->AddText("HHH", 10, 10, red);
    text->AddText("HHH", 10, 40, green);
    text->SetVisible(0, false);
    text->Draw();  // lays out first: it is dirty

    const auto pixels = ReadPixels();
    int redLit = 0, greenLit = 0;
    for (std::size_t i = 0; i < pixels.size(); i += 4) {
        redLit += pixels[i] > 100;
        greenLit += pixels[i + 1] > 100;
    }
    EXPECT_EQ(redLit, 0);
    EXPECT_GT(greenLit, 20);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

}  // namespace
