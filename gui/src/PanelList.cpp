#include "PanelList.h"

#include <algorithm>
#include <cmath>

#include "PanelPainter.h"

namespace QX {

using platform::DialogEvent;
using namespace panelcolour;

void PanelList::SelectItem(int index) {
    PanelItemControl::SelectItem(index);
    KeepVisible();
}

PanelEvent PanelList::MouseDown(Point p, int clickCount, Font*) {
    if (HasScrollBar() && ScrollBar().Contains(p)) {
        const Box bar = ScrollBar();
        const float arrow = bar.Width();
        const Box thumb = Thumb();
        if (p.y >= bar.maxY - arrow) {
            ScrollTo(top_ - 1);
        } else if (p.y <= bar.minY + arrow) {
            ScrollTo(top_ + 1);
        } else if (thumb.Contains(p)) {
            thumbDragged_ = true;
            thumbGrabY_ = p.y;
            thumbGrabTop_ = top_;
        } else {
            const int page = std::max(1, VisibleRows() - 1);
            ScrollTo(top_ + (p.y > thumb.maxY ? -page : page));
        }
        return {};
    }
    const int row = RowAt(p);
    if (row < 0)
        return {};
    Choose(row);
    choosing_ = true;
    if (clickCount >= 2)
        return DialogEvent::kDoubleClicked;
    return {};
}

void PanelList::MouseDrag(Point p) {
    if (thumbDragged_) {
        const Box bar = ScrollBar();
        const float track = bar.Height() - 2 * bar.Width() - Thumb().Height();
        const int hidden = Count() - VisibleRows();
        if (track > 0 && hidden > 0) {
            const float rows = (thumbGrabY_ - p.y) / track * static_cast<float>(hidden);
            ScrollTo(thumbGrabTop_ + static_cast<int>(std::lround(rows)));
        }
    }
    if (choosing_) {
        const int row = RowAt(p);
        if (row >= 0)
            Choose(row);
    }
}

PanelEvent PanelList::MouseUp(Point) {
    Release();
    return {};
}

void PanelList::Release() {
    choosing_ = false;
    thumbDragged_ = false;
}

void PanelList::Wheel(Point p, int rows) {
    if (Bounds().Contains(p))
        ScrollTo(top_ + rows);
}

PanelEvent PanelList::Key(int character) {
    if ((character == 30 || character == 31) && Count() > 0) {
        const int step = character == 30 ? -1 : 1;
        Choose(std::clamp(Selected() < 0 ? 0 : Selected() + step, 0, Count() - 1));
    }
    return {};
}

int PanelList::VisibleRows() const {
    const float inner = Bounds().Height() - 4 * Scale();
    return std::max(1, static_cast<int>(inner / RowHeight()));
}

bool PanelList::HasScrollBar() const {
    return Count() > VisibleRows();
}

Box PanelList::ScrollBar() const {
    const Box inner = Inset(Bounds(), 2 * Scale());
    return Box::Make(inner.maxX - kScrollWidth * Scale(), inner.minY, inner.maxX, inner.maxY);
}

Box PanelList::Thumb() const {
    const Box bar = ScrollBar();
    const float arrow = bar.Width();
    const float track = bar.Height() - 2 * arrow;
    const int count = Count();
    const int rows = VisibleRows();
    if (count <= rows || track <= 0)
        return Box::Make(bar.minX, bar.minY + arrow, bar.maxX, bar.maxY - arrow);
    const float length =
        std::max(arrow * 0.5f, track * static_cast<float>(rows) / static_cast<float>(count));
    const float travel = track - length;
    const float top =
        bar.maxY - arrow - travel * static_cast<float>(top_) / static_cast<float>(count - rows);
    return Box::Make(bar.minX, top - length, bar.maxX, top);
}

int PanelList::RowAt(Point p) const {
    const Box inner = Inset(Bounds(), 2 * Scale());
    if (!inner.Contains(p) || (HasScrollBar() && ScrollBar().Contains(p)))
        return -1;
    const int row = static_cast<int>((inner.maxY - p.y) / RowHeight());
    if (row >= VisibleRows())
        return -1;
    const int index = top_ + row;
    return index < Count() ? index : -1;
}

void PanelList::ScrollTo(int top) {
    const int hidden = Count() - VisibleRows();
    top_ = std::clamp(top, 0, std::max(0, hidden));
}

void PanelList::KeepVisible() {
    const int selected = Selected();
    if (selected < 0)
        return;
    if (selected < top_)
        ScrollTo(selected);
    else if (selected >= top_ + VisibleRows())
        ScrollTo(selected - VisibleRows() + 1);
}

void PanelList::Choose(int index) {
    SetSelected(index);
    KeepVisible();
}

void PanelList::Draw(PanelPainter& painter, bool focused, double) {
    const float s = Scale();
    const float line = painter.Line();
    const Box& b = Bounds();
    painter.SetColour(kWindow);
    painter.Fill(b);
    painter.Sunken(b, line);
    Box inner = Inset(b, 2 * line);
    if (HasScrollBar()) {
        const Box bar = ScrollBar();
        inner.maxX = bar.minX;
        painter.SetColour(0.93f, 0.92f, 0.9f, 1);
        painter.Fill(bar);
        const float arrow = bar.Width();
        const Box up = Box::Make(bar.minX, bar.maxY - arrow, bar.maxX, bar.maxY);
        const Box down = Box::Make(bar.minX, bar.minY, bar.maxX, bar.minY + arrow);
        for (const Box& button : {up, down}) {
            painter.SetColour(kFace);
            painter.Fill(button);
            painter.Raised(button, line);
        }
        painter.SetColour(kText);
        painter.Triangle(up.Centre().x, up.Centre().y, 3.5f * s, false);
        painter.Triangle(down.Centre().x, down.Centre().y, 3.5f * s, true);
        const Box thumb = Thumb();
        painter.SetColour(kFace);
        painter.Fill(thumb);
        painter.Raised(thumb, line);
    }
    const float rows = static_cast<float>(VisibleRows());
    inner.minY = std::max(inner.minY, inner.maxY - rows * RowHeight());
    painter.Rows(Items(), inner, RowHeight(), top_, Selected(), focused);
}

}  // namespace QX
