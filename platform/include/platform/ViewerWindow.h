#pragma once
// A top-level window that hosts a plug-in's editor the way a host does, for
// tavro-view: the window the editor opens into, its event loop, a picture
// of what it shows, and input synthesised through the window system.
// Coordinates are client pixels of the editor, origin top left.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgba;  // rows top down
};

class ViewerWindow {
public:
    // Null when there is no display (a message says why on standard error).
    static std::unique_ptr<ViewerWindow> Create(const std::string& title, int width, int height);
    virtual ~ViewerWindow() = default;

    // The parent to hand to effEditOpen: HWND, or the X11 window id.
    virtual void* NativeHandle() = 0;
    // The host honours audioMasterSizeWindow.
    virtual void Resize(int width, int height) = 0;
    // Hides or shows the window with the editor in it, as hosts do instead
    // of closing an editor.
    virtual void Show(bool shown) = 0;
    // Runs the window's events for about `milliseconds`; false once the user
    // closed the window.
    virtual bool PumpEvents(int milliseconds) = 0;
    // True once the editor shows a window of its own inside this one (a
    // visible child window); the viewer waits for it before it sends input.
    virtual bool ChildWindowShown() { return true; }
    // What the screen shows of the window's client area, or false where the
    // window system cannot show it (GL child windows under Wine).
    virtual bool Capture(Picture& picture) = 0;

    // Input delivered through the window system to whatever window is at the
    // point (the editor's child window). modifiers: the editor's bits (Alt
    // 0x100, Shift 0x200, Control 0x800).
    virtual bool Click(int x, int y, int clickCount, int modifiers) = 0;
    virtual bool Drag(int x, int y, int dx, int dy, int modifiers) = 0;
    // The pointer moved to the point, no button held (what hovers there).
    virtual bool MovePointer(int x, int y) = 0;
    virtual bool Wheel(int x, int y, int notches) = 0;
    // Literal characters; "\n" is Return, "\b" BackSpace, "\t" Tab.
    virtual bool TypeText(const std::string& text) = 0;
    // One key by name, with the modifiers held: "Left", "Right", "Up",
    // "Down", "Return", "BackSpace", "Delete", "Tab", "Escape", "KP_0" to
    // "KP_9" (typed with Num Lock on), "KP_Subtract", "KP_Decimal",
    // "KP_Enter", or a single character. False where a name is unknown.
    virtual bool PressKey(const std::string& /*name*/, int /*modifiers*/) { return false; }
};

}  // namespace platform
