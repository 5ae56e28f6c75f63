#pragma once
// A push button of the panel (the default one framed, pressed by Return
// wherever the focus is). It clicks when let go over itself or on Space;
// a plain push button with the focus also takes Return.

#include "PanelControl.h"

namespace QX {

class PanelButton : public PanelControl {
public:
    using PanelControl::PanelControl;

    PanelEvent MouseDown(Point p, int clickCount, Font* measure) override;
    void MouseDrag(Point p) override;
    PanelEvent MouseUp(Point p) override;
    void Release() override;
    PanelEvent Key(int character) override;
    bool TakesReturn() const override;
    void Draw(PanelPainter& painter, bool focused, double seconds) override;

protected:
    // What a click does besides telling the procedure.
    virtual void Clicked() {}
    // Held down with the pointer over it.
    bool Down() const { return pressed_ && inside_; }

private:
    bool pressed_ = false;
    bool inside_ = false;
};

}  // namespace QX
