// The editor's window on Linux: an X11 child window of the host's window
// with a GLX context, both made and used by the Manager's render thread
// through a connection of its own. Xlib is not thread-safe unless
// XInitThreads was the process's first Xlib call, which a plug-in cannot
// ensure, so the connection has exactly one user: the render thread. It
// also reads the window's input (WaitForInput), so on Linux the editor's
// input handlers run on the render thread. Other threads only touch
// atomics and the wake-up descriptor.

#include "platform/ManagerPlatformBridge.h"

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <dlfcn.h>
#include <link.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <algorithm>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "linux/XErrorTrap.h"
#include "platform/Diagnostics.h"
#include "platform/InputTranslation.h"

namespace QX {

namespace {

using platform::x11::XErrorTrap;

std::atomic<int> gEditorClassUsers{0};

// The offscreen bitmap of the path without framebuffer objects has the size
// of the cached layer's texture.
constexpr int kOffscreenWidth = 1024;
constexpr int kOffscreenHeight = 512;

constexpr long kEventMask = ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask |
                            KeyReleaseMask | FocusChangeMask | StructureNotifyMask | ExposureMask;

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
platform::NamedKey namedKey(KeySym keysym) {
    using platform::NamedKey;
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
    if (const int character = platform::characterFor(namedKey(keysym))) {
        return character;
    }
    // XLookupString gives Latin-1: one byte is one character.
    if (length == 1) {
        return static_cast<unsigned char>(text[0]);
    }
    return 0;
}

// Mesa loads its GL driver for a connection's first context and unloads it
// when the last connection that used it closes; what the driver allocated
// for itself when it was loaded stays behind, a little memory lost at every
// close of the editor. Once loaded, the driver stays.
int collectGlDriver(dl_phdr_info* info, size_t /*size*/, void* found) {
    const char* name = info->dlpi_name;
    if (name != nullptr &&
        (std::strstr(name, "_dri.so") != nullptr || std::strstr(name, "libgallium") != nullptr)) {
        static_cast<std::vector<std::string>*>(found)->push_back(name);
    }
    return 0;
}

void keepGlDriverLoaded() {
    static std::atomic<bool> kept{false};
    if (kept.load()) {
        return;
    }
    std::vector<std::string> drivers;
    dl_iterate_phdr(collectGlDriver, &drivers);
    for (const std::string& path : drivers) {
        // Already loaded: this only takes a reference that is never given
        // back.
        if (dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE) != nullptr) {
            kept.store(true);
        }
    }
}

std::string errorText(Display* display, int code) {
    char text[256] = {};
    XGetErrorText(display, code, text, sizeof text);
    return text;
}

class ManagerLinuxBridge final : public ManagerPlatformBridge {
public:
    explicit ManagerLinuxBridge(const EditorWindowSpec& spec)
        : spec_(spec),
          wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
          height_(spec.height),
          requestedWidth_(spec.width),
          requestedHeight_(spec.height) {}

    ~ManagerLinuxBridge() override {
        // The Manager destroys on its render thread; this is for a bridge
        // whose thread never got that far. The thread has ended by now, so
        // the connection has no other user.
        Destroy();
        if (wakeFd_ >= 0) {
            close(wakeFd_);
        }
    }

    // ---- Render thread ---------------------------------------------------------

    bool CreateContext() override {
        renderThread_.store(std::this_thread::get_id());
        if (display_ != nullptr) {
            return context_ != nullptr;
        }
        if (!OpenWindow()) {
            Destroy();
            return false;
        }
        // The editor hands the window to the host as soon as it exists.
        windowId_.store(window_);
        if (!CreateWindowContext()) {
            Destroy();
            return false;
        }
        return true;
    }

    bool ContextReady() override { return true; }

    void UpdateContext() override { ApplyRequests(); }

    void AdjustBackingSize(int& /*width*/, int& /*height*/) override {}

