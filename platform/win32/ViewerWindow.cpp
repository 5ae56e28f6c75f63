// tavro-view's host window on Windows: a top-level window the plug-in's
// editor opens into, its message loop, and input delivered as the window
// messages a real mouse and keyboard produce. Input is posted to the window
// under the point and dispatched at once, with the keyboard state holding
// the requested modifiers while the editor's window procedure runs (it reads
// them with GetKeyState, which posted messages do not change).

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "platform/ViewerWindow.h"

namespace platform {
namespace {

constexpr char kClassName[] = "TavroViewerWindow";
// A host's plug-in window: fixed frame, sized by the plug-in, never by the
// user; children are not painted over.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = 0;

// The editor's modifier bits (see ManagerPlatformBridge.h).
constexpr int kAlt = 0x100;
constexpr int kShift = 0x200;
constexpr int kControl = 0x800;

// The module this code lives in (tavro-view, or a test program).
HINSTANCE ownInstance() {
    HMODULE module = nullptr;
    GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCSTR>(&ownInstance), &module);
    return module;
}

RECT outerRect(int width, int height) {
    RECT rect{0, 0, width, height};
    AdjustWindowRectEx(&rect, kStyle, FALSE, kExStyle);
    return rect;
}

WPARAM mouseKeyFlags(int modifiers) {
    WPARAM flags = 0;
    if ((modifiers & kShift) != 0) {
        flags |= MK_SHIFT;
    }
    if ((modifiers & kControl) != 0) {
        flags |= MK_CONTROL;
    }
    return flags;
}

LPARAM pointParam(POINT point) {
    return MAKELPARAM(static_cast<WORD>(point.x), static_cast<WORD>(point.y));
}

// Holds the thread's keyboard state at the given modifiers for its lifetime.
class ModifierKeys {
public:
    explicit ModifierKeys(int modifiers) {
        saved_ = GetKeyboardState(before_) != FALSE;
        BYTE keys[256];
        std::memcpy(keys, before_, sizeof keys);
        set(keys, VK_SHIFT, VK_LSHIFT, VK_RSHIFT, (modifiers & kShift) != 0);
        set(keys, VK_CONTROL, VK_LCONTROL, VK_RCONTROL, (modifiers & kControl) != 0);
        set(keys, VK_MENU, VK_LMENU, VK_RMENU, (modifiers & kAlt) != 0);
        SetKeyboardState(keys);
    }
    ~ModifierKeys() {
        if (saved_) {
            SetKeyboardState(before_);
        }
    }
    ModifierKeys(const ModifierKeys&) = delete;
    ModifierKeys& operator=(const ModifierKeys&) = delete;

private:
    static void set(BYTE* keys, int either, int left, int right, bool down) {
        const BYTE state = down ? 0x80 : 0;
        keys[either] = state;
        keys[left] = state;
        keys[right] = 0;
    }

    BYTE before_[256] = {};
    bool saved_ = false;
};

class Win32ViewerWindow final : public ViewerWindow {
public:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
            SetWindowLongPtrA(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<Win32ViewerWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self != nullptr && (message == WM_CLOSE || message == WM_DESTROY)) {
            self->closed_ = true;
        }
        if (message == WM_CLOSE) {
            // As a host does: the window stays until the editor inside it
            // was closed (the destructor destroys it).
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }

    bool open(const std::string& title, int width, int height) {
        const RECT outer = outerRect(width, height);
        window_ = CreateWindowExA(kExStyle, kClassName, title.c_str(), kStyle, 0, 0,
                                  outer.right - outer.left, outer.bottom - outer.top, nullptr,
                                  nullptr, ownInstance(), this);
        if (window_ == nullptr) {
            std::fprintf(stderr, "cannot create the viewer window (error %lu)\n",
                         static_cast<unsigned long>(GetLastError()));
            return false;
        }
        ShowWindow(window_, SW_SHOWNORMAL);
        UpdateWindow(window_);
        return true;
    }

    ~Win32ViewerWindow() override {
        if (window_ != nullptr && IsWindow(window_)) {
            SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
            DestroyWindow(window_);
        }
    }

    void* NativeHandle() override { return window_; }

