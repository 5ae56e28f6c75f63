#pragma once
// What the editor's element, font and texture tests share: a plug-in and a
// Manager built as the editor builds them (without a window), a host that
// records the gestures, a record of message boxes, the test font, and an
// offscreen GL context where the system offers one.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/ZephCorvane.h"
#include "gui/Font.h"
#include "gui/Manager.h"
#include "platform/Diagnostics.h"
#include "platform/Preferences.h"

namespace guitest {

// DejaVu Sans from Debian's fonts-dejavu-core, as a path this system opens.
std::string systemTestFontPath();
// A new empty folder below the run's temporary folder.
std::filesystem::path freshFolder(const std::string& hint);

struct HostCall {
    enum Kind { kBegin, kEnd, kAutomate, kSize } kind;
    int index;
    float value;
};

class RecordingHost : public QX::ManagerHost {
public:
    void BeginEdit(int index) override { calls.push_back({HostCall::kBegin, index, 0}); }
    void EndEdit(int index) override { calls.push_back({HostCall::kEnd, index, 0}); }
    void Automate(int index, float value) override {
        calls.push_back({HostCall::kAutomate, index, value});
    }
    void SizeWindow(int, int) override { calls.push_back({HostCall::kSize, -1, 0}); }
    int Count(HostCall::Kind kind, int index) const;

    std::vector<HostCall> calls;
};

class MessageLog : public platform::MessageBoxSink {
public:
    void messageBox(const std::string& caption, const std::string& text) override {
        boxes.push_back({caption, text});
    }
    std::vector<std::pair<std::string, std::string>> boxes;
};

class MemoryPreferences : public platform::PreferenceStore {
public:
    int readInt(const char*, int defaultValue) override { return defaultValue; }
    void writeInt(const char*, int) override {}
    void readSkin(std::string&) override {}
    void writeSkin(const std::string&) override {}
};

// An offscreen GL context current on the calling thread, `width` x
// `height` pixels, or null where there is none (no display).
class TestGlContext {
public:
    static std::unique_ptr<TestGlContext> Create(int width, int height);
    virtual ~TestGlContext() = default;
};

// A plug-in, a Manager for it with a recording host, and message boxes
// caught instead of shown.
class GuiTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A font owned by the Manager, as the layout script makes them.
    QX::Font* AddFont(const std::string& path, int size);
    // Makes a GL context current with an orthographic projection of one
    // design unit per pixel; false (and the test should skip) without one.
    bool StartGl(int width = 256, int height = 128);
    // RGBA rows bottom up, as glReadPixels gives them.
    std::vector<unsigned char> ReadPixels();

    MemoryPreferences preferences;
    MessageLog messages;
    RecordingHost host;
    std::unique_ptr<QX4Controller::ZephCorvane> plugin;
    std::unique_ptr<QX::Manager> manager;
    std::unique_ptr<TestGlContext> gl;
    int glWidth = 0, glHeight = 0;
};

}  // namespace guitest
