#include "gui/Manager.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <system_error>

#include "GL.h"
#include "PngImage.h"
#include "gui/DialogPanel.h"
#include "gui/Effect.h"
#include "gui/Font.h"
#include "gui/Group.h"
#include "gui/StaticText.h"
#include "gui/StatusLine.h"
#include "gui/Texture.h"
#include "gui/UIElement.h"
#include "platform/Diagnostics.h"
#include "platform/ManagerPlatformBridge.h"
#include "platform/NumericLocale.h"
#include "platform/Preferences.h"
#include "platform/Settings.h"
#include "platform/ThreadName.h"
#include "plugin/Properties.h"
#include "plugin/ZephCorvaneBase.h"
#include "tavro/Version.h"

// The render thread of the Manager: its events, its loop (input, idle,
// frames when something changed), and frames written to files on request.

namespace QX {

namespace {

double nowMilliseconds() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

bool sameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// A frame is drawn at least this often even when nothing seems to change,
// so a window the system damaged without telling us comes right.
constexpr double kLongestFrameGapMs = 1000.0;

}  // namespace

// ---- RenderEvents --------------------------------------------------------------

void RenderEvents::Set(int index) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        bits_ |= 1u << index;
    }
    signalled_.notify_one();
}

int RenderEvents::Take() {
    std::lock_guard<std::mutex> guard(mutex_);
    for (int i = 0; i < 6; ++i) {
        if (bits_ & (1u << i)) {
            bits_ &= ~(1u << i);
            return i;
        }
    }
    return -1;
}

int RenderEvents::Wait(int milliseconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto ready = [this] { return bits_ != 0; };
    if (milliseconds < 0)
        signalled_.wait(lock, ready);
    else if (!signalled_.wait_for(lock, std::chrono::milliseconds(milliseconds), ready))
        return -1;
    for (int i = 0; i < 6; ++i) {
        if (bits_ & (1u << i)) {
            bits_ &= ~(1u << i);
            return i;
        }
    }
    return -1;
}

// ---- Render task --------------------------------------------------------------------

void Manager::SetBridge(std::unique_ptr<ManagerPlatformBridge> newBridge) {
    bridge = std::move(newBridge);
}

void Manager::SetEvent(int index) {
    events.Set(index);
    if (bridge)
        bridge->Wake();
}

void Manager::CreateRenderTask() {
    if (renderThreadRunning) {
        // For developers: the editor shows warnings and errors to the musician.
        platform::report(platform::ReportLevel::kInfo, "double call to CreateRenderTask()");
        std::fflush(stdout);
        return;
    }
    if (!shutdowner)
        shutdowner = CreateShutdowner();
    while (events.Take() >= 0) {
    }
    try {
        threadHasEnded_ = false;
        renderThread_ = std::thread([this] {
            platform::nameThisThread("tavro editor");
            platform::useCNumbersOnThisThread();
            // Nothing thrown here may reach std::terminate, which would end
            // the host: the editor stops drawing and says why, once.
            try {
                RenderThreadMain();
            } catch (const std::exception& error) {
                platform::reportf(platform::ReportLevel::kError, "render thread stopped: %s",
                                  error.what());
                std::fflush(stdout);
            } catch (...) {
                platform::report(platform::ReportLevel::kError,
                                 "render thread stopped: unknown exception");
                std::fflush(stdout);
            }
            std::lock_guard<std::mutex> guard(threadEndMutex_);
            threadHasEnded_ = true;
            threadEnded_.notify_all();
        });
        renderThreadRunning = true;
    } catch (const std::system_error& error) {
        platform::reportf(platform::ReportLevel::kError, "failed to create render thread: %d",
                          error.code().value());
        std::fflush(stdout);
    }
}

void Manager::StopRenderTask() {
    if (!renderThreadRunning)
        return;
    SetEvent(RenderEvents::kQuit);
    // The thread leaves its loop at the next event and its GL shutdown is
    // short. One that has not ended after 5 s is reported; it is still
    // waited for, since killing it would leave its driver state and this
    // object's memory to whatever it was doing.
    {
        std::unique_lock<std::mutex> lock(threadEndMutex_);
        if (!threadEnded_.wait_for(lock, std::chrono::milliseconds(5000),
                                   [this] { return threadHasEnded_; })) {
            platform::report(platform::ReportLevel::kInfo,
                             "render thread did not stop within 5000 ms");
            std::fflush(stdout);
        }
    }
    renderThread_.join();
    renderThreadRunning = false;
}

int Manager::WaitForRenderEvent(int milliseconds) {
    if (!bridge || !bridge->DeliversInputOnRenderThread())
        return events.Wait(milliseconds);
    const double deadline = nowMilliseconds() + milliseconds;
    for (;;) {
        const int event = events.Take();
        if (event >= 0)
            return event;
        int remaining = 1000;
        if (milliseconds >= 0) {
            remaining = static_cast<int>(std::ceil(deadline - nowMilliseconds()));
            if (remaining <= 0)
                return -1;
        }
        bridge->WaitForInput(remaining);
    }
}

