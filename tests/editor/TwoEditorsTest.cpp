// Two editors of two instances take pointer input at the same moment, as
// two render threads do on Linux: neither editor's hit-testing may see the
// other's. Run under the thread sanitizer too.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "engine/ZephCorvane.h"
#include "gui/Group.h"
#include "gui/Manager.h"

namespace {

VstIntPtr silentHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// One instance with an editor whose one group has a box of its own, with a
// control in its corner: hovering the group's free area reports the group.
struct Editor {
    Editor() : plugin(silentHost), manager(&plugin) {
        manager.width = manager.designWidth = 1000;
        manager.height = manager.designHeight = 450;
        group = new QX::Group(&manager);
        group->box = QX::Box::Make(100, 100, 400, 300);
        auto* control = new QX::ControlBase(&manager);
        control->box = QX::Box::Make(100, 100, 150, 150);
        group->Add(control);
        manager.root->Add(group);
    }
    QX4Controller::ZephCorvane plugin;
    QX::Manager manager;
    QX::Group* group = nullptr;
};

TEST(TwoEditors, EachHoversItsOwnGroupWhileTheOtherTakesInput) {
    Editor first, second;
    std::atomic<bool> go{false};
    auto hover = [&go](Editor& editor, std::atomic<int>& misses) {
        while (!go.load()) {
        }
        for (int i = 0; i < 20000; ++i) {
            editor.manager.MouseMove({300, 250});
            if (editor.manager.hoverElement.load() != editor.group)
                misses.fetch_add(1);
            editor.manager.MouseMove({700, 250});
            if (editor.manager.hoverElement.load() != nullptr)
                misses.fetch_add(1);
        }
    };
    std::atomic<int> firstMisses{0}, secondMisses{0};
    std::thread a(hover, std::ref(first), std::ref(firstMisses));
    std::thread b(hover, std::ref(second), std::ref(secondMisses));
    go = true;
    a.join();
    b.join();
    EXPECT_EQ(firstMisses.load(), 0);
    EXPECT_EQ(secondMisses.load(), 0);
}

}  // namespace
