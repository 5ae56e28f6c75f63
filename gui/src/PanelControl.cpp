#include "PanelControl.h"

namespace QX {

namespace {

constexpr int kRowUnits = 8;  // height of a list's entry

}  // namespace

PanelControl::PanelControl(const DialogControlTemplate& entry) : entry_(entry), text_(entry.text) {}

PanelControl::~PanelControl() = default;

void PanelControl::Place(const PanelLayout& layout) {
    box_ = layout.Place(entry_.x, entry_.y, entry_.width, entry_.height);
    scale_ = layout.scale;
    unitY_ = layout.unitY;
}

const std::vector<std::string>& PanelControl::Items() const {
    static const std::vector<std::string> none;
    return none;
}

PanelEvent PanelControl::MouseDown(Point, int, Font*) {
    return {};
}

void PanelItemControl::SelectItem(int index) {
    selected_ = index >= 0 && index < Count() ? index : -1;
}

float PanelItemControl::RowHeight() const {
    return static_cast<float>(kRowUnits) * UnitY();
}

}  // namespace QX
