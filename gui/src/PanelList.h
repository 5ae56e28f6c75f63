#pragma once
// A list of the panel: entries in rows with a scroll bar when they do not
// all fit. Pressing or dragging over an entry chooses it, a double click
// tells the procedure; the scroll bar's arrows, track and thumb, the wheel
// and Up/Down move through it.

#include "PanelControl.h"

namespace QX {

class PanelList : public PanelItemControl {
public:
    using PanelItemControl::PanelItemControl;

    void SelectItem(int index) override;
    PanelEvent MouseDown(Point p, int clickCount, Font* measure) override;
    void MouseDrag(Point p) override;
    PanelEvent MouseUp(Point p) override;
    void Release() override;
    void Wheel(Point p, int rows) override;
    PanelEvent Key(int character) override;
    void Draw(PanelPainter& painter, bool focused, double seconds) override;

private:
    int VisibleRows() const;
    bool HasScrollBar() const;
    Box ScrollBar() const;
    Box Thumb() const;
    // The entry under `p`, -1 when none.
    int RowAt(Point p) const;
    void ScrollTo(int top);
    void KeepVisible();
    void Choose(int index);

    int top_ = 0;            // the first entry shown
    bool choosing_ = false;  // entries follow the pointer
    bool thumbDragged_ = false;
    float thumbGrabY_ = 0;
    int thumbGrabTop_ = 0;
};

}  // namespace QX