void Manager::RenderThreadMain() {
    InitGL();
    double previous = nowMilliseconds();
    double lastDrawn = 0;
    float previousRate = 0;
    bool forceFrame = true;
    bool resizePending = false, redrawPending = false;
    for (;;) {
        HandleQueuedInput();
        Idle();
        const double now = nowMilliseconds();
        if (forceFrame || FrameNeeded() || now - lastDrawn >= kLongestFrameGapMs) {
            // A hidden editor draws nothing, and draws at once when shown
            // again; a frame asked for as a picture is drawn all the same.
            // While a native dialog holds rendering nothing is drawn at all.
            std::lock_guard<std::mutex> surface(surfaceMutex_);
            if (renderingHeld_.load() == 0 && (bridge->IsVisible() || FrameRequested())) {
                RenderFrame();
                lastDrawn = now;
                forceFrame = false;
            } else {
                forceFrame = true;
            }
        }

        const double after = nowMilliseconds();
        frameTime = std::max(static_cast<float>((after - previous) / 1000.0), 1e-6f);
        previous = after;
        const float rate = 1 / frameTime;
        framesPerSecond = (rate + previousRate) * 0.5f;
        if (framesPerSecond > 1e6f)
            framesPerSecond = 0;
        previousRate = rate;
        elapsed += frameTime;

        int event = WaitForRenderEvent(33);
        if (event == RenderEvents::kQuit)
            break;
        if (event == RenderEvents::kPause) {
            event = WaitForRenderEvent(-1);
            if (event == RenderEvents::kQuit)
                break;
        }
        resizePending = resizePending || event == RenderEvents::kResize;
        redrawPending = redrawPending || event == RenderEvents::kRedraw;
        if (event >= 0)
            forceFrame = true;
        std::lock_guard<std::mutex> surface(surfaceMutex_);
        if (renderingHeld_.load() == 0) {
            if (resizePending)
                bridge->UpdateContext();
            if (redrawPending)
                RenderUITexture();
            resizePending = redrawPending = false;
        }
    }
    ShutdownGL();
}

bool Manager::FrameRequested() {
    std::lock_guard<std::mutex> guard(frameRequestMutex_);
    return !frameRequestPath_.empty();
}

bool Manager::FrameNeeded() {
    bool needed = animating_.exchange(false);
    if (platform::processSettings().constantRedraw)
        needed = true;
    const std::uint32_t input = inputSerial_.load(std::memory_order_relaxed);
    if (input != drawnInputSerial_) {
        drawnInputSerial_ = input;
        needed = true;
    }
    if (FrameRequested())
        needed = true;
    if (statusLine_->Poll())
        needed = true;
    if (plugin) {
        for (std::size_t i = 0; i < drawnParameters_.size(); ++i) {
            const float value = plugin->getParameterNative(static_cast<int>(i));
            if (!sameBits(value, drawnParameters_[i])) {
                drawnParameters_[i] = value;
                needed = true;
            }
        }
    }
    if (midiHistory) {
        for (int k = 0; k < kHistoryKinds; ++k) {
            const std::int32_t index =
                midiHistory->rings[k].writeIndex.load(std::memory_order_acquire);
            if (index != drawnHistory_[k]) {
                drawnHistory_[k] = index;
                needed = true;
            }
        }
        const auto failures = static_cast<std::int32_t>(
            midiHistory->testFailureCount.load(std::memory_order_relaxed));
        if (failures != drawnHistory_[4]) {
            drawnHistory_[4] = failures;
            needed = true;
        }
    }
    return needed;
}

// ---- Frames saved to files ------------------------------------------------------------------

bool Manager::SaveNextFrame(const std::string& pngPath, int timeoutMs) {
    if (!renderThreadRunning)
        return false;
    std::unique_lock<std::mutex> lock(frameRequestMutex_);
    frameRequestPath_ = pngPath;
    frameRequestDone_ = false;
    lock.unlock();
    NoteInput();
    SetEvent(RenderEvents::kWake1);
    lock.lock();
    const bool done = frameWritten_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                             [this] { return frameRequestDone_; });
    frameRequestPath_.clear();
    return done && frameRequestOk_;
}

void Manager::WriteRequestedFrame() {
    std::string path;
    {
        std::lock_guard<std::mutex> guard(frameRequestMutex_);
        path = frameRequestPath_;
    }
    if (path.empty())
        return;
    const int w = viewportWidth, h = viewportHeight;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(w) * h * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    // GL's rows run bottom up; the file's top down. The picture is opaque
    // whatever alpha the layers left.
    std::vector<std::uint8_t> rows(pixels.size());
    const std::size_t stride = static_cast<std::size_t>(w) * 4;
    for (int row = 0; row < h; ++row)
        std::memcpy(&rows[static_cast<std::size_t>(row) * stride],
                    &pixels[static_cast<std::size_t>(h - 1 - row) * stride], stride);
    for (std::size_t i = 3; i < rows.size(); i += 4)
        rows[i] = 255;
    const bool ok = WritePngFile(path, w, h, rows.data());
    {
        std::lock_guard<std::mutex> guard(frameRequestMutex_);
        frameRequestPath_.clear();
        frameRequestDone_ = true;
        frameRequestOk_ = ok;
    }
    frameWritten_.notify_all();
}

}  // namespace QX
