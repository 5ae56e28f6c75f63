#pragma once
// One Manager per open editor window: it owns every element, renderer,
// texture and font of the window, runs the render thread that owns the GL
// context, composes the frames (cached 2D layer, lit controls, banner,
// floating tooltip) and turns pointer and key input into calls on the
// element tree, bracketing parameter gestures with the host's begin/end
// edit.
//
// Threads: the render thread owns the element tree. Input reaches it as
// InputEvent values through the input queue (EditorInput.h), whichever
// thread the window system or the host used; what the tree asks of the host
// leaves through ManagerHost, whose calls the editor queues for the host's
// user-interface thread. Construction, the layout script and destruction
// run on the user-interface thread while no render thread runs.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gui/EditorInput.h"
#include "gui/Geometry.h"
#include "gui/TextRun.h"

class ZephCorvaneBase;
struct MidiHistory;

namespace platform {
class DialogProcedure;
}

namespace QX {

class UIElement;
class Group;
class Effect;
class Font;
class Texture;
class StaticText;
class ManagerPlatformBridge;
class DialogPanel;
class StatusLine;

struct ParameterInfo {
    int index = 0;
    char name[56] = {};
    int type = 0;
    float minimum = 0, maximum = 1, defaultValue = 0;
    ZephCorvaneBase* plugin = nullptr;
};

// A native modal dialog (Windows) to be run by the host's user-interface
// thread: the thread that owns the editor's window must run it, and the
// render thread goes on drawing meanwhile.
struct DialogRequest {
    int resourceId = 0;
    std::string caption;
    std::unique_ptr<platform::DialogProcedure> procedure;
};

// What the Manager asks of the editor that hosts it. Calls come from the
// render thread; the editor hands them to the host on its user-interface
// thread.
class ManagerHost {
public:
    virtual ~ManagerHost() = default;
    virtual void BeginEdit(int index) = 0;
    virtual void EndEdit(int index) = 0;
    // A control changed a parameter (already set in the plug-in).
    virtual void Automate(int index, float normalized) = 0;
    // The corner drag resized the editor to (width, height) pixels: the
    // window is to be made that size (Manager::ResizeSurface) and the host
    // told.
    virtual void SizeWindow(int width, int height) = 0;
    // Takes `dialog` to run it on the host's user-interface thread; false
    // leaves it to the caller, which runs it at once (a Manager without an
    // editor, in tests).
    virtual bool ShowDialog(const std::shared_ptr<DialogRequest>& /*dialog*/) { return false; }
};

// Six auto-reset events that wake the render thread.
class RenderEvents {
public:
    static constexpr int kQuit = 0, kWake1 = 1, kPause = 2, kWake3 = 3, kResize = 4, kRedraw = 5;
    void Set(int index);
    // The lowest signalled event (now reset), or -1.
    int Take();
    // Waits at most `milliseconds` (forever when negative) for an event and
    // takes it; -1 on time-out.
    int Wait(int milliseconds);

private:
    std::mutex mutex_;
    std::condition_variable signalled_;
    unsigned bits_ = 0;
};

// The three display preferences ("Enable eye candy", "Enable constant
// redraw", "Enable floating tooltip") are process-wide flags in
// platform::processSettings(), read again at every Manager construction.
// The plug-in and parameter of the last gesture begun (read by the MIDI
// scripts).
struct LastTouched {
    std::atomic<ZephCorvaneBase*> plugin{nullptr};
    std::atomic<int> index{-1};
};
LastTouched& lastTouched();

class Manager {
public:
    explicit Manager(ZephCorvaneBase* plugin);
    virtual ~Manager();
    Manager(const Manager&) = delete;
    Manager& operator=(const Manager&) = delete;

    // ---- Slots ----------------------------------------------------------------
    virtual void Idle();
    virtual void InitGLHook() {}
    class RenderingShutdowner {
    public:
        virtual ~RenderingShutdowner() = default;
        virtual void Run() {}
    };
    virtual RenderingShutdowner* CreateShutdowner() { return new RenderingShutdowner; }
    virtual void DrawUITexture();
    virtual void DrawParameterInfoHook(Font* /*font*/, int /*index*/, float /*x*/, float /*y*/,
                                       const std::string& /*tooltip*/) {}
    virtual void DrawBackground(bool /*reload*/) {}

    // ---- Layout and lifecycle (user-interface thread) ---------------------------
    // Title and projection constants from the window size.
    void UpdateLayout();
    // Gives the Manager the window it draws into (before CreateRenderTask).
    void SetBridge(std::unique_ptr<ManagerPlatformBridge> newBridge);
    // Starts the render thread; a second call while it runs only says so.
    void CreateRenderTask();
    void StopRenderTask();
    ManagerPlatformBridge* Bridge() const { return bridge.get(); }
    // Wakes the render thread with one of the RenderEvents.
    void SetEvent(int index);
    // Asks for the cached layer to be drawn again.
    void Redraw() { SetEvent(RenderEvents::kRedraw); }

