#include "linux/GlxSurface.h"

#include <dlfcn.h>
#include <link.h>

#include <atomic>
#include <cstring>
#include <string>

#include "platform/Diagnostics.h"

namespace platform::x11 {

namespace {

bool fail(const std::string& text) {
    showMessageBox("Error", text);
    return false;
}

// Mesa loads its GL driver for a connection's first context and unloads it
// when the last connection that used it closes; what the driver allocated
// for itself when it was loaded stays behind, a little memory lost at every
// close of the editor. Once loaded, the driver stays.
int collectGlDriver(dl_phdr_info* info, size_t /*size*/, void* found) {
    const char* name = info->dlpi_name;
    if (name != nullptr &&
        (std::strstr(name, "_dri.so") != nullptr || std::strstr(name, "libgallium") != nullptr)) {
        static_cast<std::vector<std::string>*>(found)->push_back(name);
    }
    return 0;
}

void keepGlDriverLoaded() {
    static std::atomic<bool> kept{false};
    if (kept.load()) {
        return;
    }
    std::vector<std::string> drivers;
    dl_iterate_phdr(collectGlDriver, &drivers);
    for (const std::string& path : drivers) {
        // Already loaded: this only takes a reference that is never given
        // back.
        if (dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE) != nullptr) {
            kept.store(true);
        }
    }
}

}  // namespace

bool GlxSurface::Supported() {
    int major = 0, minor = 0;
    if (!glXQueryVersion(window_.XDisplay(), &major, &minor) || major < 1 ||
        (major == 1 && minor < 3)) {
        return fail("The X server offers no OpenGL (GLX 1.3) for the editor.");
    }
    return true;
}

XVisualInfo* GlxSurface::ChooseVisual(int screen, int parentDepth) {
    Display* display = window_.XDisplay();
    // RGB of 8 bits, double-buffered, a depth buffer, drawable in a window.
    // Alpha is not asked for: a visual with alpha is 32 bits deep and a
    // compositing desktop would show through the editor wherever a frame
    // leaves alpha below 1.
    const int attributes[] = {GLX_X_RENDERABLE,
                              True,
                              GLX_DRAWABLE_TYPE,
                              GLX_WINDOW_BIT,
                              GLX_RENDER_TYPE,
                              GLX_RGBA_BIT,
                              GLX_X_VISUAL_TYPE,
                              GLX_TRUE_COLOR,
                              GLX_RED_SIZE,
                              8,
                              GLX_GREEN_SIZE,
                              8,
                              GLX_BLUE_SIZE,
                              8,
                              GLX_DEPTH_SIZE,
                              16,
                              GLX_DOUBLEBUFFER,
                              True,
                              None};
    int count = 0;
    GLXFBConfig* configs = glXChooseFBConfig(display, screen, attributes, &count);
    XVisualInfo* visual = nullptr;
    for (int i = 0; i < count; ++i) {
        XVisualInfo* candidate = glXGetVisualFromFBConfig(display, configs[i]);
        if (candidate == nullptr) {
            continue;
        }
        // The parent's depth where there is one, else the first.
        if (visual == nullptr ||
            (candidate->depth == parentDepth && visual->depth != parentDepth)) {
            if (visual != nullptr) {
                XFree(visual);
            }
            visual = candidate;
            config_ = configs[i];
        } else {
            XFree(candidate);
        }
    }
    if (configs != nullptr) {
        XFree(configs);
    }
    if (visual == nullptr) {
        fail(
            "The X server has no OpenGL visual for the editor (RGB, double-buffered, with "
            "depth).");
    }
    return visual;
}

bool GlxSurface::CreateWindowContext() {
    Display* display = window_.XDisplay();
    XErrorTrap trap(display);
    glxWindow_ = glXCreateWindow(display, config_, window_.XWindow(), nullptr);
    context_ = glXCreateNewContext(display, config_, GLX_RGBA_TYPE, nullptr, True);
    if (trap.Failed() || glxWindow_ == 0 || context_ == nullptr) {
        return fail("The editor's OpenGL context could not be created.");
    }
    if (!glXMakeContextCurrent(display, glxWindow_, glxWindow_, context_) || trap.Failed()) {
        return fail("The editor's OpenGL context could not be made current.");
    }
    current_ = Current::OnWindow;
    keepGlDriverLoaded();
    return true;
}

bool GlxSurface::MakeCurrent() {
    if (!window_.Drawable() || context_ == nullptr) {
        return false;
    }
    window_.Working();
    if (current_ == Current::OnWindow) {
        return true;
    }
    if (current_ == Current::OnOffscreen) {
        ReadOffscreen();
    }
    if (!glXMakeContextCurrent(window_.XDisplay(), glxWindow_, glxWindow_, context_)) {
        current_ = Current::Nothing;
        return false;
    }
    current_ = Current::OnWindow;
    return true;
}

