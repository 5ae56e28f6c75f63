#pragma once
// The editor the host sees: reports the size, opens the child window inside
// the host's window with a Manager drawing into it, routes the window
// system's input and the host's keys to the Manager, and closes again.
//
// Host notifications from gestures (begin/end edit, automation, window
// size) are made on the host's user-interface thread: directly where input
// arrives there (Windows), otherwise queued and handed over in idle().

#include <chrono>
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

    // The size handed to the host before a Manager exists.
    void SetDefaultSize(int width, int height);
    Manager* manager() const { return manager_.get(); }

    // ---- ManagerHost (input thread) -------------------------------------------
    void BeginEdit(int index) override;
    void EndEdit(int index) override;
    void Automate(int index, float normalized) override;
    void SizeWindow(int width, int height) override;
    void CaptureMouse() override {}
    // The gesture is over, whether or not its button-up came: a modal
    // dialog opened by a press takes the release for itself.
    void ReleaseMouse() override { buttonDown = false; }

    // ---- EditorWindowEvents (input thread) ---------------------------------------
    void ButtonDown(int x, int y, int modifiers, int clickCount) override;
    void ButtonUp(int x, int y, int modifiers) override;
    void PointerMoved(int x, int y, int modifiers) override;
    void Wheel(int x, int y, int modifiers, int delta) override;
    bool Key(int character, int virtualKey) override;
    void FocusLost() override;
    void Moved(int x, int y) override;
    void Exposed() override;

    // Maps a host key code (effEditKeyDown) to the character an element gets.
    static int CharacterForHostKey(const VstKeyCode& key);

protected:
    std::unique_ptr<Manager> manager_;
    std::unique_ptr<GuiBuilder> gui_;
    int windowX = 0, windowY = 0;
    bool buttonDown = false;
    ERect rect{};

private:
    struct HostRequest {
        enum Kind { kBegin, kEnd, kAutomate, kSize } kind;
        int index;
        float value;
        int width, height;
    };
    void Deliver(const HostRequest& request);
    void Request(const HostRequest& request);
    Point WindowToView(int x, int y);

    std::mutex requestsMutex_;
    std::vector<HostRequest> requests_;
    bool queueRequests_ = false;
};

}  // namespace QX