    // ---- Input ---------------------------------------------------------------------------
    // [any thread but audio] Queues `event` for the render thread and wakes
    // it.
    void PostInput(const InputEvent& event);
    // [any-thread] Whether a key would be used if it came now: a panel is
    // open, or the focused text field types `character`. Hosts act on the
    // keys an editor does not use (a space for play).
    bool TakesKey(int character) const;
    // [any-thread] Input events queued, and those the render thread has
    // handled: a test waits until the two agree.
    std::uint64_t InputPosted() const { return input_.Accepted(); }
    std::uint64_t InputHandled() const { return inputHandled_.load(std::memory_order_acquire); }
    // [render-thread] Handles every queued event, in order.
    void HandleQueuedInput();
    void HandleInput(const InputEvent& event);
    // [ui-thread] Makes the window `width` x `height` pixels, as the corner
    // drag asked through ManagerHost::SizeWindow.
    void ResizeSurface(int width, int height);

    // [render-thread] The calls input events end in. Points in window
    // units, origin bottom left, y up.
    void MouseMove(Point p);
    void MouseDown(Point p, int modifiers, int clickCount);
    void MouseDrag(Point p, int modifiers);
    void MouseUp(Point p, int modifiers);
    void SetKeyFocus(UIElement* element);
    Point ViewToDesign(Point p) const;
    void BeginParameterEdit(int index);
    // Ends the pointer gesture in progress without its mouse-up (and the
    // host edit it began): a modal dialog takes the pointer.
    void CancelGesture();
    // [ui-thread] While held (a native modal dialog is open), the render
    // thread leaves the window's GL alone: no frames, and the cached layer
    // and the context are brought up to date only after the release. Hold
    // returns once a frame under way has ended.
    void HoldRendering();
    void ReleaseRendering();
    // Sets a parameter from a control: the plug-in gets the value now, the
    // host is told through ManagerHost::Automate.
    void SetParameterFromEditor(int index, float plainValue);

    // ---- Modal panel: the editor's own dialogs (see DialogPanel.h) --------------------
    // [render-thread] Lays `panel` out for the design size, lets its procedure
    // fill it and shows it over the editor; until the procedure ends it,
    // every pointer and key input goes to the panel. Returns at once. While
    // one panel is open another is not opened.
    void OpenPanel(std::unique_ptr<DialogPanel> panel);
    bool PanelOpen() const;
    // [render-thread] A key or a wheel turn for the open panel; false when
    // none is open (the editor then handles it as usual).
    bool PanelKey(int character);
    bool PanelWheel(Point p, int delta);
    // [any thread but audio] Runs `visit` with the open panel, or null,
    // under the panel lock.
    void WithPanel(const std::function<void(DialogPanel*)>& visit);

    // ---- Texts ----------------------------------------------------------------------
    void AddDefaultInfoTexts();
    int AddInfoText(const std::string& text);
    const std::string* InfoText(int id) const;
    void SetBannerPosition(float y);

    // ---- Frames (render thread) ---------------------------------------------------------
    void InitGL();
    void RenderUITexture();
    void RenderFrame();
    void DrawOverlay();
    void DrawResizeGrip();
    // Where the status line goes, in design units; empty without a banner.
    Box StatusBox() const;
    void DrawParameterInfo(int index, float x, float y, std::string* tooltip);
    void ShutdownGL();
    // Elements and renderers call this while a fade or glide is in progress,
    // so an editor without constant redraw keeps drawing until it settles.
    void KeepAnimating() { animating_ = true; }
    // Writes the next frame drawn, read back from GL, to a PNG file; true
    // once written. [any thread but audio; waits at most `timeoutMs`]
    bool SaveNextFrame(const std::string& pngPath, int timeoutMs);
    // Frames drawn since the render thread started. [any-thread]
    std::uint64_t FramesDrawn() const { return framesDrawn_.load(); }
    // Counts input, parameter and history changes; a frame is drawn when it
    // moved (or constant redraw is on).
    void NoteInput() { inputSerial_.fetch_add(1, std::memory_order_relaxed); }

    // ---- Fields ------------------------------------------------------------------------
    std::vector<UIElement*> elements;
    std::vector<Texture*> textures;
    std::vector<Effect*> effects;
    std::vector<Font*> fonts;
    Group* root = nullptr;
    bool drawOverlays = false;
    std::unique_ptr<ManagerPlatformBridge> bridge;
    ManagerHost* host = nullptr;

    UIElement* capturedElement = nullptr;
    int captureModifiers = 0;

    Font* mainFont = nullptr;
    Font* labelFont = nullptr;
    Font* textFieldFont = nullptr;
    StaticText* titleText = nullptr;
    StaticText* labelText = nullptr;
    int titleIndex = -1;

    std::vector<ParameterInfo> parameterInfo;
    std::uint32_t serial = 0;
    unsigned uiTexture = 0;
    unsigned framebuffer = 0;
    std::int16_t editorRect[4] = {0, 0, 0, 0};  // top, left, bottom, right

    std::map<UIElement*, Box> hoverBoxes;
    std::atomic<int> hoverId{-1};
    std::atomic<int> editId{-1};
    std::atomic<UIElement*> hoverElement{nullptr};
    std::atomic<UIElement*> hoverControl{nullptr};
    UIElement* keyFocus = nullptr;
    Point lightTarget;

