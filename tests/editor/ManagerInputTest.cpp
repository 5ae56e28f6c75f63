// Pointer input through the Manager and the editor's window-event mapping,
// with a bridge that only records: no window, no GL, no render thread.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/ZephCorvane.h"
#include "gui/CarbonVSTEditor.h"
#include "gui/Control.h"
#include "gui/Group.h"
#include "gui/Manager.h"
#include "gui/TextField.h"
#include "platform/Preferences.h"

namespace {

VstIntPtr silentHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

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
    void SetSize(int w, int h) override {
        width = w;
        height = h;
    }
    int GetHeight() override { return height; }
    std::uintptr_t NativeWindow() const override { return 1; }

    int width = 0, height = 0, focusCalls = 0;
};

class RecordingHost : public QX::ManagerHost {
public:
    void BeginEdit(int index) override { log.push_back("begin " + std::to_string(index)); }
    void EndEdit(int index) override { log.push_back("end " + std::to_string(index)); }
    void Automate(int index, float) override { log.push_back("automate " + std::to_string(index)); }
    void SizeWindow(int w, int h) override {
        log.push_back("size " + std::to_string(w) + "x" + std::to_string(h));
    }
    std::vector<std::string> log;
};

struct Call {
    std::string what;
    QX::Point p;
    int modifiers;
    int clicks;
};

class Probe : public QX::ControlBase {
public:
    Probe(QX::Manager* manager, QX::Box b) : QX::ControlBase(manager) { box = b; }
    void MouseDown(QX::Point p, int m, int c) override { calls.push_back({"down", p, m, c}); }
    void MouseDrag(QX::Point p, int m) override { calls.push_back({"drag", p, m, 0}); }
    void MouseUp(QX::Point p, int m) override { calls.push_back({"up", p, m, 0}); }
    std::vector<Call> calls;
};

class ManagerInput : public testing::Test {
protected:
    ManagerInput() {
        plugin = std::make_unique<QX4Controller::ZephCorvane>(silentHost);
        manager = std::make_unique<QX::Manager>(plugin.get());
        manager->width = manager->designWidth = 1000;
        manager->height = manager->designHeight = 450;
        manager->UpdateLayout();
        auto owned = std::make_unique<RecordingBridge>();
        bridge = owned.get();
        bridge->width = 1000;
        bridge->height = 450;
        manager->SetBridge(std::move(owned));
        manager->host = &host;
        probe = new Probe(manager.get(), QX::Box::Make(100, 100, 300, 200));
        manager->root->Add(probe);
    }
    std::unique_ptr<QX4Controller::ZephCorvane> plugin;
    std::unique_ptr<QX::Manager> manager;
    RecordingBridge* bridge = nullptr;
    RecordingHost host;
    Probe* probe = nullptr;
};

TEST_F(ManagerInput, HalfSizeWindowReachesDoubledDesignPoints) {
    manager->width = 500;
    manager->height = 225;
    manager->MouseDown({60, 70}, 0, 1);
    ASSERT_EQ(probe->calls.size(), 1u);
    EXPECT_FLOAT_EQ(probe->calls[0].p.x, 120);
    EXPECT_FLOAT_EQ(probe->calls[0].p.y, 140);
    manager->MouseUp({61, 71}, 0);
    EXPECT_FLOAT_EQ(probe->calls[1].p.x, 122);
}

TEST_F(ManagerInput, ModifierChangeMidDragRestartsTheGesture) {
    manager->MouseDown({150, 150}, 0, 2);
    manager->MouseDrag({150, 160}, QX::kModifierShift);
    manager->MouseDrag({150, 170}, QX::kModifierShift);
    manager->MouseUp({150, 170}, QX::kModifierShift);
    std::vector<std::string> seen;
    for (const Call& c : probe->calls)
        seen.push_back(c.what + " " + std::to_string(c.modifiers) + " " + std::to_string(c.clicks));
    EXPECT_EQ(seen, (std::vector<std::string>{"down 0 2", "up 0 0", "down 512 1", "drag 512 0",
                                              "drag 512 0", "up 512 0"}));
}

