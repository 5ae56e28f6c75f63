// The editor's X11 window and GLX context, driven the way the Manager's
// render thread drives them, inside a viewer window as the host's window;
// input comes through the X server (XTEST), pictures from the screen.
// Runs under a private Xvfb (tests/common/with-xvfb.sh).

#include "platform/Diagnostics.h"
#include "platform/ManagerPlatformBridge.h"
#include "platform/ViewerWindow.h"

#include <GL/gl.h>
#include <gtest/gtest.h>
#include <algorithm>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// ---- What the window system told the editor -------------------------------

struct Input {
    enum Kind { Down, Up, Move, Wheel, Key, FocusLost, Exposed } kind;
    int x = 0, y = 0, modifiers = 0;
    int value = 0;  // click count, wheel delta or character
};

class RecordingEvents : public QX::EditorWindowEvents {
public:
    void ButtonDown(int x, int y, int modifiers, int clickCount) override {
        Add({Input::Down, x, y, modifiers, clickCount});
    }
    void ButtonUp(int x, int y, int modifiers) override { Add({Input::Up, x, y, modifiers, 0}); }
    void PointerMoved(int x, int y, int modifiers) override {
        Add({Input::Move, x, y, modifiers, 0});
    }
    void Wheel(int x, int y, int modifiers, int delta) override {
        Add({Input::Wheel, x, y, modifiers, delta});
    }
    bool Key(int character, int /*virtualKey*/) override {
        Add({Input::Key, 0, 0, 0, character});
        return true;
    }
    void FocusLost() override { Add({Input::FocusLost}); }
    void Exposed() override { Add({Input::Exposed}); }

    // The records of the kinds asked for, once `count` of them arrived (or
    // what there is after five seconds: sanitizers make a slow machine).
    std::vector<Input> Await(std::vector<Input::Kind> kinds, std::size_t count) {
        std::unique_lock<std::mutex> lock(mutex_);
        std::vector<Input> found;
        changed_.wait_for(lock, 5s, [&] {
            found = Select(kinds);
            return found.size() >= count;
        });
        return found;
    }
    // Everything of these kinds that arrived within `settle`.
    std::vector<Input> After(std::vector<Input::Kind> kinds, std::chrono::milliseconds settle) {
        std::this_thread::sleep_for(settle);
        std::lock_guard<std::mutex> lock(mutex_);
        return Select(kinds);
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        inputs_.clear();
    }

private:
    void Add(Input input) {
        std::lock_guard<std::mutex> lock(mutex_);
        inputs_.push_back(input);
        changed_.notify_all();
    }
    std::vector<Input> Select(const std::vector<Input::Kind>& kinds) const {
        std::vector<Input> found;
        for (const Input& input : inputs_) {
            for (Input::Kind kind : kinds) {
                if (input.kind == kind) {
                    found.push_back(input);
                }
            }
        }
        return found;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Input> inputs_;
};

// ---- A render thread as the Manager runs one --------------------------------

class RenderRig {
public:
    // `waitMs`: how long the thread waits for input between frames.
    RenderRig(void* parent, int x, int y, int width, int height, QX::EditorWindowEvents* events,
              int waitMs = 20)
        : waitMs_(waitMs) {
        QX::EditorWindowSpec spec;
        spec.parent = parent;
        spec.x = x;
        spec.y = y;
        spec.width = width;
        spec.height = height;
        spec.events = events;
        bridge_ = QX::CreateManagerBridge(spec);
        thread_ = std::thread([this] { Run(); });
    }
    ~RenderRig() { Stop(); }

