#include "TestLayout.h"

#include <cstdio>

#include "GL.h"
#include "gui/Control.h"
#include "gui/Font.h"
#include "gui/Group.h"
#include "gui/Label.h"
#include "plugin/ParameterTable.h"

namespace editortest {

namespace {

std::vector<QX::FontCandidate> fontCandidates(int size) {
    // Windows' own font first, then what Linux (and a test's Wine prefix)
    // has.
    return {{"verdana.ttf", size}, {"DejaVuSans.ttf", size}};
}

// A parameter control that shows its value as a bar filling its box from
// the bottom, and is dragged vertically (absolute position).
class ValueBar : public QX::Control {
public:
    ValueBar(QX::Manager* manager, int index, float x, float y, float w, float h)
        : QX::Control(manager, index) {
        box = QX::Box::Make(x, y, x + w, y + h);
    }
    void MouseDown(QX::Point p, int modifiers, int clickCount) override {
        QX::Control::MouseDown(p, modifiers, clickCount);
        MouseDrag(p, modifiers);
    }
    void MouseDrag(QX::Point p, int /*modifiers*/) override {
        const QX::Box b = AbsoluteBox();
        float at = (p.y - b.minY) / b.Height();
        at = at < 0 ? 0 : at > 1 ? 1 : at;
        position = at;
        SetPosition(position);
    }
    void Draw() override {
        if (!visible)
            return;
        const QX::Box b = AbsoluteBox();
        glColor4f(0.1f, 0.1f, 0.12f, 1);
        glRectf(b.minX, b.minY, b.maxX, b.maxY);
        glColor4f(0.3f, 0.7f, 1.0f, 1);
        glRectf(b.minX + 3, b.minY + 3, b.maxX - 3, b.minY + 3 + (b.Height() - 6) * position);
    }
};

// Reports every pointer call it gets, in design units, so tests can check
// what reached the element tree.
class InputProbe : public QX::ControlBase {
public:
    InputProbe(QX::Manager* manager, float x, float y, float size) : QX::ControlBase(manager) {
        box = QX::Box::Make(x, y, x + size, y + size);
    }
    void MouseDown(QX::Point p, int modifiers, int clickCount) override {
        report("down", p, modifiers, clickCount);
    }
    void MouseDrag(QX::Point p, int modifiers) override { report("drag", p, modifiers, 0); }
    void MouseUp(QX::Point p, int modifiers) override { report("up", p, modifiers, 0); }
    void Draw() override {
        const QX::Box b = AbsoluteBox();
        glColor4f(0.8f, 0.4f, 0.1f, 1);
        glRectf(b.minX, b.minY, b.maxX, b.maxY);
    }

private:
    static void report(const char* what, QX::Point p, int modifiers, int clicks) {
        std::printf("probe %s %.1f %.1f modifiers 0x%x clicks %d\n", what, p.x, p.y, modifiers,
                    clicks);
        std::fflush(stdout);
    }
};

}  // namespace

void TestLayout::GetWindowSize(int& width, int& height) {
    width = kWidth;
    height = kHeight;
}

void TestLayout::CreateUI(QX::Manager& manager) {
    manager.mainFont = QX::CreateFont(fontCandidates(12)).release();
    manager.labelFont = QX::CreateFont(fontCandidates(11)).release();
    manager.textFieldFont = QX::CreateFont(fontCandidates(11)).release();
    for (int i = 0; i < 3; ++i)
        manager.clearColour[i] = kClearColour[i];
    manager.drawOverlays = true;
    manager.AddDefaultInfoTexts();
    manager.SetBannerPosition(static_cast<float>(kHeight) - 28);

    const float margins[4] = {10, 4, 10, 10};
    auto* group = new QX::NamedGroup(&manager, "Adjust", margins);
    auto* first = new QX::Label(&manager, "Output Level", kGroupChildrenX0, 180, 1, 150, 24);
    auto* second = new QX::Label(&manager, "Phase", kGroupChildrenX0, 120, 1, 150, 24);
    second->backgroundColour[0] = 0.8f;
    second->backgroundColour[1] = 0.9f;
    second->backgroundColour[2] = 1.0f;
    auto* third = new QX::Label(&manager, "MIDI", kGroupChildrenX0, kGroupChildrenY0, 1, 0, 0);
    group->Add(first);
    group->Add(second);
    group->Add(third);
    manager.root->Add(group);

    auto* bars = new QX::NamedGroup(&manager, "Level", margins);
    bars->Add(new ValueBar(&manager, kParamOutputLevel, kBarX, kBarY, kBarWidth, kBarHeight));
    manager.root->Add(bars);
    manager.root->Add(new InputProbe(&manager, kProbeX, kProbeY, kProbeSize));
}

}  // namespace editortest