    bool MakeCurrent() override {
        if (display_ == nullptr || context_ == nullptr || windowGone_) {
            return false;
        }
        Working();
        if (current_ == Current::OnWindow) {
            return true;
        }
        if (current_ == Current::OnOffscreen) {
            ReadOffscreen();
        }
        if (!glXMakeContextCurrent(display_, glxWindow_, glxWindow_, context_)) {
            current_ = Current::Nothing;
            return false;
        }
        current_ = Current::OnWindow;
        return true;
    }

    void SwapBuffers() override {
        if (display_ != nullptr && context_ != nullptr && !windowGone_) {
            Working();
            glXSwapBuffers(display_, glxWindow_);
        }
    }

    void CreateOffscreen(int width, int height) override {
        if (display_ == nullptr) {
            return;
        }
        Working();
        if (offscreenContext_ == nullptr && !CreateOffscreenContext()) {
            return;
        }
        offscreenWidth_ = width;
        offscreenHeight_ = height;
        MakeOffscreenCurrent();
    }

    void MakeOffscreenCurrent() override {
        if (display_ == nullptr || offscreenContext_ == nullptr) {
            return;
        }
        Working();
        if (current_ != Current::OnOffscreen) {
            if (!glXMakeContextCurrent(display_, pbuffer_, pbuffer_, offscreenContext_)) {
                current_ = Current::Nothing;
                return;
            }
            current_ = Current::OnOffscreen;
        }
        glViewport(0, 0, offscreenWidth_, offscreenHeight_);
    }

    const std::uint8_t* OffscreenPixels() const override {
        return offscreenPixels_.empty() ? nullptr : offscreenPixels_.data();
    }

    void Destroy() override {
        if (display_ == nullptr) {
            return;
        }
        windowId_.store(0);
        {
            // The host may have destroyed its window, and ours with it,
            // before the editor closes: that must not end the process.
            XErrorTrap trap(display_);
            glXMakeContextCurrent(display_, None, None, nullptr);
            current_ = Current::Nothing;
            if (offscreenContext_ != nullptr) {
                glXDestroyContext(display_, offscreenContext_);
                offscreenContext_ = nullptr;
            }
            if (pbuffer_ != 0) {
                glXDestroyPbuffer(display_, pbuffer_);
                pbuffer_ = 0;
            }
            if (context_ != nullptr) {
                glXDestroyContext(display_, context_);
                context_ = nullptr;
            }
            if (glxWindow_ != 0) {
                glXDestroyWindow(display_, glxWindow_);
                glxWindow_ = 0;
            }
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
            // Closing syncs once more; the trap only compares the pointer,
            // so it may outlive the connection.
            XErrorTrap closing(display_);
            Resting();
            XCloseDisplay(display_);
        }
        display_ = nullptr;
        windowGone_ = false;
        offscreenPixels_.clear();
        offscreenPixels_.shrink_to_fit();
    }

    // ---- Input (the render thread on Linux) --------------------------------------

    bool DeliversInputOnRenderThread() const override { return true; }

