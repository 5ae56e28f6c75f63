#pragma once
// The editor's modal dialogs behind one interface. A dialog is a template
// of controls (static texts, buttons, check boxes, an edit field, a list, a
// drop-down list) and a procedure that fills them when the dialog opens and
// acts on the user's commands. The procedure sees the controls only through
// DialogWindow, so the same procedure drives both forms a dialog takes:
// - Windows: the dialog resource of the plug-in's module, run modally with
//   DialogBoxParamA; runModalDialog returns when it has closed.
// - Linux: no native dialogs (a host's process may run any toolkit, or
//   none, and a plug-in must not bring its own); the editor draws the
//   dialog itself as a modal panel over its window (gui/DialogPanel.h).

#include <atomic>
#include <cstdint>
#include <string>

namespace platform {

// What happened to a control, as far as the dialogs care.
enum class DialogEvent {
    kClicked,             // a button or check box was pressed (Return: OK, Escape: Cancel)
    kSelectionConfirmed,  // a drop-down list closed on a chosen entry
    kDoubleClicked,       // an entry of a list was double-clicked
    kOther,
};

// Ids of the two commands every dialog understands, as Windows numbers them.
inline constexpr int kDialogOk = 1;
inline constexpr int kDialogCancel = 2;

// The controls of an open dialog, by id. Calls on an id the dialog does not
// have are ignored (reads give "", false or -1).
class DialogWindow {
public:
    virtual ~DialogWindow() = default;
    virtual void SetText(int id, const std::string& text) = 0;
    // At most `maxLength` bytes of the control's text.
    virtual std::string Text(int id, std::size_t maxLength) = 0;
    virtual void SetChecked(int id, bool checked) = 0;
    virtual bool Checked(int id) = 0;
    // Limits what the user can type into an edit field.
    virtual void LimitText(int id, std::size_t maxLength) = 0;
    // Entries of a list or drop-down list, appended in order.
    virtual void AddItem(int id, const std::string& text) = 0;
    // -1 selects nothing.
    virtual void SelectItem(int id, int index) = 0;
    // The selected entry, -1 when none is.
    virtual int SelectedItem(int id) = 0;
    virtual void ShowControl(int id, bool shown) = 0;
    // Closes the dialog once the current command has been handled; `result`
    // is what runModalDialog returns.
    virtual void End(int result) = 0;
};

// A dialog's behaviour. Both calls come on the thread that runs the dialog
// (Windows: the host's user-interface thread; Linux: the editor's input
// thread).
class DialogProcedure {
public:
    virtual ~DialogProcedure() = default;
    // Fills the controls when the dialog opens.
    virtual void Init(DialogWindow& window) = 0;
    // A command from control `id`; false when the procedure does not handle
    // it.
    virtual bool Command(DialogWindow& window, int id, DialogEvent event) = 0;
};

// Whether this system shows the dialogs natively (Windows) or the editor
// draws them itself (Linux).
bool hasNativeDialogs();

// [ui-thread] Runs the module's dialog resource `resourceId` modally, owned
// by the native window `owner` (an HWND; 0 for none), until the procedure
// ends it. Returns the result given to End, or -1 when the dialog could not
// be shown (no such resource, no native dialogs).
// While the dialog is open, `shown` (when given) holds its native window.
int runModalDialog(int resourceId, std::uintptr_t owner, DialogProcedure& procedure,
                   std::atomic<std::uintptr_t>* shown = nullptr);

// [ui-thread] Ends the dialog whose window runModalDialog gave through
// `shown`: its procedure hears nothing more, and runModalDialog returns
// kDialogCancel once the message being handled now has been handled. For an
// editor closed while its dialog is open.
void endModalDialog(std::uintptr_t dialog);

}  // namespace platform
