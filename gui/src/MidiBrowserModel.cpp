#include "gui/MidiBrowserModel.h"

#include "platform/MidiInput.h"
#include "plugin/ZephAuBase.h"

namespace QX {

MidiBrowserModel::MidiBrowserModel(ZephAuBase& plugin, std::uint32_t propertyId)
    : plugin_(plugin), propertyId_(propertyId) {
    platform::MidiInputSystem& system = platform::midiInputSystem();
    const int count = system.deviceCount();
    for (int i = 0; i < count; ++i)
        devices_.push_back(system.deviceName(i));
}

bool MidiBrowserModel::Choose(int index) {
    if (index < 0 || index >= static_cast<int>(devices_.size()))
        return false;
    const std::string& name = devices_[static_cast<std::size_t>(index)];
    plugin_.setPropertyAndNotify(propertyId_, name.c_str(),
                                 static_cast<std::uint32_t>(name.size() + 1));
    return true;
}

}  // namespace QX
