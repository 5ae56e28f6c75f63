// The procedures between the dialogs' controls and their models: which
// notifications they act on (the dialogs' window tests go through the rest).

#include <gtest/gtest.h>

#include <memory>

#include "DialogTestSupport.h"
#include "engine/ZephCorvane.h"
#include "gui/DialogProcedures.h"
#include "gui/DialogTemplates.h"
#include "platform/MemoryMidiInput.h"
#include "platform/Settings.h"
#include "plugin/Properties.h"

namespace {

using namespace QX::dialogid;
using platform::DialogEvent;

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

class DialogProcedures : public ::testing::Test {
protected:
    void SetUp() override {
        dialogtest::resetProcessSettings();
        platform::installMidiInputSystem(&devices_);
    }
    void TearDown() override {
        platform::installMidiInputSystem(nullptr);
        dialogtest::resetProcessSettings();
    }

    dialogtest::MemoryPreferences preferences_;
    dialogtest::TemporaryUserFolders folders_{"procedures"};
    platform::MemoryMidiInputSystem devices_;
    // No helpers: no OSC server, no scripts; the properties are the plug-in's.
    QX4Controller::ZephCorvane plugin_{hostCallback, nullptr};
    dialogtest::RecordingDialogWindow window_;
};

TEST_F(DialogProcedures, AboutActsOnClicksAndConfirmedChoicesOnly) {
    std::filesystem::create_directories(folders_.skins() / "Dark");
    QX::AboutProcedure about{QX::AboutModel(plugin_, "")};
    about.Init(window_);
    // A check box follows what the box shows once it was clicked.
    window_.checks[kEyeCandy] = false;
    EXPECT_TRUE(about.Command(window_, kEyeCandy, DialogEvent::kOther));
    EXPECT_FALSE(preferences_.Int(platform::kPrefEyeCandy).has_value());
    EXPECT_TRUE(about.Command(window_, kEyeCandy, DialogEvent::kClicked));
    EXPECT_EQ(preferences_.Int(platform::kPrefEyeCandy), 0);
    // The skin list only on a confirmed choice.
    window_.selections[kSkinList] = 1;
    EXPECT_TRUE(about.Command(window_, kSkinList, DialogEvent::kOther));
    EXPECT_FALSE(preferences_.Skin().has_value());
    EXPECT_TRUE(about.Command(window_, kSkinList, DialogEvent::kSelectionConfirmed));
    EXPECT_EQ(preferences_.Skin(), "Dark");
    EXPECT_FALSE(window_.ended.has_value());
    // Commands of no control of its own are not its business.
    EXPECT_FALSE(about.Command(window_, 999, DialogEvent::kClicked));
}

TEST_F(DialogProcedures, TheWebButtonShowsTheAddressWhenTheBuildNamesOne) {
    QX::AboutProcedure about{QX::AboutModel(plugin_, "https://example.org/")};
    about.Init(window_);
    EXPECT_EQ(window_.hidden.count(kWebPage), 0u);
    EXPECT_EQ(window_.texts[kWebPage], "https://example.org/");
    dialogtest::RecordingDialogWindow without;
    QX::AboutProcedure(QX::AboutModel(plugin_, "")).Init(without);
    EXPECT_EQ(without.hidden.count(kWebPage), 1u);
}

TEST_F(DialogProcedures, ADoubleClickInTheBrowserOnlySelects) {
    devices_.addDevice("Loop A");
    QX::MidiBrowserProcedure browser{QX::MidiBrowserModel(plugin_, prop::kMidiSourceName)};
    browser.Init(window_);
    window_.selections[kDeviceList] = 0;
    EXPECT_FALSE(browser.Command(window_, kDeviceList, DialogEvent::kDoubleClicked));
    EXPECT_FALSE(window_.ended.has_value());
    EXPECT_FALSE(devices_.isOpen(0));
}

}  // namespace
