#include "PanelText.h"

#include <cmath>

#include "PanelPainter.h"

namespace QX {

using namespace panelcolour;

void PanelText::Draw(PanelPainter& painter, bool, double) {
    const Box& b = Bounds();
    painter.SetColour(kText);
    painter.Clip(b);
    painter.Text(Text(), b.minX, std::floor(b.maxY - painter.Ascent()));
    painter.Unclip();
}

void PanelGroupBox::Draw(PanelPainter& painter, bool, double) {
    const Box& b = Bounds();
    const float s = Scale();
    const float line = painter.Line();
    const float ascent = painter.Ascent();
    const float top = b.maxY - ascent * 0.5f;
    const Box frame = Box::Make(b.minX, b.minY, b.maxX, top);
    painter.SetColour(kShadow);
    painter.Outline(frame, line);
    painter.SetColour(kHighlight);
    painter.Outline(
        Box::Make(frame.minX + line, frame.minY - line, frame.maxX + line, frame.maxY - line),
        line);
    if (painter.TextFont() && !Text().empty()) {
        // The title interrupts the frame's top edge.
        const float width = painter.Advance(Text());
        painter.SetColour(kFace);
        painter.Fill(
            Box::Make(b.minX + 6 * s, top - 2 * line, b.minX + 10 * s + width, top + 2 * line));
        painter.SetColour(kText);
        painter.Text(Text(), b.minX + 8 * s, std::floor(b.maxY - ascent));
    }
}

}  // namespace QX
