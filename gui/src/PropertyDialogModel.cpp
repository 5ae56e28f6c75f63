#include "gui/PropertyDialogModel.h"

#include <algorithm>

#include "plugin/PropertyReads.h"
#include "plugin/ZephAuBase.h"

namespace QX {

PropertyDialogModel::PropertyDialogModel(ZephAuBase& plugin, std::uint32_t propertyId,
                                         std::string prompt)
    : plugin_(plugin), propertyId_(propertyId), prompt_(std::move(prompt)) {
    text_ = ReadProperty(plugin_, propertyId_);
}

std::string PropertyDialogModel::ReadProperty(ZephAuBase& plugin, std::uint32_t propertyId) {
    return prop::readText(plugin, propertyId);
}

std::int32_t PropertyDialogModel::Write(const std::string& text) {
    const std::string written = text.substr(0, std::min(text.size(), kMaxLength));
    return plugin_.setPropertyAndNotify(propertyId_, written.c_str(),
                                        static_cast<std::uint32_t>(written.size() + 1));
}

}  // namespace QX
