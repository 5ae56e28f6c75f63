#include "platform/testing/DialogDriver.h"

#include <windows.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace platform::testsupport {

namespace {

struct Search {
    std::string caption;
    bool visibleOnly = true;
    HWND found = nullptr;
};

BOOL CALLBACK findDialog(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<Search*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || (search->visibleOnly && !IsWindowVisible(window))) {
        return TRUE;
    }
    char name[32] = {};
    GetClassNameA(window, name, sizeof name);
    if (std::strcmp(name, "#32770") != 0) {
        return TRUE;
    }
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    if (search->caption == text) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

std::string windowText(HWND window) {
    char text[1024] = {};
    // A control of another thread: WM_GETTEXT is sent to it.
    SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

std::string className(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

class Win32DialogDriver : public DialogDriver {
public:
    explicit Win32DialogDriver(HWND dialog) : dialog_(dialog) {}

    bool IsOpen() override { return IsWindow(dialog_) && IsWindowVisible(dialog_); }

    bool WaitClosed(int timeoutMs) override {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (IsOpen()) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }

    std::string Caption() override { return windowText(dialog_); }

    std::string FontName() override {
        auto font = reinterpret_cast<HFONT>(SendMessageA(dialog_, WM_GETFONT, 0, 0));
        LOGFONTA description{};
        if (font == nullptr || GetObjectA(font, sizeof description, &description) == 0) {
            return {};
        }
        return description.lfFaceName;
    }

    std::uintptr_t Owner() override {
        return reinterpret_cast<std::uintptr_t>(GetWindow(dialog_, GW_OWNER));
    }

    void ClientSize(int& width, int& height) override {
        RECT client{};
        GetClientRect(dialog_, &client);
        width = client.right - client.left;
        height = client.bottom - client.top;
    }

    void DialogUnitsToPixels(int& x, int& y, int& width, int& height) override {
        // The system sizes a control by converting its width and height on
        // their own, not its edges.
        RECT r{x, y, width, height};
        MapDialogRect(dialog_, &r);
        x = r.left;
        y = r.top;
        width = r.right;
        height = r.bottom;
    }

    DialogControlInfo Control(int id) override {
        DialogControlInfo info;
        HWND control = GetDlgItem(dialog_, id);
        if (control == nullptr) {
            return info;
        }
        info.exists = true;
        info.className = className(control);
        info.style = static_cast<std::uint32_t>(GetWindowLongA(control, GWL_STYLE));
        info.exStyle = static_cast<std::uint32_t>(GetWindowLongA(control, GWL_EXSTYLE));
        info.text = windowText(control);
        info.visible = IsWindowVisible(control) != FALSE;
        RECT r{};
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&r), 2);
        info.x = r.left;
        info.y = r.top;
        info.width = r.right - r.left;
        info.height = r.bottom - r.top;
        return info;
    }

    std::string Text(int id) override {
        HWND control = GetDlgItem(dialog_, id);
        return control != nullptr ? windowText(control) : std::string();
    }

    void SetText(int id, const std::string& text) override {
        if (HWND control = GetDlgItem(dialog_, id)) {
            SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        }
    }

    bool Checked(int id) override {
        HWND control = GetDlgItem(dialog_, id);
        return control != nullptr && SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
    }

    std::vector<std::string> Items(int id) override {
        std::vector<std::string> items;
        HWND control = GetDlgItem(dialog_, id);
        const bool combo = className(control) == "ComboBox";
        const LRESULT count = SendMessageA(control, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            const LRESULT length =
                SendMessageA(control, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, i, 0);
            std::string text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, '\0');
            SendMessageA(control, combo ? CB_GETLBTEXT : LB_GETTEXT, i,
                         reinterpret_cast<LPARAM>(&text[0]));
            text.resize(std::strlen(text.c_str()));
            items.push_back(text);
        }
        return items;
    }

    int Selection(int id) override {
        HWND control = GetDlgItem(dialog_, id);
        const bool combo = className(control) == "ComboBox";
        const LRESULT index = SendMessageA(control, combo ? CB_GETCURSEL : LB_GETCURSEL, 0, 0);
        return index < 0 ? -1 : static_cast<int>(index);
    }

