#include "gui/PropertyDialogModel.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "plugin/Properties.h"
#include "plugin/ZephAuBase.h"

namespace QX {

PropertyDialogModel::PropertyDialogModel(ZephAuBase& plugin, std::uint32_t propertyId,
                                         std::string prompt)
    : plugin_(plugin), propertyId_(propertyId), prompt_(std::move(prompt)) {
    text_ = ReadProperty(plugin_, propertyId_);
}

std::string PropertyDialogModel::ReadProperty(ZephAuBase& plugin, std::uint32_t propertyId) {
    std::uint32_t size = 0;
    bool writable = false;
    if (plugin.GetPropertyInfo(propertyId, kAudioUnitScope_Global, 0, &size, &writable) != 0)
        return {};
    // One byte more than the plug-in asks for: its text ends at the first
    // zero or at the size it gave, whichever comes first.
    std::vector<char> buffer(static_cast<std::size_t>(size) + 1, '\0');
    if (plugin.GetProperty(propertyId, kAudioUnitScope_Global, 0, buffer.data()) != 0)
        return {};
    buffer.back() = '\0';
    return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

std::int32_t PropertyDialogModel::Write(const std::string& text) {
    const std::string written = text.substr(0, std::min(text.size(), kMaxLength));
    return plugin_.setPropertyAndNotify(propertyId_, written.c_str(),
                                        static_cast<std::uint32_t>(written.size() + 1));
}

}  // namespace QX
