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

namespace QX {

LastTouched& lastTouched() {
    static LastTouched touched;
    return touched;
}

namespace {

std::atomic<std::uint32_t> managerCount{0};

// GLEW keeps its entry points in globals: two editors' render threads must
// not initialise it at the same moment.
std::mutex glewMutex;

double nowMilliseconds() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

bool sameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The built-in information texts, ids -2, -3, ... in this order.
const char* const kDefaultInfoTexts[] = {
    "About tavro and preferences",
    "Save calibration data",
    "Load calibration data",
    "Load calibration data",
    "Import settings from another product",
};

void fillRect(float x0, float y0, float x1, float y1) {
    glBegin(GL_QUADS);
    glVertex2f(x0, y0);
    glVertex2f(x1, y0);
    glVertex2f(x1, y1);
    glVertex2f(x0, y1);
    glEnd();
}

// The one projection of the lit pass: gluPerspective's matrix.
void perspective(double fovY, double aspect, double zNear, double zFar) {
    const double yMax = zNear * std::tan(fovY * 3.14159265358979323846 / 360.0);
    const double xMax = yMax * aspect;
    glFrustum(-xMax, xMax, -yMax, yMax, zNear, zFar);
}

int textureSide(int needed, int atLeast) {
    int side = atLeast;
    while (side < needed)
        side *= 2;
    return side;
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

// ---- Construction ----------------------------------------------------------------

Manager::Manager(ZephCorvaneBase* owner)
    : plugin(owner),
      statusLine_(std::make_unique<StatusLine>(
          owner, owner ? owner->reportsBefore() : platform::lastReportSerial())) {
    serial = managerCount.fetch_add(1);
    auto& settings = platform::processSettings();
    settings.eyeCandy = platform::readIntPreference(platform::kPrefEyeCandy, 1) != 0;
    settings.constantRedraw = platform::readIntPreference(platform::kPrefConstantRedraw, 1) != 0;
    settings.floatingTooltip = platform::readIntPreference(platform::kPrefFloatingTooltip, 0) != 0;

    std::int32_t count = 0;
    if (plugin && plugin->GetProperty(prop::kParameterCount, 0, 0, &count) == 0 && count > 0) {
        const ParameterDescriptor* table = plugin->parameterDescriptors();
        parameterInfo.resize(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            ParameterInfo& info = parameterInfo[static_cast<std::size_t>(i)];
            info.index = i;
            std::snprintf(info.name, sizeof info.name, "%s", table[i].name);
            info.type = table[i].unit;
            info.minimum = table[i].minimum;
            info.maximum = table[i].maximum;
            info.defaultValue = table[i].defaultNative();
            info.plugin = plugin;
        }
    }
    drawnParameters_.assign(parameterInfo.size(), std::nanf(""));

    root = new Group(this);
    titleText = new StaticText(this, false);
    labelText = new StaticText(this, true);
    if (plugin)
        midiHistory = plugin->historyBlock();
}

Manager::~Manager() {
    StopRenderTask();
    // A panel still open goes with its procedure, whatever it would have
    // written: the editor closed under it, as a dialog cancelled.
    panel_.reset();
    parameterInfo.clear();
    for (UIElement* element : elements)
        delete element;
    elements.clear();
    for (Texture* texture : textures)
        delete texture;
    textures.clear();
    for (Effect* effect : effects)
        delete effect;
    effects.clear();
    // A font may sit in several slots and in the list; each goes once.
    std::set<Font*> allFonts(fonts.begin(), fonts.end());
    allFonts.insert({mainFont, labelFont, textFieldFont});
    allFonts.erase(nullptr);
    for (Font* font : allFonts)
        delete font;
    fonts.clear();
    mainFont = labelFont = textFieldFont = nullptr;
    delete shutdowner;
    bridge.reset();
}

void Manager::Idle() {
    root->Idle();
    for (Effect* effect : effects)
        effect->Idle();
}

void Manager::UpdateLayout() {
    char title[64];
    std::snprintf(title, sizeof title, "%sTAVRO %s", bannerMode == 0 ? "vantrell : " : "",
                  tavro::kVersionText);
    if (mainFont && bannerMode != 2) {
        const float y = bannerBox.minY - mainFont->Descender();
        if (titleIndex < 0)
            titleIndex = titleText->AddText(title, titleX, y, bannerTextColour);
        else
            titleText->SetText(titleIndex, title, titleX, y);
    }
    const float w = static_cast<float>(width.load());
    const float h = static_cast<float>(height.load());
    aspect = w / h;
    xScale = 2 / w;
    yScale = 2 / h;
    fieldOfView = 65;
    eyeDistance = 1 / (yScale * 0.63707024f);
    eyeX = w / 2;
    eyeY = h / 2;
    lightTarget = {w / 2, h / 2};
    editorRect[0] = 0;
    editorRect[1] = 0;
    editorRect[2] = static_cast<std::int16_t>(height.load());
    editorRect[3] = static_cast<std::int16_t>(width.load());
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

// ---- GL initialisation and shutdown ---------------------------------------------------

void Manager::InitGL() {
    const bool ok = bridge->CreateContext();
    viewportWidth = designWidth = width.load();
    viewportHeight = designHeight = height.load();
    int w = viewportWidth, h = viewportHeight;
    bridge->AdjustBackingSize(w, h);
    viewportWidth = w;
    viewportHeight = h;
    backingWidth = w;
    backingHeight = h;
    const int scale = std::max(1, width.load() > 0 ? backingWidth / width.load() : 1);
    hiDensity = scale > 1;

    bool loaderReady = false;
    if (ok) {
        std::lock_guard<std::mutex> guard(glewMutex);
        loaderReady = glewInit() == GLEW_OK;
    }
    if (ok && loaderReady) {
        bridge->UpdateContext();
        glDisable(GL_MULTISAMPLE);
        glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
        for (Texture* texture : textures) {
            if (!texture->loadOnUse)
                texture->Load(false);
        }
        for (Font* slot : {mainFont, labelFont, textFieldFont}) {
            if (slot)
                slot->SetScale(scale);
        }
        for (Font* font : fonts)
            font->SetScale(scale);
        for (UIElement* element : elements)
            element->Layout();
        for (UIElement* element : elements)
            element->PostLayout();
        for (Effect* effect : effects)
            effect->InitGL();
        InitGLHook();
        bridge->ContextReady();
    }

    while (ok && glGetError() != GL_NO_ERROR) {
    }
    const int textureWidth = textureSide(backingWidth, hiDensity ? 2048 : 1024);
    const int textureHeight = textureSide(backingHeight, hiDensity ? 1024 : 512);
    if (ok) {
        glGenTextures(1, &uiTexture);
        if (loaderReady && glGenFramebuffers && glFramebufferTexture2D) {
            glGenFramebuffers(1, &framebuffer);
            glBindTexture(GL_TEXTURE_2D, uiTexture);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, textureWidth, textureHeight, 0, GL_RGBA,
                         GL_UNSIGNED_BYTE, nullptr);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
            glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
            glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, uiTexture,
                                   0);
            glBindFramebuffer(GL_FRAMEBUFFER, 0);
        } else {
            bridge->CreateOffscreen(viewportWidth, viewportHeight);
            if (labelFont && labelFont->Loaded()) {
                bridge->MakeOffscreenCurrent();
                offscreenLabelFont_ = labelFont->Copy();
                offscreenLabelFont_->SetScale(scale);
            }
        }
    }
    uiTextureWidth_ = textureWidth;
    uiTextureHeight_ = textureHeight;
    if (labelFont)
        labelFont->SetScale(scale);
    if (ok)
        RenderUITexture();
}

void Manager::ShutdownGL() {
    if (!bridge->MakeCurrent()) {
        bridge->Destroy();
        offscreenLabelFont_.reset();
        return;
    }
    for (Texture* texture : textures)
        texture->Unload();
    for (Texture* texture : textures)
        texture->loadAttempted = false;
    for (Font* slot : {mainFont, labelFont, textFieldFont}) {
        if (slot)
            slot->ReleaseGL();
    }
    for (Font* font : fonts)
        font->ReleaseGL();
    for (Effect* effect : effects)
        effect->ShutdownGL();
    if (shutdowner)
        shutdowner->Run();
    for (const auto& lists : displayLists)
        glDeleteLists(lists.first, lists.second);
    displayLists.clear();
    if (uiTexture)
        glDeleteTextures(1, &uiTexture);
    uiTexture = 0;
    if (framebuffer && glDeleteFramebuffers)
        glDeleteFramebuffers(1, &framebuffer);
    framebuffer = 0;
    // Its glyph texture goes with the offscreen context.
    bridge->Destroy();
    offscreenLabelFont_.reset();
}

// ---- Frames ---------------------------------------------------------------------------

void Manager::RenderUITexture() {
    if (framebuffer) {
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glDrawBuffer(GL_COLOR_ATTACHMENT0);
        glViewport(0, 0, backingWidth, backingHeight);
    } else {
        bridge->MakeOffscreenCurrent();
    }
    glClearColor(clearColour[0], clearColour[1], clearColour[2], 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // The cached layer is stored top row first, like the images.
    glScalef(1, -1, 1);
    glTranslatef(-1, -1, 0);
    glScalef(xScale, yScale, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    DrawBackground(false);
    // Without a label font the labels have no text, but the fields and
    // tracks of this layer are drawn all the same. Drawn offscreen, the
    // labels take the glyphs made in the offscreen context.
    Font* font = labelFont;
    if (labelFont && !framebuffer)
        font = offscreenLabelFont_ && offscreenLabelFont_->Loaded() ? offscreenLabelFont_.get()
                                                                    : nullptr;
    for (UIElement* element : elements) {
        if (element->visible)
            element->DrawStatic(font);
    }
    if (framebuffer) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDrawBuffer(GL_BACK);
    } else {
        glFlush();
        const std::uint8_t* pixels = bridge->OffscreenPixels();
        bridge->MakeCurrent();
        glBindTexture(GL_TEXTURE_2D, uiTexture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 1024, 512, 0, GL_BGR, GL_UNSIGNED_BYTE, pixels);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        uiTextureWidth_ = 1024;
        uiTextureHeight_ = 512;
    }
}

void Manager::DrawUITexture() {
    glDisable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, uiTexture);
    glColor4f(1, 1, 1, 1);
    DrawUIQuad();
    glDisable(GL_TEXTURE_2D);
}

void Manager::DrawUIQuad() {
    const float u = static_cast<float>(backingWidth) / static_cast<float>(uiTextureWidth_);
    const float v = static_cast<float>(backingHeight) / static_cast<float>(uiTextureHeight_);
    glBegin(GL_QUADS);
    glTexCoord2f(0, v);
    glVertex2f(-1, -1);
    glTexCoord2f(u, v);
    glVertex2f(1, -1);
    glTexCoord2f(u, 0);
    glVertex2f(1, 1);
    glTexCoord2f(0, 0);
    glVertex2f(-1, 1);
    glEnd();
}

void Manager::RenderFrame() {
    if (!bridge->MakeCurrent())
        return;
    glViewport(0, 0, viewportWidth, viewportHeight);
    glClear(GL_DEPTH_BUFFER_BIT);
    glDepthRange(0.1, 1);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    perspective(fieldOfView, aspect, eyeDistance, eyeDistance * 100);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(-eyeX, -eyeY, -eyeDistance);

    glEnable(GL_CULL_FACE);
    glEnable(GL_LIGHTING);
    const GLfloat ambient[] = {0.2f, 0.2f, 0.2f, 1};
    const GLfloat diffuse[] = {0.6f, 0.6f, 0.6f, 1};
    const GLfloat specular[] = {0.3f, 0.3f, 0.3f, 1};
    const GLfloat position[] = {1, 1, 1, 1};
    const GLfloat materialSpecular[] = {0.7f, 0.5f, 0.5f, 1};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
    glEnable(GL_LIGHT0);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT0, GL_SPECULAR, specular);
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 40);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, materialSpecular);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    for (Effect* effect : effects)
        effect->Draw3D();

    glDepthRange(0, 0.1);
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    DrawUITexture();

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glTranslatef(-1, -1, 0);
    glScalef(xScale, yScale, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    DrawOverlay();
    DrawPanel();

    WriteRequestedFrame();
    bridge->SwapBuffers();
    framesDrawn_.fetch_add(1);
}

