#pragma once
// The editor's modal dialogs, opened from its controls on the render thread:
// About with the preferences (the "Prefs" button), Enter Property (an
// editable property text field) and the MIDI Browser (the Browse button).
//
// Each returns at once: the render thread must go on drawing.
// Windows: the host's user-interface thread, which owns the editor's window,
// runs the native modal dialog at its next turn.
// Linux: a panel drawn over the editor (DialogPanel.h).
// What the user chooses is written when the dialog's OK (or a check box, or
// the skin list) is used.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Dialogs.h"

namespace QX {

class Manager;
struct DialogTemplate;
struct DialogRequest;

// [render-thread] The About dialog with the preferences, owned by the editor's
// window.
void ShowAboutDialog(Manager& manager);
// [render-thread] Asks for a new text for the plug-in's property
// `propertyId` with `prompt`, showing its current text; OK writes it.
void ShowPropertyDialog(Manager& manager, std::uint32_t propertyId, const std::string& prompt);
// [render-thread] The list of MIDI input devices; OK with a selection makes it
// the test input's source.
void ShowMidiBrowser(Manager& manager);

// [render-thread] Runs `dialog` with `procedure` as this system shows
// dialogs (the three above come through here): on Linux as a panel over the
// editor, on Windows as a native dialog owned by the editor's window, which
// the host's user-interface thread runs (ManagerHost::ShowDialog).
void RunDialog(Manager& manager, const DialogTemplate& dialog,
               std::unique_ptr<platform::DialogProcedure> procedure, std::uintptr_t owner);

// [ui-thread] Runs a native dialog now, with the editor's drawing held, and
// returns its result (-1, reported, when it could not be shown). `shown`
// holds the dialog's window while it is open. The caller releases the hold
// (Manager::ReleaseRendering) unless the editor went meanwhile.
int RunNativeDialog(Manager& manager, DialogRequest& dialog, std::atomic<std::uintptr_t>* shown);

}  // namespace QX
