#include "gui/Control.h"

#include <algorithm>
#include <cmath>

#include "plugin/ParameterTable.h"
#include "plugin/ZephCorvaneBase.h"

namespace QX {
namespace {

// The table's unit numbering has MIDI note numbers at 11.
constexpr int kUnitMidiNoteNumber = 11;

bool IsStepped(int type) {
    return type == kUnitIndexed || type == kUnitBoolean || type == kUnitMidiNoteNumber ||
           type == kUnitBeats;
}

// The exponential scale needs a range on one side of zero.
bool IsExponential(const ParameterInfo& info) {
    return info.type == kUnitHertz && info.minimum > 0 && info.maximum > 0;
}

}  // namespace

Control::Control(Manager* owner, int parameterIndex) : ControlBase(owner) {
    if (parameterIndex >= 0 &&
        static_cast<std::size_t>(parameterIndex) < owner->parameterInfo.size()) {
        info = owner->parameterInfo[static_cast<std::size_t>(parameterIndex)];
    } else {
        // A layout naming a parameter the plug-in lacks gets an inert
        // control rather than a read outside the table.
        info.index = parameterIndex;
        info.plugin = nullptr;
    }
    stepped = IsStepped(info.type);
}

float Control::Value() const {
    if (info.plugin == nullptr) {
        return info.minimum;
    }
    return info.plugin->getParameterNative(info.index);
}

void Control::Idle() {
    position = PositionOfValue(Value());
}

float Control::PositionOfValue(float value) const {
    if (info.maximum == info.minimum) {
        return 0;
    }
    if (IsExponential(info)) {
        if (value <= 0) {
            return 0;
        }
        return std::log(value / info.minimum) / std::log(info.maximum / info.minimum);
    }
    return (value - info.minimum) / (info.maximum - info.minimum);
}

float Control::ValueOfPosition(float p) const {
    if (IsExponential(info)) {
        return info.minimum * std::pow(info.maximum / info.minimum, p);
    }
    const float value = info.minimum + (info.maximum - info.minimum) * p;
    if (info.type == kUnitIndexed || info.type == kUnitBeats) {
        return std::floor(value + 0.5f);
    }
    return value;
}

void Control::SetPosition(float& p) {
    float value;
    if (stepped) {
        value = std::floor((info.maximum - info.minimum) * p + info.minimum + 0.5f);
        p = info.maximum == info.minimum ? 0
                                         : (value - info.minimum) / (info.maximum - info.minimum);
    } else {
        value = ValueOfPosition(p);
    }
    value = std::clamp(value, std::min(info.minimum, info.maximum),
                       std::max(info.minimum, info.maximum));
    if (info.plugin != nullptr) {
        manager->SetParameterFromEditor(info.index, value);
    }
}

void Control::SetValue(float value) {
    value = std::clamp(value, std::min(info.minimum, info.maximum),
                       std::max(info.minimum, info.maximum));
    if (info.plugin != nullptr) {
        manager->SetParameterFromEditor(info.index, value);
    }
    position = PositionOfValue(value);
}

void Control::MouseDown(Point, int, int) {
    if (info.plugin != nullptr) {
        manager->BeginParameterEdit(info.index);
    }
}

void Control::MouseUp(Point, int) {
    // Exactly once per gesture: a dialog the press opened may have ended
    // the edit already (Manager::CancelGesture).
    int expected = info.index;
    if (manager->editId.compare_exchange_strong(expected, -1) && manager->host != nullptr) {
        manager->host->EndEdit(info.index);
    }
}

void Control::MouseEnter() {
    manager->hoverId = info.index;
    manager->hoverControl = this;
}

void Control::MouseLeave() {
    int expected = info.index;
    manager->hoverId.compare_exchange_strong(expected, -1);
}

}  // namespace QX
