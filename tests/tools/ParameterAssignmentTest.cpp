#include "render/ParameterAssignment.h"

#include "plugin/ParameterTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

namespace {

using render::parseParameterAssignment;

std::string errorOf(const std::string& setting) {
    try {
        parseParameterAssignment(setting);
    } catch (const std::invalid_argument& e) {
        return e.what();
    }
    return "no error";
}

// What the plug-in will read back from the normalized value it is given.
float nativeSeen(const render::ParameterAssignment& a) {
    return normalizedToNative(parameterTable()[a.index], a.normalized);
}

TEST(ParameterAssignment, ValueTextsAndNumbersInNativeUnits) {
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
        const auto a = parseParameterAssignment(c.setting);
        EXPECT_EQ(a.index, c.index) << c.setting;
        EXPECT_EQ(a.native, c.native) << c.setting;
        EXPECT_NEAR(nativeSeen(a), c.native, 1e-4) << c.setting;
    }
}

TEST(ParameterAssignment, EveryWholeValueOfAnIndexedParameterArrivesExactly) {
    for (int index = 0; index < kNumParameters; ++index) {
        const ParameterDescriptor& row = parameterTable()[index];
        if (row.unit != kUnitIndexed && row.unit != kUnitBoolean)
            continue;
        for (int v = static_cast<int>(row.minimum); v <= static_cast<int>(row.maximum); ++v) {
            const auto a =
                parseParameterAssignment(std::string(row.name) + "=" + std::to_string(v));
            EXPECT_EQ(nativeSeen(a), static_cast<float>(v)) << row.name << "=" << v;
        }
    }
}

TEST(ParameterAssignment, MistakesAreExplained) {
    EXPECT_NE(errorOf("MIDI Channel").find("Name=value"), std::string::npos);
    const std::string unknown = errorOf("Chanel=5");
    EXPECT_NE(unknown.find("unknown parameter 'Chanel'"), std::string::npos) << unknown;
    EXPECT_NE(unknown.find("MIDI Channel"), std::string::npos) << unknown;
    EXPECT_NE(unknown.find("Send SPP Zero"), std::string::npos) << unknown;

    const std::string range = errorOf("MIDI Channel=18");
    EXPECT_NE(range.find("out of range"), std::string::npos) << range;
    EXPECT_NE(range.find("Omni"), std::string::npos) << range;
    EXPECT_NE(range.find("from 0 to 17"), std::string::npos) << range;
    EXPECT_NE(errorOf("MIDI Channel=2.5").find("out of range"), std::string::npos);
    EXPECT_NE(errorOf("Clock Offset=-100.5").find("from -100 to 100 (ms)"), std::string::npos);
    const std::string word = errorOf("Softly=Maybe");
    EXPECT_NE(word.find("'Maybe' is not a value of Softly"), std::string::npos) << word;
    EXPECT_NE(word.find("Automatic, On, Off"), std::string::npos) << word;
    EXPECT_NE(errorOf("Swing=nan").find("not a value"), std::string::npos);
    EXPECT_NE(errorOf("Swing=").find("not a value"), std::string::npos);
}

}  // namespace
