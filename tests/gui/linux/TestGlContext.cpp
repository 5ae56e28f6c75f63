// A GLX context on an unmapped window of the display in DISPLAY (the
// tests' Xvfb). The tests draw into the back buffer and read it back, never
// swap. (Mesa's software path presents pbuffers with MIT-SHM, which Xvfb
// refuses for them.) One context serves the whole run: making one costs a
// fifth of a second, and closing the last one unloads Mesa's driver, whose
// few lasting allocations the leak checker could then no longer attribute.
// GoogleTest first: Xlib defines macros (None, Bool) that its names use.
#include "../GuiTestSupport.h"

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace guitest {
namespace {

class GlxContext {
public:
    ~GlxContext() {
        if (display_ == nullptr) {
            return;
        }
        glXMakeContextCurrent(display_, None, None, nullptr);
        if (context_ != nullptr) {
            glXDestroyContext(display_, context_);
        }
        if (window_ != 0) {
            XDestroyWindow(display_, window_);
        }
        if (colormap_ != 0) {
            XFreeColormap(display_, colormap_);
        }
        XCloseDisplay(display_);
    }

    bool Open(int width, int height) {
        display_ = XOpenDisplay(nullptr);
        if (display_ == nullptr) {
            return false;
        }
        const int attributes[] = {GLX_DRAWABLE_TYPE,
                                  GLX_WINDOW_BIT,
                                  GLX_RENDER_TYPE,
                                  GLX_RGBA_BIT,
                                  GLX_DOUBLEBUFFER,
                                  True,
                                  GLX_RED_SIZE,
                                  8,
                                  GLX_GREEN_SIZE,
                                  8,
                                  GLX_BLUE_SIZE,
                                  8,
                                  GLX_ALPHA_SIZE,
                                  8,
                                  GLX_DEPTH_SIZE,
                                  16,
                                  None};
        int count = 0;
        GLXFBConfig* configs =
            glXChooseFBConfig(display_, DefaultScreen(display_), attributes, &count);
        if (configs == nullptr || count == 0) {
            return false;
        }
        const GLXFBConfig config = configs[0];
        XFree(configs);
        XVisualInfo* visual = glXGetVisualFromFBConfig(display_, config);
        if (visual == nullptr) {
            return false;
        }
        const Window root = RootWindow(display_, visual->screen);
        colormap_ = XCreateColormap(display_, root, visual->visual, AllocNone);
        XSetWindowAttributes set{};
        set.colormap = colormap_;
        set.border_pixel = 0;
        window_ = XCreateWindow(display_, root, 0, 0, static_cast<unsigned>(width),
                                static_cast<unsigned>(height), 0, visual->depth, InputOutput,
                                visual->visual, CWColormap | CWBorderPixel, &set);
        XFree(visual);
        context_ = glXCreateNewContext(display_, config, GLX_RGBA_TYPE, nullptr, True);
        return window_ != 0 && context_ != nullptr &&
               glXMakeContextCurrent(display_, window_, window_, context_);
    }

    bool MakeCurrent() { return glXMakeContextCurrent(display_, window_, window_, context_); }
    void Release() { glXMakeContextCurrent(display_, None, None, nullptr); }

private:
    Display* display_ = nullptr;
    Colormap colormap_ = 0;
    Window window_ = 0;
    GLXContext context_ = nullptr;
};

constexpr int kLargest = 512;

// Opened on first use, kept until the process ends (never destroyed).
GlxContext* SharedContext() {
    static GlxContext* shared = [] {
        auto* context = new GlxContext;
        if (!context->Open(kLargest, kLargest)) {
            delete context;
            return static_cast<GlxContext*>(nullptr);
        }
        context->Release();
        return context;
    }();
    return shared;
}

class CurrentContext : public TestGlContext {
public:
    explicit CurrentContext(GlxContext* context) : context_(context) {}
    ~CurrentContext() override {
        // Leave nothing behind for the next test's default state.
        glPopAttrib();
        glPopClientAttrib();
        while (glGetError() != GL_NO_ERROR) {
        }
        context_->Release();
    }

private:
    GlxContext* context_;
};

}  // namespace

std::unique_ptr<TestGlContext> TestGlContext::Create(int width, int height) {
    GlxContext* shared = SharedContext();
    if (shared == nullptr || width > kLargest || height > kLargest || !shared->MakeCurrent()) {
        return nullptr;
    }
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
    return std::make_unique<CurrentContext>(shared);
}

}  // namespace guitest