    void Choose(int id, int index) override {
        HWND control = GetDlgItem(dialog_, id);
        const auto item = static_cast<WPARAM>(index);
        if (className(control) == "ComboBox") {
            SendMessageA(control, CB_SETCURSEL, item, 0);
            SendMessageA(dialog_, WM_COMMAND, MAKEWPARAM(id, CBN_SELENDOK),
                         reinterpret_cast<LPARAM>(control));
        } else {
            SendMessageA(control, LB_SETCURSEL, item, 0);
            SendMessageA(dialog_, WM_COMMAND, MAKEWPARAM(id, LBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(control));
        }
    }

    void Click(int id) override {
        if (HWND control = GetDlgItem(dialog_, id)) {
            SendMessageA(control, BM_CLICK, 0, 0);
        }
    }

    void PressKey(int virtualKey) override {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        HWND target = dialog_;
        if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog_, nullptr), &info) &&
            info.hwndFocus != nullptr) {
            target = info.hwndFocus;
        }
        const auto key = static_cast<WPARAM>(virtualKey);
        const LPARAM scan =
            static_cast<LPARAM>(MapVirtualKeyA(static_cast<UINT>(virtualKey), MAPVK_VK_TO_VSC))
            << 16;
        PostMessageA(target, WM_KEYDOWN, key, scan | 1);
        PostMessageA(target, WM_KEYUP, key, scan | 1 | (LPARAM{3} << 30));
    }

    void Cancel() override {
        PostMessageA(dialog_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }

    bool Capture(Picture& picture) override {
        // The dialog's thread paints it whenever it gets round to it: have
        // it paint everything now (sent, so this waits), or the picture may
        // show a half-drawn dialog.
        RedrawWindow(dialog_, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        DWORD_PTR ignored = 0;
        SendMessageTimeoutA(dialog_, WM_NULL, 0, 0, SMTO_BLOCK, 2000, &ignored);
        RECT r{};
        if (!GetWindowRect(dialog_, &r)) {
            return false;
        }
        const int width = r.right - r.left, height = r.bottom - r.top;
        if (width <= 0 || height <= 0) {
            return false;
        }
        HDC screen = GetDC(nullptr);
        HDC memory = CreateCompatibleDC(screen);
        BITMAPINFO format{};
        format.bmiHeader.biSize = sizeof format.bmiHeader;
        format.bmiHeader.biWidth = width;
        format.bmiHeader.biHeight = -height;  // top row first
        format.bmiHeader.biPlanes = 1;
        format.bmiHeader.biBitCount = 32;
        format.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(memory, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
        bool ok = false;
        if (bitmap != nullptr && bits != nullptr) {
            HGDIOBJ previous = SelectObject(memory, bitmap);
            ok = BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY | CAPTUREBLT) !=
                 FALSE;
            GdiFlush();
            if (ok) {
                picture.width = width;
                picture.height = height;
                picture.rgba.resize(static_cast<std::size_t>(width) * height * 4);
                const auto* bgra = static_cast<const std::uint8_t*>(bits);
                for (std::size_t i = 0; i < picture.rgba.size(); i += 4) {
                    picture.rgba[i] = bgra[i + 2];
                    picture.rgba[i + 1] = bgra[i + 1];
                    picture.rgba[i + 2] = bgra[i];
                    picture.rgba[i + 3] = 255;
                }
            }
            SelectObject(memory, previous);
            DeleteObject(bitmap);
        }
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
        return ok;
    }

private:
    HWND dialog_;
};

}  // namespace

std::unique_ptr<DialogDriver> DialogDriver::WaitFor(const std::string& caption, int timeoutMs,
                                                    bool visibleOnly) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        Search search{caption, visibleOnly, nullptr};
        EnumWindows(findDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) {
            return std::make_unique<Win32DialogDriver>(search.found);
        }
        if (std::chrono::steady_clock::now() > end) {
            return nullptr;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace platform::testsupport
