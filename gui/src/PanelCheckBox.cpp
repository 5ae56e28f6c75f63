#include "PanelCheckBox.h"

#include <algorithm>

#include "PanelPainter.h"

namespace QX {

using namespace panelcolour;

namespace {

constexpr float kCheckSize = 13;  // of the square, at scale 1

}  // namespace

void PanelCheckBox::Draw(PanelPainter& painter, bool focused, double) {
    const float s = Scale();
    const float line = painter.Line();
    const Box& b = Bounds();
    const float size = kCheckSize * s;
    const float cy = b.Centre().y;
    const Box square = Box::Make(b.minX, cy - size / 2, b.minX + size, cy + size / 2);
    painter.SetColour(Down() ? kFace : kWindow);
    painter.Fill(square);
    painter.Sunken(square, line);
    if (checked_) {
        painter.SetColour(kText);
        painter.Lines({{square.minX + size * 0.25f, cy},
                       {square.minX + size * 0.42f, square.minY + size * 0.27f},
                       {square.minX + size * 0.75f, square.maxY - size * 0.27f}},
                      2 * s);
    }
    painter.SetColour(kText);
    const float textX = square.maxX + 4 * s;
    painter.Text(Text(), textX, painter.Baseline(b));
    if (focused && painter.TextFont()) {
        painter.SetColour(0, 0, 0, 0.5f);
        const float width = painter.Advance(Text());
        painter.Outline(Box::Make(textX - 2 * s, b.minY, textX + width + 2 * s, b.maxY),
                        std::max(0.5f, s * 0.5f));
    }
}

}  // namespace QX
