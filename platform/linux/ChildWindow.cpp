#include "linux/ChildWindow.h"

#include <X11/keysym.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <algorithm>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>

#include "platform/Diagnostics.h"

namespace platform::x11 {

using namespace QX;

namespace {

constexpr long kEventMask = ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask |
                            KeyReleaseMask | FocusChangeMask | StructureNotifyMask | ExposureMask;

Window parentOf(const EditorWindowSpec& spec) {
    return static_cast<Window>(reinterpret_cast<std::uintptr_t>(spec.parent));
}

bool fail(const std::string& text) {
    showMessageBox("Error", text);
    return false;
}

std::string errorText(Display* display, int code) {
    char text[256] = {};
    XGetErrorText(display, code, text, sizeof text);
    return text;
}

int modifiersFromState(unsigned state) {
    int modifiers = 0;
    if ((state & ShiftMask) != 0) {
        modifiers |= kModifierShift;
    }
    if ((state & ControlMask) != 0) {
        modifiers |= kModifierControl;
    }
    if ((state & Mod1Mask) != 0) {
        modifiers |= kModifierAlt;
    }
    return modifiers;
}

// The numeric pad's arrows count as arrows: without Num Lock they are
// arrows there as well.
NamedKey namedKey(KeySym keysym) {
    switch (keysym) {
        case XK_Left:
        case XK_KP_Left:
            return NamedKey::Left;
        case XK_Up:
        case XK_KP_Up:
            return NamedKey::Up;
        case XK_Right:
        case XK_KP_Right:
            return NamedKey::Right;
        case XK_Down:
        case XK_KP_Down:
            return NamedKey::Down;
        case XK_BackSpace:
            return NamedKey::Backspace;
        case XK_Delete:
        case XK_KP_Delete:
            return NamedKey::Delete;
        case XK_Return:
            return NamedKey::Return;
        case XK_KP_Enter:
            return NamedKey::Enter;
        case XK_minus:
            return NamedKey::Minus;
        case XK_KP_Subtract:
            return NamedKey::Subtract;
        case XK_period:
            return NamedKey::Period;
        case XK_KP_Decimal:
            return NamedKey::Decimal;
        default:
            break;
    }
    if (keysym >= XK_KP_0 && keysym <= XK_KP_9) {
        return static_cast<NamedKey>(static_cast<int>(NamedKey::Keypad0) + (keysym - XK_KP_0));
    }
    return NamedKey::Other;
}

// The character an element receives for a key, as the Windows window
// procedure produces it from key-down and character messages: the named
// keys as characterFor maps them, and otherwise the Latin-1 character the
// key types, control characters included. 0: the key types nothing.
int characterForKey(KeySym keysym, const char* text, int length) {
    if (const int character = characterFor(namedKey(keysym))) {
        return character;
    }
    // XLookupString gives Latin-1: one byte is one character.
    if (length == 1) {
        return static_cast<unsigned char>(text[0]);
    }
    return 0;
}

}  // namespace

ChildWindow::ChildWindow(const EditorWindowSpec& spec)
    : spec_(spec),
      wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      height_(spec.height),
      requestedWidth_(spec.width),
      requestedHeight_(spec.height) {}

ChildWindow::~ChildWindow() {
    if (wakeFd_ >= 0) {
        close(wakeFd_);
    }
}

void ChildWindow::BecomeOwner() {
    owner_.store(std::this_thread::get_id());
}

bool ChildWindow::Connect() {
    display_ = XOpenDisplay(nullptr);
    if (display_ == nullptr) {
        const char* name = std::getenv("DISPLAY");
        return fail(name != nullptr && *name != 0
                        ? std::string("The editor cannot open the X display '") + name + "'."
                        : std::string("The editor has no X display (DISPLAY is not set)."));
    }
    Working();
    return true;
}

std::optional<ChildWindow::Parent> ChildWindow::FindParent() {
    const Window parent = parentOf(spec_);
    XWindowAttributes attributes{};
    XErrorTrap trap(display_);
    if (parent == 0 || !XGetWindowAttributes(display_, parent, &attributes) || trap.Failed()) {
        fail("The host's window for the editor does not exist.");
        return std::nullopt;
    }
    return Parent{XScreenNumberOfScreen(attributes.screen), attributes.depth};
}

bool ChildWindow::Create(const XVisualInfo& visual) {
    // A visual other than the parent's needs a colormap of its own and a
    // border pixel, or the server refuses the window (BadMatch).
    XErrorTrap trap(display_);
    colormap_ =
        XCreateColormap(display_, RootWindow(display_, visual.screen), visual.visual, AllocNone);
    XSetWindowAttributes attributes{};
    attributes.colormap = colormap_;
    attributes.border_pixel = 0;
    // No background: the server would clear to it before every frame.
    attributes.background_pixmap = None;
    attributes.event_mask = kEventMask;
    window_ = XCreateWindow(display_, parentOf(spec_), spec_.x, spec_.y,
                            static_cast<unsigned>(std::max(spec_.width, 1)),
                            static_cast<unsigned>(std::max(spec_.height, 1)), 0, visual.depth,
                            InputOutput, visual.visual,
                            CWColormap | CWBorderPixel | CWBackPixmap | CWEventMask, &attributes);
    XMapWindow(display_, window_);
    // Other connections (the host's) may use the id only once the server
    // has the window.
    if (trap.Failed()) {
        const int code = trap.ErrorCode();
        window_ = 0;
        return fail("The editor's window could not be created: " + errorText(display_, code) + ".");
    }
    appliedWidth_ = spec_.width;
    appliedHeight_ = spec_.height;
    windowX_ = spec_.x;
    windowY_ = spec_.y;
    windowId_.store(window_);
    return true;
}

void ChildWindow::Close() {
    if (display_ == nullptr) {
        return;
    }
    windowId_.store(0);
    {
        // The host may have destroyed its window, and ours with it, before
        // the editor closes: that must not end the process.
        XErrorTrap trap(display_);
        if (window_ != 0 && !windowGone_) {
            XDestroyWindow(display_, window_);
        }
        window_ = 0;
        if (colormap_ != 0) {
            XFreeColormap(display_, colormap_);
            colormap_ = 0;
        }
        trap.Failed();
    }
    {
        // Closing syncs once more; the trap only compares the pointer, so it
        // may outlive the connection.
        XErrorTrap closing(display_);
        Resting();
        XCloseDisplay(display_);
    }
    display_ = nullptr;
    windowGone_ = false;
}

void ChildWindow::Working() {
    if (display_ != nullptr && !working_) {
        working_.emplace(display_);
    }
}

void ChildWindow::Resting() {
    working_.reset();
}

void ChildWindow::ApplyRequests() {
    if (display_ == nullptr || window_ == 0 || windowGone_) {
        return;
    }
    Working();
    if (focusRequested_.exchange(false)) {
        TakeFocus();
    }
    const int width = requestedWidth_.load();
    const int height = requestedHeight_.load();
    if (width != appliedWidth_ || height != appliedHeight_) {
        appliedWidth_ = width;
        appliedHeight_ = height;
        XResizeWindow(display_, window_, static_cast<unsigned>(width),
                      static_cast<unsigned>(height));
        XFlush(display_);
    }
}

void ChildWindow::WaitForInput(int milliseconds) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(milliseconds, 0));
    for (;;) {
        Working();
        ApplyRequests();
        if (DispatchQueuedEvents()) {
            return;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            return;
        }
        pollfd fds[2];
        nfds_t count = 0;
        if (wakeFd_ >= 0) {
            fds[count++] = {wakeFd_, POLLIN, 0};
        }
        if (display_ != nullptr) {
            fds[count++] = {ConnectionNumber(display_), POLLIN, 0};
        }
        Resting();
        int ready = poll(fds, count, static_cast<int>(left));
        Working();
        if (ready < 0 && errno != EINTR) {
            return;
        }
        if (wakeFd_ >= 0 && (fds[0].revents & POLLIN) != 0) {
            std::uint64_t value = 0;
            ssize_t n = read(wakeFd_, &value, sizeof value);
            (void)n;
            ApplyRequests();
            DispatchQueuedEvents();
            return;
        }
    }
}

