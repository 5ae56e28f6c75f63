// The plug-in in a host that set the process's locale from a German
// desktop, as hosts built on GTK or Qt do: numbers still read and show with
// a point, in the host's calls and in user scripts.

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>

#include "PluginHome.h"
#include "host/VstHost.h"

namespace {

constexpr VstInt32 kOutputLevel = 0;
constexpr VstInt32 kSwing = 4;
constexpr VstInt32 kBalance = 24;

class InAGermanHost : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(home_.oscBasePort(), 0);
        if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
            GTEST_SKIP() << "the de_DE.UTF-8 locale is not installed (scripts/setup.sh makes it)";
        char text[16];
        std::snprintf(text, sizeof text, "%.1f", 0.5);
        ASSERT_STREQ(text, "0,5") << "the host's locale did not take";
    }
    void TearDown() override {
        host_.close();
        std::setlocale(LC_ALL, "C");
    }
    void load() {
        std::string error;
        ASSERT_TRUE(host_.load(TAVRO_PLUGIN_PATH, error)) << error;
        host_.dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
        host_.dispatch(effSetBlockSize, 0, 256);
        host_.resume();
    }

    pluginhome::PluginHome home_{testing::UnitTest::GetInstance()->current_test_info()->name()};
    host::VstHost host_;
};

TEST_F(InAGermanHost, ParameterTextsShowAPoint) {
    load();
    host_.setParameter(kBalance, 0.5f);
    EXPECT_EQ(host_.dispatchText(effGetParamDisplay, kBalance), "0.500");
    host_.setParameter(kSwing, 0.125f);
    EXPECT_EQ(host_.dispatchText(effGetParamDisplay, kSwing), "12.50");
    // The host's own thread keeps its locale outside the plug-in's calls.
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", 0.5);
    EXPECT_STREQ(text, "0,5");
}

TEST_F(InAGermanHost, ScriptsReadAndWriteNumbersWithAPoint) {
    home_.addScript("numbers.lua", R"(
        setParameter('Output Level', tonumber("0.5"))
        setParameter('Swing', tonumber(tostring(12.5)))
    )");
    load();
    EXPECT_FLOAT_EQ(host_.getParameter(kOutputLevel), 0.5f);
    EXPECT_FLOAT_EQ(host_.getParameter(kSwing), 0.125f);
}

}  // namespace
