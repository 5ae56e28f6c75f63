#pragma once
// The editor's window and OpenGL context behind one interface: a child
// window of the host's window with a WGL context on Windows, an X11 child
// window with GLX on Linux. The Manager's render thread draws through it; the
// window system's input reaches the editor through EditorWindowEvents.

#include <cstdint>
#include <memory>

namespace QX {

// Modifier bits handed to the editor with pointer input.
inline constexpr int kModifierAlt = 0x100;
inline constexpr int kModifierShift = 0x200;
inline constexpr int kModifierControl = 0x800;

// Characters the window systems' keys are mapped to before they reach an
// element (backspace and delete 8, return 13, arrows 28..31).
inline constexpr int kKeyBackspace = 8;
inline constexpr int kKeyReturn = 13;
inline constexpr int kKeyLeft = 28;
inline constexpr int kKeyRight = 29;
inline constexpr int kKeyUp = 30;
inline constexpr int kKeyDown = 31;

// What the window system tells the editor. Positions are client pixels of
// the child window with y running downwards, as the window system gives
// them. The editor only queues them for its render thread.
// Windows: called on the host's user-interface thread (window procedure).
// Linux: called on the render thread, which owns the editor's X connection,
// from inside WaitForInput.
class EditorWindowEvents {
public:
    virtual ~EditorWindowEvents() = default;
    // Any button; a double-click arrives once with clickCount 2.
    virtual void ButtonDown(int x, int y, int modifiers, int clickCount) = 0;
    virtual void ButtonUp(int x, int y, int modifiers) = 0;
    virtual void PointerMoved(int x, int y, int modifiers) = 0;
    // `delta` is 120 per notch away from the user; the position is client
    // pixels like the others.
    virtual void Wheel(int x, int y, int modifiers, int delta) = 0;
    // A key already mapped to its character (see the kKey constants; digits
    // and '-' '.' as themselves). True when an element consumed it.
    virtual bool Key(int character, int virtualKey) = 0;
    virtual void FocusLost() = 0;
    virtual void Moved(int /*x*/, int /*y*/) {}
    // Part of the window must be drawn again (X keeps no copy of a covered
    // window); an editor that skips unchanged frames draws the next one.
    virtual void Exposed() {}
    // [ui-thread] Windows: the window's thread, which is the host's, has a
    // turn for what the editor asked of the host (RequestHostTurn).
    virtual void HostTurn() {}
};

// Where and how big the child window is made.
struct EditorWindowSpec {
    void* parent = nullptr;  // HWND, or the X11 window id cast to a pointer
    int x = 0, y = 0, width = 0, height = 0;
    EditorWindowEvents* events = nullptr;
};

class ManagerPlatformBridge {
public:
    virtual ~ManagerPlatformBridge() = default;

    // [render-thread] After context creation and on every resize event.
    virtual void UpdateContext() = 0;
    // [render-thread] Creates the window's GL context and makes it current.
    virtual bool CreateContext() = 0;
    virtual bool ContextReady() = 0;
    // [render-thread] The offscreen bitmap path for GL without framebuffer
    // objects; its pixels are OffscreenPixels(), BGR rows of 1024 pixels.
    virtual void CreateOffscreen(int width, int height) = 0;
    virtual bool MakeCurrent() = 0;
    virtual void MakeOffscreenCurrent() = 0;
    // [render-thread] Releases contexts and (on Linux) the window and its
    // connection.
    virtual void Destroy() = 0;
    virtual void SwapBuffers() = 0;
    // [any thread but audio] Takes the keyboard focus (done by the thread
    // that owns the window).
    virtual void Focus() = 0;
    // [ui-thread] Resizes the child window (and on Windows the host's
    // window by the same amount).
    virtual void SetSize(int width, int height) = 0;
    // [any thread but audio] The child window's outer height in pixels.
    virtual int GetHeight() = 0;
    // [any thread but audio] Windows: has the window's thread call
    // EditorWindowEvents::HostTurn soon. Linux: nothing (the host's idle
    // calls are the turns).
    virtual void RequestHostTurn() {}
    // [render-thread] False while nobody can see the window: the host hid
    // or minimised its window (many hosts hide an editor instead of closing
    // it), so frames drawn now would be thrown away.
    virtual bool IsVisible() { return true; }

    // [render-thread] Waits at most `milliseconds` for window input or
    // Wake(), dispatching what arrived to the EditorWindowEvents. Only
    // called when DeliversInputOnRenderThread().
    virtual void WaitForInput(int /*milliseconds*/) {}
    // [any thread but audio] Ends a WaitForInput early.
    virtual void Wake() {}
    // May replace the pixel size by the backing store's size.
    virtual void AdjustBackingSize(int& /*width*/, int& /*height*/) {}

    // Linux: window input is read by the render thread (its connection is
    // private to it). Windows: by the host's user-interface thread.
    virtual bool DeliversInputOnRenderThread() const { return false; }
    // Memory of the offscreen bitmap, or null.
    virtual const std::uint8_t* OffscreenPixels() const { return nullptr; }
    // The native child window (HWND or X11 window id), 0 until it exists.
    virtual std::uintptr_t NativeWindow() const = 0;
};

// [ui-thread] Creates the bridge for a new editor window. Windows creates the
// child window here; Linux creates it on the render thread in
// CreateContext() (the connection belongs to that thread).
std::unique_ptr<ManagerPlatformBridge> CreateManagerBridge(const EditorWindowSpec& spec);

// [ui-thread] The process-wide window class of editor windows, counted by
// living editor objects: registered by the first, unregistered by the last.
// Nothing to do on Linux.
void RegisterEditorClass();
void UnregisterEditorClass();
int EditorClassUsers();

}  // namespace QX
