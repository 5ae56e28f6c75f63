// A VST 2.4 plug-in whose editor is drawn through the editor window bridge
// by a render thread of its own, as the real editor's Manager does, so that
// tavro-view can be tested on its own: what the window system delivers is
// painted where the tests can see it.
//
// The editor is 300 x 200 pixels (VIEW_TEST_NO_EDITOR: the plug-in has
// none). It clears to a colour that tells the last input, and marks the
// last button press with a 10 x 10 square centred on it:
//   nothing yet: (parameter 0 as red, 64, 64) click: green (0, 255, 0)
//   double-click: blue (0, 0, 255)          click with Shift: magenta
//   drag of more than 20 pixels: orange (255, 128, 0)
//   wheel away: white                        wheel towards: grey (128, 128, 128)
//   Return key: cyan                         'r': asks the host for 400 x 250
// marker: yellow (255, 255, 0).
// A press begins an edit of parameter 0, automates it to x / width and ends
// the edit on release; like every host request they are handed to the host
// from effEditIdle. effVendorSpecific 'tvFR' writes the next frame as a PNG.
// With VIEW_TEST_NO_WINDOW set, effEditOpen opens nothing.

#include <GL/gl.h>
#include <png.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ManagerPlatformBridge.h"
#include "vst/AEffect.h"

namespace {

constexpr int kWidth = 300;
constexpr int kHeight = 200;
constexpr VstInt32 kFrameRequest = 0x74764652;  // 'tvFR'

struct Colour {
    float r, g, b;
};

struct HostRequest {
    VstInt32 opcode, index;
    VstIntPtr value;
    float opt;
};

bool writeRows(png_structp png, png_infop info, std::FILE* file, int width, int height,
               std::vector<unsigned char>& rgb) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    // GL rows run bottom up.
    for (int y = height - 1; y >= 0; --y) {
        png_write_row(png, rgb.data() + static_cast<std::size_t>(y) * width * 3);
    }
    png_write_end(png, nullptr);
    return true;
}

bool writePng(const std::string& path, int width, int height, std::vector<unsigned char>& rgb) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    const bool ok = writeRows(png, info, file, width, height, rgb);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0 && ok;
}

class TestEditor : public QX::EditorWindowEvents {
public:
    TestEditor(AEffect* effect, audioMasterCallback host, void* parent, float parameter)
        : effect_(effect), host_(host), colour_{parameter, 0.25f, 0.25f} {
        QX::EditorWindowSpec spec;
        spec.parent = parent;
        spec.width = kWidth;
        spec.height = kHeight;
        spec.events = this;
        bridge_ = QX::CreateManagerBridge(spec);
        thread_ = std::thread([this] { Render(); });
    }

    ~TestEditor() override {
        quit_.store(true);
        bridge_->Wake();
        thread_.join();
    }

    // [ui-thread] Hands the queued requests to the host.
    void Idle() {
        std::vector<HostRequest> requests;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests.swap(requests_);
        }
        for (const HostRequest& r : requests) {
            host_(effect_, r.opcode, r.index, r.value, nullptr, r.opt);
        }
    }

    // [ui-thread] Writes the next frame to `path`; false after `timeoutMs`.
    bool SaveNextFrame(const std::string& path, int timeoutMs) {
        std::unique_lock<std::mutex> lock(mutex_);
        framePath_ = path;
        frameWritten_ = false;
        bridge_->Wake();
        return frameDone_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                   [this] { return frameWritten_; });
    }

    // ---- Window input (render thread) -------------------------------------------------

    void ButtonDown(int x, int y, int modifiers, int clickCount) override {
        pressX_ = x;
        pressY_ = y;
        markX_ = x;
        markY_ = y;
        colour_ = clickCount == 2                    ? Colour{0, 0, 1}
                  : (modifiers & QX::kModifierShift) ? Colour{1, 0, 1}
                                                     : Colour{0, 1, 0};
        bridge_->Focus();
        Request({audioMasterBeginEdit, 0, 0, 0});
        Request({audioMasterAutomate, 0, 0, static_cast<float>(x) / kWidth});
    }
    void ButtonUp(int x, int y, int /*modifiers*/) override {
        if (std::abs(x - pressX_) + std::abs(y - pressY_) > 20) {
            colour_ = {1, 0.5f, 0};
        }
        Request({audioMasterEndEdit, 0, 0, 0});
    }
    void PointerMoved(int, int, int) override {}
    void Wheel(int, int, int, int delta) override {
        colour_ = delta > 0 ? Colour{1, 1, 1} : Colour{0.5f, 0.5f, 0.5f};
    }
    bool Key(int character, int) override {
        if (character == QX::kKeyReturn) {
            colour_ = {0, 1, 1};
        } else if (character == 'r') {
            width_ = 400;
            bridge_->SetSize(400, 250);
            Request({audioMasterSizeWindow, 400, 250, 0});
        }
        return true;
    }
    void FocusLost() override {}