    float tipAlpha = 0, tipX = 0, tipY = 0, tipWidth = 0, tipHeight = 0;
    char tipText[260] = {};

    std::map<int, std::string> infoTexts;
    float bannerColour[4] = {0.9f, 0.9f, 0.9f, 0.1f};
    // The layout script's colours for this editor only: another instance's
    // script never recolours it.
    float bannerTextColour[4] = {0.5f, 0.5f, 0.5f, 1.0f};
    float groupActiveColour[4] = {0.5f, 0.8f, 1.0f, 0.6f};
    float groupInactiveColour[4] = {0.5f, 0.5f, 0.5f, 0.5f};
    float clearColour[3] = {0, 0, 0};
    Box bannerBox;
    int bannerMode = 0;
    float titleX = 60;
    float infoX = -1;

    float aspect = 1, xScale = 1, yScale = 1, fieldOfView = 65, eyeDistance = 1, eyeX = 0, eyeY = 0;
    float framesPerSecond = 0, frameTime = 0;
    double elapsed = 0;

    std::atomic<int> viewportWidth{0}, viewportHeight{0};
    std::atomic<int> width{0}, height{0};
    int backingWidth = 0, backingHeight = 0;
    int designWidth = 0, designHeight = 0;

    bool resizing = false;
    int resizeStartX = 0, resizeStartBottom = 0, resizeStartWidth = 0, resizeStartHeight = 0;
    bool hiDensity = false;
    float lightPosition[4] = {0, 0, 50, 1};

    TextRun nameRun, displayRun, labelRun, infoRun, tipRun;

    std::atomic<bool> renderThreadRunning{false};
    RenderEvents events;
    std::vector<std::pair<unsigned, int>> displayLists;
    RenderingShutdowner* shutdowner = nullptr;
    ZephCorvaneBase* plugin;
    MidiHistory* midiHistory = nullptr;

    // The smallest window the corner drag makes, in pixels.
    static constexpr int kMinimumWidth = 200;
    static constexpr int kMaximumWidth = 1024;
    static constexpr int kMaximumHeight = 512;

protected:
    void RenderThreadMain();
    int WaitForRenderEvent(int milliseconds);
    bool FrameNeeded();
    bool FrameRequested();
    void ResizeDrag(Point p);
    void WriteRequestedFrame();
    // Client pixels of the window (y down) to the Manager's points.
    Point WindowToView(int x, int y) const;
    // Tells posting threads who takes keys now (TakesKey).
    void PublishKeyTaker();
    // The cached layer's quad over the whole window.
    void DrawUIQuad();
    // [render-thread] The open panel over everything else.
    void DrawPanel();
    // [render-thread] The panels' font at `pixels`, made on first use and
    // kept with the other fonts; another font of the editor when none loads.
    Font* DialogFont(int pixels);

private:
    std::thread renderThread_;
    std::atomic<bool> animating_{true};
    std::atomic<std::uint64_t> framesDrawn_{0};
    std::atomic<std::uint32_t> inputSerial_{0};
    std::uint32_t drawnInputSerial_ = 0;

    InputQueue input_;
    std::vector<InputEvent> takenInput_;
    std::atomic<std::uint64_t> inputHandled_{0};
    enum KeyTaker { kNobody, kFocusedField, kOpenPanel };
    std::atomic<int> keyTaker_{kNobody};
    // A button is held: movements are drags. Ends with the button-up, or
    // when a dialog takes the gesture.
    bool buttonDown_ = false;
    std::vector<float> drawnParameters_;
    std::int32_t drawnHistory_[5] = {-1, -1, -1, -1, -1};
    int cachedInfoId_ = -1;
    std::string cachedInfoText_;
    // What the musician must act on, over the banner's left half.
    std::unique_ptr<StatusLine> statusLine_;

    int uiTextureWidth_ = 1024, uiTextureHeight_ = 512;
    // Without framebuffer objects the cached layer is drawn in the offscreen
    // context, which shares no GL objects with the window's: its labels need
    // a label font whose glyph texture was made there. [render-thread]
    std::unique_ptr<Font> offscreenLabelFont_;
    std::mutex threadEndMutex_;
    std::condition_variable threadEnded_;
    bool threadHasEnded_ = false;

    // Guards panel_ for WithPanel, which tests call from their own thread.
    mutable std::mutex panelMutex_;
    std::unique_ptr<DialogPanel> panel_;
    std::map<int, Font*> dialogFonts_;

    // Held by the render thread while it draws into the window and by the
    // window's thread while it resizes that window. Wine deadlocks when a GL
    // child window is resized in the middle of a frame drawn by another
    // thread (the resize waits for the drawable, the drawing for the window);
    // a modal dialog made by the window's thread while the render thread
    // swaps does the same, hence also the rendering hold.
    std::mutex surfaceMutex_;
    std::atomic<int> renderingHeld_{0};

    std::mutex frameRequestMutex_;
    std::condition_variable frameWritten_;
    std::string frameRequestPath_;
    bool frameRequestDone_ = false;
    bool frameRequestOk_ = false;
};

}  // namespace QX
