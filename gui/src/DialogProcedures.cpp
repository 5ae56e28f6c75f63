#include "gui/DialogProcedures.h"

#include "gui/DialogTemplates.h"
#include "platform/Diagnostics.h"

namespace QX {

using platform::DialogEvent;
using platform::DialogWindow;
using platform::kDialogCancel;
using platform::kDialogOk;

namespace {

// The longest text read from the port field.
constexpr std::size_t kPortTextLength = 256;

}  // namespace

// ---- About ---------------------------------------------------------------------------

void AboutProcedure::Init(DialogWindow& window) {
    window.SetText(dialogid::kProductName, AboutModel::ProductName());
    window.SetText(dialogid::kVersion, AboutModel::VersionText());
    window.SetChecked(dialogid::kFloatingTooltip, model_.FloatingTooltip());
    window.SetChecked(dialogid::kEyeCandy, model_.EyeCandy());
    window.SetChecked(dialogid::kConstantRedraw, model_.ConstantRedraw());
    window.SetText(dialogid::kOscBasePort, model_.PortText());
    for (const std::string& skin : model_.Skins())
        window.AddItem(dialogid::kSkinList, skin);
    window.SelectItem(dialogid::kSkinList, model_.SelectedSkin());
    // Without an address the button would lead nowhere.
    if (model_.WebPage().empty())
        window.ShowControl(dialogid::kWebPage, false);
    else
        window.SetText(dialogid::kWebPage, model_.WebPage());
}

bool AboutProcedure::Command(DialogWindow& window, int id, DialogEvent event) {
    switch (id) {
        case kDialogOk: {
            std::string refusal;
            if (!model_.ApplyPort(window.Text(dialogid::kOscBasePort, kPortTextLength), &refusal) &&
                !refusal.empty()) {
                // The user asked for a port the server cannot have: say so
                // and leave the dialog open for another.
                platform::showMessageBox("OSC Base Port", refusal);
                return true;
            }
            window.End(kDialogOk);
            return true;
        }
        case kDialogCancel:
            // Check boxes and the skin were applied when they changed; only
            // the port's edit is dropped.
            window.End(kDialogCancel);
            return true;
        case dialogid::kWebPage:
            if (event == DialogEvent::kClicked)
                model_.OpenWebPage();
            return true;
        case dialogid::kFloatingTooltip:
        case dialogid::kEyeCandy:
        case dialogid::kConstantRedraw: {
            if (event != DialogEvent::kClicked)
                return true;
            // The box has flipped itself; the setting follows what it shows.
            const bool on = window.Checked(id);
            if (id == dialogid::kFloatingTooltip)
                model_.SetFloatingTooltip(on);
            else if (id == dialogid::kEyeCandy)
                model_.SetEyeCandy(on);
            else
                model_.SetConstantRedraw(on);
            return true;
        }
        case dialogid::kOpenSkinFolder:
            if (event == DialogEvent::kClicked)
                model_.OpenSkinFolder();
            return true;
        case dialogid::kSkinList:
            if (event == DialogEvent::kSelectionConfirmed)
                model_.ChooseSkin(window.SelectedItem(dialogid::kSkinList));
            return true;
        default:
            return false;
    }
}

// ---- Enter Property ---------------------------------------------------------------------

void PropertyProcedure::Init(DialogWindow& window) {
    window.SetText(dialogid::kMessage, model_.Prompt());
    window.LimitText(dialogid::kPropertyText, PropertyDialogModel::kMaxLength);
    window.SetText(dialogid::kPropertyText, model_.Text());
}

bool PropertyProcedure::Command(DialogWindow& window, int id, DialogEvent /*event*/) {
    if (id == kDialogOk) {
        model_.Write(window.Text(dialogid::kPropertyText, PropertyDialogModel::kMaxLength));
        window.End(kDialogOk);
        return true;
    }
    if (id == kDialogCancel) {
        window.End(kDialogCancel);
        return true;
    }
    return false;
}

// ---- MIDI Browser ----------------------------------------------------------------------------

void MidiBrowserProcedure::Init(DialogWindow& window) {
    // The live list, in the system's order; the current source is not
    // preselected.
    for (const std::string& device : model_.Devices())
        window.AddItem(dialogid::kDeviceList, device);
}

bool MidiBrowserProcedure::Command(DialogWindow& window, int id, DialogEvent /*event*/) {
    if (id == kDialogOk) {
        model_.Choose(window.SelectedItem(dialogid::kDeviceList));
        window.End(kDialogOk);
        return true;
    }
    if (id == kDialogCancel) {
        window.End(kDialogCancel);
        return true;
    }
    // A double click in the list only selects.
    return false;
}

}  // namespace QX
