#include <gtest/gtest.h>

#include <cstring>

#include "plugin/ParameterTable.h"
#include "plugin/ZephProgram.h"

namespace {

float toNative(int index, float normalized) {
    return normalizedToNative(parameterTable()[index], normalized);
}

std::string display(int index, float normalized) {
    return parameterDisplayText(index, toNative(index, normalized));
}

TEST(ParameterConversion, IndexedValuesRoundToTheNearestStep) {
    EXPECT_EQ(toNative(kParamMidiChannel, 1.0f), 17.0f);
    EXPECT_EQ(display(kParamMidiChannel, 1.0f), "Omni");
    EXPECT_EQ(toNative(kParamMidiChannel, 0.02f), 0.0f);  // floor(0.34 + 0.5)
    EXPECT_EQ(display(kParamMidiChannel, 0.02f), "Off");
    EXPECT_EQ(toNative(kParamMidiChannel, 0.03f), 1.0f);
    EXPECT_EQ(display(kParamMidiChannel, 0.03f), "1");
    EXPECT_EQ(toNative(kParamOscPortOffset, 0.01f), 1.0f);
}

TEST(ParameterConversion, BooleansAreNotRounded) {
    EXPECT_FLOAT_EQ(toNative(kParamPhaseInvert, 0.3f), 0.3f);
    EXPECT_EQ(display(kParamPhaseInvert, 0.3f), "On");
    EXPECT_EQ(display(kParamPhaseInvert, 0.0f), "Off");
}

TEST(ParameterConversion, LinearRoundTrip) {
    const auto& offset = parameterTable()[kParamClockOffset];
    EXPECT_FLOAT_EQ(normalizedToNative(offset, 0.25f), -50.0f);
    EXPECT_FLOAT_EQ(nativeToNormalized(offset, -50.0f), 0.25f);
}

TEST(ParameterConversion, HertzIsExponential) {
    ParameterDescriptor hertz{"f", kUnitHertz, 20, 20000, {1000}};
    EXPECT_NEAR(normalizedToNative(hertz, 0.5f), 632.456f, 0.01f);
    EXPECT_NEAR(nativeToNormalized(hertz, 632.456f), 0.5f, 1e-5f);
}

TEST(ParameterDisplay, NumbersFollowTheMagnitudeRules) {
    EXPECT_EQ(display(kParamClockOffset, 0.25f), "-50.00");
    EXPECT_STREQ(parameterUnitLabel(parameterTable()[kParamClockOffset].unit), "ms");
    EXPECT_EQ(parameterDisplayText(kParamTestInterval, 125.0f), "125.0");
    EXPECT_EQ(parameterDisplayText(kParamTestInterval, 1000.0f), "1000");
    EXPECT_EQ(parameterDisplayText(kParamSwing, 50.0f), "50.00");
    EXPECT_EQ(
        parameterDisplayText(kParamSoftness, parameterTable()[kParamSoftness].defaultNative()),
        "0.771");
}

TEST(ParameterDisplay, SpecialTextsShowOff) {
    EXPECT_EQ(display(kParamOscPortOffset, 0.0f), "Off");
    EXPECT_EQ(display(kParamOscPortOffset, 0.01f), "1");
    EXPECT_EQ(parameterDisplayText(kParamSpace, 0.0f), "Off");
    EXPECT_EQ(parameterDisplayText(kParamSpace, 2.0f), "2");
    EXPECT_EQ(parameterDisplayText(kParamBalance, 1.0f), "Off");
    EXPECT_EQ(parameterDisplayText(kParamBalance, 0.5f), "0.500");
    EXPECT_STREQ(parameterUnitLabel(parameterTable()[kParamBalance].unit), "seconds");
    std::string text;
    EXPECT_FALSE(parameterSpecialText(kParamSwing, 0.0f, text));
    EXPECT_FALSE(parameterHasSpecialTexts(kParamSwing));
}

TEST(ParameterDisplay, OutOfListValuesShowTheNumberWithinEightBytes) {
    // A restored state can hold any value; the list must not be overrun.
    EXPECT_EQ(parameterDisplayText(kParamMidiChannel, 40.0f), "40");
    EXPECT_EQ(parameterDisplayText(kParamMidiChannel, -3.0f), "-3");
    EXPECT_LE(parameterDisplayText(kParamMessageByte1, 123456789.0f).size(), 7u);
    EXPECT_EQ(parameterDisplayText(28, 1.0f), "");
    EXPECT_EQ(parameterDisplayText(-1, 1.0f), "");
}

TEST(ParameterNames, ShortAndSpaceFreeForms) {
    EXPECT_EQ(parameterShortName(kParamInterfaceCategory), "Interface Categ");
    EXPECT_EQ(parameterNameWithoutSpaces(0), "OutputLevel");
    EXPECT_EQ(parameterNameWithoutSpaces(2), "MIDIChannel");
    EXPECT_EQ(parameterNameWithoutSpaces(27), "SendSPPZero");
    EXPECT_EQ(parameterShortName(28), "");
}

TEST(ParameterValueStrings, ListsExistOnlyForTheSevenIndexedParameters) {
    int withList = 0;
    for (int i = 0; i < kNumParameters; ++i)
        if (parameterValueStrings(i))
            ++withList;
    EXPECT_EQ(withList, 7);
    EXPECT_EQ(parameterValueStrings(kParamMidiChannel)->size(), 18u);
    EXPECT_EQ(parameterValueStrings(kParamChannelise)->size(), 17u);
    EXPECT_EQ(parameterValueStrings(kParamTestType)->at(3), "Clocks + SPP");
    // Built once: every request shares the same list.
    EXPECT_EQ(parameterValueStrings(kParamSoftly), parameterValueStrings(kParamSoftly));
}

TEST(InterfaceCategoryPreference, IsClampedIntoTheTable) {
    auto& row = parameterTable()[kParamInterfaceCategory];
    applyInterfaceCategoryPreference(5);
    EXPECT_EQ(row.defaultNative(), 1.0f);
    applyInterfaceCategoryPreference(-3);
    EXPECT_EQ(row.defaultNative(), 0.0f);
}

TEST(ZephProgramBasic, NameKeepsAtMost31Characters) {
    ZephProgramBasic program;
    program.setName("0123456789012345678901234567890123456789");
    EXPECT_EQ(std::strlen(program.getName()), 31u);
    program.setParameter(28, 5.0f);  // ignored, not written past the array
    EXPECT_EQ(program.getParameter(28), 0.0f);
    EXPECT_EQ(program.valuePointer(-1), nullptr);
}

}  // namespace
