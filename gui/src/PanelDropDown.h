#pragma once
// A drop-down list of the panel: a field showing the chosen entry with an
// arrow button. A press opens the list below the field, which then takes
// all input: dragging into it and letting go over an entry, a click on an
// entry, Return or Space choose; a click elsewhere or Escape closes it
// unchanged. Closed, Up/Down step the choice. Each choice made here is told
// to the procedure.

#include "PanelControl.h"

namespace QX {

class PanelDropDown : public PanelItemControl {
public:
    using PanelItemControl::PanelItemControl;

    // The template's height includes the open list; the field is shorter.
    void Place(const PanelLayout& layout) override;
    PanelEvent MouseDown(Point p, int clickCount, Font* measure) override;
    void MouseMove(Point p) override;
    void MouseDrag(Point p) override;
    PanelEvent MouseUp(Point p) override;
    void Wheel(Point p, int rows) override;
    PanelEvent Key(int character) override;
    bool HoldsInput() const override { return open_; }
    void Draw(PanelPainter& painter, bool focused, double seconds) override;
    void DrawOver(PanelPainter& painter) override;

private:
    // The open list's rows, box and the entry under `p` (-1: none).
    int ListRows() const;
    Box ListBox() const;
    int ListRowAt(Point p) const;
    void Open();
    PanelEvent Close(bool confirm);

    bool open_ = false;
    int hot_ = -1;          // the entry marked in the open list
    int top_ = 0;           // its first entry shown
    bool pressed_ = false;  // the press that opened it is still held
    bool dragged_ = false;
};

}  // namespace QX
