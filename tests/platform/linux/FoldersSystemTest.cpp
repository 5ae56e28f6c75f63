// appDataFolder on Linux: XDG_DATA_HOME when it is absolute, else the home
// folder's .local/share.

#include <gtest/gtest.h>

#include "TestEnvironment.h"
#include "platform/Folders.h"
#include "platform/testing/TestAccess.h"

namespace {

using namespace platform;
using testsupport::setEnvironmentVariable;

TEST(AppDataFolderOnLinux, ComesFromXdgDataHomeThenHome) {
    platformtest::SavedVariable dataHome("XDG_DATA_HOME");
    platformtest::SavedVariable home("HOME");

    setEnvironmentVariable("XDG_DATA_HOME", "/srv/data");
    setEnvironmentVariable("HOME", "/home/alice");
    EXPECT_EQ(appDataFolder(), "/srv/data");

    setEnvironmentVariable("XDG_DATA_HOME", nullptr);
    EXPECT_EQ(appDataFolder(), "/home/alice/.local/share");
    EXPECT_EQ(skinsFolder("tavro"), "/home/alice/.local/share/Vantrell/tavro/Skins");

    // Relative values are not to be used, by the XDG rules.
    setEnvironmentVariable("XDG_DATA_HOME", "data");
    EXPECT_EQ(appDataFolder(), "/home/alice/.local/share");
}

}  // namespace
