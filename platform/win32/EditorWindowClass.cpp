// The editor's child window on Windows: the process-wide window class and
// the window procedure, which only translates the window's messages into
// the editor's events (the editor queues them for its render thread) and
// does what other threads asked of the window (focus, the host's turn).
// Everything here runs on the thread that owns the window: the host's
// user-interface thread.

#include "win32/EditorWindowClass.h"

#include <windowsx.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "platform/BuiltinResources.h"
#include "platform/InputTranslation.h"
#include "platform/ManagerPlatformBridge.h"

namespace QX {
namespace {

// Several hosts' threads may open and close editors of this module at once.
std::mutex classMutex;
int classUsers = 0;
char className[64] = {};

}  // namespace

// The plug-in's module when it recorded one at load time, else the program.
HINSTANCE editorInstance() {
    if (void* module = platform::moduleHandle()) {
        return static_cast<HINSTANCE>(module);
    }
    return GetModuleHandleA(nullptr);
}

namespace {

int modifierBits() {
    int bits = 0;
    if (GetKeyState(VK_SHIFT) < 0) {
        bits |= kModifierShift;
    }
    if (GetKeyState(VK_CONTROL) < 0) {
        bits |= kModifierControl;
    }
    if (GetKeyState(VK_MENU) < 0) {
        bits |= kModifierAlt;
    }
    return bits;
}

// The key-down messages of named keys. Backspace, return and the numeric
// pad's digits are left to the character message that follows, which types
// them already: mapped here too, they would arrive twice.
platform::NamedKey namedKey(WPARAM key) {
    switch (key) {
        case VK_LEFT:
            return platform::NamedKey::Left;
        case VK_UP:
            return platform::NamedKey::Up;
        case VK_RIGHT:
            return platform::NamedKey::Right;
        case VK_DOWN:
            return platform::NamedKey::Down;
        case VK_DELETE:
            return platform::NamedKey::Delete;
        case VK_SUBTRACT:
            return platform::NamedKey::Subtract;
        case VK_OEM_MINUS:
            return platform::NamedKey::Minus;
        case VK_DECIMAL:
            return platform::NamedKey::Decimal;
        case VK_OEM_PERIOD:
            return platform::NamedKey::Period;
        default:
            return platform::NamedKey::Other;
    }
}

LRESULT CALLBACK editorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        // From the first message on, so that the creation's own move reaches
        // the editor too.
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* events = reinterpret_cast<EditorWindowEvents*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (events == nullptr) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    const int x = GET_X_LPARAM(lParam);
    const int y = GET_Y_LPARAM(lParam);
    switch (message) {
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
            events->ButtonDown(x, y, modifierBits(), 1);
            return 0;
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDBLCLK:
        case WM_MBUTTONDBLCLK:
            events->ButtonDown(x, y, modifierBits(), 2);
            return 0;
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP:
            events->ButtonUp(x, y, modifierBits());
            return 0;
        case WM_MOUSEMOVE:
            events->PointerMoved(x, y, modifierBits());
            break;
        case WM_MOUSEWHEEL: {
            POINT point{x, y};  // screen coordinates for this message
            ScreenToClient(window, &point);
            events->Wheel(point.x, point.y, modifierBits(), GET_WHEEL_DELTA_WPARAM(wParam));
            break;
        }
        case WM_KEYDOWN: {
            const int character = platform::characterFor(namedKey(wParam));
            if (character != 0 && events->Key(character, static_cast<int>(wParam))) {
                return 0;
            }
            break;
        }
        case WM_CHAR:
            if (events->Key(static_cast<int>(wParam & 255), 0)) {
                return 0;
            }
            break;
        case WM_GETDLGCODE:
            return DLGC_WANTALLKEYS | DLGC_WANTARROWS | DLGC_WANTCHARS;
        case WM_MOVE:
            events->Moved(x, y);
            break;
        case WM_KILLFOCUS:
            events->FocusLost();
            break;
        case kTakeFocusMessage:
            SetFocus(window);
            return 0;
        case kHostTurnMessage:
            events->HostTurn();
            return 0;
        case WM_ERASEBKGND:
            // The render thread paints every pixel; erasing would flicker.
            return 0;
        default:
            break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

void RegisterEditorClass() {
    std::lock_guard<std::mutex> lock(classMutex);
    if (++classUsers != 1) {
        return;
    }
    HINSTANCE instance = editorInstance();
    // Named after the module, so that two copies of the plug-in loaded from
    // different files keep their own classes.
    std::snprintf(className, sizeof className, "com.Zeph.TAVRO.ShellVST%p",
                  static_cast<void*>(instance));
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_DBLCLKS | CS_OWNDC | CS_GLOBALCLASS;
    windowClass.lpfnWndProc = editorWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    windowClass.lpszClassName = className;
    RegisterClassExA(&windowClass);
}

void UnregisterEditorClass() {
    std::lock_guard<std::mutex> lock(classMutex);
    if (classUsers == 0) {
        return;  // unbalanced call: the class belongs to the remaining users
    }
    if (--classUsers == 0) {
        UnregisterClassA(className, editorInstance());
    }
}

int EditorClassUsers() {
    std::lock_guard<std::mutex> lock(classMutex);
    return classUsers;
}

HWND createEditorWindow(const EditorWindowSpec& spec) {
    std::string name;
    {
        std::lock_guard<std::mutex> lock(classMutex);
        name = className;
    }
    return CreateWindowExA(0, name.c_str(), "Window",
                           WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, spec.x,
                           spec.y, spec.width, spec.height, static_cast<HWND>(spec.parent), nullptr,
                           editorInstance(), spec.events);
}

}  // namespace QX
