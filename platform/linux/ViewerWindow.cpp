// tavro-view's window on X11: a top-level window on a connection of the
// viewer's own thread, closed through the window manager's delete
// protocol; pictures read from the screen; input synthesised with XTEST so
// that it reaches the editor's child window the way a user's does, through
// the server.

#include "platform/ViewerWindow.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "linux/XErrorTrap.h"

namespace platform {

namespace {

using x11::XErrorTrap;

// Pause between the steps of a drag, so that the editor sees a movement
// rather than a jump.
constexpr int kDragSteps = 8;
constexpr auto kDragStepPause = std::chrono::milliseconds(8);

// The shift of a colour mask's lowest bit and the mask's width in bits.
void maskShape(unsigned long mask, int& shift, int& bits) {
    shift = 0;
    bits = 0;
    if (mask == 0) {
        return;
    }
    while ((mask & 1) == 0) {
        mask >>= 1;
        ++shift;
    }
    while ((mask & 1) != 0) {
        mask >>= 1;
        ++bits;
    }
}

std::uint8_t channel(unsigned long pixel, int shift, int bits) {
    if (bits == 0) {
        return 0;
    }
    const unsigned long value = (pixel >> shift) & ((1UL << bits) - 1);
    return static_cast<std::uint8_t>(value * 255 / ((1UL << bits) - 1));
}

// One code point from UTF-8 text at `i`, advancing it; malformed bytes are
// taken as Latin-1 characters.
unsigned long nextCodePoint(const std::string& text, std::size_t& i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char first = byte(i);
    const std::size_t extra = first >= 0xF0 ? 3 : first >= 0xE0 ? 2 : first >= 0xC0 ? 1 : 0;
    if (extra == 0 || i + extra >= text.size()) {
        ++i;
        return first;
    }
    unsigned long code = first & (0x3FU >> extra);
    for (std::size_t k = 1; k <= extra; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            ++i;
            return first;
        }
        code = (code << 6) | (byte(i + k) & 0x3FU);
    }
    i += extra + 1;
    return code;
}

class X11ViewerWindow final : public ViewerWindow {
public:
    X11ViewerWindow(Display* display, Window window, Atom deleteWindow, bool xtest)
        : display_(display), window_(window), deleteWindow_(deleteWindow), xtest_(xtest) {}

    ~X11ViewerWindow() override {
        {
            // Gone already when the window manager destroyed it.
            XErrorTrap trap(display_);
            XDestroyWindow(display_, window_);
            trap.Failed();
        }
        XCloseDisplay(display_);
    }

    void* NativeHandle() override {
        return reinterpret_cast<void*>(static_cast<std::uintptr_t>(window_));
    }

    void Resize(int width, int height) override {
        if (width <= 0 || height <= 0 || closed_) {
            return;
        }
        XResizeWindow(display_, window_, static_cast<unsigned>(width),
                      static_cast<unsigned>(height));
        XSync(display_, False);
    }

    void Show(bool shown) override {
        if (closed_) {
            return;
        }
        if (shown) {
            XMapWindow(display_, window_);
        } else {
            XUnmapWindow(display_, window_);
        }
        XSync(display_, False);
    }

    bool PumpEvents(int milliseconds) override {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(milliseconds, 0));
        for (;;) {
            HandleEvents();
            if (closed_) {
                return false;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                    .count();
            if (left <= 0) {
                return true;
            }
            pollfd fd{ConnectionNumber(display_), POLLIN, 0};
            poll(&fd, 1, static_cast<int>(left));
        }
    }

    bool ChildWindowShown() override {
        if (closed_) {
            return false;
        }
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        bool shown = false;
        XErrorTrap trap(display_);
        if (XQueryTree(display_, window_, &root, &parent, &children, &count) != 0) {
            for (unsigned i = 0; i < count && !shown; ++i) {
                XWindowAttributes attributes{};
                // A child may go away between the two requests.
                shown = XGetWindowAttributes(display_, children[i], &attributes) != 0 &&
                        attributes.map_state == IsViewable;
            }
            if (children != nullptr) {
                XFree(children);
            }
        }
        trap.Failed();
        return shown;
    }

