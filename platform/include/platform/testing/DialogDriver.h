#pragma once
// For tests only: a native modal dialog of this process found by its
// caption and driven from another thread, as a user would: its controls
// read, texts typed over, buttons pressed, keys sent, and a picture of it
// taken from the screen. Windows only; on Linux the editor draws its
// dialogs itself and WaitFor finds nothing.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ViewerWindow.h"

namespace platform::testsupport {

struct DialogControlInfo {
    bool exists = false;
    std::string className;  // "Static", "Button", "Edit", "ComboBox", "ListBox"
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    std::string text;
    bool visible = false;
    // Pixels of the dialog's client area, from its top-left corner.
    int x = 0, y = 0, width = 0, height = 0;
};

// Style bits the tests look for (as Windows numbers them).
inline constexpr std::uint32_t kStyleBorder = 0x00800000;          // WS_BORDER
inline constexpr std::uint32_t kExStyleClientEdge = 0x00000200;    // WS_EX_CLIENTEDGE
inline constexpr std::uint32_t kStyleVerticalScroll = 0x00200000;  // WS_VSCROLL
inline constexpr std::uint32_t kButtonTypeMask = 0x0F;
inline constexpr std::uint32_t kButtonPush = 0x0, kButtonDefault = 0x1, kButtonAutoCheck = 0x3,
                               kButtonGroupBox = 0x7;
inline constexpr std::uint32_t kEditNumber = 0x2000;  // ES_NUMBER
inline constexpr std::uint32_t kComboTypeMask = 0x3, kComboDropDownList = 0x3;
inline constexpr std::uint32_t kListNotify = 0x1;  // LBS_NOTIFY

class DialogDriver {
public:
    // Waits at most `timeoutMs` for a visible dialog of this process with
    // this caption (`visibleOnly` false: shown or not).
    static std::unique_ptr<DialogDriver> WaitFor(const std::string& caption, int timeoutMs,
                                                 bool visibleOnly = true);
    virtual ~DialogDriver() = default;

    virtual bool IsOpen() = 0;
    // Waits at most `timeoutMs` for the dialog to close.
    virtual bool WaitClosed(int timeoutMs) = 0;
    virtual std::string Caption() = 0;
    // The face of the dialog's font, as its template names it.
    virtual std::string FontName() = 0;
    // The native window that owns the dialog (an HWND).
    virtual std::uintptr_t Owner() = 0;
    virtual void ClientSize(int& width, int& height) = 0;
    // Dialog units of this dialog's font to client pixels (the system's own
    // conversion).
    virtual void DialogUnitsToPixels(int& x, int& y, int& width, int& height) = 0;
    virtual DialogControlInfo Control(int id) = 0;

    virtual std::string Text(int id) = 0;
    // Replaces an edit field's text, as pasting over it would.
    virtual void SetText(int id, const std::string& text) = 0;
    virtual bool Checked(int id) = 0;
    // Entries of a list or drop-down list, and the selected one (-1: none).
    virtual std::vector<std::string> Items(int id) = 0;
    virtual int Selection(int id) = 0;
    // Selects an entry: in a drop-down list as a click on it does (the
    // selection is confirmed to the dialog), in a list as a click does.
    virtual void Choose(int id, int index) = 0;
    // Presses a button or check box (BM_CLICK); returns once the dialog has
    // handled it.
    virtual void Click(int id) = 0;
    // A key (a Windows virtual-key code) pressed on the control with the
    // focus; the dialog's message loop handles it as a user's.
    virtual void PressKey(int virtualKey) = 0;
    // Cancel sent to the dialog itself, whatever has the focus and whether
    // or not it is shown.
    virtual void Cancel() = 0;
    // What the screen shows of the dialog, frame included.
    virtual bool Capture(Picture& picture) = 0;
};

}  // namespace platform::testsupport