bool ChildWindow::IsVisible() {
    if (display_ == nullptr || window_ == 0 || windowGone_) {
        return true;
    }
    Working();
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display_, window_, &attributes)) {
        return true;
    }
    return attributes.map_state == IsViewable;
}

void ChildWindow::Wake() {
    if (wakeFd_ >= 0) {
        const std::uint64_t one = 1;
        ssize_t n = write(wakeFd_, &one, sizeof one);
        (void)n;  // a full counter has woken the thread already
    }
}

void ChildWindow::Focus() {
    if (OnOwnerThread()) {
        TakeFocus();
    } else {
        focusRequested_.store(true);
        Wake();
    }
}

void ChildWindow::SetSize(int width, int height) {
    if (width <= 0 || height <= 0) {
        return;
    }
    requestedWidth_.store(width);
    requestedHeight_.store(height);
    height_.store(height);
    if (OnOwnerThread()) {
        ApplyRequests();
    } else {
        Wake();
    }
}

void ChildWindow::TakeFocus() {
    if (display_ == nullptr || window_ == 0 || windowGone_) {
        return;
    }
    // Refused (BadMatch) while the window is not viewable, for instance when
    // the host hides its window.
    XErrorTrap trap(display_);
    XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
    trap.Failed();
}

// Hands every event already received to the editor; true when there was
// any. Errors of our requests (a window the host destroyed) are read here
// too, and must not reach the host's handler.
bool ChildWindow::DispatchQueuedEvents() {
    if (display_ == nullptr) {
        return false;
    }
    batch_.clear();
    {
        XErrorTrap trap(display_);
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            // Only the latest of a run of pointer movements matters.
            if (event.type == MotionNotify && !batch_.empty() &&
                batch_.back().type == MotionNotify) {
                batch_.back() = event;
            } else {
                batch_.push_back(event);
            }
        }
    }
    // The editor's handlers run outside the trap: they call back into the
    // window (Focus, SetSize), and the trap's lock is shared by every editor
    // of the process.
    for (XEvent& event : batch_) {
        Dispatch(event);
    }
    return !batch_.empty();
}