void GlxSurface::SwapBuffers() {
    if (window_.Drawable() && context_ != nullptr) {
        window_.Working();
        glXSwapBuffers(window_.XDisplay(), glxWindow_);
    }
}

void GlxSurface::CreateOffscreen(int width, int height) {
    if (!window_.Connected()) {
        return;
    }
    window_.Working();
    if (offscreenContext_ == nullptr && !CreateOffscreenContext()) {
        return;
    }
    offscreenWidth_ = width;
    offscreenHeight_ = height;
    MakeOffscreenCurrent();
}

void GlxSurface::MakeOffscreenCurrent() {
    if (!window_.Connected() || offscreenContext_ == nullptr) {
        return;
    }
    window_.Working();
    if (current_ != Current::OnOffscreen) {
        if (!glXMakeContextCurrent(window_.XDisplay(), pbuffer_, pbuffer_, offscreenContext_)) {
            current_ = Current::Nothing;
            return;
        }
        current_ = Current::OnOffscreen;
    }
    glViewport(0, 0, offscreenWidth_, offscreenHeight_);
}

void GlxSurface::Release() {
    Display* display = window_.XDisplay();
    if (display == nullptr) {
        return;
    }
    // The host may have destroyed its window, and ours with it, before the
    // editor closes: that must not end the process.
    XErrorTrap trap(display);
    glXMakeContextCurrent(display, None, None, nullptr);
    current_ = Current::Nothing;
    if (offscreenContext_ != nullptr) {
        glXDestroyContext(display, offscreenContext_);
        offscreenContext_ = nullptr;
    }
    if (pbuffer_ != 0) {
        glXDestroyPbuffer(display, pbuffer_);
        pbuffer_ = 0;
    }
    if (context_ != nullptr) {
        glXDestroyContext(display, context_);
        context_ = nullptr;
    }
    if (glxWindow_ != 0) {
        glXDestroyWindow(display, glxWindow_);
        glxWindow_ = 0;
    }
    trap.Failed();
    offscreenPixels_.clear();
    offscreenPixels_.shrink_to_fit();
}

bool GlxSurface::CreateOffscreenContext() {
    Display* display = window_.XDisplay();
    const int attributes[] = {GLX_DRAWABLE_TYPE,
                              GLX_PBUFFER_BIT,
                              GLX_RENDER_TYPE,
                              GLX_RGBA_BIT,
                              GLX_RED_SIZE,
                              8,
                              GLX_GREEN_SIZE,
                              8,
                              GLX_BLUE_SIZE,
                              8,
                              None};
    XErrorTrap trap(display);
    int count = 0;
    GLXFBConfig* configs = glXChooseFBConfig(display, DefaultScreen(display), attributes, &count);
    if (configs != nullptr && count > 0) {
        const int size[] = {GLX_PBUFFER_WIDTH, kOffscreenWidth, GLX_PBUFFER_HEIGHT,
                            kOffscreenHeight, None};
        pbuffer_ = glXCreatePbuffer(display, configs[0], size);
        if (pbuffer_ != 0) {
            offscreenContext_ =
                glXCreateNewContext(display, configs[0], GLX_RGBA_TYPE, nullptr, True);
        }
    }
    if (configs != nullptr) {
        XFree(configs);
    }
    if (trap.Failed() || pbuffer_ == 0 || offscreenContext_ == nullptr) {
        if (offscreenContext_ != nullptr) {
            glXDestroyContext(display, offscreenContext_);
            offscreenContext_ = nullptr;
        }
        if (pbuffer_ != 0) {
            glXDestroyPbuffer(display, pbuffer_);
            pbuffer_ = 0;
        }
        trap.Failed();
        return fail("The editor's offscreen bitmap could not be created.");
    }
    offscreenPixels_.assign(static_cast<std::size_t>(kOffscreenWidth) * kOffscreenHeight * 3, 0);
    return true;
}

// The offscreen bitmap's memory is the pbuffer read back: the Manager draws
// offscreen, calls MakeCurrent and then uploads the pixels, which is the
// moment they are taken. Rows bottom up, like a bottom-up DIB.
void GlxSurface::ReadOffscreen() {
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, kOffscreenWidth, kOffscreenHeight, GL_BGR, GL_UNSIGNED_BYTE,
                 offscreenPixels_.data());
}

}  // namespace platform::x11
