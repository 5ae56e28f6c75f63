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

TEST_F(DialogModels, ABasePortThatTheOffsetWouldPushPastTheLastPortIsRefusedWithAReason) {
    QX::AboutModel about(plugin());
    setOscPortOffset(1);
    std::string refusal;
    EXPECT_FALSE(about.ApplyPort("65535", &refusal));
    EXPECT_EQ(refusal,
              "OSC Base Port + OSC Port Offset is above 65535: 65535 + 1. The port stays 7000.");
    EXPECT_FALSE(preferences_.Int(platform::kPrefOscBasePort).has_value());
    EXPECT_EQ(platform::processSettings().oscBasePort.load(), 7000);
    EXPECT_TRUE(about.ApplyPort("65534", &refusal));
    EXPECT_EQ(platform::processSettings().oscBasePort.load(), 65534);
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

TEST_F(DialogModels, EnterPropertyWritesAtMost255Characters) {
    QX::PropertyDialogModel model(plugin(), prop::kMidiSourceName, "Enter MIDI source");
    EXPECT_EQ(model.Write(std::string(300, 'x')), 0);
    EXPECT_EQ(QX::PropertyDialogModel::ReadProperty(plugin(), prop::kMidiSourceName),
              std::string(255, 'x'));
}

}  // namespace
