#pragma once
// The panel's controls that only show text: a static text and a group box
// (a frame with its title over the top edge). Neither takes the focus.

#include "PanelControl.h"

namespace QX {

class PanelText : public PanelControl {
public:
    using PanelControl::PanelControl;

    bool Focusable() const override { return false; }
    void Draw(PanelPainter& painter, bool focused, double seconds) override;
};

class PanelGroupBox : public PanelControl {
public:
    using PanelControl::PanelControl;

    bool Focusable() const override { return false; }
    void Draw(PanelPainter& painter, bool focused, double seconds) override;
};

}  // namespace QX