    bool Capture(Picture& picture) override {
        int x = 0, y = 0;
        if (closed_ || !ScreenPoint(0, 0, x, y)) {
            return false;
        }
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(display_, window_, &attributes) ||
            attributes.map_state != IsViewable) {
            return false;
        }
        const int width = attributes.width;
        const int height = attributes.height;
        picture.width = width;
        picture.height = height;
        picture.rgba.assign(static_cast<std::size_t>(width) * height * 4, 0);

        // The root window shows what was really presented: GL child
        // windows included, and nothing of what covers them is special.
        const int screen = DefaultScreen(display_);
        const int left = std::max(x, 0);
        const int top = std::max(y, 0);
        const int right = std::min(x + width, DisplayWidth(display_, screen));
        const int bottom = std::min(y + height, DisplayHeight(display_, screen));
        if (right <= left || bottom <= top) {
            return true;
        }
        XImage* image = nullptr;
        {
            XErrorTrap trap(display_);
            image = XGetImage(display_, RootWindow(display_, screen), left, top,
                              static_cast<unsigned>(right - left),
                              static_cast<unsigned>(bottom - top), AllPlanes, ZPixmap);
            if (trap.Failed() && image != nullptr) {
                XDestroyImage(image);
                image = nullptr;
            }
        }
        if (image == nullptr) {
            return false;
        }
        int redShift, redBits, greenShift, greenBits, blueShift, blueBits;
        maskShape(image->red_mask, redShift, redBits);
        maskShape(image->green_mask, greenShift, greenBits);
        maskShape(image->blue_mask, blueShift, blueBits);
        for (int row = top; row < bottom; ++row) {
            std::uint8_t* out =
                picture.rgba.data() + (static_cast<std::size_t>(row - y) * width + (left - x)) * 4;
            for (int column = left; column < right; ++column) {
                const unsigned long pixel = XGetPixel(image, column - left, row - top);
                *out++ = channel(pixel, redShift, redBits);
                *out++ = channel(pixel, greenShift, greenBits);
                *out++ = channel(pixel, blueShift, blueBits);
                *out++ = 255;
            }
        }
        XDestroyImage(image);
        return true;
    }

    bool Click(int x, int y, int clickCount, int modifiers) override {
        int rx = 0, ry = 0;
        if (!InputReady() || !ScreenPoint(x, y, rx, ry)) {
            return false;
        }
        XTestFakeMotionEvent(display_, DefaultScreen(display_), rx, ry, CurrentTime);
        HoldModifiers(modifiers, true);
        for (int i = 0; i < std::max(clickCount, 1); ++i) {
            XTestFakeButtonEvent(display_, Button1, True, CurrentTime);
            XTestFakeButtonEvent(display_, Button1, False, CurrentTime);
        }
        HoldModifiers(modifiers, false);
        XSync(display_, False);
        return true;
    }

    bool MovePointer(int x, int y) override {
        int rx = 0, ry = 0;
        if (!InputReady() || !ScreenPoint(x, y, rx, ry)) {
            return false;
        }
        XTestFakeMotionEvent(display_, DefaultScreen(display_), rx, ry, CurrentTime);
        XSync(display_, False);
        return true;
    }

    bool Drag(int x, int y, int dx, int dy, int modifiers) override {
        int rx = 0, ry = 0;
        if (!InputReady() || !ScreenPoint(x, y, rx, ry)) {
            return false;
        }
        const int screen = DefaultScreen(display_);
        XTestFakeMotionEvent(display_, screen, rx, ry, CurrentTime);
        HoldModifiers(modifiers, true);
        XTestFakeButtonEvent(display_, Button1, True, CurrentTime);
        XSync(display_, False);
        for (int step = 1; step <= kDragSteps; ++step) {
            std::this_thread::sleep_for(kDragStepPause);
            XTestFakeMotionEvent(display_, screen, rx + dx * step / kDragSteps,
                                 ry + dy * step / kDragSteps, CurrentTime);
            XSync(display_, False);
        }
        XTestFakeButtonEvent(display_, Button1, False, CurrentTime);
        HoldModifiers(modifiers, false);
        XSync(display_, False);
        return true;
    }

