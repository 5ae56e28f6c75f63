// Parameters set by name through the plug-in's VST 2.4 interface alone:
// tavro's, which it reads from texts as it shows them, and the fake
// instrument's, whose Level reads no texts.

#include "host/ParameterByName.h"
#include "host/VstHost.h"
#include "plugin/ParameterTable.h"

#include "FakeInstrumentLog.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

std::unique_ptr<host::VstHost> loadTavro() {
    auto plugin = std::make_unique<host::VstHost>();
    std::string error;
    EXPECT_TRUE(plugin->load(TAVRO_PLUGIN_PATH, error)) << error;
    plugin->dispatch(effOpen);
    return plugin;
}

// The message of a setting refused; "" when it was taken.
std::string errorOf(host::VstHost& plugin, const std::string& setting) {
    std::string name, value, error;
    if (!host::splitParameterSetting(setting, name, value))
        return "not Name=value";
    return host::setParameterByName(plugin, name, value, error) ? "" : error;
}

// What tavro reads from the normalized value it holds.
float nativeOf(host::VstHost& plugin, int index) {
    return normalizedToNative(parameterTable()[index], plugin.getParameter(index));
}

TEST(ParameterByName, TavroReadsItsValueTextsAndNumbersInItsUnits) {
    auto tavro = loadTavro();
    struct Case {
        const char* setting;
        int index;
        float native;
    };
    const Case cases[] = {
        {"MIDI Channel=Omni", kParamMidiChannel, 17},
        {"Softly=automatic", kParamSoftly, 0},
        {"Swing Type=8", kParamSwingType, 1},  // the text "8", not the number
        {"Balance=Off", kParamBalance, 1},
        {"Balance=0.5", kParamBalance, 0.5f},
        {"Clock Offset=-10", kParamClockOffset, -10},
        {"  midi channel =  omni ", kParamMidiChannel, 17},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(errorOf(*tavro, c.setting), "") << c.setting;
        EXPECT_NEAR(nativeOf(*tavro, c.index), c.native, 1e-4) << c.setting;
    }
}

TEST(ParameterByName, EveryWholeValueOfTavrosIndexedParametersArrivesExactly) {
    auto tavro = loadTavro();
    for (int index = 0; index < kNumParameters; ++index) {
        const ParameterDescriptor& row = parameterTable()[index];
        if (row.unit != kUnitIndexed && row.unit != kUnitBoolean)
            continue;
        // By the name the plug-in gives ("Interface Categ": cut to 15).
        const std::string name = tavro->parameterName(index);
        for (int v = static_cast<int>(row.minimum); v <= static_cast<int>(row.maximum); ++v) {
            ASSERT_EQ(errorOf(*tavro, name + "=" + std::to_string(v)), "") << name << "=" << v;
            EXPECT_EQ(nativeOf(*tavro, index), static_cast<float>(v)) << name << "=" << v;
        }
    }
}

TEST(ParameterByName, AFullNameFindsTheNameThePlugInCutShort) {
    auto tavro = loadTavro();
    EXPECT_EQ(errorOf(*tavro, "Interface Category=1"), "");
    EXPECT_EQ(nativeOf(*tavro, kParamInterfaceCategory), 1.0f);
    EXPECT_NE(errorOf(*tavro, "Test Enable Extra=1"), "");  // not cut: no match
}

TEST(ParameterByName, WhatTavroDoesNotTakeIsExplainedAndChangesNothing) {
    auto tavro = loadTavro();
    const std::string unknown = errorOf(*tavro, "Chanel=5");
    EXPECT_NE(unknown.find("no parameter 'Chanel'; its parameters are: Output Level, Phase"),
              std::string::npos)
        << unknown;
    EXPECT_NE(unknown.find("Send SPP Zero"), std::string::npos) << unknown;
    EXPECT_EQ(errorOf(*tavro, "MIDI Channel=18"),
              "the plug-in does not take '18' for MIDI Channel: it shows 'Off' at its lowest "
              "setting and 'Omni' at its highest; now 'Omni'");
    EXPECT_NE(errorOf(*tavro, "Clock Offset=-100.5")
                  .find("'-100.0 ms' at its lowest setting and '100.0 ms' at its highest"),
              std::string::npos);
    EXPECT_NE(errorOf(*tavro, "MIDI Channel=2.5"), "");
    EXPECT_NE(errorOf(*tavro, "Swing=nan"), "");
    EXPECT_NE(errorOf(*tavro, "Swing="), "");
    EXPECT_EQ(nativeOf(*tavro, kParamMidiChannel), 17);
    EXPECT_EQ(tavro->parameterDisplay(kParamSwing), "50.00");
}

TEST(ParameterByName, APlugInThatIsNotTavroIsSetByItsOwnNames) {
    auto fake = fake::loadFake();
    EXPECT_EQ(errorOf(*fake, "level=0.25"), "");  // reads no texts: normalized
    EXPECT_EQ(fake->getParameter(0), 0.25f);
    EXPECT_EQ(errorOf(*fake, "Mode=Hard"), "");  // read by the plug-in
    EXPECT_EQ(fake->parameterDisplay(1), "Hard");
    EXPECT_EQ(errorOf(*fake, "Level=75"), "");  // a text Level shows
    EXPECT_EQ(fake->parameterDisplay(0), "75");
    const fake::Log log = fake::readLog(*fake);
    EXPECT_EQ(log.lines.front(), "param 0 0.25");
    EXPECT_EQ(log.lines[1], "param 1 1");

    EXPECT_EQ(errorOf(*fake, "Volume=1"),
              "the plug-in has no parameter 'Volume'; its parameters are: Level, Mode");
    EXPECT_EQ(errorOf(*fake, "Mode=Loud"),
              "the plug-in does not take 'Loud' for Mode: it shows 'Soft' at its lowest setting "
              "and 'Hard' at its highest; now 'Hard'");
    EXPECT_EQ(errorOf(*fake, "Level=loud"),
              "the plug-in reads no value texts for Level and never shows 'loud': give a number "
              "from 0 to 1, the host's normalized value (it shows '0 %' at its lowest setting "
              "and '100 %' at its highest; now '75 %')");
}

}  // namespace
