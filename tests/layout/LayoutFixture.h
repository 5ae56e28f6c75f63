#pragma once
// The product's layout built as the editor builds it, without a window: the
// plug-in, an ALmanager, and the plug-in's Lua GUI running the built-in
// scripts (and a skin when a test makes one), with the preferences, the
// message boxes and the per-user folders of the test's own.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <lua.hpp>

#include "engine/ZephCorvane.h"
#include "gui/ALmanager.h"
#include "gui/Group.h"
#include "platform/Diagnostics.h"
#include "platform/Folders.h"
#include "platform/Preferences.h"
#include "platform/testing/TestAccess.h"
#include "script/PluginLuaGui.h"

namespace layouttest {

namespace fs = std::filesystem;

class MemoryPreferences : public platform::PreferenceStore {
public:
    int readInt(const char*, int defaultValue) override { return defaultValue; }
    void writeInt(const char*, int) override {}
    void readSkin(std::string& text) override {
        if (!skin.empty())
            text = skin;
    }
    void writeSkin(const std::string& text) override { skin = text; }
    std::string skin;
};

class MessageLog : public platform::MessageBoxSink {
public:
    void messageBox(const std::string& caption, const std::string& text) override {
        boxes.push_back(caption + ": " + text);
    }
    std::vector<std::string> boxes;
};

struct HostCall {
    enum Kind { kBegin, kEnd, kAutomate } kind;
    int index;
};

class RecordingHost : public QX::ManagerHost {
public:
    void BeginEdit(int index) override { calls.push_back({HostCall::kBegin, index}); }
    void EndEdit(int index) override { calls.push_back({HostCall::kEnd, index}); }
    void Automate(int index, float) override { calls.push_back({HostCall::kAutomate, index}); }
    void SizeWindow(int, int) override {}
    std::vector<HostCall> calls;
};

// The plug-in's Lua GUI with its diagnostics kept for the test.
class CapturingGui : public QX::PluginLuaGui {
public:
    using PluginLuaGui::PluginLuaGui;
    void writeDebugOutput(const char* text) override { output += text; }
    std::string output;
};

class LayoutTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Asks a fresh Lua GUI for the window size and builds the layout into a
    // new Manager of that size, as the editor's open does.
    void Build();
    // Runs `code` in the editor's Lua state: "" or the error message. The
    // stack is checked to be as it was.
    std::string Run(const std::string& code);
    // A skin folder named `name` selected in the preferences; files go into
    // its Contents/Resources folder.
    fs::path MakeSkin(const std::string& name);
    static void WriteFile(const fs::path& path, const std::string& text);

    // Every element of the Manager of class T.
    template <typename T>
    std::vector<T*> ElementsOf() const {
        std::vector<T*> found;
        for (QX::UIElement* element : manager->elements)
            if (auto* typed = dynamic_cast<T*>(element))
                found.push_back(typed);
        return found;
    }
    std::vector<QX::NamedGroup*> GroupsNamed(const std::string& name) const;
    QX::NamedGroup* Group(const std::string& name) const;

    MemoryPreferences preferences;
    MessageLog messages;
    RecordingHost host;
    fs::path dataFolder;
    std::unique_ptr<QX4Controller::ZephCorvane> plugin;
    std::unique_ptr<ALmanager> manager;
    std::unique_ptr<CapturingGui> gui;
    int width = 0, height = 0;
};

}  // namespace layouttest
