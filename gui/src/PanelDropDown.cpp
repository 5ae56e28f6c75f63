#include "PanelDropDown.h"

#include <algorithm>

#include "PanelPainter.h"

namespace QX {

using platform::DialogEvent;
using namespace panelcolour;

namespace {

constexpr int kFieldUnits = 12;  // height of the field

}  // namespace

void PanelDropDown::Place(const PanelLayout& layout) {
    PanelItemControl::Place(layout);
    const DialogControlTemplate& s = Entry();
    SetBounds(layout.Place(s.x, s.y, s.width, kFieldUnits));
}

PanelEvent PanelDropDown::MouseDown(Point p, int, Font*) {
    if (!open_) {
        Open();
        return {};
    }
    const int row = ListRowAt(p);
    if (row < 0)
        // A click anywhere else closes the list and is used up.
        return Close(false);
    hot_ = row;
    return Close(true);
}

void PanelDropDown::MouseMove(Point p) {
    if (!open_)
        return;
    const int row = ListRowAt(p);
    if (row >= 0)
        hot_ = row;
}

void PanelDropDown::MouseDrag(Point p) {
    if (!open_ || !pressed_)
        return;
    const int row = ListRowAt(p);
    if (row >= 0) {
        hot_ = row;
        dragged_ = true;
    }
}

PanelEvent PanelDropDown::MouseUp(Point p) {
    if (!open_ || !pressed_)
        return {};
    pressed_ = false;
    // Pressed on the field, dragged into the list and let go over an entry:
    // that entry is chosen. Let go without dragging: the list stays open for
    // a click.
    if (dragged_ && ListRowAt(p) >= 0)
        return Close(true);
    return {};
}

void PanelDropDown::Wheel(Point, int rows) {
    if (!open_)
        return;
    const int hidden = Count() - ListRows();
    top_ = std::clamp(top_ + rows, 0, std::max(0, hidden));
}

PanelEvent PanelDropDown::Key(int character) {
    const int count = Count();
    if (open_) {
        switch (character) {
            case 27:
                return Close(false);
            case 13:
            case ' ':
                return Close(hot_ >= 0);
            case 30:
            case 31: {
                if (count == 0)
                    return {};  // no range to move in (clamp's would be empty)
                const int step = character == 30 ? -1 : 1;
                hot_ = std::clamp(hot_ < 0 ? 0 : hot_ + step, 0, count - 1);
                const int rows = ListRows();
                if (hot_ < top_)
                    top_ = hot_;
                else if (hot_ >= top_ + rows)
                    top_ = hot_ - rows + 1;
                return {};
            }
            default:
                return {};
        }
    }
    // An empty list has no range to clamp into: nothing moves.
    if ((character != 30 && character != 31) || count == 0)
        return {};
    const int step = character == 30 ? -1 : 1;
    const int next = std::clamp(Selected() + step, 0, count - 1);
    if (next == Selected())
        return {};
    SetSelected(next);
    return DialogEvent::kSelectionConfirmed;
}

int PanelDropDown::ListRows() const {
    const float room = static_cast<float>(Entry().height - kFieldUnits) * UnitY() - 2 * Scale();
    const int fit = std::max(1, static_cast<int>(room / RowHeight()));
    return std::max(1, std::min(fit, Count()));
}

Box PanelDropDown::ListBox() const {
    const Box& field = Bounds();
    const float rows = static_cast<float>(ListRows());
    return Box::Make(field.minX, field.minY - rows * RowHeight() - 2 * Scale(), field.maxX,
                     field.minY);
}

int PanelDropDown::ListRowAt(Point p) const {
    const Box list = ListBox();
    if (!list.Contains(p))
        return -1;
    const int row = static_cast<int>((list.maxY - Scale() - p.y) / RowHeight());
    const int index = top_ + std::clamp(row, 0, ListRows() - 1);
    return index < Count() ? index : -1;
}

void PanelDropDown::Open() {
    open_ = true;
    hot_ = Selected();
    top_ = 0;
    if (Selected() >= ListRows())
        top_ = Selected() - ListRows() + 1;
    pressed_ = true;
    dragged_ = false;
}

PanelEvent PanelDropDown::Close(bool confirm) {
    open_ = false;
    pressed_ = false;
    dragged_ = false;
    if (!confirm || hot_ < 0)
        return {};
    SetSelected(hot_);
    return DialogEvent::kSelectionConfirmed;
}

void PanelDropDown::Draw(PanelPainter& painter, bool focused, double) {
    const float s = Scale();
    const float line = painter.Line();
    const Box& b = Bounds();
    painter.SetColour(kWindow);
    painter.Fill(b);
    painter.Sunken(b, line);
    const Box inner = Inset(b, 2 * line);
    const float arrowWidth = kScrollWidth * s;
    const Box arrow = Box::Make(inner.maxX - arrowWidth, inner.minY, inner.maxX, inner.maxY);
    const Box field = Box::Make(inner.minX, inner.minY, arrow.minX, inner.maxY);
    // Closed with the focus, the chosen entry is marked.
    const bool marked = focused && !open_;
    if (marked) {
        painter.SetColour(kSelection);
        painter.Fill(Inset(field, line));
    }
    if (Selected() >= 0) {
        painter.SetColour(marked ? kWindow : kText);
        painter.Clip(field);
        painter.Text(Items()[static_cast<std::size_t>(Selected())], field.minX + 2 * s,
                     painter.Baseline(b));
        painter.Unclip();
    }
    painter.SetColour(kFace);
    painter.Fill(arrow);
    painter.Raised(arrow, line);
    painter.SetColour(kText);
    painter.Triangle(arrow.Centre().x, arrow.Centre().y, 3.5f * s, true);
}

void PanelDropDown::DrawOver(PanelPainter& painter) {
    if (!open_)
        return;
    const float s = Scale();
    const Box list = ListBox();
    painter.SetColour(kText);
    painter.Fill(list);
    painter.SetColour(kWindow);
    painter.Fill(Inset(list, s));
    painter.Rows(Items(), Inset(list, s), RowHeight(), top_, hot_, false);
}

}  // namespace QX
