#pragma once
// The element tree: everything drawn in the editor apart from the banner and
// the tooltip. Elements are created by the layout script on the
// user-interface thread before the render task starts; the Manager owns and
// deletes them. Pointer and key operations, Idle and drawing all run on the
// render thread (input reaches it through the Manager's input queue).

#include "gui/Geometry.h"

namespace QX {

class Manager;
class Group;
class Font;

// What a hit test reports: the control under the point, or, while the
// pointer is tracked for hovering, also the innermost group whose own box
// holds it when no control does.
enum class HitMode { kControls, kControlsAndGroups };

class UIElement {
public:
    // Appends the element to the Manager's list, which owns it.
    explicit UIElement(Manager* manager);
    virtual ~UIElement() = default;
    UIElement(const UIElement&) = delete;
    UIElement& operator=(const UIElement&) = delete;

    virtual void Idle() {}
    virtual void Draw() {}
    virtual void DrawOverlay() {}
    virtual void UnionBounds(Box& /*box*/) {}
    virtual void MouseDown(Point /*p*/, int /*modifiers*/, int /*clickCount*/) {}
    virtual void MouseDrag(Point /*p*/, int /*modifiers*/) {}
    virtual void MouseUp(Point /*p*/, int /*modifiers*/) {}
    virtual void MouseEnter() {}
    virtual void MouseLeave() {}
    virtual UIElement* HitTest(Point /*p*/, HitMode /*mode*/) { return nullptr; }
    virtual void Layout() {}
    virtual void PostLayout() {}
    // Draws into the cached layer.
    virtual void DrawStatic(Font* /*font*/) {}
    virtual bool KeyDown(int /*character*/, int /*mappedCharacter*/, int /*virtualKey*/) {
        return false;
    }
    virtual void FocusLost() {}
    virtual void SetVisible(bool v) { visible = v; }

    // The box united into an empty one, moved by every enclosing group.
    Box AbsoluteBox();

    Manager* manager;
    Group* parent = nullptr;
    bool visible = true;
    Box box;
};

class ControlBase : public UIElement {
public:
    using UIElement::UIElement;
    void UnionBounds(Box& b) override { b.Unite(box); }
    // Itself when the point is inside the box (edges included), whatever
    // its visibility.
    UIElement* HitTest(Point p, HitMode /*mode*/) override {
        return box.Contains(p) ? this : nullptr;
    }

    bool stepped = false;
};

}  // namespace QX
