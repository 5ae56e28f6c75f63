#include "platform/Folders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "TestEnvironment.h"
#include "platform/testing/TestAccess.h"

namespace {

namespace fs = std::filesystem;
using namespace platform;

TEST(WindowsAppDataFolder, FollowsAppDataThenUserNameThenNothing) {
    EXPECT_EQ(windowsAppDataFolder("D:\\Roaming", "alice"), "D:\\Roaming");
    EXPECT_EQ(windowsAppDataFolder(nullptr, "alice"),
              "C:\\Documents and Settings\\alice\\Application Data");
    EXPECT_EQ(windowsAppDataFolder(nullptr, nullptr), "");
}

// The per-user data folder (APPDATA or XDG_DATA_HOME) is a fresh one per test.
class UserFolders : public ::testing::Test {
protected:
    void SetUp() override {
        base = platformtest::freshFolder("appdata").string();
        testsupport::setEnvironmentVariable("APPDATA", base.c_str());
        testsupport::setEnvironmentVariable("XDG_DATA_HOME", base.c_str());
        sep = pathSeparator();
    }

    static void makeFile(const std::string& path) { std::ofstream(path) << "x"; }

    static std::vector<std::string> sorted(std::vector<std::string> names) {
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string base;
    std::string sep;

private:
    platformtest::SavedVariable appData_{"APPDATA"};
    platformtest::SavedVariable dataHome_{"XDG_DATA_HOME"};
};

TEST_F(UserFolders, NamesFollowMakerProductAndFamily) {
    EXPECT_EQ(appDataFolder(), base);
    EXPECT_EQ(makerFolder(), base + sep + "Vantrell");
    EXPECT_EQ(productFolder("tavro"), base + sep + "Vantrell" + sep + "tavro");
    EXPECT_EQ(skinsFolder("tavro"), base + sep + "Vantrell" + sep + "tavro" + sep + "Skins");
    EXPECT_EQ(scriptsFolder("Corvane"),
              base + sep + "Vantrell" + sep + "Corvane" + sep + "Scripts" + sep);
}

TEST_F(UserFolders, SkinsAreTheSubfoldersWithoutTheirBundleEnding) {
    EXPECT_TRUE(listSkins("tavro").empty());
    // Creates all three folders and may run again.
    ensureSkinFolders("tavro");
    ensureSkinFolders("tavro");
    const std::string skins = skinsFolder("tavro") + sep;
    fs::create_directory(skins + "Dark");
    fs::create_directory(skins + "Light.bundle");
    makeFile(skins + "Notes.txt");
    EXPECT_EQ(sorted(listSkins("tavro")), (std::vector<std::string>{"Dark", "Light"}));

    // Only a name longer than the ending loses it.
    fs::create_directory(skins + ".bundle");
    fs::create_directory(skins + "B.bundle");
    fs::create_directory(skins + "Old.bundle.bak");
    makeFile(skins + "File.bundle");
    EXPECT_EQ(sorted(listSkins("tavro")),
              (std::vector<std::string>{".bundle", "B", "Dark", "Light", "Old.bundle.bak"}));
}

TEST_F(UserFolders, SkinPathTriesTheNameThenTheBundleThenGivesUp) {
    ensureSkinFolders("tavro");
    const std::string skins = skinsFolder("tavro") + sep;
    fs::create_directory(skins + "Dark");
    fs::create_directory(skins + "Light.bundle");
    fs::create_directory(skins + "Both");
    fs::create_directory(skins + "Both.bundle");

    EXPECT_EQ(skinPath("Dark", "tavro"), skins + "Dark");
    EXPECT_EQ(skinPath("Light", "tavro"), skins + "Light.bundle");
    EXPECT_EQ(skinPath("Both", "tavro"), skins + "Both");
    EXPECT_EQ(skinPath("Missing", "tavro"), "");
    // The empty name is the built-in skin, never the skins folder itself.
    EXPECT_EQ(skinPath("", "tavro"), "");
}

TEST_F(UserFolders, UserScriptsAreTheLuaFilesOfTheScriptsFolder) {
    const std::string scripts = scriptsFolder("Corvane");
    fs::create_directories(scripts);
    makeFile(scripts + "a.lua");
    makeFile(scripts + "c.lua");
    makeFile(scripts + "b.txt");
    makeFile(scripts + "notes.lua.txt");
    fs::create_directory(scripts + "folder.lua");

    EXPECT_EQ(sorted(listUserScripts("Corvane")),
              (std::vector<std::string>{scripts + "a.lua", scripts + "c.lua"}));
    EXPECT_TRUE(listUserScripts("Other").empty());
}

}  // namespace
