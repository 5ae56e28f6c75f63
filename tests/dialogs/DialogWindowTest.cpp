// The three dialogs of a real plug-in library, opened by a host from its
// editor in a window of its own and used as a user would: under Wine the
// native dialogs, found and driven by a second thread while the host's
// thread runs their modal loop; on Linux the editor's own panels, driven
// by input synthesised through the X server. What they write is checked
// where the plug-in keeps it: the preference store, its OSC server, its
// MIDI input (on in-memory devices this program offers), the field that
// shows the MIDI source. Each dialog is also captured as a picture.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <sstream>
#include <thread>

#include "DialogTestLayout.h"
#include "DialogTestSupport.h"
#include "EditorRig.h"
#include "gui/DialogPanel.h"
#include "gui/DialogTemplates.h"
#include "platform/Dialogs.h"
#include "platform/MemoryMidiInput.h"
#include "platform/Preferences.h"
#include "platform/testing/DialogDriver.h"
#include "platform/testing/TestAccess.h"
#include "render/HostMidiInputExport.h"
#include "tavro/Version.h"

namespace {

using namespace QX::dialogid;
using editortest::OpenEditor;
namespace fs = std::filesystem;

const bool fontsInstalled = (editortest::installWineFonts(), true);

constexpr int kOscPortOffsetParameter = 15;

// Window pixels (top left origin) of a design point at the design size.
int windowX(float x) {
    return static_cast<int>(x);
}
int windowY(float y) {
    return dialogtest::kEditorHeight - static_cast<int>(y);
}

// ---- One dialog, driven as the system shows it --------------------------------------------------

class Session {
public:
    virtual ~Session() = default;
    virtual std::string Text(int id) = 0;
    virtual bool Checked(int id) = 0;
    virtual bool Shown(int id) = 0;
    virtual std::vector<std::string> Items(int id) = 0;
    virtual int Selection(int id) = 0;
    // Replaces an edit field's text as a user does.
    virtual void Enter(int id, const std::string& text) = 0;
    // Presses a button or check box with the pointer.
    virtual void Click(int id) = 0;
    // Picks an entry of a list or drop-down list with the pointer.
    virtual void Choose(int id, int index) = 0;
    // "Return" or "Escape".
    virtual void Key(const std::string& name) = 0;
    virtual bool WaitClosed() = 0;
    virtual bool Picture(const std::string& path) = 0;
};

class NativeSession : public Session {
public:
    explicit NativeSession(platform::testsupport::DialogDriver& driver) : d_(driver) {}
    std::string Text(int id) override { return d_.Text(id); }
    bool Checked(int id) override { return d_.Checked(id); }
    bool Shown(int id) override { return d_.Control(id).visible; }
    std::vector<std::string> Items(int id) override { return d_.Items(id); }
    int Selection(int id) override { return d_.Selection(id); }
    void Enter(int id, const std::string& text) override { d_.SetText(id, text); }
    void Click(int id) override { d_.Click(id); }
    void Choose(int id, int index) override { d_.Choose(id, index); }
    void Key(const std::string& name) override { d_.PressKey(name == "Return" ? 0x0D : 0x1B); }
    bool WaitClosed() override { return d_.WaitClosed(5000); }
    bool Picture(const std::string& path) override {
        platform::Picture picture;
        return d_.Capture(picture) &&
               QX::WritePngFile(path, picture.width, picture.height, picture.rgba.data());
    }

private:
    platform::testsupport::DialogDriver& d_;
};

// A control's state as the panel describes it.
struct PanelControl {
    bool found = false, shown = false, checked = false;
    int selected = -1;
    std::string text;
    std::vector<std::string> items;
};

PanelControl describe(const std::string& description, int id) {
    PanelControl control;
    std::istringstream lines(description);
    const std::string prefix = std::to_string(id) + " ";
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(prefix, 0) != 0)
            continue;
        control.found = true;
        control.shown = line.find(" shown=1") != std::string::npos;
        control.checked = line.find(" checked=1") != std::string::npos;
        const std::size_t selected = line.find(" selected=");
        control.selected = std::atoi(line.c_str() + selected + 10);
        const std::size_t text = line.find(" text=");
        const std::size_t items = line.rfind(" items=");
        control.text = line.substr(text + 6, items - text - 6);
        std::istringstream names(line.substr(items + 7));
        for (std::string name; std::getline(names, name, '|');)
            control.items.push_back(name);
        break;
    }
    return control;
}

