#pragma once
// An element bound to one plug-in parameter.

#include "gui/Manager.h"
#include "gui/UIElement.h"

namespace QX {

class Control : public ControlBase {
public:
    Control(Manager* manager, int parameterIndex);

    // Refreshes `position` from the parameter's current value.
    void Idle() override;
    // Begin and end the host edit of the parameter (a gesture).
    void MouseDown(Point p, int modifiers, int clickCount) override;
    void MouseUp(Point p, int modifiers) override;
    void MouseEnter() override;
    void MouseLeave() override;

    // The single way a control changes its parameter: stepped controls snap
    // to whole values (and `position` to the snapped place), the value is
    // clamped and set through the plug-in with host notification.
    void SetPosition(float& position);
    // Position of a plain value on this parameter's scale.
    float PositionOfValue(float value) const;
    // Plain value of a position (linear, exponential for type 8, whole for
    // types 1 and 23).
    float ValueOfPosition(float position) const;
    // Sets a plain value, clamped, with host notification, and refreshes
    // `position`.
    void SetValue(float value);
    float Value() const;

    ParameterInfo info;
    float position = 0;
};

}  // namespace QX
