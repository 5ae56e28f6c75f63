#pragma once
// Knobs: controls dragged vertically to change a continuous parameter. A
// knob keeps only its geometry and gesture state; every knob of one look is
// drawn by one renderer (KnobRenderers.h), which holds one vertex array for
// all of them.
//
// Gestures, Idle and drawing run on the render thread; gestures change the
// parameter only through Control::SetPosition / SetValue.

#include "gui/Control.h"

namespace QX {

class ArcKnobRenderer;
class TexturedKnobRenderer;

// The gestures both knob looks share:
//   Alt + double-click    the plain value 0 (the minimum when 0 is outside)
//   Alt or double-click   the default
//   plain click           a 0..1 switch toggles; anything else waits for a drag
//   vertical drag         0.005 of the range per unit, 0.0005 with Shift;
//                         Control snaps to whole plain values
class Knob : public Control {
public:
    Knob(Manager* manager, int parameterIndex, float x, float y, float size);

    void MouseDown(Point p, int modifiers, int clickCount) override;
    void MouseDrag(Point p, int modifiers) override;

    float sensitivity = 0.005f;
    float fineSensitivity = 0.0005f;
    int instance = -1;
    float colour[4] = {1, 1, 1, 1};
    Point dragStart;
    float dragStartPosition = 0;
};

// A lit value arc and a pointer over a quiet track, cut out of the atlas.
class ArcKnob : public Knob {
public:
    ArcKnob(Manager* manager, ArcKnobRenderer* renderer, int parameterIndex, float x, float y,
            float size);

    // [render-thread] Position, geometry and the highlight of an edit in
    // progress.
    void Idle() override;
    void Layout() override;
    void SetVisible(bool v) override;

    ArcKnobRenderer* renderer;
    // 0..1, rises while this knob's parameter is being edited.
    float highlight = 0;
};

// A textured cap turned from -135 to +135 degrees.
class PlexKnob : public Knob {
public:
    PlexKnob(Manager* manager, TexturedKnobRenderer* renderer, int parameterIndex, float x, float y,
             float size);

    void Idle() override;
    void Layout() override;
    void SetVisible(bool v) override;

    TexturedKnobRenderer* renderer;
};

}  // namespace QX
