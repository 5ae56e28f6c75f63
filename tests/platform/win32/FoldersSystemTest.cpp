// appDataFolder on Windows reads APPDATA and USERNAME as the C runtime sees
// them.

#include <gtest/gtest.h>

#include "TestEnvironment.h"
#include "platform/Folders.h"
#include "platform/testing/TestAccess.h"

namespace {

using namespace platform;
using testsupport::setEnvironmentVariable;

TEST(AppDataFolderOnWindows, ComesFromAppDataThenUserNameThenNothing) {
    platformtest::SavedVariable appData("APPDATA");
    platformtest::SavedVariable userName("USERNAME");

    setEnvironmentVariable("APPDATA", "D:\\Roaming");
    setEnvironmentVariable("USERNAME", "alice");
    EXPECT_EQ(appDataFolder(), "D:\\Roaming");

    setEnvironmentVariable("APPDATA", nullptr);
    EXPECT_EQ(appDataFolder(), "C:\\Documents and Settings\\alice\\Application Data");
    EXPECT_EQ(skinsFolder("tavro"),
              "C:\\Documents and Settings\\alice\\Application Data\\Vantrell\\tavro\\Skins");

    setEnvironmentVariable("USERNAME", nullptr);
    EXPECT_EQ(appDataFolder(), "");
    EXPECT_EQ(skinsFolder("tavro"), "\\Vantrell\\tavro\\Skins");
}

}  // namespace
