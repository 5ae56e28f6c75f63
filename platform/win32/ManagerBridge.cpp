// The bridge that gives the editor's render thread its WGL contexts (the
// child window's own, and a DIB-section bitmap for GL without framebuffer
// objects) and the few window operations the editor asks for. The window
// itself, its class and its procedure: EditorWindowClass.cpp.

#include <windows.h>

#include <GL/gl.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/Diagnostics.h"
#include "platform/ManagerPlatformBridge.h"
#include "win32/EditorWindowClass.h"

namespace QX {
namespace {

// The system's text for `error`, "" when it has none.
std::string systemErrorText(DWORD error) {
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text(buffer != nullptr ? buffer : "", length);
    LocalFree(buffer);
    return text;
}

// A failed window, DC or GL step: the user sees why, and the caller goes on
// with the next step (a partial context still gives a window that closes).
void reportLastError() {
    const DWORD error = GetLastError();
    std::string text = systemErrorText(error);
    if (text.empty()) {
        char number[32];
        std::snprintf(number, sizeof number, "Error %lu", static_cast<unsigned long>(error));
        text = number;
    }
    platform::showMessageBox("Error", text, platform::MessageIcon::kExclamation);
}

PIXELFORMATDESCRIPTOR pixelFormat(DWORD flags, BYTE depthBits) {
    PIXELFORMATDESCRIPTOR format{};
    format.nSize = sizeof format;
    format.nVersion = 1;
    format.dwFlags = flags;
    format.iPixelType = PFD_TYPE_RGBA;
    format.cColorBits = 24;
    format.cDepthBits = depthBits;
    format.iLayerType = PFD_MAIN_PLANE;
    return format;
}
static_assert(sizeof(PIXELFORMATDESCRIPTOR) == 40);

// Chooses and sets the format on `dc`, then creates a context there and makes
// it current; each failing step is reported and the next one still runs.
HGLRC createCurrentContext(HDC dc, const PIXELFORMATDESCRIPTOR& format) {
    const int index = ChoosePixelFormat(dc, &format);
    if (index == 0) {
        reportLastError();
    }
    if (!SetPixelFormat(dc, index, &format)) {
        reportLastError();
    }
    HGLRC context = wglCreateContext(dc);
    if (context == nullptr) {
        reportLastError();
    }
    if (!wglMakeCurrent(dc, context)) {
        reportLastError();
    }
    return context;
}

class ManagerWin32Bridge final : public ManagerPlatformBridge {
public:
    ManagerWin32Bridge(HWND window, HWND parent, DWORD creationError)
        : window(window), parent(parent), creationError(creationError) {}

    ~ManagerWin32Bridge() override {
        // Normally Destroy() ran on the render thread already.
        Release();
        if (window == nullptr || !IsWindow(window)) {
            return;  // the host destroyed its window, and ours with it
        }
        // The editor is tearing its Manager down: the focus loss that
        // destruction sends must not reach it.
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
            DestroyWindow(window);
        } else {
            // Only the window's own thread may destroy it.
            PostMessageA(window, WM_CLOSE, 0, 0);
        }
    }

    void UpdateContext() override {}

    bool CreateContext() override {
        if (window != nullptr) {
            windowDC = GetDC(window);
        } else {
            // GetDC(null) would be the whole screen's.
            SetLastError(creationError != 0 ? creationError : ERROR_INVALID_WINDOW_HANDLE);
        }
        if (windowDC == nullptr) {
            reportLastError();
        }
        windowContext = createCurrentContext(
            windowDC, pixelFormat(PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER, 16));
        // The Manager must not draw as if it had a context when it has none.
        return windowContext != nullptr && wglGetCurrentContext() == windowContext;
    }

    bool ContextReady() override { return true; }