private:
    void Request(const HostRequest& request) {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
    }

    void Render() {
        const bool ok = bridge_->CreateContext();
        while (!quit_.load()) {
            if (ok && bridge_->MakeCurrent()) {
                const int height = bridge_->GetHeight();
                glViewport(0, 0, 1000, 1000);
                glClearColor(colour_.r, colour_.g, colour_.b, 1);
                glClear(GL_COLOR_BUFFER_BIT);
                if (markX_ >= 0) {
                    glEnable(GL_SCISSOR_TEST);
                    glScissor(markX_ - 5, height - markY_ - 5, 10, 10);
                    glClearColor(1, 1, 0, 1);
                    glClear(GL_COLOR_BUFFER_BIT);
                    glDisable(GL_SCISSOR_TEST);
                }
                WriteRequestedFrame(height);
                bridge_->SwapBuffers();
            }
            bridge_->WaitForInput(33);
        }
        bridge_->Destroy();
    }

    void WriteRequestedFrame(int height) {
        std::string path;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            path = framePath_;
        }
        if (path.empty()) {
            return;
        }
        const int width = width_;
        std::vector<unsigned char> rgb(static_cast<std::size_t>(width) * height * 3);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadBuffer(GL_BACK);
        glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        const bool written = writePng(path, width, height, rgb);
        std::lock_guard<std::mutex> lock(mutex_);
        framePath_.clear();
        frameWritten_ = written;
        frameDone_.notify_all();
    }

    AEffect* effect_;
    audioMasterCallback host_;
    std::unique_ptr<QX::ManagerPlatformBridge> bridge_;
    std::thread thread_;
    std::atomic<bool> quit_{false};

    // Render thread only.
    Colour colour_;
    int width_ = kWidth;
    int pressX_ = 0, pressY_ = 0;
    int markX_ = -1, markY_ = -1;

    std::mutex mutex_;
    std::vector<HostRequest> requests_;
    std::string framePath_;
    bool frameWritten_ = false;
    std::condition_variable frameDone_;
};

struct Plugin {
    AEffect effect{};
    audioMasterCallback host = nullptr;
    std::unique_ptr<TestEditor> editor;
    ERect rect{0, 0, kHeight, kWidth};
    float parameter = 0;
};

Plugin* self(AEffect* e) {
    return static_cast<Plugin*>(e->object);
}

VstIntPtr dispatcher(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                     float) {
    Plugin* p = self(e);
    switch (opcode) {
        case effClose:
            delete p;
            return 1;
        case effGetParamName:
            std::strcpy(static_cast<char*>(ptr), "Position");
            return 0;
        case effGetParamDisplay:
            std::snprintf(static_cast<char*>(ptr), 8, "%d", static_cast<int>(p->parameter * 100));
            return 0;
        case effGetEffectName:
            std::strcpy(static_cast<char*>(ptr), "View Test");
            return 1;
        case effEditGetRect:
            *static_cast<ERect**>(ptr) = &p->rect;
            return 1;
        case effEditOpen:
            // An editor that fails to open, as far as the host can tell.
            if (std::getenv("VIEW_TEST_NO_WINDOW") != nullptr) {
                return 0;
            }
            p->editor = std::make_unique<TestEditor>(e, p->host, ptr, p->parameter);
            return 1;
        case effEditClose:
            p->editor.reset();
            return 0;
        case effEditIdle:
            if (p->editor != nullptr) {
                p->editor->Idle();
            }
            return 0;
        case effVendorSpecific:
            if (index == kFrameRequest && p->editor != nullptr && ptr != nullptr) {
                return p->editor->SaveNextFrame(static_cast<const char*>(ptr),
                                                static_cast<int>(value))
                           ? 1
                           : 0;
            }
            return 0;
        default:
            return 0;
    }
}

void setParameter(AEffect* e, VstInt32, float value) {
    self(e)->parameter = value;
}

float getParameter(AEffect* e, VstInt32) {
    return self(e)->parameter;
}

void processReplacing(AEffect*, float**, float**, VstInt32) {}

}  // namespace

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback host) {
    auto* p = new Plugin;
    p->host = host;
    AEffect& e = p->effect;
    e.magic = kEffectMagic;
    e.dispatcher = dispatcher;
    e.setParameter = setParameter;
    e.getParameter = getParameter;
    e.processReplacing = processReplacing;
    e.numPrograms = 1;
    e.numParams = 1;
    e.numOutputs = 2;
#ifdef VIEW_TEST_NO_EDITOR
    e.flags = effFlagsCanReplacing;
#else
    e.flags = effFlagsCanReplacing | effFlagsHasEditor;
#endif
    e.object = p;
    e.uniqueID = 0x76547374;
    e.version = 1;
    return &e;
}