void ChildWindow::Dispatch(XEvent& event) {
    EditorWindowEvents* events = spec_.events;
    switch (event.type) {
        case ButtonPress: {
            const XButtonEvent& b = event.xbutton;
            const int modifiers = modifiersFromState(b.state);
            if (b.button == Button4 || b.button == Button5) {
                if (events != nullptr) {
                    events->Wheel(b.x, b.y, modifiers, b.button == Button4 ? 120 : -120);
                }
            } else if (b.button >= Button1 && b.button <= Button3) {
                clicks_ = afterPress(clicks_, b.time, b.x, b.y, b.button);
                if (events != nullptr) {
                    events->ButtonDown(b.x, b.y, modifiers, clicks_.clicks);
                }
            }
            break;
        }
        case ButtonRelease: {
            const XButtonEvent& b = event.xbutton;
            if (b.button >= Button1 && b.button <= Button3 && events != nullptr) {
                events->ButtonUp(b.x, b.y, modifiersFromState(b.state));
            }
            break;
        }
        case MotionNotify:
            if (events != nullptr) {
                events->PointerMoved(event.xmotion.x, event.xmotion.y,
                                     modifiersFromState(event.xmotion.state));
            }
            break;
        case KeyPress: {
            char text[8] = {};
            KeySym keysym = NoSymbol;
            const int length = XLookupString(&event.xkey, text, sizeof text - 1, &keysym, nullptr);
            const int character = characterForKey(keysym, text, length);
            if (character != 0 && events != nullptr) {
                events->Key(character, static_cast<int>(keysym));
            }
            break;
        }
        case FocusOut:
            // Grabs (a host's menu, a drag) lend the keyboard for a while and
            // give it back; they are no loss of focus.
            if (event.xfocus.mode != NotifyGrab && event.xfocus.mode != NotifyUngrab &&
                event.xfocus.detail != NotifyInferior && event.xfocus.detail != NotifyPointer &&
                events != nullptr) {
                events->FocusLost();
            }
            break;
        case ConfigureNotify: {
            const XConfigureEvent& c = event.xconfigure;
            if (c.window != window_) {
                break;
            }
            height_.store(c.height);
            if ((c.x != windowX_ || c.y != windowY_) && events != nullptr) {
                events->Moved(c.x, c.y);
            }
            windowX_ = c.x;
            windowY_ = c.y;
            break;
        }
        case Expose:
            if (event.xexpose.count == 0 && events != nullptr) {
                events->Exposed();
            }
            break;
        case DestroyNotify:
            // The host destroyed its window with ours inside: nothing may
            // draw into it or destroy it again.
            if (event.xdestroywindow.window == window_) {
                windowGone_ = true;
                windowId_.store(0);
            }
            break;
        default:
            break;
    }
}

}  // namespace platform::x11