class PanelSession : public Session {
public:
    PanelSession(OpenEditor& editor, const QX::DialogTemplate& dialog)
        : editor_(editor), layout_(dialog, nullptr) {
        layout_.Open(static_cast<float>(dialogtest::kEditorWidth),
                     static_cast<float>(dialogtest::kEditorHeight));
    }

    std::string Description() {
        char buffer[8192] = {};
        if (editor_.host.dispatch(effVendorSpecific, dialogtest::kVendorDescribePanel,
                                  sizeof buffer, buffer) != 1)
            return {};
        return buffer;
    }
    PanelControl State(int id) { return describe(Description(), id); }

    std::string Text(int id) override { return State(id).text; }
    bool Checked(int id) override { return State(id).checked; }
    bool Shown(int id) override { return State(id).shown; }
    std::vector<std::string> Items(int id) override { return State(id).items; }
    int Selection(int id) override { return State(id).selected; }

    void Enter(int id, const std::string& text) override {
        const QX::Box box = layout_.ControlBox(id);
        // Into the field at the end of its text, every character taken
        // back, then typed.
        const std::size_t length = Text(id).size();
        ClickAt({box.maxX - 3, box.Centre().y});
        for (std::size_t i = 0; i < length + 1; ++i)
            editor_.window->PressKey("BackSpace", 0);
        editor_.pump(100);
        editor_.window->TypeText(text);
        editor_.pump(150);
    }
    void Click(int id) override { ClickAt(layout_.ControlBox(id).Centre()); }
    void Choose(int id, int index) override {
        const QX::Box box = layout_.ControlBox(id);
        const float row = 8 * layout_.Layout().unitY;
        const float scale = layout_.Layout().scale;
        const QX::DialogControlTemplate* entry = layout_.Template().Control(id);
        if (entry && entry->kind == QX::DialogControlKind::kDropDownList) {
            ClickAt(box.Centre());
            ClickAt({box.Centre().x, box.minY - scale - (static_cast<float>(index) + 0.5f) * row});
        } else {
            ClickAt(
                {box.minX + 20, box.maxY - 2 * scale - (static_cast<float>(index) + 0.5f) * row});
        }
    }
    void Key(const std::string& name) override {
        editor_.window->PressKey(name, 0);
        editor_.pump(150);
    }
    bool WaitClosed() override {
        for (int i = 0; i < 100; ++i) {
            if (Description().empty())
                return true;
            editor_.pump(50);
        }
        return false;
    }
    bool Picture(const std::string& path) override {
        QX::PngImage image;
        return editor_.frame(path, image);
    }

private:
    void ClickAt(QX::Point p) {
        editor_.window->Click(windowX(p.x), windowY(p.y), 1, 0);
        editor_.pump(150);
    }

    OpenEditor& editor_;
    // The same template laid out as the plug-in lays it out, for where to
    // point.
    QX::DialogPanel layout_;
};

// ---- The fixture --------------------------------------------------------------------------------

class DialogWindows : public ::testing::Test {
protected:
    void SetUp() override {
        // Preferences in a place of the test's own (Linux), or none at all
        // in the test's Wine prefix.
        platform::testsupport::setEnvironmentVariable("XDG_CONFIG_HOME",
                                                      folders_.root().string().c_str());
        platform::testsupport::deleteProductKey();
        devices_.addDevice("Loop A");
        devices_.addDevice("Loop B");
        devices_.addDevice("Loop C");
    }
    void TearDown() override {
        editor_.reset();
        platform::testsupport::deleteProductKey();
    }

