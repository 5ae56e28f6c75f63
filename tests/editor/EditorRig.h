#pragma once
// A host with the tests' plug-in open in a window of its own, as the editor
// tests use it: the window pumped with effEditIdle between, and frames read
// back by the plug-in itself (the faithful picture under Wine too).

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "PngImage.h"
#include "TestLayout.h"
#include "WineFonts.h"
#include "host/VstHost.h"
#include "platform/ViewerWindow.h"
#include "platform/testing/TestAccess.h"
#include "plugin/EditorFrames.h"

#ifndef TAVRO_TEST_EDITOR_PATH
#error "TAVRO_TEST_EDITOR_PATH names the plug-in with the test layout"
#endif

namespace editortest {

using testfonts::installWineFonts;

inline std::string framePath(const char* name) {
    return std::string(TAVRO_TEST_OUTPUT_DIR) + "/" + name + ".png";
}

struct OpenEditor {
    host::VstHost host;
    std::unique_ptr<platform::ViewerWindow> window;
    bool ok = false;
    int threadsWithoutEditor = 0;

    OpenEditor() {
        std::string error;
        if (!host.load(TAVRO_TEST_EDITOR_PATH, error)) {
            ADD_FAILURE() << error;
            return;
        }
        host.dispatch(effOpen);
        ERect* rect = nullptr;
        host.dispatch(effEditGetRect, 0, 0, &rect);
        if (!rect) {
            ADD_FAILURE() << "no editor rectangle";
            return;
        }
        window = platform::ViewerWindow::Create("editor test", rect->right - rect->left,
                                                rect->bottom - rect->top);
        if (!window) {
            ADD_FAILURE() << "no window";
            return;
        }
        threadsWithoutEditor = platform::testsupport::threadCount();
        host.dispatch(effEditOpen, 0, 0, window->NativeHandle());
        ok = true;
        // Input that arrives before the editor draws may find no window to
        // take it (slow under the sanitizers): wait for the first frames.
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (host.dispatch(effVendorSpecific, kVendorEditorFramesDrawn) < 3 &&
               std::chrono::steady_clock::now() < giveUp)
            pump(50);
    }
    ~OpenEditor() {
        if (ok)
            host.dispatch(effEditClose);
    }
    void pump(int milliseconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (std::chrono::steady_clock::now() < end) {
            window->PumpEvents(20);
            host.dispatch(effEditIdle);
        }
    }
    long long vendor(VstInt32 request) { return host.dispatch(effVendorSpecific, request); }
    // Runs `act` (input through the window system), then waits until the
    // editor has handled at least `events` more input events and has none
    // left, until it has drawn a frame after them, and lets the host's
    // thread take what the editor asked of it. Bounded by a limit only a
    // fault reaches.
    template <typename Action>
    void settle(int events, Action act) {
        const long long before = vendor(kVendorEditorInputHandled);
        act();
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        auto turn = [&] {
            window->PumpEvents(5);
            host.dispatch(effEditIdle);
            return std::chrono::steady_clock::now() < giveUp;
        };
        while ((vendor(kVendorEditorInputHandled) < before + events ||
                vendor(kVendorEditorInputPending) > 0) &&
               turn()) {
        }
        const long long frames = vendor(kVendorEditorFramesDrawn);
        while (vendor(kVendorEditorFramesDrawn) <= frames && turn()) {
        }
        host.dispatch(effEditIdle);
    }
    bool frame(const std::string& path, QX::PngImage& image) {
        std::remove(path.c_str());
        if (host.dispatch(effVendorSpecific, kVendorWriteEditorFrame, 5000,
                          const_cast<char*>(path.c_str())) != 1)
            return false;
        std::ifstream in(path, std::ios::binary);
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
        return QX::DecodePng(bytes.data(), bytes.size(), image);
    }
};

inline const std::uint8_t* pixelAt(const QX::PngImage& image, int x, int yFromBottom) {
    const int row = image.height - 1 - yFromBottom;
    return &image.pixels[static_cast<std::size_t>(row * image.width + x) * image.channels];
}

inline bool near(const std::uint8_t* p, float r, float g, float b) {
    auto close = [](std::uint8_t v, float want) { return std::abs(v - want * 255.0f) <= 3.0f; };
    return close(p[0], r) && close(p[1], g) && close(p[2], b);
}

}  // namespace editortest
