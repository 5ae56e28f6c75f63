// Two editors of two instances at once, as two hosts' windows have them:
// each editor's input comes from the window system's thread and the host's
// thread, and only its render thread touches its element tree; neither
// editor's hit-testing may see the other's. Run under the thread sanitizer
// too.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "engine/ZephCorvane.h"
#include "gui/CarbonVSTEditor.h"
#include "gui/Group.h"
#include "gui/Manager.h"
#include "gui/Slider.h"
#include "gui/TextField.h"

namespace {

// The begin and end edits each instance sent its host, in order.
struct EditLog {
    std::mutex mutex;
    std::map<AEffect*, std::vector<std::pair<VstInt32, int>>> calls;
};
EditLog& editLog() {
    static EditLog log;
    return log;
}

VstIntPtr recordingHost(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float) {
    if (opcode == audioMasterBeginEdit || opcode == audioMasterEndEdit) {
        std::lock_guard<std::mutex> guard(editLog().mutex);
        editLog().calls[effect].push_back({opcode, index});
    }
    return opcode == audioMasterVersion ? 2400 : 0;
}

class QueuedEditor : public QX::CarbonVSTEditor {
public:
    using QX::CarbonVSTEditor::CarbonVSTEditor;
    void createManager() override {}
    void createGui() override {}
    void Adopt(std::unique_ptr<QX::Manager> manager) {
        manager_ = std::move(manager);
        manager_->host = this;
    }
};

constexpr int kFieldParameter = 0, kSliderParameter = 1;
constexpr int kFieldX = 500, kFieldY = 100, kSliderX = 700, kSliderY = 100;

// One instance with an editor: a group with a box of its own and a control
// in its corner (hovering the group's free area reports the group), a text
// field and a slider.
struct Editor {
    Editor() : plugin(recordingHost), editor(&plugin) {
        auto made = std::make_unique<QX::Manager>(&plugin);
        made->width = made->designWidth = 1000;
        made->height = made->designHeight = 450;
        group = new QX::Group(made.get());
        group->box = QX::Box::Make(100, 100, 400, 300);
        auto* control = new QX::ControlBase(made.get());
        control->box = QX::Box::Make(100, 100, 150, 150);
        group->Add(control);
        made->root->Add(group);
        made->root->Add(
            new QX::TextField(made.get(), kFieldParameter, kFieldX, kFieldY, 80, 20, "%.2f"));
        auto* slider = new QX::Slider(made.get(), kSliderParameter);
        slider->box = QX::Box::Make(kSliderX, kSliderY, kSliderX + 20, kSliderY + 100);
        made->root->Add(slider);
        editor.Adopt(std::move(made));
    }
    QX::Manager& manager() { return *editor.manager(); }

    QX4Controller::ZephCorvane plugin;
    QueuedEditor editor;
    QX::Group* group = nullptr;
};

// Waits, within a limit only a fault reaches, until `done` holds.
template <typename Condition>
bool waitUntil(Condition done) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > giveUp)
            return false;
        std::this_thread::yield();
    }
    return true;
}

TEST(TwoEditors, EachHoversItsOwnGroupWhileTheOtherTakesInput) {
    Editor first, second;
    std::atomic<bool> go{false};
    auto hover = [&go](Editor& editor, std::atomic<int>& misses) {
        while (!go.load()) {
        }
        for (int i = 0; i < 20000; ++i) {
            editor.manager().MouseMove({300, 250});
            if (editor.manager().hoverElement.load() != editor.group)
                misses.fetch_add(1);
            editor.manager().MouseMove({600, 350});
            if (editor.manager().hoverElement.load() != nullptr)
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

// Window input from one thread (the field clicked, the slider dragged) and
// the host's keys from another (digits and Return), while a third plays the
// render thread. Every host edit begun is ended once, never two at a time.
TEST(TwoEditors, WindowInputAndHostKeysMeetOnlyOnTheRenderThread) {
    Editor first, second;
    auto play = [](Editor& e) {
        const int bottom = 450;  // window pixels run downwards
        std::atomic<bool> stop{false};
        std::thread render([&] {
            while (!stop.load()) {
                e.manager().HandleQueuedInput();
                std::this_thread::yield();
            }
        });
        std::thread window([&] {
            for (int i = 0; i < 200; ++i) {
                e.editor.ButtonDown(kFieldX + 5, bottom - (kFieldY + 5), 0, 1);
                e.editor.ButtonUp(kFieldX + 5, bottom - (kFieldY + 5), 0);
                e.editor.ButtonDown(kSliderX + 5, bottom - (kSliderY + 10), 0, 1);
                for (int y = 10; y < 60; y += 10)
                    e.editor.PointerMoved(kSliderX + 5, bottom - (kSliderY + y), 0);
                e.editor.ButtonUp(kSliderX + 5, bottom - (kSliderY + 60), 0);
                // A person's gestures come slower than they are handled; the
                // queue drops what a stalled editor cannot take.
                EXPECT_TRUE(waitUntil(
                    [&] { return e.manager().InputHandled() == e.manager().InputPosted(); }));
            }
        });
        std::thread host([&] {
            for (int i = 0; i < 400; ++i) {
                VstKeyCode digit{'5', 0, 0}, enter{0, VKEY_RETURN, 0};
                e.editor.onKeyDown(digit);
                e.editor.onKeyDown(enter);
                e.editor.idle();
            }
        });
        window.join();
        host.join();
        EXPECT_TRUE(
            waitUntil([&] { return e.manager().InputHandled() == e.manager().InputPosted(); }));
        stop = true;
        render.join();
        e.editor.idle();
    };
    std::thread a(play, std::ref(first));
    std::thread b(play, std::ref(second));
    a.join();
    b.join();

    for (Editor* e : {&first, &second}) {
        const auto& calls = editLog().calls[e->plugin.getAeffect()];
        int open = -1, slider = 0;
        for (const auto& [opcode, index] : calls) {
            if (opcode == audioMasterBeginEdit) {
                EXPECT_EQ(open, -1) << "begin " << index << " while " << open << " is open";
                open = index;
                slider += index == kSliderParameter;
            } else {
                EXPECT_EQ(open, index) << "end " << index << " while " << open << " is open";
                open = -1;
            }
        }
        EXPECT_EQ(open, -1);
        EXPECT_EQ(slider, 200);
    }
}

}  // namespace