    // The editor waits for the child window like this before it relies on
    // it, polling (for two seconds; longer here, for slow sanitizer runs).
    bool WaitForWindow() {
        const auto deadline = Clock::now() + 5s;
        while (bridge_->NativeWindow() == 0 && Clock::now() < deadline) {
            std::this_thread::sleep_for(2ms);
        }
        return bridge_->NativeWindow() != 0;
    }
    void WaitForFrames(int frames) {
        const int target = frames_.load() + frames;
        const auto deadline = Clock::now() + 5s;
        while (frames_.load() < target && Clock::now() < deadline) {
            std::this_thread::sleep_for(2ms);
        }
    }
    void SetColour(float r, float g, float b) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            colour_[0] = r;
            colour_[1] = g;
            colour_[2] = b;
        }
        bridge_->Wake();
    }
    // Runs `task` on the render thread and waits for it.
    void OnRenderThread(std::function<void()> task) {
        std::packaged_task<void()> job(std::move(task));
        auto done = job.get_future();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            tasks_.push_back(std::move(job));
        }
        bridge_->Wake();
        done.wait();
    }
    void Stop() {
        if (thread_.joinable()) {
            stop_.store(true);
            bridge_->Wake();
            thread_.join();
        }
    }
    QX::ManagerPlatformBridge& bridge() { return *bridge_; }
    bool created() const { return created_.load(); }

private:
    void Run() {
        const bool ok = bridge_->CreateContext();
        created_.store(ok);
        while (!stop_.load()) {
            std::vector<std::packaged_task<void()>> tasks;
            float colour[3];
            {
                std::lock_guard<std::mutex> lock(mutex_);
                tasks.swap(tasks_);
                std::copy(colour_, colour_ + 3, colour);
            }
            for (auto& task : tasks) {
                task();
            }
            if (ok && bridge_->MakeCurrent()) {
                glViewport(0, 0, 2000, 2000);
                glClearColor(colour[0], colour[1], colour[2], 1.0f);
                glClear(GL_COLOR_BUFFER_BIT);
                bridge_->SwapBuffers();
                frames_.fetch_add(1);
            }
            bridge_->WaitForInput(waitMs_);
        }
        bridge_->Destroy();
    }

    const int waitMs_;
    std::unique_ptr<QX::ManagerPlatformBridge> bridge_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> created_{false};
    std::atomic<int> frames_{0};
    std::mutex mutex_;
    float colour_[3] = {1, 0, 0};
    std::vector<std::packaged_task<void()>> tasks_;
};

// ---- Pictures ----------------------------------------------------------------

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

