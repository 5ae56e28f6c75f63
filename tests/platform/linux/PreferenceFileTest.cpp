// The Linux preference file: where it goes, what survives in it, and that
// writes are whole.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "TestEnvironment.h"
#include "platform/Preferences.h"
#include "platform/testing/TestAccess.h"

namespace {

namespace fs = std::filesystem;
using namespace platform;

class PreferenceFile : public ::testing::Test {
protected:
    void SetUp() override { useConfigHome(platformtest::freshFolder("config") / "xdg"); }

    void useConfigHome(const fs::path& folder) {
        configHome = folder;
        testsupport::setEnvironmentVariable("XDG_CONFIG_HOME", folder.string().c_str());
    }

    fs::path file() const { return configHome / "Vantrell" / "com.vantrell.tavro"; }

    void writeFile(const std::string& content) {
        fs::create_directories(file().parent_path());
        std::ofstream(file(), std::ios::binary) << content;
    }

    std::string readFile() const {
        std::ifstream in(file(), std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        return content.str();
    }

    fs::path configHome;

private:
    platformtest::SavedVariable saved_{"XDG_CONFIG_HOME"};
    platformtest::SavedVariable savedHome_{"HOME"};
};

TEST_F(PreferenceFile, WritingCreatesTheFoldersAndLeavesOnlyTheFile) {
    writeIntPreference(kPrefOscBasePort, 9000);
    writeSkinPreference("a\\b\nc=d");
    EXPECT_EQ(readFile(), "OSC Base Port=9000\nSkin=a\\\\b\\nc=d\n");

    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(file().parent_path())) {
        names.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(names, std::vector<std::string>{"com.vantrell.tavro"});
}

TEST_F(PreferenceFile, BadLinesAreIgnoredOnReadingAndKeptOnWriting) {
    writeFile(
        "garbage without separator\n"
        "=no name\n"
        "OSC Base Port=not a number\n"
        "Enable eye candy=0\n"
        "Bad\\qescape=1\n"
        "Enable constant redraw=99999999999\n"
        "Enable floating tooltip=12abc\n"
        "Default interface category= 1\n"
        "Skin=trailing backslash\\\n");
    EXPECT_EQ(readIntPreference(kPrefOscBasePort, 7000), 7000);
    EXPECT_EQ(readIntPreference(kPrefEyeCandy, 1), 0);
    EXPECT_EQ(readIntPreference(kPrefConstantRedraw, 1), 1);
    EXPECT_EQ(readIntPreference(kPrefFloatingTooltip, 0), 0);
    EXPECT_EQ(readIntPreference(kPrefDefaultInterfaceCategory, 0), 1);
    std::string skin = "unchanged";
    readSkinPreference(skin);
    EXPECT_EQ(skin, "unchanged");

    writeIntPreference(kPrefFloatingTooltip, 1);
    const std::string after = readFile();
    EXPECT_NE(after.find("garbage without separator\n"), std::string::npos);
    EXPECT_NE(after.find("Bad\\qescape=1\n"), std::string::npos);
    EXPECT_NE(after.find("Enable floating tooltip=1\n"), std::string::npos);
    EXPECT_EQ(after.find("12abc"), std::string::npos);
    EXPECT_EQ(readIntPreference(kPrefEyeCandy, 1), 0);
}

TEST_F(PreferenceFile, RepeatedNamesAndBinaryJunkAreSurvived) {
    // The last of repeated names counts, and a write leaves one.
    writeFile("OSC Base Port=1\r\nOSC Base Port=2\r\n");
    EXPECT_EQ(readIntPreference(kPrefOscBasePort, 7000), 2);
    writeIntPreference(kPrefOscBasePort, 3);
    EXPECT_EQ(readFile(), "OSC Base Port=3\n");

    std::string junk;
    for (int i = 0; i < 4096; ++i) {
        junk += static_cast<char>((i * 7919) % 256);
    }
    writeFile(junk);
    EXPECT_EQ(readIntPreference(kPrefOscBasePort, 7000), 7000);
    writeIntPreference(kPrefOscBasePort, 9000);
    EXPECT_EQ(readIntPreference(kPrefOscBasePort, 7000), 9000);
}

TEST_F(PreferenceFile, ARelativeConfigHomeIsIgnoredForTheHomeFolder) {
    const fs::path home = platformtest::freshFolder("home");
    testsupport::setEnvironmentVariable("HOME", home.string().c_str());
    testsupport::setEnvironmentVariable("XDG_CONFIG_HOME", "relative/config");
    writeIntPreference(kPrefOscBasePort, 9000);
    EXPECT_TRUE(fs::exists(home / ".config" / "Vantrell" / "com.vantrell.tavro"));
    EXPECT_FALSE(fs::exists("relative"));
}

TEST_F(PreferenceFile, ConcurrentWritersLoseNoValue) {
    const char* names[] = {kPrefOscBasePort, kPrefEyeCandy, kPrefConstantRedraw,
                           kPrefFloatingTooltip};
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([&names, t] {
            for (int i = 1; i <= 20; ++i) {
                writeIntPreference(names[t], t * 100 + i);
            }
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    for (int t = 0; t < 4; ++t) {
        EXPECT_EQ(readIntPreference(names[t], -1), t * 100 + 20) << names[t];
    }
}

}  // namespace
