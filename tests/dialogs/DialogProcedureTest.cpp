// The procedures between the dialogs' controls and their models: what
// they put into the controls, which commands they act on.

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

TEST_F(DialogProcedures, AboutFillsItsControlsAndHidesTheWebButtonWithoutAnAddress) {
    QX::AboutProcedure about{QX::AboutModel(plugin_, "")};
    about.Init(window_);
    EXPECT_EQ(window_.texts[kProductName], "TAVRO");
    EXPECT_EQ(window_.texts[kVersion], "1.0.7");
    EXPECT_EQ(window_.texts[kOscBasePort], "7000");
    EXPECT_TRUE(window_.checks[kEyeCandy]);
    EXPECT_TRUE(window_.checks[kConstantRedraw]);
    EXPECT_FALSE(window_.checks[kFloatingTooltip]);
    EXPECT_EQ(window_.items[kSkinList], std::vector<std::string>{"Default"});
    EXPECT_EQ(window_.selections[kSkinList], 0);
    EXPECT_EQ(window_.hidden.count(kWebPage), 1u);

    dialogtest::RecordingDialogWindow withPage;
    QX::AboutProcedure about2{QX::AboutModel(plugin_, "https://example.org/")};
    about2.Init(withPage);
    EXPECT_EQ(withPage.hidden.count(kWebPage), 0u);
    EXPECT_EQ(withPage.texts[kWebPage], "https://example.org/");
}

TEST_F(DialogProcedures, AboutOkTakesThePortFromItsFieldAndCancelDropsIt) {
    QX::AboutProcedure about{QX::AboutModel(plugin_, "")};
    about.Init(window_);
    window_.texts[kOscBasePort] = "9100";
    EXPECT_TRUE(about.Command(window_, platform::kDialogCancel, DialogEvent::kClicked));
    EXPECT_EQ(window_.ended, platform::kDialogCancel);
    EXPECT_FALSE(preferences_.Int(platform::kPrefOscBasePort).has_value());

    window_.ended.reset();
    EXPECT_TRUE(about.Command(window_, platform::kDialogOk, DialogEvent::kClicked));
    EXPECT_EQ(window_.ended, platform::kDialogOk);
    EXPECT_EQ(preferences_.Int(platform::kPrefOscBasePort), 9100);
}

TEST_F(DialogProcedures, AboutCheckBoxesFollowWhatTheBoxShows) {
    QX::AboutProcedure about{QX::AboutModel(plugin_, "")};
    about.Init(window_);
    window_.checks[kFloatingTooltip] = true;  // the box flipped itself
    EXPECT_TRUE(about.Command(window_, kFloatingTooltip, DialogEvent::kClicked));
    EXPECT_EQ(preferences_.Int(platform::kPrefFloatingTooltip), 1);
    EXPECT_TRUE(platform::processSettings().floatingTooltip.load());
    // Other notifications of the box change nothing.
    window_.checks[kEyeCandy] = false;
    EXPECT_TRUE(about.Command(window_, kEyeCandy, DialogEvent::kOther));
    EXPECT_FALSE(preferences_.Int(platform::kPrefEyeCandy).has_value());
    EXPECT_TRUE(about.Command(window_, kEyeCandy, DialogEvent::kClicked));
    EXPECT_EQ(preferences_.Int(platform::kPrefEyeCandy), 0);
    EXPECT_FALSE(window_.ended.has_value());
}

TEST_F(DialogProcedures, AboutTakesASkinOnlyWhenTheSelectionIsConfirmed) {
    std::filesystem::create_directories(folders_.skins() / "Dark");
    QX::AboutProcedure about{QX::AboutModel(plugin_, "")};
    about.Init(window_);
    ASSERT_EQ(window_.items[kSkinList], (std::vector<std::string>{"Default", "Dark"}));
    window_.selections[kSkinList] = 1;
    EXPECT_TRUE(about.Command(window_, kSkinList, DialogEvent::kOther));
    EXPECT_FALSE(preferences_.Skin().has_value());
    EXPECT_TRUE(about.Command(window_, kSkinList, DialogEvent::kSelectionConfirmed));
    EXPECT_EQ(preferences_.Skin(), "Dark");
    // Commands of no control of its own are not its business.
    EXPECT_FALSE(about.Command(window_, 999, DialogEvent::kClicked));
}

TEST_F(DialogProcedures, EnterPropertyShowsPromptAndTextAndOnlyOkWrites) {
    devices_.addDevice("Loop A");
    QX::PropertyProcedure property{
        QX::PropertyDialogModel(plugin_, prop::kMidiSourceName, "Enter MIDI source")};
    property.Init(window_);
    EXPECT_EQ(window_.texts[kMessage], "Enter MIDI source");
    EXPECT_EQ(window_.texts[kPropertyText], "");
    EXPECT_EQ(window_.limits[kPropertyText], 255u);

    window_.texts[kPropertyText] = "Loop A";
    EXPECT_TRUE(property.Command(window_, platform::kDialogCancel, DialogEvent::kClicked));
    EXPECT_FALSE(devices_.isOpen(0));
    EXPECT_EQ(QX::PropertyDialogModel::ReadProperty(plugin_, prop::kMidiSourceName), "");
    EXPECT_TRUE(property.Command(window_, platform::kDialogOk, DialogEvent::kClicked));
    EXPECT_EQ(window_.ended, platform::kDialogOk);
    EXPECT_TRUE(devices_.isOpen(0));
}

TEST_F(DialogProcedures, BrowserListsDevicesAndOkWithoutASelectionOnlyCloses) {
    devices_.addDevice("Loop A");
    devices_.addDevice("Loop B");
    QX::MidiBrowserProcedure browser{QX::MidiBrowserModel(plugin_, prop::kMidiSourceName)};
    browser.Init(window_);
    EXPECT_EQ(window_.items[kDeviceList], (std::vector<std::string>{"Loop A", "Loop B"}));
    EXPECT_EQ(window_.SelectedItem(kDeviceList), -1);
    // A double click only selects.
    EXPECT_FALSE(browser.Command(window_, kDeviceList, DialogEvent::kDoubleClicked));
    EXPECT_TRUE(browser.Command(window_, platform::kDialogOk, DialogEvent::kClicked));
    EXPECT_EQ(window_.ended, platform::kDialogOk);
    EXPECT_FALSE(devices_.isOpen(0) || devices_.isOpen(1));

    window_.selections[kDeviceList] = 0;
    EXPECT_TRUE(browser.Command(window_, platform::kDialogOk, DialogEvent::kClicked));
    EXPECT_TRUE(devices_.isOpen(0));
}

}  // namespace
