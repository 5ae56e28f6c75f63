#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "gui/DialogPanel.h"
#include "gui/Font.h"
#include "gui/Group.h"
#include "gui/Manager.h"
#include "gui/StatusLine.h"
#include "gui/TextField.h"
#include "gui/UIElement.h"
#include "platform/ManagerPlatformBridge.h"
#include "plugin/ZephCorvaneBase.h"

// Input routing of the Manager: events taken from the input queue on the
// render thread, pointer capture, hover, key focus, the corner's resize drag,
// parameter gestures and the modal panel.

namespace QX {

// ---- The input queue --------------------------------------------------------------------

void Manager::PostInput(const InputEvent& event) {
    if (!input_.Push(event))
        return;  // full: the render thread is far behind, and the event is dropped
    SetEvent(RenderEvents::kWake1);
}

bool Manager::TakesKey(int character) const {
    switch (keyTaker_.load(std::memory_order_acquire)) {
        case kOpenPanel:
            return true;
        case kFocusedField:
            return TextField::UsesKey(character);
        default:
            return false;
    }
}

void Manager::PublishKeyTaker() {
    int taker = keyFocus ? kFocusedField : kNobody;
    {
        std::lock_guard<std::mutex> guard(panelMutex_);
        if (panel_)
            taker = kOpenPanel;
    }
    keyTaker_.store(taker, std::memory_order_release);
}

void Manager::HandleQueuedInput() {
    input_.TakeAll(takenInput_);
    for (const InputEvent& event : takenInput_) {
        HandleInput(event);
        inputHandled_.fetch_add(1, std::memory_order_release);
    }
    if (!takenInput_.empty())
        PublishKeyTaker();
}

Point Manager::WindowToView(int x, int y) const {
    const int windowHeight = bridge ? bridge->GetHeight() : height.load();
    return {static_cast<float>(x), static_cast<float>(windowHeight - y)};
}

void Manager::HandleInput(const InputEvent& event) {
    switch (event.kind) {
        case InputEvent::Kind::kButtonDown:
            if (bridge)
                bridge->Focus();
            buttonDown_ = true;
            MouseDown(WindowToView(event.x, event.y), event.modifiers, event.clickCount);
            break;
        case InputEvent::Kind::kButtonUp:
            MouseUp(WindowToView(event.x, event.y), event.modifiers);
            buttonDown_ = false;
            break;
        case InputEvent::Kind::kPointerMoved:
            if (buttonDown_)
                MouseDrag(WindowToView(event.x, event.y), event.modifiers);
            else
                MouseMove(WindowToView(event.x, event.y));
            break;
        case InputEvent::Kind::kWheel: {
            // A notch is a short vertical drag of the control under the
            // pointer; with a button held the wheel is ignored.
            if (buttonDown_)
                break;
            Point p = WindowToView(event.x, event.y);
            if (PanelWheel(p, event.delta))
                break;
            MouseDown(p, event.modifiers, 1);
            p.y += static_cast<float>(event.delta) / 120.0f * 10.0f;
            MouseDrag(p, event.modifiers);
            MouseUp(p, event.modifiers);
            break;
        }
        case InputEvent::Kind::kKey:
            // An open dialog panel takes every key.
            if (PanelKey(event.panelCharacter))
                break;
            if (keyFocus) {
                NoteInput();
                keyFocus->KeyDown(event.character, event.mappedCharacter, event.virtualKey);
            }
            break;
        case InputEvent::Kind::kFocusLost:
            SetKeyFocus(nullptr);
            break;
        case InputEvent::Kind::kExposed:
            NoteInput();
            break;
    }
}

void Manager::ResizeSurface(int newWidth, int newHeight) {
    if (!bridge)
        return;
    {
        std::lock_guard<std::mutex> surface(surfaceMutex_);
        bridge->SetSize(newWidth, newHeight);
    }
    SetEvent(RenderEvents::kResize);
}

// ---- Gestures ------------------------------------------------------------------------------

Point Manager::ViewToDesign(Point p) const {
    const int w = width, h = height;
    if ((w == designWidth && h == designHeight) || designWidth == 0 || w == 0 || h == 0)
        return p;
    return {p.x * static_cast<float>(designWidth) / static_cast<float>(w),
            p.y * static_cast<float>(designHeight) / static_cast<float>(h)};
}

void Manager::MouseMove(Point point) {
    NoteInput();
    {
        std::lock_guard<std::mutex> guard(panelMutex_);
        if (panel_) {
            panel_->MouseMove(ViewToDesign(point));
            return;
        }
    }
    const Point p = ViewToDesign(point);
    UIElement* hit = root->HitTest(p, HitMode::kControlsAndGroups);
    if (hit == root)
        hit = nullptr;
    for (auto it = hoverBoxes.begin(); it != hoverBoxes.end();) {
        if (!it->second.Contains(p)) {
            UIElement* left = it->first;
            it = hoverBoxes.erase(it);
            left->MouseLeave();
        } else {
            ++it;
        }
    }
    if (hit && hoverBoxes.find(hit) == hoverBoxes.end()) {
        hoverBoxes[hit] = hit->AbsoluteBox();
        hit->MouseEnter();
    }
    hoverElement = hit;
}

void Manager::MouseDown(Point point, int modifiers, int clickCount) {
    NoteInput();
    {
        std::lock_guard<std::mutex> guard(panelMutex_);
        if (panel_) {
            panel_->MouseDown(ViewToDesign(point), clickCount);
            if (panel_->Closed())
                panel_.reset();
            return;
        }
    }
    if (keyFocus) {
        UIElement* focused = keyFocus;
        keyFocus = nullptr;
        focused->FocusLost();
    }
    if (statusLine_->Click(ViewToDesign(point)))
        return;
    if (point.x - point.y > static_cast<float>(width) - 16) {
        resizing = true;
        resizeStartX = static_cast<int>(point.x);
        resizeStartBottom = height - static_cast<int>(point.y);
        resizeStartWidth = width;
        resizeStartHeight = height;
        return;
    }
    const Point p = ViewToDesign(point);
    capturedElement = root->HitTest(p, HitMode::kControls);
    captureModifiers = modifiers;
    if (capturedElement)
        capturedElement->MouseDown(p, modifiers, clickCount);
}

void Manager::MouseDrag(Point point, int modifiers) {
    NoteInput();
    {
        std::lock_guard<std::mutex> guard(panelMutex_);
        if (panel_) {
            panel_->MouseDrag(ViewToDesign(point));
            return;
        }
    }
    if (resizing) {
        ResizeDrag(point);
        return;
    }
    if (!capturedElement)
        return;
    const Point p = ViewToDesign(point);
    if (modifiers != captureModifiers) {
        capturedElement->MouseUp(p, captureModifiers);
        capturedElement->MouseDown(p, modifiers, 1);
        captureModifiers = modifiers;
    }
    capturedElement->MouseDrag(p, modifiers);
}

void Manager::MouseUp(Point point, int modifiers) {
    NoteInput();
    {
        std::lock_guard<std::mutex> guard(panelMutex_);
        if (panel_) {
            panel_->MouseUp(ViewToDesign(point));
            if (panel_->Closed())
                panel_.reset();
            return;
        }
    }
    if (resizing) {
        resizing = false;
        return;
    }
    if (!capturedElement)
        return;
    capturedElement->MouseUp(ViewToDesign(point), modifiers);
    const int edit = editId.load();
    if (edit >= 0) {
        if (host)
            host->EndEdit(edit);
        editId = -1;
    }
    capturedElement = nullptr;
}

void Manager::ResizeDrag(Point point) {
    const int dx = static_cast<int>(point.x) - resizeStartX;
    const int dy = (bridge->GetHeight() - static_cast<int>(point.y)) - resizeStartBottom;
    float w, h;
    if (std::abs(dx) > std::abs(dy)) {
        w = std::min(static_cast<float>(resizeStartWidth + dx), float(kMaximumWidth));
        h = w / aspect;
        if (h > kMaximumHeight) {
            h = kMaximumHeight;
            w = aspect * kMaximumHeight;
        }
    } else {
        h = std::min(static_cast<float>(resizeStartHeight + dy), float(kMaximumHeight));
        w = aspect * h;
        if (w > kMaximumWidth) {
            w = kMaximumWidth;
            h = kMaximumWidth / aspect;
        }
    }
    // Below this the controls become too small to hit; the drag simply
    // stops shrinking.
    if (w < kMinimumWidth) {
        w = kMinimumWidth;
        h = kMinimumWidth / aspect;
    }
    const int newWidth = static_cast<int>(w), newHeight = static_cast<int>(h);
    if (newWidth == width && newHeight == height)
        return;
    width = newWidth;
    height = newHeight;
    if (designWidth > 0 && designHeight > 0) {
        viewportWidth = backingWidth * newWidth / designWidth;
        viewportHeight = backingHeight * newHeight / designHeight;
    }
    // The window belongs to the host's user-interface thread: it is resized
    // there, with the host told in the same turn.
    if (host)
        host->SizeWindow(newWidth, newHeight);
    else
        ResizeSurface(newWidth, newHeight);
}

void Manager::SetKeyFocus(UIElement* element) {
    NoteInput();
    if (keyFocus && keyFocus != element)
        keyFocus->FocusLost();
    keyFocus = element;
    PublishKeyTaker();
}

void Manager::BeginParameterEdit(int index) {
    if (editId == index)
        return;
    const int previous = editId;
    if (previous >= 0 && host)
        host->EndEdit(previous);
    editId = index;
    if (host)
        host->BeginEdit(index);
    lastTouched().plugin = plugin;
    lastTouched().index = index;
}

void Manager::HoldRendering() {
    renderingHeld_.fetch_add(1);
    // The render thread checks the hold under this lock: once it is ours,
    // no frame is under way and none will start.
    std::lock_guard<std::mutex> surface(surfaceMutex_);
}

void Manager::ReleaseRendering() {
    renderingHeld_.fetch_sub(1);
    SetEvent(RenderEvents::kWake1);
}

void Manager::CancelGesture() {
    capturedElement = nullptr;
    resizing = false;
    // The dialog keeps the button's release for itself.
    buttonDown_ = false;
    const int edit = editId.exchange(-1);
    if (edit >= 0 && host)
        host->EndEdit(edit);
}

void Manager::SetParameterFromEditor(int index, float plainValue) {
    if (!plugin || index < 0 || index >= static_cast<int>(parameterInfo.size()))
        return;
    plugin->setParameterNative(index, plainValue, false);
    NoteInput();
    if (host)
        host->Automate(index, plugin->getParameter(index));
}

// ---- Modal panel ----------------------------------------------------------------------------

void Manager::OpenPanel(std::unique_ptr<DialogPanel> panel) {
    if (!panel)
        return;
    {
        std::lock_guard<std::mutex> guard(panelMutex_);
        if (panel_)
            return;
    }
    NoteInput();
    // The editor under the panel lets go of everything: the gesture that
    // opened it, a text field's typing, the pointer's hover.
    CancelGesture();
    SetKeyFocus(nullptr);
    for (auto& hovered : hoverBoxes)
        hovered.first->MouseLeave();
    hoverBoxes.clear();
    hoverElement = nullptr;
    hoverControl = nullptr;
    hoverId = -1;

    const int w = designWidth > 0 ? designWidth : width.load();
    const int h = designHeight > 0 ? designHeight : height.load();
    std::lock_guard<std::mutex> guard(panelMutex_);
    if (panel_)
        return;
    panel->Open(static_cast<float>(w), static_cast<float>(h));
    if (panel->Closed())
        return;
    panel_ = std::move(panel);
    keyTaker_.store(kOpenPanel, std::memory_order_release);
    // Keys go to the panel: the window takes the keyboard.
    if (bridge)
        bridge->Focus();
}

bool Manager::PanelOpen() const {
    std::lock_guard<std::mutex> guard(panelMutex_);
    return panel_ != nullptr;
}

bool Manager::PanelKey(int character) {
    std::lock_guard<std::mutex> guard(panelMutex_);
    if (!panel_)
        return false;
    NoteInput();
    panel_->Key(character);
    if (panel_->Closed())
        panel_.reset();
    return true;
}

bool Manager::PanelWheel(Point p, int delta) {
    std::lock_guard<std::mutex> guard(panelMutex_);
    if (!panel_)
        return false;
    NoteInput();
    panel_->Wheel(ViewToDesign(p), delta);
    return true;
}

void Manager::WithPanel(const std::function<void(DialogPanel*)>& visit) {
    std::lock_guard<std::mutex> guard(panelMutex_);
    visit(panel_.get());
}

}  // namespace QX