    OpenEditor& editor() {
        if (!editor_) {
            editor_ = std::make_unique<OpenEditor>();
            editor_->pump(300);
        }
        return *editor_;
    }

    // Presses the editor's element at `box` and runs `script` on the dialog
    // with `caption` that it opens; closes the dialog with Escape if the
    // script left it open.
    void RunDialog(const float box[4], const QX::DialogTemplate& dialog,
                   const std::function<void(Session&)>& script) {
        OpenEditor& e = editor();
        const int x = windowX(box[0] + box[2] / 2), y = windowY(box[1] + box[3] / 2);
        if (platform::hasNativeDialogs()) {
            void* owner = e.window->NativeHandle();
            // The host's thread runs the dialog's modal loop; a second
            // thread plays the user.
            auto user = std::async(std::launch::async, [&, owner] {
                auto driver = platform::testsupport::DialogDriver::WaitFor(dialog.caption, 10000);
                if (!driver) {
                    ADD_FAILURE() << "no dialog \"" << dialog.caption << "\" appeared";
                    // A dialog that exists but never showed still holds the
                    // host's thread: let it go.
                    if (auto hidden = platform::testsupport::DialogDriver::WaitFor(dialog.caption,
                                                                                   1000, false))
                        hidden->Cancel();
                    return;
                }
                NativeSession session(*driver);
                // Modal to the host's window that holds the editor.
                EXPECT_EQ(driver->Owner(), reinterpret_cast<std::uintptr_t>(owner));
                CheckTemplate(*driver, dialog);
                script(session);
                if (driver->IsOpen()) {
                    driver->PressKey(0x1B);
                    EXPECT_TRUE(driver->WaitClosed(5000));
                }
            });
            // The host's thread runs the dialog at its next turn, inside
            // the pump.
            e.window->Click(x, y, 1, 0);
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (user.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready &&
                   std::chrono::steady_clock::now() < giveUp)
                e.pump(20);
            user.get();
            e.pump(100);
            return;
        }
        PanelSession session(e, dialog);
        e.window->Click(x, y, 1, 0);
        bool opened = false;
        for (int i = 0; i < 100 && !opened; ++i) {
            e.pump(30);
            opened = session.Description().rfind("caption " + dialog.caption + "\n", 0) == 0;
        }
        ASSERT_TRUE(opened) << "no panel \"" << dialog.caption << "\" appeared";
        script(session);
        if (!session.Description().empty()) {
            session.Key("Escape");
            EXPECT_TRUE(session.WaitClosed());
        }
    }

