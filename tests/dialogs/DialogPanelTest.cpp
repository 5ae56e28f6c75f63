// The editor's own dialog panel without GL: where the templates' controls
// land on an editor, and what pointer and keys do to them.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <utility>

#include "gui/DialogPanel.h"
#include "gui/DialogTemplates.h"
#include "gui/Group.h"
#include "gui/Manager.h"
#include "gui/UIElement.h"

namespace {

using namespace QX::dialogid;
using platform::DialogEvent;
using platform::DialogWindow;
using QX::Box;
using QX::DialogPanel;
using QX::Point;

// Fills the panel as told and records the commands it gets; OK and Cancel
// end the dialog.
class ScriptedProcedure : public platform::DialogProcedure {
public:
    explicit ScriptedProcedure(std::function<void(DialogWindow&)> fill = {})
        : fill_(std::move(fill)) {}
    void Init(DialogWindow& window) override {
        ++inits;
        if (fill_)
            fill_(window);
    }
    bool Command(DialogWindow& window, int id, DialogEvent event) override {
        commands.emplace_back(id, event);
        if (onCommand)
            onCommand(id);
        if (id == platform::kDialogOk || id == platform::kDialogCancel)
            window.End(id);
        return true;
    }
    int inits = 0;
    std::vector<std::pair<int, DialogEvent>> commands;
    std::function<void(int)> onCommand;

private:
    std::function<void(DialogWindow&)> fill_;
};

struct OpenPanel {
    explicit OpenPanel(const QX::DialogTemplate& dialog,
                       std::function<void(DialogWindow&)> fill = {}, float width = 1000,
                       float height = 450) {
        auto owned = std::make_unique<ScriptedProcedure>(std::move(fill));
        procedure = owned.get();
        panel = std::make_unique<DialogPanel>(dialog, std::move(owned));
        panel->Open(width, height);
    }
    Point Centre(int id) const { return panel->ControlBox(id).Centre(); }
    void Click(int id, int clicks = 1) { Click(Centre(id), clicks); }
    void Click(Point p, int clicks = 1) {
        panel->MouseDown(p, clicks);
        panel->MouseUp(p);
    }
    void Type(const std::string& text) {
        for (unsigned char c : text)
            panel->Key(c);
    }
    std::unique_ptr<DialogPanel> panel;
    ScriptedProcedure* procedure = nullptr;
};

void fillAbout(DialogWindow& w) {
    w.SetText(kOscBasePort, "7000");
    w.SetChecked(kEyeCandy, true);
    for (const char* skin : {"Default", "Dark", "Light"})
        w.AddItem(kSkinList, skin);
    w.SelectItem(kSkinList, 0);
    w.ShowControl(kWebPage, false);
}

bool inside(const Box& outer, const Box& inner) {
    return outer.minX <= inner.minX && inner.maxX <= outer.maxX && outer.minY <= inner.minY &&
           inner.maxY <= outer.maxY;
}

// ---- Layout ------------------------------------------------------------------------------------

TEST(DialogPanelLayout, AtTheEditorsSizeTheDialogHasItsNaturalSizeCentred) {
    const QX::DialogTemplate& about = QX::AboutDialogTemplate();
    const QX::PanelLayout layout = QX::LayOutPanel(about, 1000, 450);
    EXPECT_FLOAT_EQ(layout.scale, 1);
    EXPECT_FLOAT_EQ(layout.client.Width(), 200 * 1.5f);
    EXPECT_FLOAT_EQ(layout.client.Height(), 243 * 1.625f);
    EXPECT_NEAR(layout.panel.Centre().x, 500, 1);
    EXPECT_NEAR(layout.panel.Centre().y, 225, 1);
    EXPECT_TRUE(inside(Box::Make(0, 0, 1000, 450), layout.panel));
    EXPECT_GE(layout.caption.minY, layout.client.maxY);
    // A rectangle of the template, from the client's top-left corner.
    const Box ok = layout.Place(78, 228, 40, 12);
    EXPECT_FLOAT_EQ(ok.minX, layout.client.minX + 78 * 1.5f);
    EXPECT_FLOAT_EQ(ok.maxY, layout.client.maxY - 228 * 1.625f);
    EXPECT_FLOAT_EQ(ok.Height(), 12 * 1.625f);
}

TEST(DialogPanelLayout, OnASmallEditorTheWholeDialogShrinksToFit) {
    for (const QX::DialogTemplate* dialog :
         {&QX::AboutDialogTemplate(), &QX::PropertyDialogTemplate(), &QX::MidiBrowserTemplate()}) {
        const QX::PanelLayout layout = QX::LayOutPanel(*dialog, 300, 200);
        EXPECT_LE(layout.scale, 1.0f);
        EXPECT_TRUE(inside(Box::Make(0, 0, 300, 200), layout.panel)) << dialog->caption;
        // Same proportions as at full size.
        EXPECT_NEAR(layout.unitX / layout.unitY, 1.5f / 1.625f, 1e-4f);
        for (const auto& control : dialog->controls) {
            const Box box = layout.Place(
                control.x, control.y, control.width,
                control.kind == QX::DialogControlKind::kDropDownList ? 12 : control.height);
            EXPECT_TRUE(inside(layout.client, box)) << dialog->caption << " " << control.id;
        }
    }
    EXPECT_LT(QX::LayOutPanel(QX::AboutDialogTemplate(), 300, 200).fontPixels, 11);
}

// ---- Opening and keys ---------------------------------------------------------------------------

TEST(DialogPanelInput, OpensFilledWithTheFocusOnTheFirstControlThatTakesIt) {
    OpenPanel about(QX::AboutDialogTemplate(), fillAbout);
    EXPECT_EQ(about.procedure->inits, 1);
    // The web-page button is hidden: the port field comes first.
    EXPECT_EQ(about.panel->FocusedControl(), kOscBasePort);
    EXPECT_TRUE(about.panel->Checked(kEyeCandy));
    EXPECT_EQ(about.panel->SelectedItem(kSkinList), 0);

    OpenPanel browser(QX::MidiBrowserTemplate());
    EXPECT_EQ(browser.panel->FocusedControl(), kDeviceList);
}

TEST(DialogPanelInput, UpAndDownOnAnEmptyDropDownListDoNothing) {
    OpenPanel about(QX::AboutDialogTemplate(),
                    [](DialogWindow& w) { w.SetText(kOscBasePort, "1"); });
    about.Click(kSkinList);  // open, and empty
    for (int key : {31, 30})
        about.panel->Key(key);
    about.panel->Key(27);
    for (int key : {30, 31, 30})
        about.panel->Key(key);
    EXPECT_EQ(about.panel->SelectedItem(kSkinList), -1);
    for (const auto& command : about.procedure->commands)
        EXPECT_NE(command.first, kSkinList);
}

TEST(DialogPanelInput, TypingReplacesTheSelectedTextAndANumberFieldTakesDigitsOnly) {
    OpenPanel about(QX::AboutDialogTemplate(), fillAbout);
    about.Type("9a-0.0x0");
    EXPECT_EQ(about.panel->Text(kOscBasePort, 256), "9000");
    about.panel->Key(8);
    EXPECT_EQ(about.panel->Text(kOscBasePort, 256), "900");
    // Left twice, then a digit goes in before the last two.
    about.panel->Key(28);
    about.panel->Key(28);
    about.Type("5");
    EXPECT_EQ(about.panel->Text(kOscBasePort, 256), "9500");
}

TEST(DialogPanelInput, TabMovesTheFocusPastTextsAndHiddenControls) {
    OpenPanel property(QX::PropertyDialogTemplate(),
                       [](DialogWindow& w) { w.SetText(kPropertyText, "Loop A"); });
    EXPECT_EQ(property.panel->FocusedControl(), kPropertyText);
    property.panel->Key(9);
    EXPECT_EQ(property.panel->FocusedControl(), platform::kDialogCancel);
    // Return on a focused button presses that button, not OK.
    property.panel->Key(13);
    ASSERT_EQ(property.procedure->commands.size(), 1u);
    EXPECT_EQ(property.procedure->commands[0].first, platform::kDialogCancel);

    OpenPanel again(QX::PropertyDialogTemplate());
    again.panel->Key(9);
    again.panel->Key(9);
    EXPECT_EQ(again.panel->FocusedControl(), platform::kDialogOk);
    again.panel->Key(9);
    EXPECT_EQ(again.panel->FocusedControl(), kPropertyText);
}

TEST(DialogPanelInput, FreeTextTakesLatin1AsUtf8AndStopsAtItsLimit) {
    OpenPanel property(QX::PropertyDialogTemplate(), [](DialogWindow& w) {
        w.SetText(kPropertyText, "old");
        w.LimitText(kPropertyText, 255);
    });
    // The old text is selected: the first key replaces it.
    property.panel->Key('M');
    property.panel->Key(0xE9);  // e acute
    property.panel->Key(0x85);  // a control code, no text
    EXPECT_EQ(property.panel->Text(kPropertyText, 255), "M\xC3\xA9");
    property.Type(std::string(300, 'x'));
    EXPECT_EQ(property.panel->Text(kPropertyText, 1000).size(), 255u);
    // A read of fewer bytes never cuts a character in two.
    property.panel->SetText(kPropertyText, "\xC3\xA9\xC3\xA9");
    EXPECT_EQ(property.panel->Text(kPropertyText, 3), "\xC3\xA9");
    // Backspace takes the whole character.
    property.panel->Key(8);
    EXPECT_EQ(property.panel->Text(kPropertyText, 10), "\xC3\xA9");
}

// ---- Pointer ------------------------------------------------------------------------------------

TEST(DialogPanelInput, ACheckBoxFlipsOnAReleaseOverItOnly) {
    OpenPanel about(QX::AboutDialogTemplate(), fillAbout);
    about.Click(kEyeCandy);
    EXPECT_FALSE(about.panel->Checked(kEyeCandy));
    ASSERT_EQ(about.procedure->commands.size(), 1u);
    EXPECT_EQ(about.procedure->commands[0], std::make_pair(kEyeCandy, DialogEvent::kClicked));
    // Pressed, then let go elsewhere: nothing.
    about.panel->MouseDown(about.Centre(kFloatingTooltip), 1);
    about.panel->MouseDrag(Point{0, 0});
    about.panel->MouseUp(Point{0, 0});
    EXPECT_FALSE(about.panel->Checked(kFloatingTooltip));
    EXPECT_EQ(about.procedure->commands.size(), 1u);
    // Space on the focused box flips it too.
    about.panel->Key(' ');
    EXPECT_TRUE(about.panel->Checked(kFloatingTooltip));
}

TEST(DialogPanelInput, TheListSelectsScrollsAndReportsADoubleClick) {
    OpenPanel browser(QX::MidiBrowserTemplate(), [](DialogWindow& w) {
        for (int i = 0; i < 40; ++i)
            w.AddItem(kDeviceList, "Device " + std::to_string(i));
    });
    const Box list = browser.panel->ControlBox(kDeviceList);
    const float row = 8 * browser.panel->Layout().unitY;
    EXPECT_EQ(browser.panel->SelectedItem(kDeviceList), -1);
    browser.Click(Point{list.minX + 20, list.maxY - 2 - 1.5f * row});
    EXPECT_EQ(browser.panel->SelectedItem(kDeviceList), 1);
    // Three rows a notch; the same place now shows entry 4.
    browser.panel->Wheel(Point{list.minX + 20, list.maxY - 20}, -120);
    browser.Click(Point{list.minX + 20, list.maxY - 2 - 1.5f * row}, 2);
    EXPECT_EQ(browser.panel->SelectedItem(kDeviceList), 4);
    EXPECT_EQ(browser.procedure->commands.back(),
              std::make_pair(kDeviceList, DialogEvent::kDoubleClicked));
    // Down to the last entry by keys, which scrolls it into view.
    for (int i = 0; i < 50; ++i)
        browser.panel->Key(31);
    EXPECT_EQ(browser.panel->SelectedItem(kDeviceList), 39);
    browser.Click(Point{list.minX + 20, list.minY + 3 + row / 2});
    EXPECT_EQ(browser.panel->SelectedItem(kDeviceList), 39);
    browser.panel->Key(13);
    EXPECT_EQ(browser.procedure->commands.back().first, platform::kDialogOk);
}

TEST(DialogPanelInput, AClickInAFieldPutsTheCaretThereAndControlASelectsAllAgain) {
    OpenPanel property(QX::PropertyDialogTemplate(),
                       [](DialogWindow& w) { w.SetText(kPropertyText, "abc"); });
    // Without a font to measure, a click puts the caret at the end.
    property.Click(kPropertyText);
    property.Type("d");
    EXPECT_EQ(property.panel->Text(kPropertyText, 255), "abcd");
    property.panel->Key(1);
    property.Type("7");
    EXPECT_EQ(property.panel->Text(kPropertyText, 255), "7");
}

// ---- In the Manager -----------------------------------------------------------------------------

class Probe : public QX::ControlBase {
public:
    explicit Probe(QX::Manager* manager) : QX::ControlBase(manager) {
        box = Box::Make(0, 0, 1000, 450);
    }
    void MouseDown(Point, int, int) override { ++downs; }
    bool KeyDown(int, int, int) override {
        ++keys;
        return true;
    }
    int downs = 0, keys = 0;
};

TEST(DialogPanelInManager, ThePanelTakesAllInputUntilItsProcedureEndsIt) {
    QX::Manager manager(nullptr);
    manager.width = 1000;
    manager.height = 450;
    auto* probe = new Probe(&manager);
    manager.root->Add(probe);
    manager.MouseDown({10, 10}, 0, 1);
    manager.MouseUp({10, 10}, 0);
    EXPECT_EQ(probe->downs, 1);
    manager.SetKeyFocus(probe);

    auto owned = std::make_unique<ScriptedProcedure>();
    // The panel and its procedure go when the dialog ends: what they record
    // is kept apart.
    auto commands = std::make_shared<std::vector<int>>();
    owned->onCommand = [commands](int id) { commands->push_back(id); };
    manager.OpenPanel(
        std::make_unique<DialogPanel>(QX::PropertyDialogTemplate(), std::move(owned)));
    EXPECT_TRUE(manager.PanelOpen());
    EXPECT_EQ(manager.keyFocus, nullptr);
    manager.MouseDown({10, 10}, 0, 1);
    manager.MouseUp({10, 10}, 0);
    EXPECT_EQ(probe->downs, 1);
    EXPECT_TRUE(manager.PanelKey('x'));
    EXPECT_EQ(probe->keys, 0);
    // A second dialog waits for the first to close.
    manager.OpenPanel(std::make_unique<DialogPanel>(QX::AboutDialogTemplate(),
                                                    std::make_unique<ScriptedProcedure>()));
    manager.WithPanel([](DialogPanel* panel) {
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(panel->Template().caption, "Enter Property");
        EXPECT_EQ(panel->Text(kPropertyText, 255), "x");
    });

    EXPECT_TRUE(manager.PanelKey(13));
    EXPECT_EQ(*commands, std::vector<int>{platform::kDialogOk});
    EXPECT_FALSE(manager.PanelOpen());
    EXPECT_FALSE(manager.PanelKey('y'));
    manager.MouseDown({10, 10}, 0, 1);
    EXPECT_EQ(probe->downs, 2);
    manager.MouseUp({10, 10}, 0);
}

TEST(DialogPanelInManager, OpeningAPanelEndsTheGestureInProgress) {
    class Host : public QX::ManagerHost {
    public:
        void BeginEdit(int index) override { log.push_back("begin " + std::to_string(index)); }
        void EndEdit(int index) override { log.push_back("end " + std::to_string(index)); }
        void Automate(int, float) override {}
        void SizeWindow(int, int) override {}
        std::vector<std::string> log;
    } host;
    QX::Manager manager(nullptr);
    manager.width = 1000;
    manager.height = 450;
    manager.host = &host;
    auto* probe = new Probe(&manager);
    manager.root->Add(probe);
    manager.MouseDown({10, 10}, 0, 1);
    manager.BeginParameterEdit(4);
    manager.OpenPanel(std::make_unique<DialogPanel>(QX::MidiBrowserTemplate(),
                                                    std::make_unique<ScriptedProcedure>()));
    EXPECT_EQ(host.log, (std::vector<std::string>{"begin 4", "end 4"}));
    EXPECT_EQ(manager.capturedElement, nullptr);
    manager.MouseUp({10, 10}, 0);
    EXPECT_EQ(host.log.size(), 2u);
}

}  // namespace
