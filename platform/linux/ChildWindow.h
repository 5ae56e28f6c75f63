#pragma once
// The editor's X11 child window inside the host's window, on an X
// connection of its own, and the translation of its events into the
// editor's EditorWindowEvents.
//
// Threads: Xlib is not thread-safe unless XInitThreads was the process's
// first Xlib call, which a plug-in cannot ensure, so the connection has
// exactly one user: the Manager's render thread, which opens it
// (BecomeOwner, Connect) and reads the window's input (WaitForInput); on
// Linux the editor's input handlers therefore run on the render thread.
// Other threads only use the methods marked [any thread but audio], which
// touch atomics and the wake-up descriptor: they set requests (focus, size)
// that the owner applies.

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <thread>
#include <vector>

#include "linux/XErrorTrap.h"
#include "platform/InputTranslation.h"
#include "platform/ManagerPlatformBridge.h"

namespace platform::x11 {

class ChildWindow {
public:
    explicit ChildWindow(const QX::EditorWindowSpec& spec);
    // Close() must have run (the owner's thread has ended by then).
    ~ChildWindow();
    ChildWindow(const ChildWindow&) = delete;
    ChildWindow& operator=(const ChildWindow&) = delete;

    // ---- The owner (render thread) ---------------------------------------------

    // The calling thread owns the connection from now on.
    void BecomeOwner();
    // Opens the connection; false after telling the user why not.
    bool Connect();
    struct Parent {
        int screen = 0;
        int depth = 0;
    };
    // The host's window; nothing after telling the user it does not exist.
    std::optional<Parent> FindParent();
    // Creates and maps the child window with the GL visual; false after
    // telling the user why not. The window is published (NativeWindow) as
    // soon as it exists.
    bool Create(const XVisualInfo& visual);
    // Destroys the window (unless the host did) and closes the connection.
    void Close();

    bool Connected() const { return display_ != nullptr; }
    // Connected and the window not destroyed by the host: drawing may go on.
    bool Drawable() const { return display_ != nullptr && !windowGone_; }
    Display* XDisplay() const { return display_; }
    Window XWindow() const { return window_; }

    // While the owner works with its connection (all but sleeping in
    // WaitForInput) the connection's X errors are trapped: the host may
    // destroy its window, and ours with it, at any moment, and until the
    // owner has read of it every drawing request can fail, inside any GL
    // call (the driver checks its drawable there) as well as in the swap.
    // Asleep, nothing reads the connection and the host's handler is left
    // alone.
    void Working();
    void Resting();

    // Sizes and focus asked for by other threads.
    void ApplyRequests();
    // Waits at most `milliseconds` for input or Wake(), handing what arrived
    // to the editor.
    void WaitForInput(int milliseconds);
    // Asked of the server (one round trip a frame): X reports a window
    // becoming unviewable through an ancestor by no event to it.
    bool IsVisible();

    // ---- Any thread but audio ------------------------------------------------------

    void Wake();
    void Focus();
    // The height is answered at once, before the server has the new size:
    // the resize drag reads it back.
    void SetSize(int width, int height);
    int Height() const { return height_.load(); }
    std::uintptr_t NativeWindow() const { return windowId_.load(); }

private:
    bool OnOwnerThread() const { return owner_.load() == std::this_thread::get_id(); }
    void TakeFocus();
    bool DispatchQueuedEvents();
    void Dispatch(XEvent& event);

    const QX::EditorWindowSpec spec_;
    const int wakeFd_;
    std::atomic<std::thread::id> owner_{};
    std::atomic<std::uintptr_t> windowId_{0};
    std::atomic<int> height_;
    std::atomic<int> requestedWidth_;
    std::atomic<int> requestedHeight_;
    std::atomic<bool> focusRequested_{false};

    // The owner only.
    Display* display_ = nullptr;
    std::optional<XErrorTrap> working_;
    Colormap colormap_ = 0;
    Window window_ = 0;
    bool windowGone_ = false;
    std::vector<XEvent> batch_;
    int appliedWidth_ = 0;
    int appliedHeight_ = 0;
    int windowX_ = 0;
    int windowY_ = 0;
    ClickCount clicks_;
};

}  // namespace platform::x11