    void WaitForInput(int milliseconds) override {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(milliseconds, 0));
        for (;;) {
            Working();
            ApplyRequests();
            if (DispatchQueuedEvents()) {
                return;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                    .count();
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

    void Wake() override {
        if (wakeFd_ >= 0) {
            const std::uint64_t one = 1;
            ssize_t n = write(wakeFd_, &one, sizeof one);
            (void)n;  // a full counter has woken the thread already
        }
    }

    void Focus() override {
        if (OnRenderThread()) {
            TakeFocus();
        } else {
            focusRequested_.store(true);
            Wake();
        }
    }

    void SetSize(int width, int height) override {
        if (width <= 0 || height <= 0) {
            return;
        }
        requestedWidth_.store(width);
        requestedHeight_.store(height);
        // The resize drag reads the height back at once, before the server
        // has confirmed the new size.
        height_.store(height);
        if (OnRenderThread()) {
            ApplyRequests();
        } else {
            Wake();
        }
    }

    int GetHeight() override { return height_.load(); }

    bool IsVisible() override {
        if (display_ == nullptr || window_ == 0 || windowGone_) {
            return true;
        }
        // Asked of the server (one round trip a frame): X reports a window
        // becoming unviewable through an ancestor by no event to it.
        Working();
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(display_, window_, &attributes)) {
            return true;
        }
        return attributes.map_state == IsViewable;
    }

    std::uintptr_t NativeWindow() const override { return windowId_.load(); }

private:
    enum class Current { Nothing, OnWindow, OnOffscreen };

    bool OnRenderThread() const { return renderThread_.load() == std::this_thread::get_id(); }

    // While the render thread works with its connection (all but sleeping
    // in WaitForInput) the connection's X errors are trapped: the host may
    // destroy its window, and ours with it, at any moment, and until the
    // render thread has read of it every drawing request can fail, inside
    // any GL call (the driver checks its drawable there) as well as in the
    // swap. Asleep, nothing reads the connection and the host's handler is
    // left alone.
    void Working() {
        if (display_ != nullptr && !working_) {
            working_.emplace(display_);
        }
    }
    void Resting() { working_.reset(); }

    bool Fail(const std::string& text) {
        platform::showMessageBox("Error", text);
        return false;
    }

    bool OpenWindow() {
        display_ = XOpenDisplay(nullptr);
        if (display_ == nullptr) {
            const char* name = std::getenv("DISPLAY");
            return Fail(name != nullptr && *name != 0
                            ? std::string("The editor cannot open the X display '") + name + "'."
                            : std::string("The editor has no X display (DISPLAY is not set)."));
        }
        Working();
        int major = 0, minor = 0;
        if (!glXQueryVersion(display_, &major, &minor) || major < 1 || (major == 1 && minor < 3)) {
            return Fail("The X server offers no OpenGL (GLX 1.3) for the editor.");
        }
        const Window parent = static_cast<Window>(reinterpret_cast<std::uintptr_t>(spec_.parent));
        XWindowAttributes parentAttributes{};
        {
            XErrorTrap trap(display_);
            if (parent == 0 || !XGetWindowAttributes(display_, parent, &parentAttributes) ||
                trap.Failed()) {
                return Fail("The host's window for the editor does not exist.");
            }
        }
        const int screen = XScreenNumberOfScreen(parentAttributes.screen);

        // RGB of 8 bits, double-buffered, a depth buffer, drawable in a
        // window. Alpha is not asked for: a visual with alpha is 32 bits
        // deep and a compositing desktop would show through the editor
        // wherever a frame leaves alpha below 1.
        const int attributes[] = {GLX_X_RENDERABLE,
                                  True,
                                  GLX_DRAWABLE_TYPE,
                                  GLX_WINDOW_BIT,
                                  GLX_RENDER_TYPE,
                                  GLX_RGBA_BIT,
                                  GLX_X_VISUAL_TYPE,
                                  GLX_TRUE_COLOR,
                                  GLX_RED_SIZE,
                                  8,
                                  GLX_GREEN_SIZE,
                                  8,
                                  GLX_BLUE_SIZE,
                                  8,
                                  GLX_DEPTH_SIZE,
                                  16,
                                  GLX_DOUBLEBUFFER,
                                  True,
                                  None};
        int count = 0;
        GLXFBConfig* configs = glXChooseFBConfig(display_, screen, attributes, &count);
        XVisualInfo* visual = nullptr;
        for (int i = 0; i < count; ++i) {
            XVisualInfo* candidate = glXGetVisualFromFBConfig(display_, configs[i]);
            if (candidate == nullptr) {
                continue;
            }
            // The parent's depth where there is one, else the first.
            if (visual == nullptr || (candidate->depth == parentAttributes.depth &&
                                      visual->depth != parentAttributes.depth)) {
                if (visual != nullptr) {
                    XFree(visual);
                }
                visual = candidate;
                config_ = configs[i];
            } else {
                XFree(candidate);
            }
        }
        if (configs != nullptr) {
            XFree(configs);
        }
        if (visual == nullptr) {
            return Fail(
                "The X server has no OpenGL visual for the editor (RGB, double-buffered, "
                "with depth).");
        }

        // A visual other than the parent's needs a colormap of its own and
        // a border pixel, or the server refuses the window (BadMatch).
        XErrorTrap trap(display_);
        colormap_ =
            XCreateColormap(display_, RootWindow(display_, screen), visual->visual, AllocNone);
        XSetWindowAttributes windowAttributes{};
        windowAttributes.colormap = colormap_;
        windowAttributes.border_pixel = 0;
        // No background: the server would clear to it before every frame.
        windowAttributes.background_pixmap = None;
        windowAttributes.event_mask = kEventMask;
        window_ = XCreateWindow(
            display_, parent, spec_.x, spec_.y, static_cast<unsigned>(std::max(spec_.width, 1)),
            static_cast<unsigned>(std::max(spec_.height, 1)), 0, visual->depth, InputOutput,
            visual->visual, CWColormap | CWBorderPixel | CWBackPixmap | CWEventMask,
            &windowAttributes);
        XFree(visual);
        XMapWindow(display_, window_);
        // Other connections (the host's) may use the id only once the
        // server has the window.
        if (trap.Failed()) {
            const int code = trap.ErrorCode();
            window_ = 0;
            return Fail("The editor's window could not be created: " + errorText(display_, code) +
                        ".");
        }
        appliedWidth_ = spec_.width;
        appliedHeight_ = spec_.height;
        windowX_ = spec_.x;
        windowY_ = spec_.y;
        return true;
    }

    bool CreateWindowContext() {
        XErrorTrap trap(display_);
        glxWindow_ = glXCreateWindow(display_, config_, window_, nullptr);
        context_ = glXCreateNewContext(display_, config_, GLX_RGBA_TYPE, nullptr, True);
        if (trap.Failed() || glxWindow_ == 0 || context_ == nullptr) {
            return Fail("The editor's OpenGL context could not be created.");
        }
        if (!glXMakeContextCurrent(display_, glxWindow_, glxWindow_, context_) || trap.Failed()) {
            return Fail("The editor's OpenGL context could not be made current.");
        }
        current_ = Current::OnWindow;
        keepGlDriverLoaded();
        return true;
    }

    bool CreateOffscreenContext() {
        const int attributes[] = {GLX_DRAWABLE_TYPE,
                                  GLX_PBUFFER_BIT,
                                  GLX_RENDER_TYPE,
                                  GLX_RGBA_BIT,
                                  GLX_RED_SIZE,
                                  8,
                                  GLX_GREEN_SIZE,
                                  8,
                                  GLX_BLUE_SIZE,
                                  8,
                                  None};
        XErrorTrap trap(display_);
        int count = 0;
        GLXFBConfig* configs =
            glXChooseFBConfig(display_, DefaultScreen(display_), attributes, &count);
        if (configs != nullptr && count > 0) {
            const int size[] = {GLX_PBUFFER_WIDTH, kOffscreenWidth, GLX_PBUFFER_HEIGHT,
                                kOffscreenHeight, None};
            pbuffer_ = glXCreatePbuffer(display_, configs[0], size);
            if (pbuffer_ != 0) {
                offscreenContext_ =
                    glXCreateNewContext(display_, configs[0], GLX_RGBA_TYPE, nullptr, True);
            }
        }
        if (configs != nullptr) {
            XFree(configs);
        }
        if (trap.Failed() || pbuffer_ == 0 || offscreenContext_ == nullptr) {
            if (offscreenContext_ != nullptr) {
                glXDestroyContext(display_, offscreenContext_);
                offscreenContext_ = nullptr;
            }
            if (pbuffer_ != 0) {
                glXDestroyPbuffer(display_, pbuffer_);
                pbuffer_ = 0;
            }
            trap.Failed();
            return Fail("The editor's offscreen bitmap could not be created.");
        }
        offscreenPixels_.assign(static_cast<std::size_t>(kOffscreenWidth) * kOffscreenHeight * 3,
                                0);
        return true;
    }

    // The offscreen bitmap's memory is the pbuffer read back: the Manager
    // draws offscreen, calls MakeCurrent and then uploads the pixels, which
    // is the moment they are taken. Rows bottom up, like a bottom-up DIB.
    void ReadOffscreen() {
        glFinish();
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glReadPixels(0, 0, kOffscreenWidth, kOffscreenHeight, GL_BGR, GL_UNSIGNED_BYTE,
                     offscreenPixels_.data());
    }

    void TakeFocus() {
        if (display_ == nullptr || window_ == 0 || windowGone_) {
            return;
        }
        // Refused (BadMatch) while the window is not viewable, for instance
        // when the host hides its window.
        XErrorTrap trap(display_);
        XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
        trap.Failed();
    }

    // Sizes and focus asked for by other threads, applied by the owner of
    // the connection.
    void ApplyRequests() {
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

    // Hands every event already received to the editor; true when there
    // was any. Errors of our requests (a window the host destroyed) are read
    // here too, and must not reach the host's handler.
    bool DispatchQueuedEvents() {
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
        // The editor's handlers run outside the trap: they call back into
        // the bridge (Focus, SetSize), and the trap's lock is shared by every
        // editor of the process.
        for (XEvent& event : batch_) {
            Dispatch(event);
        }
        return !batch_.empty();
    }

    void Dispatch(XEvent& event) {
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
                    clicks_ = platform::afterPress(clicks_, b.time, b.x, b.y, b.button);
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
                const int length =
                    XLookupString(&event.xkey, text, sizeof text - 1, &keysym, nullptr);
                const int character = characterForKey(keysym, text, length);
                if (character != 0 && events != nullptr) {
                    events->Key(character, static_cast<int>(keysym));
                }
                break;
            }
            case FocusOut:
                // Grabs (a host's menu, a drag) lend the keyboard for a while
                // and give it back; they are no loss of focus.
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
                // The host destroyed its window with ours inside: nothing
                // may draw into it or destroy it again.
                if (event.xdestroywindow.window == window_) {
                    windowGone_ = true;
                    windowId_.store(0);
                }
                break;
            default:
                break;
        }
    }

