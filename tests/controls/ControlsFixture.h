#pragma once
// A Manager without a window: the real plug-in (with two properties of the
// tests' own), a bridge that only records, and a host that records the
// begin-edit, automation and end-edit calls a gesture makes. Pointer input
// goes through the Manager as the editor delivers it, in window units at
// the design size (1000 x 450).

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/ZephCorvane.h"
#include "gui/Group.h"
#include "gui/Manager.h"
#include "platform/ManagerPlatformBridge.h"
#include "platform/Settings.h"

namespace controlstest {

inline VstIntPtr silentHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// The product's plug-in with a one-byte switch property and a text property
// that record what was written.
class RecordingPlugin : public QX4Controller::ZephCorvane {
public:
    static constexpr std::uint32_t kSwitch = 70001;
    static constexpr std::uint32_t kText = 70002;

    RecordingPlugin() : QX4Controller::ZephCorvane(silentHost) {}

    std::int32_t GetProperty(std::uint32_t id, std::uint32_t scope, std::uint32_t element,
                             void* data) override {
        if (id == kSwitch) {
            *static_cast<unsigned char*>(data) = switchValue;
            return 0;
        }
        if (id == kText) {
            std::memcpy(data, text.c_str(), text.size() + 1);
            return 0;
        }
        return ZephCorvane::GetProperty(id, scope, element, data);
    }
    std::int32_t GetPropertyInfo(std::uint32_t id, std::uint32_t scope, std::uint32_t element,
                                 std::uint32_t* size, bool* writable) override {
        if (id == kSwitch || id == kText) {
            *size = id == kSwitch ? 1 : static_cast<std::uint32_t>(text.size() + 1);
            *writable = true;
            return 0;
        }
        return ZephCorvane::GetPropertyInfo(id, scope, element, size, writable);
    }
    std::int32_t SetProperty(std::uint32_t id, std::uint32_t scope, std::uint32_t element,
                             const void* data, std::uint32_t size) override {
        if (id == kSwitch) {
            switchValue = *static_cast<const unsigned char*>(data);
            switchWrites.push_back(switchValue);
            return 0;
        }
        if (id == kText) {
            text.assign(static_cast<const char*>(data),
                        strnlen(static_cast<const char*>(data), size));
            return 0;
        }
        return ZephCorvane::SetProperty(id, scope, element, data, size);
    }

    unsigned char switchValue = 0;
    std::vector<int> switchWrites;
    std::string text = "first";
};

class RecordingBridge : public QX::ManagerPlatformBridge {
public:
    void UpdateContext() override {}
    bool CreateContext() override { return false; }
    bool ContextReady() override { return true; }
    void CreateOffscreen(int, int) override {}
    bool MakeCurrent() override { return false; }
    void MakeOffscreenCurrent() override {}
    void Destroy() override {}
    void SwapBuffers() override {}
    void Focus() override { ++focusCalls; }
    void SetSize(int, int) override {}
    int GetHeight() override { return 450; }
    std::uintptr_t NativeWindow() const override { return 1; }
    int focusCalls = 0;
};

class RecordingHost : public QX::ManagerHost {
public:
    void BeginEdit(int index) override { log.push_back("begin " + std::to_string(index)); }
    void EndEdit(int index) override { log.push_back("end " + std::to_string(index)); }
    void Automate(int index, float) override {
        // Runs of automation collapse to one entry: the log tells the order
        // of gesture and changes, not how many drag steps there were.
        const std::string entry = "automate " + std::to_string(index);
        if (log.empty() || log.back() != entry)
            log.push_back(entry);
    }
    void SizeWindow(int, int) override {}
    std::vector<std::string> log;
};

class ControlsTest : public testing::Test {
protected:
    ControlsTest() {
        platform::processSettings().eyeCandy = true;
        plugin = std::make_unique<RecordingPlugin>();
        manager = std::make_unique<QX::Manager>(plugin.get());
        manager->width = manager->designWidth = 1000;
        manager->height = manager->designHeight = 450;
        manager->UpdateLayout();
        auto owned = std::make_unique<RecordingBridge>();
        bridge = owned.get();
        manager->SetBridge(std::move(owned));
        manager->host = &host;
    }

    template <typename T>
    T* add(T* element) {
        manager->root->Add(element);
        return element;
    }
    void setNative(int index, float value) { plugin->setParameterNative(index, value, false); }
    float native(int index) { return plugin->getParameterNative(index); }

    void click(float x, float y, int modifiers = 0, int clicks = 1) {
        manager->MouseDown({x, y}, modifiers, clicks);
        manager->MouseUp({x, y}, modifiers);
    }
    void dragBy(float x, float y, float dy, int modifiers = 0) {
        manager->MouseDown({x, y}, modifiers, 1);
        manager->MouseDrag({x, y + dy / 2}, modifiers);
        manager->MouseDrag({x, y + dy}, modifiers);
        manager->MouseUp({x, y + dy}, modifiers);
    }
    // Presses the keys on whatever element holds the key focus, as the
    // editor does; false when one was not used (or nothing has the focus).
    bool type(const std::vector<int>& keys) {
        bool allUsed = true;
        for (int key : keys) {
            QX::UIElement* focus = manager->keyFocus;
            allUsed = focus && focus->KeyDown(key, key, 0) && allUsed;
        }
        return allUsed;
    }

    std::unique_ptr<RecordingPlugin> plugin;
    RecordingHost host;
    std::unique_ptr<QX::Manager> manager;
    RecordingBridge* bridge = nullptr;
};

}  // namespace controlstest
