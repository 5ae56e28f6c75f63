#include "gui/Dialogs.h"

// The editor opens its dialogs through these; until the dialogs exist the
// controls that ask for them do nothing.

namespace QX {

void ShowAboutDialog(Manager& /*manager*/) {}

void ShowPropertyDialog(Manager& /*manager*/, std::uint32_t /*propertyId*/,
                        const std::string& /*prompt*/) {}

void ShowMidiBrowser(Manager& /*manager*/) {}

}  // namespace QX
