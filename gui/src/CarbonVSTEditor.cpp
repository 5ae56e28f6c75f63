#include "gui/CarbonVSTEditor.h"

#include <chrono>
#include <thread>

#include "gui/Dialogs.h"
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
    *alive_ = false;
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
    // A native dialog of this editor goes first; its modal loop returns
    // when this call has, and finds the editor closed.
    if (const std::uintptr_t dialog = openDialog_.exchange(0))
        platform::endModalDialog(dialog);
    // A gesture cut short by the close still ends its host edit.
    if (manager_) {
        // A Lua button's function that never returns is ended first: the
        // render thread runs it.
        if (gui_)
            gui_->Interrupt();
        manager_->StopRenderTask();
        const int edit = manager_->editId.exchange(-1);
        gui_.reset();
        manager_.reset();
        ++openings_;
        if (edit >= 0)
            Request({HostRequest::kEnd, edit});
    }
    gui_.reset();
    systemWindow = nullptr;
    idle();
}

void CarbonVSTEditor::idle() {
    std::vector<HostRequest> pending;
    {
        std::lock_guard<std::mutex> guard(requestsMutex_);
        pending.swap(requests_);
    }
    for (const HostRequest& request : pending) {
        if (!Deliver(request))
            return;  // deleted meanwhile: nothing of this object is left
    }
}

// ---- Host notifications ------------------------------------------------------------

void CarbonVSTEditor::Request(HostRequest request) {
    {
        std::lock_guard<std::mutex> guard(requestsMutex_);
        // Only the latest value of a parameter matters to the host; a drag
        // between two turns queues one entry per parameter.
        bool merged = false;
        if (request.kind == HostRequest::kAutomate && !requests_.empty()) {
            HostRequest& last = requests_.back();
            if (last.kind == HostRequest::kAutomate && last.index == request.index) {
                last.value = request.value;
                merged = true;
            }
        }
        if (!merged)
            requests_.push_back(std::move(request));
    }
    if (manager_ && manager_->Bridge())
        manager_->Bridge()->RequestHostTurn();
}

bool CarbonVSTEditor::Deliver(const HostRequest& request) {
    auto* host = static_cast<AudioEffectX*>(effect);
    if (!host)
        return true;
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
            if (manager_)
                manager_->ResizeSurface(request.width, request.height);
            host->sizeWindow(request.width, request.height);
            break;
        case HostRequest::kDialog:
            return RunDialog(*request.dialog);
    }
    return true;
}

bool CarbonVSTEditor::RunDialog(DialogRequest& dialog) {
    if (!manager_ || dialogRunning_)
        return true;  // closed since it was asked for, or one is open already
    dialogRunning_ = true;
    const std::shared_ptr<bool> alive = alive_;
    const int opening = openings_;
    Manager* manager = manager_.get();
    RunNativeDialog(*manager, dialog, &openDialog_);
    // Inside the modal loop the host may have closed the editor, or deleted
    // the plug-in and this object with it.
    if (!*alive)
        return false;
    dialogRunning_ = false;
    openDialog_ = 0;
    if (opening == openings_)
        manager->ReleaseRendering();
    return true;
}

bool CarbonVSTEditor::ShowDialog(const std::shared_ptr<DialogRequest>& dialog) {
    HostRequest request{HostRequest::kDialog};
    request.dialog = dialog;
    Request(std::move(request));
    return true;
}

void CarbonVSTEditor::BeginEdit(int index) {
    Request({HostRequest::kBegin, index});
}

void CarbonVSTEditor::EndEdit(int index) {
    Request({HostRequest::kEnd, index});
}

void CarbonVSTEditor::Automate(int index, float normalized) {
    Request({HostRequest::kAutomate, index, normalized});
}

void CarbonVSTEditor::SizeWindow(int width, int height) {
    Request({HostRequest::kSize, 0, 0, width, height});
}

// ---- Window input ------------------------------------------------------------------------

void CarbonVSTEditor::Post(const InputEvent& event) {
    if (manager_)
        manager_->PostInput(event);
}

void CarbonVSTEditor::ButtonDown(int x, int y, int modifiers, int clickCount) {
    InputEvent event{InputEvent::Kind::kButtonDown, x, y, modifiers};
    event.clickCount = clickCount;
    Post(event);
}

void CarbonVSTEditor::ButtonUp(int x, int y, int modifiers) {
    Post(InputEvent(InputEvent::Kind::kButtonUp, x, y, modifiers));
}

void CarbonVSTEditor::PointerMoved(int x, int y, int modifiers) {
    Post(InputEvent(InputEvent::Kind::kPointerMoved, x, y, modifiers));
}

void CarbonVSTEditor::Wheel(int x, int y, int modifiers, int delta) {
    InputEvent event{InputEvent::Kind::kWheel, x, y, modifiers};
    event.delta = delta;
    Post(event);
}

bool CarbonVSTEditor::Key(int character, int virtualKey) {
    if (!manager_)
        return false;
    InputEvent event{InputEvent::Kind::kKey};
    event.character = event.mappedCharacter = event.panelCharacter = character;
    event.virtualKey = virtualKey;
    // The answer is a forecast: the key is handled on the render thread,
    // which may have moved the focus since.
    const bool taken = manager_->TakesKey(character);
    Post(event);
    return taken;
}

void CarbonVSTEditor::FocusLost() {
    Post(InputEvent(InputEvent::Kind::kFocusLost));
}

void CarbonVSTEditor::Moved(int x, int y) {
    windowX = x;
    windowY = y;
}

void CarbonVSTEditor::Exposed() {
    Post(InputEvent(InputEvent::Kind::kExposed));
}

bool CarbonVSTEditor::WriteNextFrame(const char* path, int timeoutMs) {
    return manager_ && manager_->SaveNextFrame(path, timeoutMs);
}

long long CarbonVSTEditor::FramesDrawn() const {
    Manager* open = manager_.get();
    return open ? static_cast<long long>(open->FramesDrawn()) : 0;
}

long long CarbonVSTEditor::InputPending() const {
    Manager* open = manager_.get();
    return open ? static_cast<long long>(open->InputPosted() - open->InputHandled()) : 0;
}

long long CarbonVSTEditor::InputHandled() const {
    Manager* open = manager_.get();
    return open ? static_cast<long long>(open->InputHandled()) : 0;
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
    // Keys the editor would not use stay with the host (a space for play).
    if (!manager_ || !manager_->TakesKey(character))
        return false;
    InputEvent event{InputEvent::Kind::kKey};
    event.character = character;
    event.mappedCharacter = mapped;
    event.virtualKey = keyCode.virt;
    event.panelCharacter = HostKeyForPanel(keyCode, character);
    Post(event);
    return true;
}

}  // namespace QX