    const EditorWindowSpec spec_;
    const int wakeFd_;
    std::atomic<std::thread::id> renderThread_{};
    std::atomic<std::uintptr_t> windowId_{0};
    std::atomic<int> height_;
    std::atomic<int> requestedWidth_;
    std::atomic<int> requestedHeight_;
    std::atomic<bool> focusRequested_{false};

    // Render thread only.
    Display* display_ = nullptr;
    std::optional<XErrorTrap> working_;
    GLXFBConfig config_ = nullptr;
    Colormap colormap_ = 0;
    Window window_ = 0;
    bool windowGone_ = false;
    GLXWindow glxWindow_ = 0;
    GLXContext context_ = nullptr;
    GLXPbuffer pbuffer_ = 0;
    GLXContext offscreenContext_ = nullptr;
    std::vector<std::uint8_t> offscreenPixels_;
    std::vector<XEvent> batch_;
    int offscreenWidth_ = kOffscreenWidth;
    int offscreenHeight_ = kOffscreenHeight;
    Current current_ = Current::Nothing;
    int appliedWidth_ = 0;
    int appliedHeight_ = 0;
    int windowX_ = 0;
    int windowY_ = 0;

    platform::ClickCount clicks_;
};

}  // namespace

std::unique_ptr<ManagerPlatformBridge> CreateManagerBridge(const EditorWindowSpec& spec) {
    return std::make_unique<ManagerLinuxBridge>(spec);
}

// Windows registers a window class for the editors; X has nothing of the
// kind, but the count is kept so that both systems answer the same.
void RegisterEditorClass() {
    gEditorClassUsers.fetch_add(1);
}

void UnregisterEditorClass() {
    gEditorClassUsers.fetch_sub(1);
}

int EditorClassUsers() {
    return gEditorClassUsers.load();
}

}  // namespace QX
