#include "gui/CarbonVSTEditor.h"

#include <chrono>
#include <thread>

#include "gui/UIElement.h"
#include "vst/AudioEffectX.h"

namespace QX {

namespace {

// Keys a dialog panel needs besides those the text fields get.
int HostKeyForPanel(const VstKeyCode& key, int character) {
    switch (key.virt) {
        case VKEY_ESCAPE:
            return 27;
        case VKEY_TAB:
            return 9;
        case VKEY_SPACE:
            return ' ';
        default:
            return character;
    }
}

}  // namespace

CarbonVSTEditor::CarbonVSTEditor(AudioEffect* owner) : ZephEditor(owner) {
    RegisterEditorClass();
}

CarbonVSTEditor::~CarbonVSTEditor() {
    close();
    UnregisterEditorClass();
}

void CarbonVSTEditor::SetDefaultSize(int width, int height) {
    rect.top = 0;
    rect.left = 0;
    rect.bottom = static_cast<VstInt16>(height);
    rect.right = static_cast<VstInt16>(width);
}

bool CarbonVSTEditor::getRect(ERect** out) {
    rect.top = 0;
    rect.left = 0;
    if (manager_) {
        rect.bottom = static_cast<VstInt16>(manager_->height.load());
        rect.right = static_cast<VstInt16>(manager_->width.load());
    }
    *out = &rect;
    return true;
}

bool CarbonVSTEditor::open(void* parent) {
    if (manager_) {
        // A host that opens twice without closing: the running editor
        // stays, and the Manager says so.
        manager_->CreateRenderTask();
        return false;
    }
    createManager();
    if (!manager_)
        return false;
    systemWindow = parent;
    manager_->UpdateLayout();

    EditorWindowSpec spec;
    spec.parent = parent;
    spec.x = manager_->editorRect[1];
    spec.y = manager_->editorRect[0];
    spec.width = manager_->editorRect[3] - manager_->editorRect[1];
    spec.height = manager_->editorRect[2] - manager_->editorRect[0];
    spec.events = this;
    std::unique_ptr<ManagerPlatformBridge> bridge = CreateManagerBridge(spec);
    if (!bridge) {
        manager_.reset();
        gui_.reset();
        systemWindow = nullptr;
        return false;
    }
    queueRequests_ = bridge->DeliversInputOnRenderThread();
    manager_->SetBridge(std::move(bridge));
    manager_->host = this;
    manager_->CreateRenderTask();

    // Where the render thread makes the window, the host gets it before
    // open returns: hosts look for the child window right away.
    ManagerPlatformBridge* made = manager_->Bridge();
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (made->NativeWindow() == 0 && manager_->renderThreadRunning &&
           std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return false;
}

void CarbonVSTEditor::close() {
    // A gesture cut short by the close still ends its host edit.
    if (manager_) {
        // Input reaches the layout's Lua buttons on the render thread
        // (Linux): it stops before the layout object goes, and a button's
        // function that never returns is ended first.
        if (gui_)
            gui_->Interrupt();
        manager_->StopRenderTask();
        const int edit = manager_->editId.exchange(-1);
        gui_.reset();
        manager_.reset();
        if (edit >= 0)
            Request({HostRequest::kEnd, edit, 0, 0, 0});
    }
    gui_.reset();
    systemWindow = nullptr;
    idle();
    queueRequests_ = false;
}

void CarbonVSTEditor::idle() {
    std::vector<HostRequest> pending;
    {
        std::lock_guard<std::mutex> guard(requestsMutex_);
        pending.swap(requests_);
    }
    for (const HostRequest& request : pending)
        Deliver(request);
}

// ---- Host notifications ------------------------------------------------------------

void CarbonVSTEditor::Request(const HostRequest& request) {
    if (!queueRequests_) {
        Deliver(request);
        return;
    }
    std::lock_guard<std::mutex> guard(requestsMutex_);
    // Only the latest value of a parameter matters to the host; a drag
    // between two idle calls queues one entry per parameter.
    if (request.kind == HostRequest::kAutomate && !requests_.empty()) {
        HostRequest& last = requests_.back();
        if (last.kind == HostRequest::kAutomate && last.index == request.index) {
            last.value = request.value;
            return;
        }
    }
    requests_.push_back(request);
}

void CarbonVSTEditor::Deliver(const HostRequest& request) {
    auto* host = static_cast<AudioEffectX*>(effect);
    if (!host)
        return;
    switch (request.kind) {
        case HostRequest::kBegin:
            host->beginEdit(request.index);
            break;
        case HostRequest::kEnd:
            host->endEdit(request.index);
            break;
        case HostRequest::kAutomate:
            host->reportAutomation(request.index, request.value);
            break;
        case HostRequest::kSize:
            host->sizeWindow(request.width, request.height);
            break;
    }
}

void CarbonVSTEditor::BeginEdit(int index) {
    Request({HostRequest::kBegin, index, 0, 0, 0});
}

void CarbonVSTEditor::EndEdit(int index) {
    Request({HostRequest::kEnd, index, 0, 0, 0});
}

void CarbonVSTEditor::Automate(int index, float normalized) {
    Request({HostRequest::kAutomate, index, normalized, 0, 0});
}

void CarbonVSTEditor::SizeWindow(int width, int height) {
    Request({HostRequest::kSize, 0, 0, width, height});
}

// ---- Window input ------------------------------------------------------------------------

Point CarbonVSTEditor::WindowToView(int x, int y) {
    const int height =
        manager_->Bridge() ? manager_->Bridge()->GetHeight() : manager_->height.load();
    return {static_cast<float>(x), static_cast<float>(height - y)};
}

void CarbonVSTEditor::ButtonDown(int x, int y, int modifiers, int clickCount) {
    if (!manager_)
        return;
    if (ManagerPlatformBridge* bridge = manager_->Bridge())
        bridge->Focus();
    // Before the Manager hears of it: a dialog opened by the press ends the
    // gesture (ReleaseMouse) and keeps the release for itself.
    buttonDown = true;
    manager_->MouseDown(WindowToView(x, y), modifiers, clickCount);
}

void CarbonVSTEditor::ButtonUp(int x, int y, int modifiers) {
    if (!manager_)
        return;
    manager_->MouseUp(WindowToView(x, y), modifiers);
    buttonDown = false;
}

void CarbonVSTEditor::PointerMoved(int x, int y, int modifiers) {
    if (!manager_)
        return;
    if (buttonDown)
        manager_->MouseDrag(WindowToView(x, y), modifiers);
    else
        manager_->MouseMove(WindowToView(x, y));
}

void CarbonVSTEditor::Wheel(int x, int y, int modifiers, int delta) {
    // A notch is a short vertical drag of the control under the pointer;
    // with a button held the wheel is ignored.
    if (!manager_ || buttonDown)
        return;
    Point p = WindowToView(x, y);
    if (manager_->PanelWheel(p, delta))
        return;
    manager_->MouseDown(p, modifiers, 1);
    p.y += static_cast<float>(delta) / 120.0f * 10.0f;
    manager_->MouseDrag(p, modifiers);
    manager_->MouseUp(p, modifiers);
}

bool CarbonVSTEditor::Key(int character, int virtualKey) {
    // An open dialog panel takes every key.
    if (manager_ && manager_->PanelKey(character))
        return true;
    if (!manager_ || !manager_->keyFocus)
        return false;
    manager_->NoteInput();
    return manager_->keyFocus->KeyDown(character, character, virtualKey);
}

void CarbonVSTEditor::FocusLost() {
    if (manager_)
        manager_->SetKeyFocus(nullptr);
}

void CarbonVSTEditor::Moved(int x, int y) {
    windowX = x;
    windowY = y;
}

void CarbonVSTEditor::Exposed() {
    if (manager_)
        manager_->NoteInput();
}

bool CarbonVSTEditor::WriteNextFrame(const char* path, int timeoutMs) {
    return manager_ && manager_->SaveNextFrame(path, timeoutMs);
}

long long CarbonVSTEditor::FramesDrawn() const {
    Manager* open = manager_.get();
    return open ? static_cast<long long>(open->FramesDrawn()) : 0;
}

// ---- Keys the host forwards ------------------------------------------------------------------

int CarbonVSTEditor::CharacterForHostKey(const VstKeyCode& key) {
    int character = key.character;
    switch (key.virt) {
        case VKEY_BACK:
        case VKEY_DELETE:
            character = kKeyBackspace;
            break;
        case VKEY_RETURN:
        case VKEY_ENTER:
            character = kKeyReturn;
            break;
        case VKEY_LEFT:
            character = kKeyLeft;
            break;
        case VKEY_UP:
            character = kKeyUp;
            break;
        case VKEY_RIGHT:
            character = kKeyRight;
            break;
        case VKEY_DOWN:
            character = kKeyDown;
            break;
        case VKEY_SUBTRACT:
            character = '-';
            break;
        case VKEY_DECIMAL:
            character = '.';
            break;
        default:
            if (key.virt >= VKEY_NUMPAD0 && key.virt <= VKEY_NUMPAD9)
                character = '0' + (key.virt - VKEY_NUMPAD0);
            break;
    }
    return character;
}

bool CarbonVSTEditor::onKeyDown(VstKeyCode& keyCode) {
    const int mapped = CharacterForHostKey(keyCode);
    const int character = mapped == 190 ? '.' : mapped;
    if (manager_ && manager_->PanelKey(HostKeyForPanel(keyCode, character)))
        return true;
    if (!manager_ || !manager_->keyFocus)
        return false;
    manager_->NoteInput();
    return manager_->keyFocus->KeyDown(character, mapped, keyCode.virt);
}

}  // namespace QX
