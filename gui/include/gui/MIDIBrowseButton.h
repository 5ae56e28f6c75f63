#pragma once
// The "Browse" button beside the test input's MIDI source: a press opens the
// MIDI Browser, whose OK makes the chosen device the source (the property
// the button names, 64100 in the plug-in's layout).

#include <cstdint>
#include <string>
#include <vector>

#include "gui/Buttons.h"

namespace QX {

class MIDIBrowseButton : public PlexButton {
public:
    MIDIBrowseButton(Manager* manager, const std::string& caption, std::uint32_t propertyId,
                     float x, float y, float width, float height, int infoId);

    std::uint32_t propertyId;
    // The dialog's window while it is shown, and the device names it
    // listed; both belong to the dialog, which fills and clears them.
    void* dialog = nullptr;
    std::vector<std::string> deviceNames;

private:
    static void Pressed(Button* button, void* context);
};

}  // namespace QX
