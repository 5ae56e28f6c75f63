#include "gui/MIDIBrowseButton.h"

#include "gui/Dialogs.h"
#include "gui/Manager.h"

namespace QX {

MIDIBrowseButton::MIDIBrowseButton(Manager* owner, const std::string& caption,
                                   std::uint32_t property, float x, float y, float width,
                                   float height, int infoId)
    : PlexButton(owner, caption, &MIDIBrowseButton::Pressed, nullptr, x, y, width, height, infoId),
      propertyId(property) {}

void MIDIBrowseButton::Pressed(Button* button, void* /*context*/) {
    // Modal: returns when the dialog has closed and its choice is written.
    ShowMidiBrowser(*button->manager);
}

}  // namespace QX
