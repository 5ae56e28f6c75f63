#include "gui/DialogTemplates.h"

namespace QX {

using K = DialogControlKind;

const DialogControlTemplate* DialogTemplate::Control(int id) const {
    for (const DialogControlTemplate& control : controls) {
        if (control.id == id)
            return &control;
    }
    return nullptr;
}

const DialogTemplate& AboutDialogTemplate() {
    // The version and the product name are set when the dialog opens; the
    // web-page button gets the address as its text.
    static const DialogTemplate about{
        dialogid::kAbout,
        "About",
        200,
        243,
        "MS Sans Serif",
        8,
        {
            {dialogid::kMakerName, K::kStatic, "Vantrell", 6, 6, 70, 10},
            {dialogid::kWebPage, K::kPushButton, "", 66, 6, 120, 12},
            {dialogid::kProductName, K::kStatic, "TAVRO", 6, 18, 70, 10},
            {dialogid::kVersion, K::kStatic, "", 6, 30, 70, 10},
            {dialogid::kPreferencesGroup, K::kGroupBox, "Preferences", 8, 110, 184, 118},
            {dialogid::kOscBasePortLabel, K::kStatic, "OSC Base Port:", 12, 120, 70, 10},
            {dialogid::kOscBasePort, K::kNumberEdit, "", 84, 120, 50, 12},
            {dialogid::kSkinLabel, K::kStatic, "Skin:", 12, 138, 50, 10},
            {dialogid::kSkinList, K::kDropDownList, "", 36, 138, 148, 100},
            {dialogid::kOpenSkinFolder, K::kPushButton, "Open skin folder", 42, 156, 120, 12},
            {dialogid::kEyeCandy, K::kCheckBox, "Eye candy", 12, 174, 176, 10},
            {dialogid::kConstantRedraw, K::kCheckBox, "Constant redraw", 12, 186, 176, 10},
            {dialogid::kFloatingTooltip, K::kCheckBox, "Floating tooltip", 12, 198, 176, 10},
            {1, K::kDefaultPushButton, "OK", 78, 228, 40, 12},
        },
    };
    return about;
}

const DialogTemplate& PropertyDialogTemplate() {
    static const DialogTemplate property{
        dialogid::kEnterProperty,
        "Enter Property",
        224,
        70,
        "MS Sans Serif",
        8,
        {
            {dialogid::kMessage, K::kStatic, "Message:", 12, 12, 200, 10},
            {dialogid::kPropertyText, K::kEdit, "", 12, 24, 200, 12},
            {2, K::kPushButton, "Cancel", 60, 50, 40, 12},
            {1, K::kDefaultPushButton, "OK", 124, 50, 40, 12},
        },
    };
    return property;
}

const DialogTemplate& MidiBrowserTemplate() {
    static const DialogTemplate browser{
        dialogid::kMidiBrowser,
        "MIDI Browser",
        224,
        270,
        "MS Sans Serif",
        8,
        {
            {dialogid::kMessage, K::kStatic, "Select a MIDI target:", 12, 12, 200, 10},
            {dialogid::kDeviceList, K::kListBox, "", 12, 24, 200, 200},
            {2, K::kPushButton, "Cancel", 60, 250, 40, 12},
            {1, K::kDefaultPushButton, "OK", 124, 250, 40, 12},
        },
    };
    return browser;
}

}  // namespace QX