    // The native dialog against the template the editor's panels use.
    static void CheckTemplate(platform::testsupport::DialogDriver& d,
                              const QX::DialogTemplate& dialog) {
        using namespace platform::testsupport;
        EXPECT_EQ(d.Caption(), dialog.caption);
        EXPECT_EQ(d.FontName(), dialog.fontName);
        int cx = 0, cy = 0, w = dialog.width, h = dialog.height, cw = 0, ch = 0;
        d.DialogUnitsToPixels(cx, cy, w, h);
        d.ClientSize(cw, ch);
        EXPECT_EQ(cw, w);
        EXPECT_EQ(ch, h);
        for (const QX::DialogControlTemplate& entry : dialog.controls) {
            const DialogControlInfo info = d.Control(entry.id);
            ASSERT_TRUE(info.exists) << entry.id;
            int x = entry.x, y = entry.y, width = entry.width, height = entry.height;
            d.DialogUnitsToPixels(x, y, width, height);
            EXPECT_EQ(info.x, x) << entry.id;
            EXPECT_EQ(info.y, y) << entry.id;
            EXPECT_EQ(info.width, width) << entry.id;
            switch (entry.kind) {
                case QX::DialogControlKind::kStatic:
                    EXPECT_EQ(info.className, "Static") << entry.id;
                    break;
                case QX::DialogControlKind::kPushButton:
                    EXPECT_EQ(info.style & kButtonTypeMask, kButtonPush) << entry.id;
                    break;
                case QX::DialogControlKind::kDefaultPushButton:
                    EXPECT_EQ(info.style & kButtonTypeMask, kButtonDefault) << entry.id;
                    break;
                case QX::DialogControlKind::kGroupBox:
                    EXPECT_EQ(info.style & kButtonTypeMask, kButtonGroupBox) << entry.id;
                    break;
                case QX::DialogControlKind::kCheckBox:
                    EXPECT_EQ(info.style & kButtonTypeMask, kButtonAutoCheck) << entry.id;
                    break;
                case QX::DialogControlKind::kEdit:
                    EXPECT_EQ(info.className, "Edit") << entry.id;
                    EXPECT_EQ(info.style & kEditNumber, 0u) << entry.id;
                    break;
                case QX::DialogControlKind::kNumberEdit:
                    EXPECT_EQ(info.className, "Edit") << entry.id;
                    EXPECT_EQ(info.style & kEditNumber, kEditNumber) << entry.id;
                    break;
                case QX::DialogControlKind::kDropDownList:
                    EXPECT_EQ(info.className, "ComboBox") << entry.id;
                    EXPECT_EQ(info.style & kComboTypeMask, kComboDropDownList) << entry.id;
                    break;
                case QX::DialogControlKind::kListBox:
                    EXPECT_EQ(info.className, "ListBox") << entry.id;
                    EXPECT_EQ(info.style & kListNotify, kListNotify) << entry.id;
                    // A dialog draws a list's border as a sunken edge; the
                    // scroll bar's style bit comes and goes with the need
                    // for it.
                    EXPECT_TRUE((info.style & kStyleBorder) != 0 ||
                                (info.exStyle & kExStyleClientEdge) != 0)
                        << entry.id;
                    break;
            }
            // A drop-down list's window is its field (the template's height
            // includes the open list); a list keeps to whole entries.
            if (entry.kind == QX::DialogControlKind::kListBox) {
                EXPECT_LE(info.height, height) << entry.id;
                EXPECT_GT(info.height, height * 9 / 10) << entry.id;
            } else if (entry.kind != QX::DialogControlKind::kDropDownList) {
                EXPECT_EQ(info.height, height) << entry.id;
            }
            // Enter Property's message is the prompt, set when it opens.
            const bool prompt = dialog.resourceId == QX::dialogid::kEnterProperty &&
                                entry.id == QX::dialogid::kMessage;
            if (!prompt && !entry.text.empty()) {
                EXPECT_EQ(info.text, entry.text) << entry.id;
            }
        }
    }

    std::string SourceField() {
        char buffer[512] = {};
        editor().host.dispatch(effVendorSpecific, dialogtest::kVendorSourceField, sizeof buffer,
                               buffer);
        return buffer;
    }
    std::string Frame(const char* name) { return editortest::framePath(name); }

    dialogtest::TemporaryUserFolders folders_{"windows"};
    platform::MemoryMidiInputSystem devices_;
    render::HostMidiInputExport export_{devices_};
    std::unique_ptr<OpenEditor> editor_;
};

// ---- About --------------------------------------------------------------------------------------

TEST_F(DialogWindows, AboutWithoutPreferencesShowsTheDefaultsAndTheSkins) {
    const fs::path skins = folders_.skins();
    fs::create_directories(skins / "Dark");
    fs::create_directories(skins / "Light.bundle");
    std::ofstream(skins / "Notes.txt") << "not a skin\n";

    RunDialog(dialogtest::kAboutButton, QX::AboutDialogTemplate(), [&](Session& s) {
        EXPECT_EQ(s.Text(kProductName), "TAVRO");
        EXPECT_EQ(s.Text(kVersion), tavro::kVersionText);
        EXPECT_EQ(s.Text(kOscBasePort), "7000");
        EXPECT_TRUE(s.Checked(kEyeCandy));
        EXPECT_TRUE(s.Checked(kConstantRedraw));
        EXPECT_FALSE(s.Checked(kFloatingTooltip));
        // The build names no web page: its button is hidden.
        EXPECT_FALSE(s.Shown(kWebPage));
        const std::vector<std::string> items = s.Items(kSkinList);
        ASSERT_EQ(items.size(), 3u);
        EXPECT_EQ(items[0], "Default");
        std::vector<std::string> rest(items.begin() + 1, items.end());
        std::sort(rest.begin(), rest.end());
        EXPECT_EQ(rest, (std::vector<std::string>{"Dark", "Light"}));
        // The built-in skin.
        EXPECT_EQ(s.Selection(kSkinList), 0);
        EXPECT_TRUE(s.Picture(Frame("about")));
        s.Key("Escape");
        EXPECT_TRUE(s.WaitClosed());
    });
    EXPECT_FALSE(platform::testsupport::productKeyExists());
}