void Manager::DrawOverlay() {
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    const GLfloat ambient[] = {0.2f, 0.2f, 0.2f, 1};
    const GLfloat diffuse0[] = {0.8f, 0.8f, 0.8f, 1};
    const GLfloat specular0[] = {0.2f, 0.2f, 0.2f, 1};
    const GLfloat direction0[] = {0.6f, 0.6f, 0.5f, 0};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
    glEnable(GL_LIGHT0);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse0);
    glLightfv(GL_LIGHT0, GL_SPECULAR, specular0);
    glLightfv(GL_LIGHT0, GL_POSITION, direction0);

    if (UIElement* hovered = hoverElement.load())
        lightTarget = hovered->AbsoluteBox().Centre();
    const float lastX = lightPosition[0], lastY = lightPosition[1];
    lightPosition[0] = lightTarget.x * 0.1f + lightPosition[0] * 0.9f;
    lightPosition[1] = lightTarget.y * 0.1f + lightPosition[1] * 0.9f;
    if (std::fabs(lightPosition[0] - lastX) > 0.05f || std::fabs(lightPosition[1] - lastY) > 0.05f)
        KeepAnimating();
    const GLfloat diffuse1[] = {0.9f, 0.9f, 0.9f, 1};
    const GLfloat specular1[] = {0.5f, 0.5f, 0.7f, 1};
    glEnable(GL_LIGHT1);
    glLightfv(GL_LIGHT1, GL_DIFFUSE, diffuse1);
    glLightfv(GL_LIGHT1, GL_SPECULAR, specular1);
    glLightfv(GL_LIGHT1, GL_POSITION, lightPosition);
    const GLfloat materialSpecular[] = {0.5f, 0.5f, 0.5f, 1};
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 40);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, materialSpecular);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);

    std::string tooltip;
    bool haveTooltip = false;
    const bool floating = platform::processSettings().floatingTooltip;
    float lineHeight = 0;
    // The banner's box shows without a font too; only its text needs one.
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4fv(bannerColour);
    if (!bannerBox.Empty())
        fillRect(bannerBox.minX, bannerBox.minY, bannerBox.maxX, bannerBox.maxY);
    if (mainFont) {
        lineHeight = mainFont->LineHeight();
        float x = infoX;
        if (x < 0)
            x = bannerMode == 2 ? 25.0f : static_cast<float>(backingWidth) * 0.5f + 15;
        const float y = bannerBox.minY - mainFont->Descender();
        glColor4fv(bannerTextColour);
        const int edit = editId.load();
        const int id = edit >= 0 ? edit : hoverId.load();
        if (id >= 0) {
            DrawParameterInfo(id, x, y, floating ? &tooltip : nullptr);
            haveTooltip = floating && !tooltip.empty();
        } else if (id <= -2) {
            if (id != cachedInfoId_) {
                cachedInfoId_ = id;
                const std::string* text = InfoText(id);
                cachedInfoText_ = text ? *text : std::string();
            }
            infoRun.Update(mainFont, cachedInfoText_, x, y);
            infoRun.Draw(mainFont);
            tooltip = cachedInfoText_;
            haveTooltip = !tooltip.empty();
        }
    }

    root->Draw();
    glDepthMask(GL_FALSE);
    for (Effect* effect : effects)
        effect->Draw();
    if (drawOverlays)
        root->DrawOverlay();

    if (floating && mainFont) {
        UIElement* control = hoverControl.load();
        if (control && haveTooltip) {
            const float before = tipAlpha;
            tipAlpha = tipAlpha * 0.84f + 0.16f;
            if (std::fabs(tipAlpha - before) > 1.0f / 512)
                KeepAnimating();
            std::snprintf(tipText, sizeof tipText, "%s", tooltip.c_str());
            const float w = mainFont->Advance(tipText);
            const Box box = control->AbsoluteBox();
            const Point centre = box.Centre();
            tipX = std::max(centre.x - w / 2, 5.0f);
            tipX = std::min(tipX, static_cast<float>(backingWidth) - 5 - w);
            tipY = centre.y;
            tipWidth = w;
            tipHeight = lineHeight;
        } else {
            tipAlpha *= 0.89f;
            if (tipAlpha < 0.003921569f)
                tipAlpha = 0;
            else
                KeepAnimating();
        }
        if (tipAlpha > 0) {
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            glColor4f(0.7f, 0.7f, 0.7f, tipAlpha * 0.5f);
            fillRect(tipX - 5, tipY, tipX + tipWidth + 5, tipY + tipHeight);
            glColor4f(0.8f, 0.8f, 0.8f, tipAlpha * 0.9f);
            tipRun.Update(mainFont, tipText, tipX, tipY - mainFont->Descender());
            tipRun.Draw(mainFont);
        }
    }
    DrawResizeGrip();
    statusLine_->Draw(mainFont, StatusBox());
    glDisable(GL_BLEND);
}