std::ostream& operator<<(std::ostream& out, const Rgb& c) {
    return out << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

Rgb At(const platform::Picture& picture, int x, int y) {
    const std::uint8_t* p =
        picture.rgba.data() + (static_cast<std::size_t>(y) * picture.width + x) * 4;
    return {p[0], p[1], p[2]};
}

const Rgb kRed{255, 0, 0};
const Rgb kBlue{0, 0, 255};
const Rgb kBlack{0, 0, 0};

// Presented frames reach the screen through the server a moment after the
// swap: captures until the pixel shows `expected`, at most five seconds.
platform::Picture CaptureShowing(platform::ViewerWindow& viewer, int x, int y, Rgb expected) {
    platform::Picture picture;
    const auto deadline = Clock::now() + 5s;
    do {
        viewer.PumpEvents(10);
        if (viewer.Capture(picture) && x < picture.width && y < picture.height &&
            At(picture, x, y) == expected) {
            break;
        }
    } while (Clock::now() < deadline);
    return picture;
}

class MessageBoxes : public platform::MessageBoxSink {
public:
    MessageBoxes() { platform::installMessageBoxSink(this); }
    ~MessageBoxes() override { platform::installMessageBoxSink(nullptr); }
    void messageBox(const std::string& caption, const std::string& text) override {
        std::lock_guard<std::mutex> lock(mutex);
        boxes.push_back(caption + ": " + text);
    }
    std::mutex mutex;
    std::vector<std::string> boxes;
};

// The child sits at (kLeft, kTop) in a viewer window, as an editor inside a
// host's window.
constexpr int kLeft = 20, kTop = 10, kWidth = 200, kHeight = 100;

class EditorWindow : public ::testing::Test {
protected:
    void SetUp() override {
        viewer = platform::ViewerWindow::Create("editor window test", 400, 300);
        ASSERT_NE(viewer, nullptr) << "no X display (run under tests/common/with-xvfb.sh)";
        rig = std::make_unique<RenderRig>(viewer->NativeHandle(), kLeft, kTop, kWidth, kHeight,
                                          &events);
        ASSERT_TRUE(rig->WaitForWindow());
        rig->WaitForFrames(2);
        // Whatever mapping and exposure produced is not the test's input.
        viewer->PumpEvents(30);
        events.After({}, 20ms);
        events.Clear();
    }
    void TearDown() override {
        rig.reset();
        viewer.reset();
    }

    std::vector<Input> Buttons(std::size_t count) {
        return events.Await({Input::Down, Input::Up}, count);
    }

    RecordingEvents events;
    std::unique_ptr<platform::ViewerWindow> viewer;
    std::unique_ptr<RenderRig> rig;
};

// ---- Window and picture ---------------------------------------------------------

TEST_F(EditorWindow, TheChildShowsItsFramesExactlyWhereItWasPlaced) {
    platform::Picture picture = CaptureShowing(*viewer, kLeft, kTop, kRed);
    ASSERT_EQ(picture.width, 400);
    ASSERT_EQ(picture.height, 300);
    EXPECT_EQ(At(picture, kLeft, kTop), kRed);
    EXPECT_EQ(At(picture, kLeft + kWidth - 1, kTop + kHeight - 1), kRed);
    EXPECT_EQ(At(picture, kLeft - 1, kTop), kBlack);
    EXPECT_EQ(At(picture, kLeft, kTop - 1), kBlack);
    EXPECT_EQ(At(picture, kLeft + kWidth, kTop + 50), kBlack);
    EXPECT_EQ(At(picture, kLeft + 50, kTop + kHeight), kBlack);

    // A new colour is a new frame on the screen.
    rig->SetColour(0, 0, 1);
    picture = CaptureShowing(*viewer, kLeft + 100, kTop + 50, kBlue);
    EXPECT_EQ(At(picture, kLeft + 100, kTop + 50), kBlue);
}

TEST_F(EditorWindow, SetSizeResizesTheChildFromEitherThread) {
    // The UI thread asks; the render thread resizes. The height is known at
    // once: the resize drag reads it back straight away.
    rig->bridge().SetSize(120, 60);
    EXPECT_EQ(rig->bridge().GetHeight(), 60);
    platform::Picture picture = CaptureShowing(*viewer, kLeft + 130, kTop + 10, kBlack);
    EXPECT_EQ(At(picture, kLeft + 119, kTop + 59), kRed);
    EXPECT_EQ(At(picture, kLeft + 120, kTop + 10), kBlack);
    EXPECT_EQ(At(picture, kLeft + 10, kTop + 60), kBlack);

    // On Linux the Manager's input handling, and so the resize drag, runs
    // on the render thread.
    rig->OnRenderThread([this] { rig->bridge().SetSize(300, 150); });
    picture = CaptureShowing(*viewer, kLeft + 299, kTop + 149, kRed);
    EXPECT_EQ(At(picture, kLeft + 299, kTop + 149), kRed);
    EXPECT_EQ(rig->bridge().GetHeight(), 150);
}

TEST_F(EditorWindow, TheOffscreenBitmapHoldsWhatWasDrawnBottomUpInBgr) {
    const std::uint8_t* pixels = nullptr;
    rig->OnRenderThread([&] {
        auto& bridge = rig->bridge();
        bridge.CreateOffscreen(300, 200);
        bridge.MakeOffscreenCurrent();
        glClearColor(0, 0, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        // One green pixel at column 10 of the third row from the bottom.
        glEnable(GL_SCISSOR_TEST);
        glScissor(10, 2, 1, 1);
        glClearColor(0, 1, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glDisable(GL_SCISSOR_TEST);
        glFlush();
        // Back to the window: this is when the bitmap is read.
        ASSERT_TRUE(bridge.MakeCurrent());
        pixels = bridge.OffscreenPixels();
    });
    ASSERT_NE(pixels, nullptr);
    auto bgr = [&](int x, int y) {
        const std::uint8_t* p = pixels + (static_cast<std::size_t>(y) * 1024 + x) * 3;
        return Rgb{p[2], p[1], p[0]};
    };
    EXPECT_EQ(bgr(0, 0), kBlue);
    EXPECT_EQ(bgr(1023, 511), kBlue);
    EXPECT_EQ(bgr(10, 2), (Rgb{0, 255, 0}));
    EXPECT_EQ(bgr(11, 2), kBlue);
    // The window's frames go on meanwhile.
    EXPECT_EQ(At(CaptureShowing(*viewer, kLeft + 5, kTop + 5, kRed), kLeft + 5, kTop + 5), kRed);
}

// ---- Pointer ------------------------------------------------------------------------

TEST_F(EditorWindow, ADoubleClickIsOnePressWithCountTwoAndAThirdStartsOver) {
    ASSERT_TRUE(viewer->Click(kLeft + 50, kTop + 50, 3, 0));
    std::vector<Input> got = Buttons(6);
    ASSERT_EQ(got.size(), 6u);
    EXPECT_EQ(got[0].value, 1);
    EXPECT_EQ(got[1].kind, Input::Up);
    EXPECT_EQ(got[2].kind, Input::Down);
    EXPECT_EQ(got[2].value, 2);
    EXPECT_EQ(got[3].kind, Input::Up);
    EXPECT_EQ(got[4].kind, Input::Down);
    EXPECT_EQ(got[4].value, 1);
    // Presses too far apart in time or place: the click-count table of
    // InputTranslationTest.
}

// ---- Keys and focus ----------------------------------------------------------------

TEST_F(EditorWindow, KeysReachTheEditorAsItsCharacters) {
    rig->OnRenderThread([this] { rig->bridge().Focus(); });
    // Away from the editor: keys follow the focus, not the pointer.
    viewer->Click(5, 5, 1, 0);
    const struct {
        const char* name;
        int character;
    } kKeys[] = {{"Left", QX::kKeyLeft}, {"Right", QX::kKeyRight}, {"Up", QX::kKeyUp},
                 {"Down", QX::kKeyDown}, {"BackSpace", 8},         {"Delete", 8},
                 {"Return", 13},         {"KP_Enter", 13},         {"KP_0", '0'},
                 {"KP_7", '7'},          {"KP_Subtract", '-'},     {"KP_Decimal", '.'},
                 {"minus", '-'},         {"period", '.'}};
    for (const auto& key : kKeys) {
        ASSERT_TRUE(viewer->PressKey(key.name, 0)) << key.name;
    }
    ASSERT_TRUE(viewer->TypeText("aZ9 \n\b"));
    std::vector<Input> got = events.Await({Input::Key}, 20);
    std::vector<int> expected;
    for (const auto& key : kKeys) {
        expected.push_back(key.character);
    }
    for (int c : {int{'a'}, int{'Z'}, int{'9'}, int{' '}, 13, 8}) {
        expected.push_back(c);
    }
    std::vector<int> characters;
    for (const Input& input : got) {
        characters.push_back(input.value);
    }
    EXPECT_EQ(characters, expected);
}

TEST_F(EditorWindow, AnotherEditorTakingTheFocusIsAFocusLoss) {
    RecordingEvents otherEvents;
    RenderRig other(viewer->NativeHandle(), 240, 10, 100, 100, &otherEvents);
    ASSERT_TRUE(other.WaitForWindow());

    rig->bridge().Focus();
    EXPECT_TRUE(events.After({Input::FocusLost}, 100ms).empty());
    // Focus() from the thread that reads the input, as on Linux.
    other.OnRenderThread([&] { other.bridge().Focus(); });
    EXPECT_EQ(events.Await({Input::FocusLost}, 1).size(), 1u);

    // Keys now go to the other editor only.
    viewer->TypeText("x");
    EXPECT_EQ(otherEvents.Await({Input::Key}, 1).size(), 1u);
    EXPECT_TRUE(events.After({Input::Key}, 50ms).empty());
}

TEST_F(EditorWindow, UncoveredPartsAskForAFrame) {
    // Shrinking the viewer over the child and growing it again exposes it.
    viewer->Resize(30, 20);
    viewer->PumpEvents(50);
    viewer->Resize(400, 300);
    EXPECT_GE(events.Await({Input::Exposed}, 1).size(), 1u);
}

// ---- Failure and teardown ---------------------------------------------------------------

TEST(EditorWindowFailure, AParentThatDoesNotExistFailsWithAMessageAndNoWindow) {
    MessageBoxes boxes;
    RecordingEvents events;
    // An id no client has: the server answers BadWindow, which must not
    // reach the process-wide handler (that one ends the process).
    RenderRig rig(reinterpret_cast<void*>(std::uintptr_t{0x3fffff0}), 0, 0, 100, 100, &events);
    rig.Stop();
    EXPECT_FALSE(rig.created());
    EXPECT_EQ(rig.bridge().NativeWindow(), 0u);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].rfind("Error: ", 0), 0u) << boxes.boxes[0];
}

TEST(EditorWindowFailure, NoDisplayIsExplained) {
    MessageBoxes boxes;
    RecordingEvents events;
    const std::string display = std::getenv("DISPLAY") != nullptr ? std::getenv("DISPLAY") : "";
    unsetenv("DISPLAY");
    {
        RenderRig rig(reinterpret_cast<void*>(std::uintptr_t{1}), 0, 0, 100, 100, &events);
        rig.Stop();
        EXPECT_FALSE(rig.created());
    }
    setenv("DISPLAY", display.c_str(), 1);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0], "Error: The editor has no X display (DISPLAY is not set).");
}

