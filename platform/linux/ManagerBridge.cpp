// The editor's window on Linux: an X11 child window of the host's window
// (ChildWindow) with a GLX context (GlxSurface), both made and used by the
// Manager's render thread through a connection of its own. That thread also
// reads the window's input (WaitForInput), so on Linux the editor's input
// handlers run on the render thread. Other threads only touch atomics and
// the wake-up descriptor (Focus, SetSize, GetHeight, Wake, NativeWindow).

#include "platform/ManagerPlatformBridge.h"

#include <atomic>

#include "linux/ChildWindow.h"
#include "linux/GlxSurface.h"

namespace QX {

namespace {

using platform::x11::ChildWindow;
using platform::x11::GlxSurface;

std::atomic<int> gEditorClassUsers{0};

class ManagerLinuxBridge final : public ManagerPlatformBridge {
public:
    explicit ManagerLinuxBridge(const EditorWindowSpec& spec) : window_(spec), surface_(window_) {}

    ~ManagerLinuxBridge() override {
        // The Manager destroys on its render thread; this is for a bridge
        // whose thread never got that far. The thread has ended by now, so
        // the connection has no other user.
        Destroy();
    }

    // ---- Render thread ---------------------------------------------------------

    bool CreateContext() override {
        window_.BecomeOwner();
        if (window_.Connected()) {
            return surface_.HasWindowContext();
        }
        if (!Open()) {
            Destroy();
            return false;
        }
        return true;
    }

    bool ContextReady() override { return true; }
    void UpdateContext() override { window_.ApplyRequests(); }
    bool MakeCurrent() override { return surface_.MakeCurrent(); }
    void SwapBuffers() override { surface_.SwapBuffers(); }
    void CreateOffscreen(int width, int height) override {
        surface_.CreateOffscreen(width, height);
    }
    void MakeOffscreenCurrent() override { surface_.MakeOffscreenCurrent(); }
    const std::uint8_t* OffscreenPixels() const override { return surface_.OffscreenPixels(); }
    bool IsVisible() override { return window_.IsVisible(); }

    void Destroy() override {
        surface_.Release();
        window_.Close();
    }

    // ---- Input (the render thread on Linux) --------------------------------------

    bool DeliversInputOnRenderThread() const override { return true; }
    void WaitForInput(int milliseconds) override { window_.WaitForInput(milliseconds); }

    // ---- Any thread but audio ----------------------------------------------------

    void Wake() override { window_.Wake(); }
    void Focus() override { window_.Focus(); }
    void SetSize(int width, int height) override { window_.SetSize(width, height); }
    int GetHeight() override { return window_.Height(); }
    std::uintptr_t NativeWindow() const override { return window_.NativeWindow(); }

private:
    // The window is made with the visual of the context's configuration, so
    // the steps alternate; each failing one has told the user why.
    bool Open() {
        if (!window_.Connect() || !surface_.Supported()) {
            return false;
        }
        const std::optional<ChildWindow::Parent> parent = window_.FindParent();
        if (!parent) {
            return false;
        }
        XVisualInfo* visual = surface_.ChooseVisual(parent->screen, parent->depth);
        if (visual == nullptr) {
            return false;
        }
        const bool created = window_.Create(*visual);
        XFree(visual);
        return created && surface_.CreateWindowContext();
    }

    ChildWindow window_;
    GlxSurface surface_;  // draws into window_, released before it closes
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
