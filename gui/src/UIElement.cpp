#include "gui/UIElement.h"

#include "gui/Group.h"
#include "gui/Manager.h"

namespace QX {

UIElement::UIElement(Manager* owner) : manager(owner) {
    if (manager != nullptr) {
        manager->elements.push_back(this);
    }
}

Box UIElement::AbsoluteBox() {
    Box absolute;
    UnionBounds(absolute);
    for (const Group* group = parent; group != nullptr; group = group->parent) {
        absolute.Move(group->offset[0], group->offset[1], group->offset[2]);
    }
    return absolute;
}

}  // namespace QX