TEST(EditorWindowFailure, TheHostDestroyingItsWindowMidFrameIsSurvived) {
    MessageBoxes boxes;
    RecordingEvents events;
    // Frames back to back, so that the window goes while one is drawn: the
    // server's errors for the frame's requests must not reach the
    // process-wide handler (the default one ends the process).
    for (int round = 0; round < 5; ++round) {
        auto viewer = platform::ViewerWindow::Create("closing host", 300, 200);
        ASSERT_NE(viewer, nullptr);
        RenderRig rig(viewer->NativeHandle(), 0, 0, 300, 200, &events, 0);
        ASSERT_TRUE(rig.WaitForWindow());
        rig.WaitForFrames(3);
        viewer.reset();
        // The frame under way when the window went may take long: Mesa's
        // software rasteriser can size its buffers from the geometry of a
        // window that no longer exists, and clearing gigabytes under the
        // thread sanitizer takes many seconds.
        const auto deadline = Clock::now() + 60s;
        while (rig.bridge().NativeWindow() != 0 && Clock::now() < deadline) {
            std::this_thread::sleep_for(1ms);
        }
        EXPECT_EQ(rig.bridge().NativeWindow(), 0u);
        rig.Stop();
    }
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(EditorWindowFailure, WakeEndsAWaitForInputAtOnce) {
    QX::EditorWindowSpec spec;
    auto bridge = QX::CreateManagerBridge(spec);
    const auto start = Clock::now();
    std::thread waiter([&] { bridge->WaitForInput(5000); });
    std::this_thread::sleep_for(50ms);
    bridge->Wake();
    waiter.join();
    EXPECT_LT(Clock::now() - start, 2s);
}

}  // namespace