    bool Wheel(int x, int y, int notches) override {
        int rx = 0, ry = 0;
        if (!InputReady() || !ScreenPoint(x, y, rx, ry)) {
            return false;
        }
        XTestFakeMotionEvent(display_, DefaultScreen(display_), rx, ry, CurrentTime);
        // Buttons 4 and 5 are the wheel's notches away from and towards the
        // user.
        const unsigned button = notches > 0 ? Button4 : Button5;
        for (int i = 0; i < std::abs(notches); ++i) {
            XTestFakeButtonEvent(display_, button, True, CurrentTime);
            XTestFakeButtonEvent(display_, button, False, CurrentTime);
        }
        XSync(display_, False);
        return true;
    }

    bool TypeText(const std::string& text) override {
        if (!InputReady()) {
            return false;
        }
        EnsureKeyboardFocus();
        bool all = true;
        for (std::size_t i = 0; i < text.size();) {
            const unsigned long code = nextCodePoint(text, i);
            KeySym keysym = NoSymbol;
            switch (code) {
                case '\n':
                case '\r':
                    keysym = XK_Return;
                    break;
                case '\b':
                    keysym = XK_BackSpace;
                    break;
                case '\t':
                    keysym = XK_Tab;
                    break;
                case 0x1B:
                    keysym = XK_Escape;
                    break;
                default:
                    // Latin-1 keysyms are the characters' codes; others
                    // are the code point with 0x01000000 set.
                    keysym = (code >= 0x20 && code < 0x7F) || (code >= 0xA0 && code <= 0xFF)
                                 ? code
                                 : 0x01000000UL | code;
                    break;
            }
            all = TapKeysym(keysym, 0) && all;
        }
        XSync(display_, False);
        return all;
    }

    bool PressKey(const std::string& name, int modifiers) override {
        if (!InputReady() || name.empty()) {
            return false;
        }
        EnsureKeyboardFocus();
        KeySym keysym = NoSymbol;
        if (name.size() == 1) {
            keysym = static_cast<unsigned char>(name[0]);
        } else {
            keysym = XStringToKeysym(name.c_str());
        }
        if (keysym == NoSymbol) {
            return false;
        }
        // The numeric pad types digits only with Num Lock on.
        const bool digitPad = (keysym >= XK_KP_0 && keysym <= XK_KP_9) || keysym == XK_KP_Decimal;
        const bool toggleNumLock = digitPad && !NumLockOn();
        if (toggleNumLock) {
            TapKeysym(XK_Num_Lock, 0);
        }
        const bool typed = TapKeysym(keysym, modifiers);
        if (toggleNumLock) {
            TapKeysym(XK_Num_Lock, 0);
        }
        XSync(display_, False);
        return typed;
    }

private:
    // Keys go to the focus window, or to the window under the pointer when
    // that lies inside the focus window. A window manager focuses the window
    // the user works in; without one (Xvfb) the focus may be nowhere after
    // an earlier window went, and keys would be lost until the editor takes
    // the focus itself on a click.
    void EnsureKeyboardFocus() {
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(display_, &focus, &revert);
        if (focus == PointerRoot || Inside(focus)) {
            return;
        }
        XErrorTrap trap(display_);
        XSetInputFocus(display_, window_, RevertToPointerRoot, CurrentTime);
        trap.Failed();
    }

    // Whether `w` is the viewer's window or one inside it.
    bool Inside(Window w) {
        XErrorTrap trap(display_);
        while (w != 0 && w != window_) {
            Window root = 0, parent = 0;
            Window* children = nullptr;
            unsigned count = 0;
            if (XQueryTree(display_, w, &root, &parent, &children, &count) == 0) {
                return false;
            }
            if (children != nullptr) {
                XFree(children);
            }
            w = parent == root ? 0 : parent;
        }
        return w == window_ && w != 0;
    }

    bool InputReady() {
        if (closed_) {
            return false;
        }
        if (!xtest_) {
            std::fprintf(stderr, "the X server has no XTEST extension: no input is synthesised\n");
            return false;
        }
        return true;
    }

