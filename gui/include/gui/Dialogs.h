#pragma once
// The editor's modal dialogs, opened from its controls on the input thread:
// About with the preferences (the "Prefs" button), Enter Property (an
// editable property text field) and the MIDI Browser (the Browse button).
// Each returns when the dialog has closed; what the user chose has been
// written by then.

#include <cstdint>
#include <string>

namespace QX {

class Manager;

// [input thread] The About dialog with the preferences, owned by the editor's
// window.
void ShowAboutDialog(Manager& manager);
// [input thread] Asks for a new text for the plug-in's property
// `propertyId` with `prompt`, showing its current text; OK writes it.
void ShowPropertyDialog(Manager& manager, std::uint32_t propertyId, const std::string& prompt);
// [input thread] The list of MIDI input devices; OK with a selection makes it
// the test input's source.
void ShowMidiBrowser(Manager& manager);

}  // namespace QX
