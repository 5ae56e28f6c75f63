#include "gui/Effect.h"

#include "gui/Manager.h"

namespace QX {

Effect::Effect(Manager* owner) : manager(owner) {
    if (manager != nullptr) {
        manager->effects.push_back(this);
    }
}

}  // namespace QX