TEST_F(DialogWindows, AboutOkWithAPortRebindsTheServerAndNotAPortLeavesIt) {
    int base = 9000;
    while (!dialogtest::udpPortFree(base + 3) && base < 9600)
        base += 50;
    editor().host.setParameter(kOscPortOffsetParameter, 0.03f);

    // Not a port: the old one stays. A numbers-only field takes no '-' or
    // letters from the keyboard (the panel's "abc" leaves it empty); the
    // native one still takes them pasted.
    std::vector<std::string> texts = {"0", "abc"};
    if (platform::hasNativeDialogs())
        texts.push_back("-5");
    for (const std::string& text : texts) {
        RunDialog(dialogtest::kAboutButton, QX::AboutDialogTemplate(), [&](Session& s) {
            s.Enter(kOscBasePort, text);
            s.Click(1);
            EXPECT_TRUE(s.WaitClosed());
        });
        EXPECT_EQ(platform::readIntPreference(platform::kPrefOscBasePort, -1), -1) << text;
    }
    RunDialog(dialogtest::kAboutButton, QX::AboutDialogTemplate(), [&](Session& s) {
        EXPECT_EQ(s.Text(kOscBasePort), "7000");
        s.Enter(kOscBasePort, std::to_string(base));
        s.Key("Return");
        EXPECT_TRUE(s.WaitClosed());
    });
    EXPECT_EQ(platform::readIntPreference(platform::kPrefOscBasePort, -1), base);
    std::string where;
    EXPECT_TRUE(dialogtest::pingAnswered(base + 3, 5000, &where));
    EXPECT_EQ(where, "osc.udp://127.0.0.1:" + std::to_string(base + 3));

    // Escape drops an edit of the port.
    RunDialog(dialogtest::kAboutButton, QX::AboutDialogTemplate(), [&](Session& s) {
        EXPECT_EQ(s.Text(kOscBasePort), std::to_string(base));
        s.Enter(kOscBasePort, "9500");
        s.Key("Escape");
        EXPECT_TRUE(s.WaitClosed());
    });
    EXPECT_EQ(platform::readIntPreference(platform::kPrefOscBasePort, -1), base);
}

TEST_F(DialogWindows, AboutCheckBoxesAndSkinTakeEffectAtOnce) {
    fs::create_directories(folders_.skins() / "Dark");
    RunDialog(dialogtest::kAboutButton, QX::AboutDialogTemplate(), [&](Session& s) {
        s.Click(kFloatingTooltip);
        s.Click(kEyeCandy);
        EXPECT_TRUE(s.Checked(kFloatingTooltip));
        EXPECT_FALSE(s.Checked(kEyeCandy));
        EXPECT_EQ(platform::readIntPreference(platform::kPrefFloatingTooltip, -1), 1);
        EXPECT_EQ(platform::readIntPreference(platform::kPrefEyeCandy, -1), 0);
        ASSERT_EQ(s.Items(kSkinList), (std::vector<std::string>{"Default", "Dark"}));
        s.Choose(kSkinList, 1);
        std::string skin = "(none)";
        platform::readSkinPreference(skin);
        EXPECT_EQ(skin, "Dark");
        s.Key("Escape");
        EXPECT_TRUE(s.WaitClosed());
    });
    // Cancel kept them; the next dialog shows them.
    RunDialog(dialogtest::kAboutButton, QX::AboutDialogTemplate(), [&](Session& s) {
        EXPECT_TRUE(s.Checked(kFloatingTooltip));
        EXPECT_FALSE(s.Checked(kEyeCandy));
        EXPECT_EQ(s.Selection(kSkinList), 1);
        s.Choose(kSkinList, 0);
        s.Click(1);
        EXPECT_TRUE(s.WaitClosed());
    });
    std::string skin = "(none)";
    platform::readSkinPreference(skin);
    EXPECT_EQ(skin, "");
    // OK wrote the port it showed.
    EXPECT_EQ(platform::readIntPreference(platform::kPrefOscBasePort, -1), 7000);
}