    bool ScreenPoint(int x, int y, int& rx, int& ry) {
        Window child = 0;
        return XTranslateCoordinates(display_, window_, DefaultRootWindow(display_), x, y, &rx, &ry,
                                     &child) != 0;
    }

    void HoldModifiers(int modifiers, bool down) {
        static const struct {
            int bit;
            KeySym key;
        } kKeys[] = {{0x200, XK_Shift_L}, {0x800, XK_Control_L}, {0x100, XK_Alt_L}};
        for (const auto& k : kKeys) {
            if ((modifiers & k.bit) != 0) {
                const KeyCode code = XKeysymToKeycode(display_, k.key);
                if (code != 0) {
                    XTestFakeKeyEvent(display_, code, down ? True : False, CurrentTime);
                }
            }
        }
    }

    // Presses and releases the key that types `keysym`, with Shift when the
    // symbol is on the key's shifted level. False when no key types it.
    bool TapKeysym(KeySym keysym, int modifiers) {
        const KeyCode code = XKeysymToKeycode(display_, keysym);
        if (code == 0) {
            return false;
        }
        bool shift = false;
        // The numeric pad's second level belongs to Num Lock, not Shift.
        if (!IsKeypadKey(keysym) && XkbKeycodeToKeysym(display_, code, 0, 0) != keysym) {
            if (XkbKeycodeToKeysym(display_, code, 0, 1) != keysym) {
                return false;
            }
            shift = true;
        }
        if (shift) {
            modifiers |= 0x200;
        }
        HoldModifiers(modifiers, true);
        XTestFakeKeyEvent(display_, code, True, CurrentTime);
        XTestFakeKeyEvent(display_, code, False, CurrentTime);
        HoldModifiers(modifiers, false);
        return true;
    }

    bool NumLockOn() {
        XkbStateRec state{};
        if (XkbGetState(display_, XkbUseCoreKbd, &state) != Success) {
            return false;
        }
        const unsigned mask = XkbKeysymToModifiers(display_, XK_Num_Lock);
        return mask != 0 && (state.locked_mods & mask) != 0;
    }

    void HandleEvents() {
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            switch (event.type) {
                case ClientMessage:
                    if (static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow_) {
                        closed_ = true;
                    }
                    break;
                case DestroyNotify:
                    if (event.xdestroywindow.window == window_) {
                        closed_ = true;
                    }
                    break;
                default:
                    break;
            }
        }
    }

    Display* display_;
    Window window_;
    Atom deleteWindow_;
    bool xtest_;
    bool closed_ = false;
};

}  // namespace

std::unique_ptr<ViewerWindow> ViewerWindow::Create(const std::string& title, int width,
                                                   int height) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        const char* name = std::getenv("DISPLAY");
        std::fprintf(stderr, "cannot open the X display '%s'%s\n", name != nullptr ? name : "",
                     name != nullptr ? "" : " (DISPLAY is not set)");
        return nullptr;
    }
    if (width <= 0 || height <= 0) {
        std::fprintf(stderr, "cannot make a window of %d x %d pixels\n", width, height);
        XCloseDisplay(display);
        return nullptr;
    }
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    const bool xtest = XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor);

    const int screen = DefaultScreen(display);
    const Window window = XCreateSimpleWindow(
        display, RootWindow(display, screen), 0, 0, static_cast<unsigned>(width),
        static_cast<unsigned>(height), 0, BlackPixel(display, screen), BlackPixel(display, screen));
    XStoreName(display, window, title.c_str());
    Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window, &deleteWindow, 1);
    XSelectInput(display, window, StructureNotifyMask);
    XMapWindow(display, window);

    // A plug-in may make its child window only once the host's is known to
    // the server, and pictures need it on the screen: wait until mapped (a
    // window manager may take a moment to let it be).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    bool mapped = false;
    while (!mapped && std::chrono::steady_clock::now() < deadline) {
        while (!mapped && XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            mapped = event.type == MapNotify && event.xmap.window == window;
        }
        if (!mapped) {
            pollfd fd{ConnectionNumber(display), POLLIN, 0};
            poll(&fd, 1, 50);
        }
    }
    XSync(display, False);
    return std::make_unique<X11ViewerWindow>(display, window, deleteWindow, xtest);
}

}  // namespace platform
