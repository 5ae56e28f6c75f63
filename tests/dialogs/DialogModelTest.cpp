// The three dialogs' behaviour without a window: what they show when they
// open and what their commands write, against the real plug-in (its OSC
// server on loopback, its MIDI input on in-memory devices).

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <utility>

#include "DialogTestSupport.h"
#include "engine/ZephCorvane.h"
#include "gui/AboutModel.h"
#include "gui/MidiBrowserModel.h"
#include "gui/PropertyDialogModel.h"
#include "osc/OSCHelper.h"
#include "osc/ProductHelpers.h"
#include "platform/MemoryMidiInput.h"
#include "platform/Settings.h"
#include "plugin/Properties.h"

namespace {

using dialogtest::MemoryPreferences;
using dialogtest::TemporaryUserFolders;
namespace fs = std::filesystem;

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

constexpr int kOscPortOffsetParameter = 15;

class DialogModels : public ::testing::Test {
protected:
    void SetUp() override {
        dialogtest::resetProcessSettings();
        platform::installMidiInputSystem(&devices_);
    }
    void TearDown() override {
        plugin_.reset();
        platform::installMidiInputSystem(nullptr);
        dialogtest::resetProcessSettings();
    }

    QX4Controller::ZephCorvane& plugin() {
        if (!plugin_)
            plugin_ = std::make_unique<QX4Controller::ZephCorvane>(hostCallback, &helpers_);
        return *plugin_;
    }
    void setOscPortOffset(int offset) {
        plugin().getAeffect()->setParameter(plugin().getAeffect(), kOscPortOffsetParameter,
                                            static_cast<float>(offset) / 100.0f);
    }
    int boundOscPort() {
        void* helper = nullptr;
        plugin().GetProperty(prop::kOscHelper, 0, 0, &helper);
        auto* control = static_cast<QX::OscServerControl*>(helper);
        auto* server = dynamic_cast<QX::OSCHelper*>(control);
        return server ? server->boundPort() : -1;
    }
    bool waitForBoundPort(int port) {
        for (int i = 0; i < 300 && boundOscPort() != port; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return boundOscPort() == port;
    }

    MemoryPreferences preferences_;
    TemporaryUserFolders folders_{"models"};
    platform::MemoryMidiInputSystem devices_;
    QX::ProductHelpers helpers_;
    std::unique_ptr<QX4Controller::ZephCorvane> plugin_;
};

// Records what the dialog asks the desktop to open.
struct ShellRecord {
    std::vector<std::pair<std::string, platform::ShellVerb>> opened;
    QX::AboutModel::ShellOpener opener() {
        return [this](const std::string& target, platform::ShellVerb verb) {
            opened.emplace_back(target, verb);
            return true;
        };
    }
};

// ---- About ------------------------------------------------------------------------------------

TEST_F(DialogModels, AboutWithoutAnyPreferenceShowsTheDefaults) {
    QX::AboutModel about(plugin());
    EXPECT_EQ(QX::AboutModel::ProductName(), "TAVRO");
    EXPECT_EQ(QX::AboutModel::VersionText(), "1.0.7");
    EXPECT_EQ(about.PortText(), "7000");
    EXPECT_TRUE(about.EyeCandy());
    EXPECT_TRUE(about.ConstantRedraw());
    EXPECT_FALSE(about.FloatingTooltip());
    // No skins folder yet: the built-in skin only.
    EXPECT_EQ(about.Skins(), std::vector<std::string>{"Default"});
    EXPECT_EQ(about.SelectedSkin(), 0);
    // The build names no web page.
    EXPECT_EQ(QX::AboutModel::BuiltInWebPage(), "");
}

TEST_F(DialogModels, SkinsAreDefaultThenTheSkinsFoldersSubfoldersWithoutBundle) {
    const fs::path skins = folders_.skins();
    fs::create_directories(skins / "Dark");
    fs::create_directories(skins / "Light.bundle");
    std::ofstream(skins / "Notes.txt") << "not a skin\n";
    preferences_.writeSkin("Light");

    QX::AboutModel about(plugin());
    ASSERT_EQ(about.Skins().size(), 3u);
    EXPECT_EQ(about.Skins()[0], "Default");
    // The rest in the file system's order.
    std::vector<std::string> rest(about.Skins().begin() + 1, about.Skins().end());
    std::sort(rest.begin(), rest.end());
    EXPECT_EQ(rest, (std::vector<std::string>{"Dark", "Light"}));
    EXPECT_EQ(about.Skins()[static_cast<std::size_t>(about.SelectedSkin())], "Light");
}

TEST(AboutSkinPreselection, FollowsTheListsCaseInsensitivePrefixSearch) {
    using QX::AboutModel;
    const std::vector<std::string> entries = {"Default", "Darker", "Dark", "Light"};
    EXPECT_EQ(AboutModel::PreselectSkin(entries, ""), 0);
    EXPECT_EQ(AboutModel::PreselectSkin(entries, "Light"), 3);
    // An exact name is searched as a prefix: "Darker" comes first.
    EXPECT_EQ(AboutModel::PreselectSkin(entries, "Dark"), 1);
    // Only an exact name counts as saved; otherwise "Default".
    EXPECT_EQ(AboutModel::PreselectSkin(entries, "dark"), 0);
    EXPECT_EQ(AboutModel::PreselectSkin(entries, "Gone"), 0);
    // A skin folder named "default" saved shows as the built-in skin.
    EXPECT_EQ(AboutModel::PreselectSkin({"Default", "default"}, "default"), 0);
    EXPECT_EQ(AboutModel::PreselectSkin({"Default", "LIGHTS", "Light"}, "Light"), 1);
}

TEST_F(DialogModels, OkWithAPortAboveZeroMovesTheServerToTheNewBasePlusOffset) {
    // 9000 with offset 3, unless something else holds 9003 here.
    int base = 9000;
    while (!dialogtest::udpPortFree(base + 3) && base < 9600)
        base += 50;
    setOscPortOffset(3);
    ASSERT_TRUE(waitForBoundPort(7003) || boundOscPort() == 0);

    QX::AboutModel about(plugin());
    EXPECT_TRUE(about.ApplyPort(std::to_string(base)));
    EXPECT_EQ(preferences_.Int(platform::kPrefOscBasePort), base);
    EXPECT_EQ(platform::processSettings().oscBasePort.load(), base);
    ASSERT_TRUE(waitForBoundPort(base + 3));
    std::string where;
    EXPECT_TRUE(dialogtest::pingAnswered(base + 3, 3000, &where));
    EXPECT_EQ(where, "osc.udp://127.0.0.1:" + std::to_string(base + 3));
    // A fresh dialog shows the new port.
    EXPECT_EQ(QX::AboutModel(plugin()).PortText(), std::to_string(base));
}

TEST_F(DialogModels, TextsThatAreNoPortLeaveThePortAsItWas) {
    QX::AboutModel about(plugin());
    for (const char* text : {"0", "-5", "abc", "", "   ", "12abc", "70000", "99999999999999"}) {
        EXPECT_FALSE(about.ApplyPort(text)) << text;
        EXPECT_FALSE(preferences_.Int(platform::kPrefOscBasePort).has_value()) << text;
        EXPECT_EQ(platform::processSettings().oscBasePort.load(), 7000) << text;
    }
    EXPECT_EQ(QX::AboutModel::ParsePort(" 9000 "), 9000);
    EXPECT_EQ(QX::AboutModel::ParsePort("+1"), 1);
    EXPECT_EQ(QX::AboutModel::ParsePort("65535"), 65535);
    EXPECT_EQ(QX::AboutModel::ParsePort("65536"), -1);
}

TEST_F(DialogModels, CheckBoxesWriteTheirPreferenceAndTheProcessFlagAtOnce) {
    QX::AboutModel about(plugin());
    about.SetEyeCandy(false);
    about.SetConstantRedraw(false);
    about.SetFloatingTooltip(true);
    EXPECT_EQ(preferences_.Int(platform::kPrefEyeCandy), 0);
    EXPECT_EQ(preferences_.Int(platform::kPrefConstantRedraw), 0);
    EXPECT_EQ(preferences_.Int(platform::kPrefFloatingTooltip), 1);
    EXPECT_FALSE(platform::processSettings().eyeCandy.load());
    EXPECT_FALSE(platform::processSettings().constantRedraw.load());
    EXPECT_TRUE(platform::processSettings().floatingTooltip.load());
    about.SetEyeCandy(true);
    EXPECT_EQ(preferences_.Int(platform::kPrefEyeCandy), 1);
    EXPECT_TRUE(platform::processSettings().eyeCandy.load());
    // The next dialog shows what was set.
    QX::AboutModel again(plugin());
    EXPECT_TRUE(again.EyeCandy());
    EXPECT_FALSE(again.ConstantRedraw());
    EXPECT_TRUE(again.FloatingTooltip());
}

TEST_F(DialogModels, ChoosingASkinSavesItAndDefaultSavesTheEmptyText) {
    fs::create_directories(folders_.skins() / "Dark");
    QX::AboutModel about(plugin());
    ASSERT_EQ(about.Skins().size(), 2u);
    about.ChooseSkin(1);
    EXPECT_EQ(preferences_.Skin(), "Dark");
    about.ChooseSkin(0);
    EXPECT_EQ(preferences_.Skin(), "");
    about.ChooseSkin(-1);
    about.ChooseSkin(2);
    EXPECT_EQ(preferences_.Skin(), "");
}

TEST_F(DialogModels, OpenSkinFolderMakesTheFoldersAndExploresTheSkinsFolder) {
    ShellRecord shell;
    QX::AboutModel about(plugin(), "", shell.opener());
    ASSERT_FALSE(fs::exists(folders_.skins()));
    EXPECT_TRUE(about.OpenSkinFolder());
    EXPECT_TRUE(fs::is_directory(folders_.skins()));
    ASSERT_EQ(shell.opened.size(), 1u);
    EXPECT_EQ(fs::u8path(shell.opened[0].first), folders_.skins());
    EXPECT_EQ(shell.opened[0].second, platform::ShellVerb::kExplore);
}

TEST_F(DialogModels, TheWebPageOpensOnlyWhenThereIsOne) {
    ShellRecord shell;
    EXPECT_FALSE(QX::AboutModel(plugin(), "", shell.opener()).OpenWebPage());
    EXPECT_TRUE(shell.opened.empty());
    QX::AboutModel withPage(plugin(), "https://example.org/tavro", shell.opener());
    EXPECT_TRUE(withPage.OpenWebPage());
    ASSERT_EQ(shell.opened.size(), 1u);
    EXPECT_EQ(shell.opened[0].first, "https://example.org/tavro");
    EXPECT_EQ(shell.opened[0].second, platform::ShellVerb::kOpen);
}

// ---- Enter Property -----------------------------------------------------------------------------

struct ListenerLog {
    std::vector<std::string> heard;
    static void Heard(void* user, ZephAuBase* plugin, std::uint32_t id, std::uint32_t,
                      std::uint32_t) {
        static_cast<ListenerLog*>(user)->heard.push_back(
            QX::PropertyDialogModel::ReadProperty(*plugin, id));
    }
};

TEST_F(DialogModels, EnterPropertyShowsThePromptAndTheCurrentSource) {
    devices_.addDevice("Loop A");
    const char name[] = "Loop A";
    plugin().SetProperty(prop::kMidiSourceName, 0, 0, name, sizeof name);
    QX::PropertyDialogModel model(plugin(), prop::kMidiSourceName, "Enter MIDI source");
    EXPECT_EQ(model.Prompt(), "Enter MIDI source");
    EXPECT_EQ(model.Text(), "Loop A");
}

TEST_F(DialogModels, EnterPropertyOkReopensTheInputAndTellsTheListeners) {
    devices_.addDevice("Loop A");
    devices_.addDevice("Loop B");
    ListenerLog log;
    plugin().AddPropertyListener(prop::kMidiSourceName, &ListenerLog::Heard, &log);
    QX::PropertyDialogModel model(plugin(), prop::kMidiSourceName, "Enter MIDI source");
    EXPECT_EQ(model.Text(), "");
    EXPECT_EQ(model.Write("Loop B"), 0);
    EXPECT_TRUE(devices_.isOpen(1));
    EXPECT_FALSE(devices_.isOpen(0));
    EXPECT_EQ(log.heard, std::vector<std::string>{"Loop B"});
    // A name of no device closes the input.
    EXPECT_EQ(model.Write("Loop Z"), 0);
    EXPECT_FALSE(devices_.isOpen(1));
    plugin().RemovePropertyListener(prop::kMidiSourceName, &ListenerLog::Heard);
}

TEST_F(DialogModels, EnterPropertyWritesAtMost255Characters) {
    QX::PropertyDialogModel model(plugin(), prop::kMidiSourceName, "Enter MIDI source");
    EXPECT_EQ(model.Write(std::string(300, 'x')), 0);
    EXPECT_EQ(QX::PropertyDialogModel::ReadProperty(plugin(), prop::kMidiSourceName),
              std::string(255, 'x'));
}

// ---- MIDI Browser -------------------------------------------------------------------------------

TEST_F(DialogModels, BrowserListsTheDevicesOfTheMomentInOrder) {
    devices_.addDevice("Loop A");
    devices_.addDevice("USB MIDI 2");
    QX::MidiBrowserModel first(plugin(), prop::kMidiSourceName);
    EXPECT_EQ(first.Devices(), (std::vector<std::string>{"Loop A", "USB MIDI 2"}));
    devices_.addDevice("Loop A");
    QX::MidiBrowserModel second(plugin(), prop::kMidiSourceName);
    EXPECT_EQ(second.Devices(), (std::vector<std::string>{"Loop A", "USB MIDI 2", "Loop A"}));
}

TEST_F(DialogModels, BrowserOkWithASelectionOpensThatDeviceAndWithoutChangesNothing) {
    devices_.addDevice("Loop A");
    devices_.addDevice("Loop B");
    ListenerLog log;
    plugin().AddPropertyListener(prop::kMidiSourceName, &ListenerLog::Heard, &log);
    QX::MidiBrowserModel browser(plugin(), prop::kMidiSourceName);
    EXPECT_FALSE(browser.Choose(-1));
    EXPECT_FALSE(browser.Choose(2));
    EXPECT_TRUE(log.heard.empty());
    EXPECT_FALSE(devices_.isOpen(0) || devices_.isOpen(1));
    EXPECT_TRUE(browser.Choose(1));
    EXPECT_TRUE(devices_.isOpen(1));
    EXPECT_EQ(log.heard, std::vector<std::string>{"Loop B"});
    plugin().RemovePropertyListener(prop::kMidiSourceName, &ListenerLog::Heard);
}

}  // namespace