// ---- Enter Property -----------------------------------------------------------------------------

TEST_F(DialogWindows, EnterPropertyOkReopensTheInputAndCancelLeavesIt) {
    EXPECT_EQ(SourceField(), "");
    RunDialog(dialogtest::kSourceField, QX::PropertyDialogTemplate(), [&](Session& s) {
        EXPECT_EQ(s.Text(kMessage), "Enter MIDI source");
        EXPECT_EQ(s.Text(kPropertyText), "");
        s.Enter(kPropertyText, "Loop B");
        EXPECT_TRUE(s.Picture(Frame("enter-property")));
        s.Key("Return");
        EXPECT_TRUE(s.WaitClosed());
    });
    EXPECT_TRUE(devices_.isOpen(1));
    EXPECT_FALSE(devices_.isOpen(0));
    editor().pump(100);
    EXPECT_EQ(SourceField(), "Loop B");

    RunDialog(dialogtest::kSourceField, QX::PropertyDialogTemplate(), [&](Session& s) {
        EXPECT_EQ(s.Text(kPropertyText), "Loop B");
        s.Enter(kPropertyText, "Loop A");
        s.Click(2);
        EXPECT_TRUE(s.WaitClosed());
    });
    EXPECT_TRUE(devices_.isOpen(1));
    EXPECT_FALSE(devices_.isOpen(0));
    EXPECT_EQ(SourceField(), "Loop B");
}

// ---- MIDI Browser -------------------------------------------------------------------------------

TEST_F(DialogWindows, BrowserListsTheDevicesAndOnlyOkWithASelectionOpensOne) {
    RunDialog(dialogtest::kBrowseButton, QX::MidiBrowserTemplate(), [&](Session& s) {
        EXPECT_EQ(s.Items(kDeviceList), (std::vector<std::string>{"Loop A", "Loop B", "Loop C"}));
        EXPECT_EQ(s.Selection(kDeviceList), -1);
        s.Click(1);
        EXPECT_TRUE(s.WaitClosed());
    });
    EXPECT_FALSE(devices_.isOpen(0) || devices_.isOpen(1) || devices_.isOpen(2));
    EXPECT_EQ(SourceField(), "");

    RunDialog(dialogtest::kBrowseButton, QX::MidiBrowserTemplate(), [&](Session& s) {
        s.Choose(kDeviceList, 2);
        EXPECT_EQ(s.Selection(kDeviceList), 2);
        s.Click(2);
        EXPECT_TRUE(s.WaitClosed());
    });
    EXPECT_FALSE(devices_.isOpen(0) || devices_.isOpen(1) || devices_.isOpen(2));

    RunDialog(dialogtest::kBrowseButton, QX::MidiBrowserTemplate(), [&](Session& s) {
        s.Choose(kDeviceList, 0);
        EXPECT_TRUE(s.Picture(Frame("midi-browser")));
        s.Click(1);
        EXPECT_TRUE(s.WaitClosed());
    });
    EXPECT_TRUE(devices_.isOpen(0));
    editor().pump(100);
    EXPECT_EQ(SourceField(), "Loop A");
}

}  // namespace
