#include "PanelButton.h"

#include <algorithm>

#include "PanelPainter.h"

namespace QX {

using platform::DialogEvent;
using namespace panelcolour;

PanelEvent PanelButton::MouseDown(Point, int, Font*) {
    pressed_ = true;
    inside_ = true;
    return {};
}

void PanelButton::MouseDrag(Point p) {
    if (pressed_)
        inside_ = Bounds().Contains(p);
}

PanelEvent PanelButton::MouseUp(Point p) {
    const bool click = Down() && Bounds().Contains(p);
    Release();
    if (!click)
        return {};
    Clicked();
    return DialogEvent::kClicked;
}

void PanelButton::Release() {
    pressed_ = false;
    inside_ = false;
}

PanelEvent PanelButton::Key(int character) {
    if (character != ' ')
        return {};
    Clicked();
    return DialogEvent::kClicked;
}

bool PanelButton::TakesReturn() const {
    return Kind() == DialogControlKind::kPushButton;
}

void PanelButton::Draw(PanelPainter& painter, bool focused, double) {
    const float s = Scale();
    const float line = painter.Line();
    const Box& b = Bounds();
    const bool down = Down();
    painter.SetColour(kFace);
    painter.Fill(b);
    Box face = b;
    if (Kind() == DialogControlKind::kDefaultPushButton || focused) {
        painter.SetColour(kText);
        painter.Outline(b, line);
        face = Inset(b, line);
    }
    if (down) {
        painter.SetColour(kShadow);
        painter.Outline(face, line);
    } else {
        painter.Raised(face, line);
    }
    const float shift = down ? line : 0;
    if (painter.TextFont()) {
        const float width = painter.Advance(Text());
        painter.SetColour(kText);
        painter.Clip(face);
        painter.Text(Text(), b.Centre().x - width / 2 + shift, painter.Baseline(b) - shift);
        painter.Unclip();
    }
    if (focused) {
        painter.SetColour(0, 0, 0, 0.5f);
        painter.Outline(Inset(face, 3 * line), std::max(0.5f, s * 0.5f));
    }
}

}  // namespace QX