Box Manager::StatusBox() const {
    // Over the banner, the title included, until read; while the banner
    // shows a parameter or a help text the line keeps to the left of it.
    if (!mainFont || bannerBox.Empty())
        return {};
    float right = bannerBox.maxX;
    if (editId.load() >= 0 || hoverId.load() != -1) {
        float x = infoX;
        if (x < 0)
            x = bannerMode == 2 ? 25.0f : static_cast<float>(backingWidth) * 0.5f + 15;
        right = x - 10;
    }
    if (right - bannerBox.minX < 100)
        return {};
    return Box::Make(bannerBox.minX, bannerBox.minY, right, bannerBox.maxY);
}

void Manager::DrawResizeGrip() {
    // Three ridges in the corner whose triangle starts a resize (MouseDown),
    // so that it can be found; sized in window pixels at every window size.
    const int windowWidth = width.load(), windowHeight = height.load();
    if (windowWidth <= 0 || windowHeight <= 0 || designWidth <= 0 || designHeight <= 0)
        return;
    const float unitX = static_cast<float>(designWidth) / static_cast<float>(windowWidth);
    const float unitY = static_cast<float>(designHeight) / static_cast<float>(windowHeight);
    const float right = static_cast<float>(designWidth);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(0.8f, 0.8f, 0.8f, 0.55f);
    glBegin(GL_LINES);
    for (float ridge : {4.0f, 8.0f, 12.0f}) {
        glVertex2f(right - (ridge + 2) * unitX, 2 * unitY);
        glVertex2f(right - 2 * unitX, (ridge + 2) * unitY);
    }
    glEnd();
}

