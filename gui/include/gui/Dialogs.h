#pragma once
// The editor's modal dialogs, opened from its controls on the input thread:
// About with the preferences (the "Prefs" button), Enter Property (an
// editable property text field) and the MIDI Browser (the Browse button).
//
// Windows: each runs as a native modal dialog owned by the editor's window
// and returns when the dialog has closed; what the user chose has been
// written by then.
// Linux: each opens as a panel drawn over the editor (DialogPanel.h) and
// returns at once; the input thread is the render thread there, which must
// go on drawing. What the user chooses is written when the panel's OK (or
// a check box, or the skin list) is used, after these calls have returned.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Dialogs.h"

namespace QX {

class Manager;
struct DialogTemplate;

// [input thread] The About dialog with the preferences, owned by the editor's
// window.
void ShowAboutDialog(Manager& manager);
// [input thread] Asks for a new text for the plug-in's property
// `propertyId` with `prompt`, showing its current text; OK writes it.
void ShowPropertyDialog(Manager& manager, std::uint32_t propertyId, const std::string& prompt);
// [input thread] The list of MIDI input devices; OK with a selection makes it
// the test input's source.
void ShowMidiBrowser(Manager& manager);

// [input thread] Runs `dialog` with `procedure` as this system shows
// dialogs (the three above come through here). `owner` is the native window
// that owns a Windows dialog.
void RunDialog(Manager& manager, const DialogTemplate& dialog,
               std::unique_ptr<platform::DialogProcedure> procedure, std::uintptr_t owner);

}  // namespace QX
