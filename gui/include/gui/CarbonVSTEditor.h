#pragma once
// The editor the host sees: reports the size, opens the child window inside
// the host's window with a Manager drawing into it, queues the window
// system's input and the host's keys for the Manager's render thread, and
// closes again.
//
// What the render thread asks of the host (begin/end edit, automation, the
// window's size, native dialogs) waits in one queue that the host's
// user-interface thread empties: in idle() and, on Windows, in the window's
// own turns (HostTurn).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "gui/Manager.h"
#include "platform/ManagerPlatformBridge.h"
#include "plugin/EditorFrames.h"
#include "vst/AEffEditor.h"

class ZephCorvaneBase;

class ZephEditor : public AEffEditor {
public:
    using AEffEditor::AEffEditor;
};

namespace QX {

// What builds the element tree into a Manager: the layout script's object
// (or a test's). Owned by the editor.
class GuiBuilder {
public:
    virtual ~GuiBuilder() = default;
    virtual void GetWindowSize(int& width, int& height) = 0;
    virtual void CreateUI(Manager& manager) = 0;
    // The window size when a host asks before the editor opens (perhaps
    // while it scans plug-ins): whatever layout code this runs ends within
    // `budget` in all.
    virtual void GetWindowSizeWithin(std::chrono::milliseconds /*budget*/, int& width,
                                     int& height) {
        GetWindowSize(width, height);
    }
    // [any-thread] Ends the layout code running now, if any, and all that
    // would follow: the editor is closing.
    virtual void Interrupt() {}
};

class CarbonVSTEditor : public ZephEditor,
                        public ManagerHost,
                        public EditorWindowEvents,
                        public EditorFrameWriter {
public:
    explicit CarbonVSTEditor(AudioEffect* effect);
    ~CarbonVSTEditor() override;

    // ---- AEffEditor (user-interface thread) ---------------------------------
    bool getRect(ERect** rect) override;
    bool open(void* parent) override;
    void close() override;
    void idle() override;
    bool onKeyDown(VstKeyCode& keyCode) override;

    // ---- Added slots -------------------------------------------------------------
    // Called by the plug-in whenever a parameter is set; the controls read
    // their values every frame, so there is nothing to do.
    virtual void setParameter(int /*index*/, float /*value*/) {}
    virtual void createManager() = 0;
    virtual void createGui() = 0;

    bool WriteNextFrame(const char* path, int timeoutMs) override;
    long long FramesDrawn() const override;
    long long InputPending() const override;
    long long InputHandled() const override;

    // The size handed to the host before a Manager exists.
    void SetDefaultSize(int width, int height);
    Manager* manager() const { return manager_.get(); }

    // ---- ManagerHost (render thread) -------------------------------------------
    void BeginEdit(int index) override;
    void EndEdit(int index) override;
    void Automate(int index, float normalized) override;
    void SizeWindow(int width, int height) override;
    bool ShowDialog(const std::shared_ptr<DialogRequest>& dialog) override;

    // ---- EditorWindowEvents (window system's thread) ------------------------------
    void ButtonDown(int x, int y, int modifiers, int clickCount) override;
    void ButtonUp(int x, int y, int modifiers) override;
    void PointerMoved(int x, int y, int modifiers) override;
    void Wheel(int x, int y, int modifiers, int delta) override;
    bool Key(int character, int virtualKey) override;
    void FocusLost() override;
    void Moved(int x, int y) override;
    void Exposed() override;
    void HostTurn() override { idle(); }

    // Maps a host key code (effEditKeyDown) to the character an element gets.
    static int CharacterForHostKey(const VstKeyCode& key);

protected:
    std::unique_ptr<Manager> manager_;
    std::unique_ptr<GuiBuilder> gui_;
    int windowX = 0, windowY = 0;
    ERect rect{};

private:
    struct HostRequest {
        enum Kind { kBegin, kEnd, kAutomate, kSize, kDialog } kind;
        HostRequest(Kind kind, int index = 0, float value = 0, int width = 0, int height = 0)
            : kind(kind), index(index), value(value), width(width), height(height) {}
        int index = 0;
        float value = 0;
        int width = 0, height = 0;
        std::shared_ptr<DialogRequest> dialog;
    };
    // [ui-thread] False when the editor itself is gone after the request
    // (the host deleted the plug-in from inside a dialog's modal loop).
    bool Deliver(const HostRequest& request);
    bool RunDialog(DialogRequest& dialog);
    // [any thread but audio]
    void Request(HostRequest request);
    void Post(const InputEvent& event);

    std::mutex requestsMutex_;
    std::vector<HostRequest> requests_;
    // The native dialog open now, 0 when none: one at a time, and closing
    // the editor ends it first.
    std::atomic<std::uintptr_t> openDialog_{0};
    bool dialogRunning_ = false;
    // Counts closings: a dialog that outlived its editor's Manager leaves
    // the next one alone.
    int openings_ = 0;
    // Cleared when this object goes: a dialog's modal loop, inside which the
    // host may delete the plug-in, checks it before touching anything.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace QX
