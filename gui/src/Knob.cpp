#include "gui/Knob.h"

#include <algorithm>
#include <cmath>

#include "gui/KnobRenderers.h"
#include "platform/ManagerPlatformBridge.h"

namespace QX {

namespace {

// A full turn of an arc knob is 270 degrees, of a plex knob -135..+135.
constexpr float kArcSweep = 4.712389f;
constexpr float kPlexHalfSweep = 2.3561945f;

float clamp01(float p) {
    return std::min(1.0f, std::max(0.0f, p));
}

}  // namespace

// ---- Knob ------------------------------------------------------------------------

Knob::Knob(Manager* owner, int parameterIndex, float x, float y, float size)
    : Control(owner, parameterIndex) {
    box = Box::Make(x, y, x + size, y + size);
}

void Knob::MouseDown(Point p, int modifiers, int clickCount) {
    // The host hears of the gesture before any value it brings, so that a
    // host recording automation files the change under this gesture.
    Control::MouseDown(p, modifiers, clickCount);
    const bool alt = (modifiers & kModifierAlt) != 0;
    const bool doubleClick = clickCount >= 2;
    if (alt && doubleClick) {
        SetValue(0.0f);
    } else if (alt || doubleClick) {
        SetValue(info.defaultValue);
    } else if (stepped && info.minimum == 0.0f && info.maximum == 1.0f) {
        SetValue(1.0f - Value());
    }
    // The drag starts from the parameter as it is now: the host may have
    // moved it since the last frame refreshed `position`.
    position = PositionOfValue(Value());
    dragStart = p;
    dragStartPosition = position;
}

void Knob::MouseDrag(Point p, int modifiers) {
    const float rate = (modifiers & kModifierShift) ? fineSensitivity : sensitivity;
    float at = clamp01((p.y - dragStart.y) * rate + dragStartPosition);
    const float range = info.maximum - info.minimum;
    if ((modifiers & kModifierControl) && range != 0.0f)
        at = (std::floor(range * at + info.minimum + 0.5f) - info.minimum) / range;
    position = at;
    SetPosition(position);
}

// ---- ArcKnob -----------------------------------------------------------------------

ArcKnob::ArcKnob(Manager* owner, ArcKnobRenderer* knobRenderer, int parameterIndex, float x,
                 float y, float size)
    : Knob(owner, parameterIndex, x, y, size), renderer(knobRenderer) {
    if (renderer)
        instance = renderer->AddInstance();
}

void ArcKnob::Layout() {
    if (!renderer)
        return;
    const Box b = AbsoluteBox();
    renderer->SetPlacement(instance, b.Centre(), b.Width() * 0.5f);
}

void ArcKnob::Idle() {
    Control::Idle();
    if (!renderer)
        return;
    renderer->SetAngle(instance, clamp01(position) * kArcSweep);

    const float target = manager->editId == info.index ? 1.0f : 0.0f;
    highlight += (target - highlight) * 0.3f;
    if (std::fabs(target - highlight) < 0.003921569f)
        highlight = target;
    else
        manager->KeepAnimating();
    const float boost = 1 + 0.25f * highlight;
    const float shown[4] = {colour[0] * boost, colour[1] * boost, colour[2] * boost, colour[3]};
    renderer->SetColour(instance, shown);
}

void ArcKnob::SetVisible(bool v) {
    Knob::SetVisible(v);
    if (renderer)
        renderer->SetActive(instance, v);
}

// ---- PlexKnob ----------------------------------------------------------------------

PlexKnob::PlexKnob(Manager* owner, TexturedKnobRenderer* knobRenderer, int parameterIndex, float x,
                   float y, float size)
    : Knob(owner, parameterIndex, x, y, size), renderer(knobRenderer) {
    if (info.type == 10)
        stepped = true;
    if (renderer)
        instance = renderer->AddInstance();
}

void PlexKnob::Layout() {
    if (!renderer)
        return;
    const Box b = AbsoluteBox();
    renderer->SetPlacement(instance, b.Centre(), b.Width() * 0.5f);
}

void PlexKnob::Idle() {
    Control::Idle();
    if (renderer)
        renderer->SetAngle(instance, (2 * clamp01(position) - 1) * kPlexHalfSweep);
}

void PlexKnob::SetVisible(bool v) {
    Knob::SetVisible(v);
    if (renderer)
        renderer->SetActive(instance, v);
}

}  // namespace QX