void Manager::DrawParameterInfo(int index, float x, float y, std::string* tooltip) {
    if (!plugin || !mainFont || index < 0 || index >= static_cast<int>(parameterInfo.size()))
        return;
    float x0 = x + 150;
    const std::string name = parameterInfo[static_cast<std::size_t>(index)].name;
    nameRun.Update(mainFont, name, x0 - 10 - mainFont->Advance(name), y);
    nameRun.Draw(mainFont);

    char display[128] = {};
    plugin->getParameterDisplay(index, display);
    display[127] = 0;
    displayRun.Update(mainFont, display, x0, y);
    displayRun.Draw(mainFont);

    x0 += 40;
    char label[128] = {};
    plugin->getParameterLabel(index, label);
    label[127] = 0;
    if (label[0]) {
        x0 = labelRun.Update(mainFont, label, x0, y) + 10;
        labelRun.Draw(mainFont);
    }
    std::string text = name + " " + display;
    if (label[0])
        text += std::string(" ") + label;
    if (tooltip)
        *tooltip = text;
    DrawParameterInfoHook(mainFont, index, x0, y, text);
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

// ---- Modal panel drawing ---------------------------------------------------------------

void Manager::DrawPanel() {
    std::lock_guard<std::mutex> guard(panelMutex_);
    if (!panel_)
        return;
    const int w = designWidth > 0 ? designWidth : width.load();
    const int h = designHeight > 0 ? designHeight : height.load();
    if (w <= 0 || h <= 0)
        return;
    Font* font = DialogFont(panel_->Layout().fontPixels);
    panel_->Draw(font, static_cast<float>(w), static_cast<float>(h),
                 static_cast<float>(viewportWidth.load()) / static_cast<float>(w),
                 static_cast<float>(viewportHeight.load()) / static_cast<float>(h), elapsed);
    // The caret blinks: frames go on while a panel is open.
    KeepAnimating();
}

Font* Manager::DialogFont(int pixels) {
    auto found = dialogFonts_.find(pixels);
    if (found == dialogFonts_.end()) {
        // Plain sans-serif faces in the size of a dialog's text: Windows'
        // own first, then what Linux systems have.
        const std::vector<FontCandidate> candidates = {
            {"tahoma.ttf", pixels},
            {"DejaVuSans.ttf", pixels},
            {"LiberationSans-Regular.ttf", pixels},
            {"FreeSans.ttf", pixels},
            {"arial.ttf", pixels},
            {"verdana.ttf", pixels},
            {"builtin:DejaVuSans.ttf", pixels},
        };
        Font* font = CreateFont(candidates).release();
        if (font) {
            const int scale = designWidth > 0 ? std::max(1, backingWidth / designWidth) : 1;
            font->SetScale(scale);
            fonts.push_back(font);
        }
        found = dialogFonts_.emplace(pixels, font).first;
    }
    if (found->second)
        return found->second;
    return textFieldFont ? textFieldFont : mainFont;
}

// ---- Texts ----------------------------------------------------------------------------------

void Manager::AddDefaultInfoTexts() {
    int id = -2;
    for (const char* text : kDefaultInfoTexts)
        infoTexts[id--] = text;
}

int Manager::AddInfoText(const std::string& text) {
    for (const auto& entry : infoTexts) {
        if (entry.second == text)
            return entry.first;
    }
    int id = -2;
    for (const auto& entry : infoTexts) {
        if (entry.first <= id)
            id = entry.first - 1;
    }
    infoTexts[id] = text;
    return id;
}

const std::string* Manager::InfoText(int id) const {
    auto it = infoTexts.find(id);
    return it == infoTexts.end() ? nullptr : &it->second;
}

void Manager::SetBannerPosition(float y) {
    const float lineHeight = mainFont ? mainFont->LineHeight() : 5.0f;
    bannerBox = Box::Make(20, y, static_cast<float>(width) - 20, y + lineHeight);
}

}  // namespace QX