TEST_F(ManagerInput, CornerTriangleResizesKeepingTheAspectWithinLimits) {
    // x - y > width - 16 starts a resize: the probe never hears of it.
    manager->MouseDown({995, 3}, 0, 1);
    EXPECT_TRUE(manager->resizing);
    manager->MouseDrag({1095, 3}, 0);  // wider: capped at 1024
    EXPECT_EQ(manager->width, 1024);
    EXPECT_EQ(manager->height, 460);
    // The window is the host's thread's to resize: it hears of the size.
    EXPECT_EQ(host.log.back(), "size 1024x460");
    EXPECT_EQ(bridge->width, 1000);
    // Much taller: the height caps the width first.
    manager->MouseDrag({995, -300}, 0);
    EXPECT_EQ(manager->width, 1024);
    EXPECT_EQ(manager->height, 460);
    // Much smaller: stops at the minimum width, aspect kept.
    manager->MouseDrag({0, 3}, 0);
    EXPECT_EQ(manager->width, QX::Manager::kMinimumWidth);
    EXPECT_EQ(manager->height, static_cast<int>(QX::Manager::kMinimumWidth / (1000.0f / 450.0f)));
    manager->MouseUp({0, 3}, 0);
    EXPECT_FALSE(manager->resizing);
    EXPECT_TRUE(probe->calls.empty());
    ASSERT_FALSE(host.log.empty());
    EXPECT_EQ(host.log.back(), "size 200x" + std::to_string(manager->height.load()));
    // The point just outside the triangle is an ordinary click.
    manager->width = 1000;
    manager->height = 450;
    manager->MouseDown({990, 6}, 0, 1);
    EXPECT_FALSE(manager->resizing);
}

TEST_F(ManagerInput, GestureOnAControlEndsItsHostEditOnce) {
    auto* control = new QX::Control(manager.get(), kParamSwing);
    control->box = QX::Box::Make(400, 100, 450, 150);
    manager->root->Add(control);
    manager->MouseDown({420, 120}, 0, 1);
    manager->MouseUp({420, 120}, 0);
    EXPECT_EQ(host.log, (std::vector<std::string>{"begin 4", "end 4"}));
    EXPECT_EQ(manager->editId, -1);
    EXPECT_EQ(QX::lastTouched().index, kParamSwing);
}

TEST_F(ManagerInput, InformationTextIds) {
    manager->AddDefaultInfoTexts();
    ASSERT_NE(manager->InfoText(-3), nullptr);
    EXPECT_EQ(*manager->InfoText(-3), "Save calibration data");
    EXPECT_EQ(manager->AddInfoText("Save calibration data"), -3);
    EXPECT_EQ(manager->AddInfoText("Something new"), -7);
    EXPECT_EQ(manager->AddInfoText("Another"), -8);
    EXPECT_EQ(manager->AddInfoText("Something new"), -7);
}

TEST_F(ManagerInput, HoverTracksTheInnermostElementAndLeavesIt) {
    manager->MouseMove({150, 150});
    EXPECT_EQ(manager->hoverElement.load(), probe);
    EXPECT_EQ(manager->hoverBoxes.size(), 1u);
    manager->MouseMove({900, 400});
    EXPECT_EQ(manager->hoverElement.load(), nullptr);
    EXPECT_TRUE(manager->hoverBoxes.empty());
}

// The editor's side of the window events, queued and handled in order: y
// flipped with the window height, a double-click once with count 2, the
// wheel as a 10-unit drag only while no button is held.
class EditorEvents : public QX::CarbonVSTEditor {
public:
    explicit EditorEvents(QX4Controller::ZephCorvane* plugin) : QX::CarbonVSTEditor(plugin) {}
    void createManager() override {}
    void createGui() override {}
    void adopt(std::unique_ptr<QX::Manager> m) { manager_ = std::move(m); }
    std::unique_ptr<QX::Manager> release() {
        // No render thread here: the test takes its turn.
        manager_->HandleQueuedInput();
        return std::move(manager_);
    }
};

