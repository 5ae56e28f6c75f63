#pragma once
// The editor's GL on Linux: the GLX context of the child window, and the
// offscreen context (a pbuffer read back into memory) for GL without
// framebuffer objects.
//
// Threads: the render thread only. It draws on the child window's
// connection, which that thread owns (ChildWindow), and only while the
// connection's errors are trapped (ChildWindow::Working), since the host may
// destroy the window under any GL call.

#include <GL/glx.h>

#include <cstdint>
#include <vector>

#include "linux/ChildWindow.h"

namespace platform::x11 {

class GlxSurface {
public:
    explicit GlxSurface(ChildWindow& window) : window_(window) {}
    // Release() must have run: the window's connection is closed after it.
    ~GlxSurface() = default;
    GlxSurface(const GlxSurface&) = delete;
    GlxSurface& operator=(const GlxSurface&) = delete;

    // The steps of creating the window's context around the creation of the
    // window itself; each one false (or null) after telling the user why.
    // GLX 1.3 on the window's connection:
    bool Supported();
    // The visual the window must be made with (XFree it), chosen together
    // with the context's configuration: the parent's depth where the server
    // offers it.
    XVisualInfo* ChooseVisual(int screen, int parentDepth);
    // The window's context, made current.
    bool CreateWindowContext();
    bool HasWindowContext() const { return context_ != nullptr; }

    bool MakeCurrent();
    void SwapBuffers();
    void CreateOffscreen(int width, int height);
    void MakeOffscreenCurrent();
    const std::uint8_t* OffscreenPixels() const {
        return offscreenPixels_.empty() ? nullptr : offscreenPixels_.data();
    }

    // Both contexts and their drawables; the window and connection stay.
    void Release();

private:
    enum class Current { Nothing, OnWindow, OnOffscreen };

    // The offscreen bitmap has the size of the cached layer's texture.
    static constexpr int kOffscreenWidth = 1024;
    static constexpr int kOffscreenHeight = 512;

    bool CreateOffscreenContext();
    void ReadOffscreen();

    ChildWindow& window_;
    GLXFBConfig config_ = nullptr;
    GLXWindow glxWindow_ = 0;
    GLXContext context_ = nullptr;
    GLXPbuffer pbuffer_ = 0;
    GLXContext offscreenContext_ = nullptr;
    std::vector<std::uint8_t> offscreenPixels_;
    int offscreenWidth_ = kOffscreenWidth;
    int offscreenHeight_ = kOffscreenHeight;
    Current current_ = Current::Nothing;
};

}  // namespace platform::x11