    void CreateOffscreen(int newWidth, int newHeight) override {
        ReleaseOffscreen();  // a second call must not leak the first bitmap
        memoryDC = CreateCompatibleDC(nullptr);
        if (memoryDC == nullptr) {
            reportLastError();
        }
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = kOffscreenWidth;
        info.bmiHeader.biHeight = kOffscreenHeight;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        bitmap = CreateDIBSection(memoryDC, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        pixels = static_cast<std::uint8_t*>(bits);
        if (bitmap == nullptr || pixels == nullptr) {
            reportLastError();
        }
        if (memoryDC != nullptr && bitmap != nullptr) {
            previousBitmap = static_cast<HBITMAP>(SelectObject(memoryDC, bitmap));
            if (previousBitmap == nullptr) {
                reportLastError();
            }
        }
        offscreenContext =
            createCurrentContext(memoryDC, pixelFormat(PFD_DRAW_TO_BITMAP | PFD_SUPPORT_OPENGL, 0));
        glViewport(0, 0, newWidth, newHeight);
        width = newWidth;
        height = newHeight;
    }

    bool MakeCurrent() override {
        // wglMakeCurrent(dc, null) would succeed by releasing the context.
        return windowContext != nullptr && wglMakeCurrent(windowDC, windowContext) != FALSE;
    }

    void MakeOffscreenCurrent() override {
        wglMakeCurrent(memoryDC, offscreenContext);
        glViewport(0, 0, width, height);
    }

    void Destroy() override { Release(); }

    void SwapBuffers() override { ::SwapBuffers(windowDC); }

    void Focus() override {
        if (window != nullptr)
            PostMessageA(window, kTakeFocusMessage, 0, 0);
    }

    void RequestHostTurn() override {
        if (window != nullptr)
            PostMessageA(window, kHostTurnMessage, 0, 0);
    }

    bool IsVisible() override {
        if (window == nullptr)
            return true;
        if (!IsWindowVisible(window))
            return false;
        const HWND root = GetAncestor(window, GA_ROOT);
        return root == nullptr || !IsIconic(root);
    }

    void SetSize(int newWidth, int newHeight) override {
        width = newWidth;
        height = newHeight;
        if (window == nullptr) {
            return;  // the host's window would grow by the whole size
        }
        RECT child{};
        GetWindowRect(window, &child);
        const int dw = newWidth - (child.right - child.left);
        const int dh = newHeight - (child.bottom - child.top);
        SetWindowPos(window, nullptr, 0, 0, newWidth, newHeight,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
        RECT host{};
        if (parent != nullptr && GetWindowRect(parent, &host)) {
            SetWindowPos(parent, nullptr, 0, 0, host.right - host.left + dw,
                         host.bottom - host.top + dh,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOOWNERZORDER);
        }
    }

    int GetHeight() override {
        RECT rect{};
        GetWindowRect(window, &rect);
        return rect.bottom - rect.top;
    }

    const std::uint8_t* OffscreenPixels() const override { return pixels; }

    std::uintptr_t NativeWindow() const override {
        return reinterpret_cast<std::uintptr_t>(window);
    }

private:
    static constexpr int kOffscreenWidth = 1024;
    static constexpr int kOffscreenHeight = 512;

    void ReleaseOffscreen() {
        if (offscreenContext != nullptr) {
            if (wglGetCurrentContext() == offscreenContext) {
                // Back to the window's context rather than to none: Wine
                // keeps the window's GL context alive for good when a bitmap
                // context is released last on a thread that had both current.
                if (windowContext != nullptr) {
                    wglMakeCurrent(windowDC, windowContext);
                } else {
                    wglMakeCurrent(nullptr, nullptr);
                }
            }
            wglDeleteContext(offscreenContext);
            offscreenContext = nullptr;
        }
        if (memoryDC != nullptr && previousBitmap != nullptr) {
            // A bitmap still selected into a DC cannot be deleted.
            SelectObject(memoryDC, previousBitmap);
            previousBitmap = nullptr;
        }
        if (bitmap != nullptr) {
            DeleteObject(bitmap);
            bitmap = nullptr;
            pixels = nullptr;
        }
        if (memoryDC != nullptr) {
            DeleteDC(memoryDC);
            memoryDC = nullptr;
        }
    }

    void Release() {
        ReleaseOffscreen();
        if (windowContext != nullptr && wglGetCurrentContext() == windowContext) {
            wglMakeCurrent(nullptr, nullptr);
        }
        if (windowContext != nullptr) {
            wglDeleteContext(windowContext);
            windowContext = nullptr;
        }
        if (windowDC != nullptr) {
            ReleaseDC(window, windowDC);
            windowDC = nullptr;
        }
    }

    std::uint8_t* pixels = nullptr;
    // Written by SetSize on the host's thread, read by the render thread.
    std::atomic<int> width{0}, height{0};
    HWND window;
    HWND parent;
    HDC windowDC = nullptr;
    HGLRC windowContext = nullptr;
    HDC memoryDC = nullptr;
    HGLRC offscreenContext = nullptr;
    HBITMAP bitmap = nullptr;
    HBITMAP previousBitmap = nullptr;
    DWORD creationError;
};

}  // namespace

std::unique_ptr<ManagerPlatformBridge> CreateManagerBridge(const EditorWindowSpec& spec) {
    HWND window = createEditorWindow(spec);
    // Without a window the bridge still exists; CreateContext reports why.
    const DWORD error = window == nullptr ? GetLastError() : 0;
    return std::make_unique<ManagerWin32Bridge>(window, static_cast<HWND>(spec.parent), error);
}

}  // namespace QX