    void Resize(int width, int height) override {
        const RECT outer = outerRect(width, height);
        SetWindowPos(window_, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    void Show(bool shown) override { ShowWindow(window_, shown ? SW_SHOW : SW_HIDE); }

    bool PumpEvents(int milliseconds) override {
        const ULONGLONG deadline =
            GetTickCount64() + static_cast<ULONGLONG>(milliseconds > 0 ? milliseconds : 0);
        for (;;) {
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (message.message == WM_QUIT) {
                    closed_ = true;
                    break;
                }
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
            const ULONGLONG now = GetTickCount64();
            if (closed_ || now >= deadline) {
                break;
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now),
                                      QS_ALLINPUT);
        }
        return !closed_;
    }

    // Wine presents GL child windows off screen: the X screen never shows
    // them, and GDI reads of the window would not either.
    bool Capture(Picture& /*picture*/) override { return false; }

    bool Click(int x, int y, int clickCount, int modifiers) override {
        POINT point{};
        HWND target = windowAt(x, y, point);
        if (target == nullptr) {
            return false;
        }
        ModifierKeys keys(modifiers);
        const WPARAM flags = mouseKeyFlags(modifiers);
        PostMessageA(target, WM_MOUSEMOVE, flags, pointParam(point));
        // What Windows makes of quick clicks: down, up, double-click, up, ...
        for (int i = 0; i < (clickCount > 1 ? clickCount : 1); ++i) {
            const UINT down = i % 2 == 1 ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN;
            PostMessageA(target, down, flags | MK_LBUTTON, pointParam(point));
            PostMessageA(target, WM_LBUTTONUP, flags, pointParam(point));
        }
        dispatchPosted();
        return true;
    }

    bool MovePointer(int x, int y) override {
        POINT point{};
        HWND target = windowAt(x, y, point);
        if (target == nullptr) {
            return false;
        }
        PostMessageA(target, WM_MOUSEMOVE, 0, pointParam(point));
        dispatchPosted();
        return true;
    }

    bool Drag(int x, int y, int dx, int dy, int modifiers) override {
        POINT start{};
        HWND target = windowAt(x, y, start);
        if (target == nullptr) {
            return false;
        }
        ModifierKeys keys(modifiers);
        const WPARAM flags = mouseKeyFlags(modifiers);
        PostMessageA(target, WM_MOUSEMOVE, flags, pointParam(start));
        PostMessageA(target, WM_LBUTTONDOWN, flags | MK_LBUTTON, pointParam(start));
        // A real pointer moves in steps; a control sees several drags.
        constexpr int kSteps = 10;
        POINT point = start;
        for (int step = 1; step <= kSteps; ++step) {
            point.x = start.x + dx * step / kSteps;
            point.y = start.y + dy * step / kSteps;
            PostMessageA(target, WM_MOUSEMOVE, flags | MK_LBUTTON, pointParam(point));
        }
        PostMessageA(target, WM_LBUTTONUP, flags, pointParam(point));
        dispatchPosted();
        return true;
    }

    bool Wheel(int x, int y, int notches) override {
        POINT client{};
        HWND target = windowAt(x, y, client);
        if (target == nullptr) {
            return false;
        }
        POINT screen{x, y};
        ClientToScreen(window_, &screen);
        const short delta = notches < 0 ? -WHEEL_DELTA : WHEEL_DELTA;
        for (int i = 0; i < std::abs(notches); ++i) {
            PostMessageA(target, WM_MOUSEWHEEL, MAKEWPARAM(0, delta), pointParam(screen));
        }
        dispatchPosted();
        return true;
    }

    bool TypeText(const std::string& text) override {
        // Keys go to the window with the focus (the editor takes it when
        // clicked), else to the editor's window.
        HWND target = GetFocus();
        if (target == nullptr || !IsChild(window_, target)) {
            target = GetWindow(window_, GW_CHILD);
        }
        if (target == nullptr) {
            return false;
        }
        for (const char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            int key = 0;
            bool shift = false;
            if (byte == '\r' || byte == '\n') {
                key = VK_RETURN;
            } else if (byte == '\b') {
                key = VK_BACK;
            } else {
                const SHORT scan = VkKeyScanA(c);
                if (scan != -1) {
                    key = LOBYTE(scan);
                    shift = (HIBYTE(scan) & 1) != 0;
                }
            }
            const WPARAM character = byte == '\n' ? '\r' : byte;
            ModifierKeys keys(shift ? kShift : 0);
            // The key-down and key-up messages carry the scan code, as the
            // keyboard's do; the character is the one TranslateMessage
            // would make of them.
            const LPARAM scanCode =
                static_cast<LPARAM>(MapVirtualKeyA(static_cast<UINT>(key), MAPVK_VK_TO_VSC)) << 16;
            if (key != 0) {
                PostMessageA(target, WM_KEYDOWN, static_cast<WPARAM>(key), scanCode | 1);
            }
            PostMessageA(target, WM_CHAR, character, scanCode | 1);
            if (key != 0) {
                PostMessageA(target, WM_KEYUP, static_cast<WPARAM>(key),
                             scanCode | 1 | static_cast<LPARAM>(0xC0000000u));
            }
            dispatchPosted();
        }
        return true;
    }

private:
    // The child window (the editor's) at the viewer's client point, and the
    // point in that window's client coordinates.
    HWND windowAt(int x, int y, POINT& client) const {
        if (window_ == nullptr || !IsWindow(window_)) {
            return nullptr;
        }
        POINT point{x, y};
        HWND child = ChildWindowFromPointEx(window_, point, CWP_SKIPINVISIBLE);
        if (child == nullptr || child == window_) {
            child = GetWindow(window_, GW_CHILD);
        }
        if (child == nullptr) {
            return nullptr;
        }
        MapWindowPoints(window_, child, &point, 1);
        client = point;
        return child;
    }

    // Runs the window procedures for everything posted so far, without
    // translating keys (the character messages were posted already).
    void dispatchPosted() {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                closed_ = true;
                break;
            }
            DispatchMessageA(&message);
        }
    }

    HWND window_ = nullptr;
    bool closed_ = false;
};

bool registerViewerClass() {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = Win32ViewerWindow::procedure;
    windowClass.hInstance = ownInstance();
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    windowClass.lpszClassName = kClassName;
    return RegisterClassExA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool wineWithoutDisplay() {
    const bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    char value[2];
    return wine && GetEnvironmentVariableA("DISPLAY", value, sizeof value) == 0 &&
           GetEnvironmentVariableA("WAYLAND_DISPLAY", value, sizeof value) == 0;
}

}  // namespace

std::unique_ptr<ViewerWindow> ViewerWindow::Create(const std::string& title, int width,
                                                   int height) {
    if (wineWithoutDisplay()) {
        // Wine would make invisible windows without GL, and the editor's
        // error boxes would wait for a click that never comes.
        std::fprintf(stderr, "no display: DISPLAY is not set for Wine\n");
        return nullptr;
    }
    static const bool registered = registerViewerClass();
    if (!registered) {
        std::fprintf(stderr, "cannot register the viewer window's class (error %lu)\n",
                     static_cast<unsigned long>(GetLastError()));
        return nullptr;
    }
    auto viewer = std::make_unique<Win32ViewerWindow>();
    if (!viewer->open(title, width, height)) {
        return nullptr;
    }
    return viewer;
}

}  // namespace platform
