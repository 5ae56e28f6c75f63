#include "platform/Preferences.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "TestEnvironment.h"
#include "platform/testing/TestAccess.h"

namespace {

using namespace platform;

// The system's store (registry or file) as the free functions reach it; each
// test starts without the product's key and leaves none behind.
class SystemPreferences : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::setEnvironmentVariable("XDG_CONFIG_HOME",
                                            platformtest::freshFolder("config").string().c_str());
        testsupport::deleteProductKey();
    }
    void TearDown() override { testsupport::deleteProductKey(); }

private:
    platformtest::SavedVariable configHome_{"XDG_CONFIG_HOME"};
};

TEST_F(SystemPreferences, AbsentValuesGiveTheDefaultsAndReadingCreatesNothing) {
    EXPECT_EQ(readIntPreference(kPrefOscBasePort, 7000), 7000);
    EXPECT_EQ(readIntPreference(kPrefDefaultInterfaceCategory, 0), 0);
    EXPECT_EQ(readIntPreference(kPrefEyeCandy, 1), 1);
    EXPECT_EQ(readIntPreference(kPrefConstantRedraw, 1), 1);
    EXPECT_EQ(readIntPreference(kPrefFloatingTooltip, 0), 0);
    std::string skin = "unchanged";
    readSkinPreference(skin);
    EXPECT_EQ(skin, "unchanged");

    EXPECT_FALSE(testsupport::productKeyExists());

    // With the key present, a missing value is still the default.
    writeIntPreference(kPrefOscBasePort, 9000);
    EXPECT_EQ(readIntPreference(kPrefEyeCandy, 1), 1);
    readSkinPreference(skin);
    EXPECT_EQ(skin, "unchanged");
}

TEST_F(SystemPreferences, IntegersRoundTripAndEachValueKeepsItsOwnName) {
    for (int value : {0, 1, 9000, -1, INT_MIN, INT_MAX}) {
        writeIntPreference(kPrefOscBasePort, value);
        EXPECT_EQ(readIntPreference(kPrefOscBasePort, 12345), value);
    }
    writeSkinPreference("Dark");
    writeIntPreference(kPrefEyeCandy, 0);
    writeIntPreference(kPrefConstantRedraw, 1);
    writeIntPreference(kPrefFloatingTooltip, 1);
    writeIntPreference(kPrefEyeCandy, 1);
    writeIntPreference(kPrefOscBasePort, 7100);

    EXPECT_EQ(readIntPreference(kPrefEyeCandy, -1), 1);
    EXPECT_EQ(readIntPreference(kPrefConstantRedraw, -1), 1);
    EXPECT_EQ(readIntPreference(kPrefFloatingTooltip, -1), 1);
    EXPECT_EQ(readIntPreference(kPrefOscBasePort, -1), 7100);
    std::string skin;
    readSkinPreference(skin);
    EXPECT_EQ(skin, "Dark");
}

TEST_F(SystemPreferences, SkinTextRoundTripsWhateverItHolds) {
    // The empty text is what "Default" in the dialog writes: stored, not
    // skipped.
    const std::string texts[] = {
        "Dark", "Light Blue = v2", "back\\slash\\", "two\nlines\r\n", "caf\xC3\xA9", "",
    };
    for (const std::string& text : texts) {
        writeSkinPreference(text);
        std::string read = "previous";
        readSkinPreference(read);
        EXPECT_EQ(read, text);
    }
    // As text, the value ends at a NUL byte, as a registry string does.
    writeSkinPreference(std::string("ab\0cd", 5));
    std::string read;
    readSkinPreference(read);
    EXPECT_EQ(read, "ab");
}

TEST_F(SystemPreferences, SkinIsReadUpTo255Characters) {
    std::string text;
    for (int i = 0; i < 300; ++i) {
        text += static_cast<char>('a' + i % 26);
    }
    for (std::size_t length : {254, 255, 256, 300}) {
        writeSkinPreference(text.substr(0, length));
        std::string read;
        readSkinPreference(read);
        EXPECT_EQ(read, text.substr(0, length < 255 ? length : 255)) << "length " << length;
    }
}

}  // namespace