TEST_F(ManagerInput, WindowEventsBecomeBottomUpPointsAndWheelDrags) {
    EditorEvents editor(plugin.get());
    editor.adopt(std::move(manager));
    editor.ButtonDown(150, 450 - 150, 0, 2);
    editor.ButtonUp(150, 450 - 150, 0);
    editor.Wheel(200, 450 - 120, 0, 120);
    editor.ButtonDown(150, 450 - 150, 0, 1);
    editor.Wheel(200, 450 - 120, 0, 120);  // button held: nothing
    editor.ButtonUp(150, 450 - 150, 0);
    manager = editor.release();
    std::vector<std::string> seen;
    for (const Call& c : probe->calls)
        seen.push_back(c.what + " " + std::to_string(static_cast<int>(c.p.x)) + "," +
                       std::to_string(static_cast<int>(c.p.y)) + " " + std::to_string(c.clicks));
    EXPECT_EQ(seen, (std::vector<std::string>{"down 150,150 2", "up 150,150 0", "down 200,120 1",
                                              "drag 200,130 0", "up 200,130 0", "down 150,150 1",
                                              "up 150,150 0"}));
    EXPECT_EQ(bridge->focusCalls, 2);
}

TEST_F(ManagerInput, HostKeysAreTakenOnlyWhileAFieldTypesThem) {
    auto* field = new QX::TextField(manager.get(), kParamSwing, 400, 100, 80, 20, "%.2f");
    manager->root->Add(field);
    EditorEvents editor(plugin.get());
    editor.adopt(std::move(manager));
    auto hostKey = [&](int character, int virt = 0) {
        VstKeyCode code{character, static_cast<unsigned char>(virt), 0};
        return editor.onKeyDown(code);
    };
    EXPECT_FALSE(hostKey('5'));  // nothing has the focus: the host keeps its keys
    editor.ButtonDown(410, 450 - 110, 0, 1);
    editor.ButtonUp(410, 450 - 110, 0);
    editor.manager()->HandleQueuedInput();
    EXPECT_TRUE(hostKey('5'));
    EXPECT_TRUE(hostKey(0, VKEY_RETURN));
    EXPECT_FALSE(hostKey(' '));  // play/stop stays the host's
    EXPECT_FALSE(hostKey('a'));
    editor.manager()->HandleQueuedInput();
    EXPECT_NEAR(plugin->getParameterNative(kParamSwing), 5.0f, 1e-4f);
    editor.FocusLost();
    manager = editor.release();
    EXPECT_FALSE(manager->TakesKey('5'));
}

TEST(InputQueue, MovementsMergeAndAFullQueueDropsWhatComesLast) {
    using Kind = QX::InputEvent::Kind;
    QX::InputQueue queue;
    queue.Push(QX::InputEvent(Kind::kButtonDown, 1, 1));
    for (int x = 0; x < 1000; ++x)
        queue.Push(QX::InputEvent(Kind::kPointerMoved, x, 1));
    queue.Push(QX::InputEvent(Kind::kPointerMoved, 5, 5, QX::kModifierShift));
    std::vector<QX::InputEvent> taken;
    queue.TakeAll(taken);
    ASSERT_EQ(taken.size(), 3u);
    EXPECT_EQ(taken[1].x, 999);
    EXPECT_EQ(taken[2].modifiers, QX::kModifierShift);
    EXPECT_EQ(queue.Accepted(), 3u);

    for (std::size_t i = 0; i < QX::InputQueue::kCapacity + 10; ++i)
        queue.Push(QX::InputEvent(i % 2 ? Kind::kButtonUp : Kind::kButtonDown));
    queue.TakeAll(taken);
    EXPECT_EQ(taken.size(), QX::InputQueue::kCapacity);
    EXPECT_EQ(taken.front().kind, Kind::kButtonDown);
    EXPECT_EQ(queue.Dropped(), 10u);
}

TEST(HostKeys, NumericPadAndEditingKeysBecomeCharacters) {
    auto key = [](int virt, int character = 0) {
        VstKeyCode code{character, static_cast<unsigned char>(virt), 0};
        return QX::CarbonVSTEditor::CharacterForHostKey(code);
    };
    EXPECT_EQ(key(VKEY_NUMPAD0), '0');
    EXPECT_EQ(key(VKEY_NUMPAD9), '9');
    EXPECT_EQ(key(VKEY_BACK), 8);
    EXPECT_EQ(key(VKEY_DELETE), 8);
    EXPECT_EQ(key(VKEY_ENTER), 13);
    EXPECT_EQ(key(VKEY_UP), 30);
    EXPECT_EQ(key(VKEY_SUBTRACT), '-');
    EXPECT_EQ(key(VKEY_DECIMAL), '.');
    EXPECT_EQ(key(0, 'a'), 'a');
}

}  // namespace
