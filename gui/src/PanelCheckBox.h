#pragma once
// A check box of the panel: a button whose click turns its mark on or off
// before the procedure hears of it.

#include "PanelButton.h"

namespace QX {

class PanelCheckBox : public PanelButton {
public:
    using PanelButton::PanelButton;

    bool Checked() const override { return checked_; }
    void SetChecked(bool checked) override { checked_ = checked; }
    void Draw(PanelPainter& painter, bool focused, double seconds) override;

protected:
    void Clicked() override { checked_ = !checked_; }

private:
    bool checked_ = false;
};

}  // namespace QX
