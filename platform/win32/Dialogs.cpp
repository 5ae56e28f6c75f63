// The editor's dialogs on Windows: the module's dialog resources run
// modally by DialogBoxParamA, with a dialog procedure that hands their
// initialisation and commands to the shared DialogProcedure.

#include "platform/Dialogs.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/BuiltinResources.h"

namespace platform {

namespace {

HINSTANCE dialogInstance() {
    if (void* module = moduleHandle()) {
        return static_cast<HINSTANCE>(module);
    }
    return GetModuleHandleA(nullptr);
}

enum class ControlClass { kOther, kButton, kComboBox, kListBox, kEdit };

ControlClass classOf(HWND control) {
    char name[32] = {};
    if (control == nullptr || GetClassNameA(control, name, sizeof name) == 0) {
        return ControlClass::kOther;
    }
    if (lstrcmpiA(name, "Button") == 0) {
        return ControlClass::kButton;
    }
    if (lstrcmpiA(name, "ComboBox") == 0) {
        return ControlClass::kComboBox;
    }
    if (lstrcmpiA(name, "ListBox") == 0) {
        return ControlClass::kListBox;
    }
    if (lstrcmpiA(name, "Edit") == 0) {
        return ControlClass::kEdit;
    }
    return ControlClass::kOther;
}

class Win32DialogWindow : public DialogWindow {
public:
    explicit Win32DialogWindow(HWND dialog) : dialog_(dialog) {}

    void SetText(int id, const std::string& text) override {
        if (HWND control = GetDlgItem(dialog_, id)) {
            SetWindowTextA(control, text.c_str());
        }
    }

    std::string Text(int id, std::size_t maxLength) override {
        HWND control = GetDlgItem(dialog_, id);
        if (control == nullptr) {
            return {};
        }
        std::vector<char> buffer(maxLength + 1, '\0');
        const int length = GetWindowTextA(control, buffer.data(), static_cast<int>(buffer.size()));
        return std::string(buffer.data(), static_cast<std::size_t>(length > 0 ? length : 0));
    }

    void SetChecked(int id, bool checked) override {
        CheckDlgButton(dialog_, id, checked ? BST_CHECKED : BST_UNCHECKED);
    }

    bool Checked(int id) override { return IsDlgButtonChecked(dialog_, id) == BST_CHECKED; }

    void LimitText(int id, std::size_t maxLength) override {
        SendDlgItemMessageA(dialog_, id, EM_LIMITTEXT, static_cast<WPARAM>(maxLength), 0);
    }

    void AddItem(int id, const std::string& text) override {
        HWND control = GetDlgItem(dialog_, id);
        const auto item = reinterpret_cast<LPARAM>(text.c_str());
        switch (classOf(control)) {
            case ControlClass::kComboBox:
                SendMessageA(control, CB_ADDSTRING, 0, item);
                break;
            case ControlClass::kListBox:
                SendMessageA(control, LB_ADDSTRING, 0, item);
                break;
            default:
                break;
        }
    }

    void SelectItem(int id, int index) override {
        HWND control = GetDlgItem(dialog_, id);
        switch (classOf(control)) {
            case ControlClass::kComboBox:
                SendMessageA(control, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
                break;
            case ControlClass::kListBox:
                SendMessageA(control, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
                break;
            default:
                break;
        }
    }

    int SelectedItem(int id) override {
        HWND control = GetDlgItem(dialog_, id);
        LRESULT index = -1;
        switch (classOf(control)) {
            case ControlClass::kComboBox:
                index = SendMessageA(control, CB_GETCURSEL, 0, 0);
                break;
            case ControlClass::kListBox:
                index = SendMessageA(control, LB_GETCURSEL, 0, 0);
                break;
            default:
                break;
        }
        return index < 0 ? -1 : static_cast<int>(index);
    }

    void ShowControl(int id, bool shown) override {
        if (HWND control = GetDlgItem(dialog_, id)) {
            ShowWindow(control, shown ? SW_SHOW : SW_HIDE);
        }
    }

    void End(int result) override { EndDialog(dialog_, result); }

    void Attach(HWND dialog) { dialog_ = dialog; }

private:
    HWND dialog_;
};

struct DialogContext {
    DialogProcedure* procedure = nullptr;
    Win32DialogWindow* window = nullptr;
    std::atomic<std::uintptr_t>* shown = nullptr;
};

DialogEvent eventFor(int id, int code, HWND control) {
    // Return and Escape arrive as OK and Cancel, from a button or from
    // nowhere (a dialog without a Cancel button still gets Escape).
    if (control == nullptr) {
        return (id == kDialogOk || id == kDialogCancel) ? DialogEvent::kClicked
                                                        : DialogEvent::kOther;
    }
    switch (classOf(control)) {
        case ControlClass::kButton:
            return code == BN_CLICKED ? DialogEvent::kClicked : DialogEvent::kOther;
        case ControlClass::kComboBox:
            return code == CBN_SELENDOK ? DialogEvent::kSelectionConfirmed : DialogEvent::kOther;
        case ControlClass::kListBox:
            return code == LBN_DBLCLK ? DialogEvent::kDoubleClicked : DialogEvent::kOther;
        default:
            return DialogEvent::kOther;
    }
}

INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    // Nothing may leave a window procedure by an exception: the system's
    // frames in between cannot be unwound.
    try {
        if (message == WM_INITDIALOG) {
            auto* context = reinterpret_cast<DialogContext*>(lParam);
            SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(context));
            context->window->Attach(dialog);
            if (context->shown != nullptr)
                context->shown->store(reinterpret_cast<std::uintptr_t>(dialog));
            context->procedure->Init(*context->window);
            return TRUE;
        }
        auto* context = reinterpret_cast<DialogContext*>(GetWindowLongPtrA(dialog, DWLP_USER));
        if (context == nullptr || message != WM_COMMAND) {
            return FALSE;
        }
        const int id = LOWORD(wParam);
        const DialogEvent event = eventFor(id, HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return context->procedure->Command(*context->window, id, event) ? TRUE : FALSE;
    } catch (...) {
        std::fprintf(stderr, "dialog %p: the dialog's procedure failed; closing it\n",
                     static_cast<void*>(dialog));
        EndDialog(dialog, -1);
        return TRUE;
    }
}

}  // namespace

bool hasNativeDialogs() {
    return true;
}

int runModalDialog(int resourceId, std::uintptr_t owner, DialogProcedure& procedure,
                   std::atomic<std::uintptr_t>* shown) {
    Win32DialogWindow window(nullptr);
    DialogContext context{&procedure, &window, shown};
    const INT_PTR result = DialogBoxParamA(dialogInstance(), MAKEINTRESOURCEA(resourceId),
                                           reinterpret_cast<HWND>(owner), dialogProc,
                                           reinterpret_cast<LPARAM>(&context));
    if (shown != nullptr)
        shown->store(0);
    return result == -1 ? -1 : static_cast<int>(result);
}

void endModalDialog(std::uintptr_t dialog) {
    HWND window = reinterpret_cast<HWND>(dialog);
    if (window == nullptr || !IsWindow(window))
        return;
    SetWindowLongPtrA(window, DWLP_USER, 0);
    EndDialog(window, kDialogCancel);
}

}  // namespace platform
