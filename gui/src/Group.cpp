#include "gui/Group.h"

#include <cmath>

#include "GL.h"
#include "gui/Font.h"
#include "gui/Manager.h"
#include "gui/StaticText.h"

namespace QX {

// ---- Group ------------------------------------------------------------------------------

Group::Group(Manager* owner) : UIElement(owner) {}

void Group::Idle() {
    for (UIElement* child : children) {
        child->Idle();
    }
}

void Group::DrawChildren() {
    glPushMatrix();
    glTranslatef(offset[0], offset[1], offset[2]);
    for (UIElement* child : children) {
        child->Draw();
    }
    glPopMatrix();
}

void Group::DrawChildrenOverlay() {
    glPushMatrix();
    glTranslatef(offset[0], offset[1], offset[2]);
    for (UIElement* child : children) {
        child->DrawOverlay();
    }
    glPopMatrix();
}

// A hidden group draws nothing, as it is never hit: its children were
// hidden with it, but one the script showed again on its own would
// otherwise float without its frame.
void Group::Draw() {
    if (visible) {
        DrawChildren();
    }
}

void Group::DrawOverlay() {
    if (visible) {
        DrawChildrenOverlay();
    }
}

void Group::UnionBounds(Box& bounds) {
    Box united;
    for (UIElement* child : children) {
        child->UnionBounds(united);
    }
    if (united.Empty()) {
        return;
    }
    united.Move(offset[0], offset[1], offset[2]);
    bounds.Unite(united);
}

UIElement* Group::HitTest(Point p, HitMode mode) {
    if (!visible) {
        return nullptr;
    }
    const Point inner{p.x - offset[0], p.y - offset[1]};
    for (UIElement* child : children) {
        if (UIElement* hit = child->HitTest(inner, mode)) {
            return hit;
        }
    }
    if (mode == HitMode::kControlsAndGroups && box.Contains(p)) {
        return this;
    }
    return nullptr;
}

void Group::SetVisible(bool v) {
    visible = v;
    for (UIElement* child : children) {
        child->SetVisible(v);
    }
}

void Group::Add(UIElement* element) {
    if (element == nullptr) {
        return;
    }
    children.push_back(element);
    element->parent = this;
    element->SetVisible(visible);
}

void Group::SetPosition(float x, float y) {
    offset[0] = x;
    offset[1] = y;
    offset[2] = 0;
}

// ---- NamedGroup ----------------------------------------------------------------------------

namespace {

constexpr float kFade = 0.15f;
constexpr float kSettled = 1.0f / 255.0f;

void CopyColour(float* to, const float* from) {
    for (int i = 0; i < 4; ++i) {
        to[i] = from[i];
    }
}

}  // namespace

NamedGroup::NamedGroup(Manager* owner, const std::string& title, const float groupMargins[4])
    : Group(owner), name(title) {
    for (int i = 0; i < 4; ++i) {
        margins[i] = groupMargins != nullptr ? groupMargins[i] : 0;
    }
    CopyColour(colour, owner->groupInactiveColour);
    CopyColour(targetColour, owner->groupInactiveColour);
}

void NamedGroup::UnionBounds(Box& bounds) {
    Box united;
    Group::UnionBounds(united);
    if (united.Empty()) {
        return;
    }
    united.maxY += margins[0];
    united.minY -= margins[1];
    united.minX -= margins[2];
    united.maxX += margins[3];
    bounds.Unite(united);
}

void NamedGroup::MouseEnter() {
    CopyColour(targetColour, manager->groupActiveColour);
    manager->KeepAnimating();
}

void NamedGroup::MouseLeave() {
    CopyColour(targetColour, manager->groupInactiveColour);
    manager->KeepAnimating();
}

void NamedGroup::Layout() {
    // The frame in the frame Draw() is called in (the parent group's); the
    // name in design coordinates, where titleText draws. They are the same
    // for a group placed directly in the root.
    Box frame;
    UnionBounds(frame);
    box = frame;
    const Box absolute = AbsoluteBox();

    float titleWidth = 0;
    Font* font = manager->mainFont;
    if (font != nullptr && manager->titleText != nullptr) {
        const float h = font->LineHeight();
        const float d = font->Descender();
        const float x = absolute.minX + 10;
        const float y = absolute.maxY - h * 0.5f - d;
        // Layout runs again when GL starts again: move the entry, keep one.
        if (titleIndex >= 0) {
            manager->titleText->SetText(titleIndex, name, x, y);
        } else {
            titleIndex = manager->titleText->AddText(name, x, y, colour);
        }
        manager->titleText->SetVisible(titleIndex, visible);
        titleWidth = font->Advance(name);
    }
    // Clockwise from the end of the gap's left side; the strip stops where
    // the name ends.
    const float points[6][2] = {
        {frame.minX + 10, frame.maxY}, {frame.minX, frame.maxY},
        {frame.minX, frame.minY},      {frame.maxX, frame.minY},
        {frame.maxX, frame.maxY},      {frame.minX + 10 + titleWidth, frame.maxY}};
    for (int i = 0; i < 6; ++i) {
        outline[2 * i] = points[i][0];
        outline[2 * i + 1] = points[i][1];
    }
}

void NamedGroup::Draw() {
    if (!visible) {
        return;
    }
    DrawChildren();

    bool moving = false;
    for (int i = 0; i < 4; ++i) {
        colour[i] = targetColour[i] * kFade + colour[i] * (1 - kFade);
        moving = moving || std::fabs(targetColour[i] - colour[i]) > kSettled;
    }
    if (moving) {
        manager->KeepAnimating();
    }

    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4fv(colour);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, outline);
    glDrawArrays(GL_LINE_STRIP, 0, 6);
    glPopClientAttrib();
    glPopAttrib();
}

void NamedGroup::SetVisible(bool v) {
    Group::SetVisible(v);
    if (manager->mainFont != nullptr && manager->titleText != nullptr && titleIndex >= 0) {
        manager->titleText->SetVisible(titleIndex, v);
    }
}

}  // namespace QX
