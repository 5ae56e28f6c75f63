#pragma once
// Groups hold elements (without owning them) and move them by an offset;
// named groups draw a frame with their name in a gap of its top edge.

#include <string>
#include <vector>

#include "gui/UIElement.h"

namespace QX {

class Group : public UIElement {
public:
    explicit Group(Manager* manager);

    void Idle() override;
    void Draw() override;
    void DrawOverlay() override;
    void UnionBounds(Box& box) override;
    // Hidden groups hide their children; with kControlsAndGroups, the
    // group itself when no child is hit and the point is in its own box.
    UIElement* HitTest(Point p, HitMode mode) override;
    void SetVisible(bool v) override;

    // Appends, sets the parent and gives the child the group's visibility.
    void Add(UIElement* element);
    void SetPosition(float x, float y);

    std::vector<UIElement*> children;
    float offset[3] = {0, 0, 0};

protected:
    void DrawChildren();
    void DrawChildrenOverlay();
};

// Named groups take their hovered and resting colours from their Manager
// (groupActiveColour, groupInactiveColour), which the layout script may set.
class NamedGroup : public Group {
public:
    // margins: top, bottom, left, right.
    NamedGroup(Manager* manager, const std::string& name, const float margins[4]);

    void Draw() override;
    void UnionBounds(Box& box) override;
    void MouseEnter() override;
    void MouseLeave() override;
    // Builds the frame and places the name (render thread, once).
    void Layout() override;
    void SetVisible(bool v) override;

    std::string name;
    float margins[4];
    float colour[4];
    float targetColour[4];
    int titleIndex = -1;
    float outline[12] = {};
};

}  // namespace QX
