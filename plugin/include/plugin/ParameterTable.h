#pragma once
// The 28 parameters: one process-wide table of descriptors, the conversions
// between the host's normalized 0..1 values and native units, and the texts
// shown for a value. Every other layer names a parameter by its index here.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// AudioUnit parameter unit numbering.
enum ParameterUnit : std::int32_t {
    kUnitGeneric = 0,
    kUnitIndexed = 1,
    kUnitBoolean = 2,
    kUnitPercent = 3,
    kUnitSeconds = 4,
    kUnitHertz = 8,
    kUnitCents = 9,
    kUnitDecibels = 13,
    kUnitPan = 18,
    kUnitBPM = 22,
    kUnitBeats = 23,
    kUnitMilliseconds = 24,
};

enum ParameterIndex : int {
    kParamOutputLevel = 0,
    kParamPhaseInvert = 1,
    kParamMidiChannel = 2,
    kParamClock = 3,
    kParamSwing = 4,
    kParamSwingType = 5,
    kParamUnused0 = 6,
    kParamUnused1 = 7,
    kParamUnused2 = 8,
    kParamUnused3 = 9,
    kParamClockOffset = 10,
    kParamUnused4 = 11,
    kParamChannelise = 12,
    kParamUseMidiSpp = 13,
    kParamInterfaceCategory = 14,
    kParamOscPortOffset = 15,
    kParamTestEnable = 16,
    kParamTestMode = 17,
    kParamTestInterval = 18,
    kParamTestType = 19,
    kParamMessageByte1 = 20,
    kParamMessageByte2 = 21,
    kParamMessageByte3 = 22,
    kParamSpace = 23,
    kParamBalance = 24,
    kParamSoftly = 25,
    kParamSoftness = 26,
    kParamSendSppZero = 27,
};

inline constexpr int kNumParameters = 28;

inline bool isValidParameterIndex(int index) {
    return index >= 0 && index < kNumParameters;
}

// One row of the table. The default is atomic because construction of a new
// instance rewrites the Interface Category default while other instances'
// threads may read the table.
struct ParameterDescriptor {
    const char* name;
    std::int32_t unit;
    float minimum;
    float maximum;
    std::atomic<float> defaultValue;

    float defaultNative() const { return defaultValue.load(std::memory_order_relaxed); }
};

// The process-wide table, 28 rows in index order. [any-thread]
ParameterDescriptor* parameterTable();

// Clamps the "Default interface category" preference into the row-14
// default. [main-thread]
void applyInterfaceCategoryPreference(int preference);

// normalized -> native: hertz exponential, indexed and beats rounded to
// the nearest whole value, everything else linear. Inputs are not clamped.
float normalizedToNative(const ParameterDescriptor& row, float normalized);
float nativeToNormalized(const ParameterDescriptor& row, float native);

using ValueStringList = std::vector<std::string>;
// The immutable value-string list of an indexed parameter, built once per
// process on first request; null for parameters without one. [any-thread]
std::shared_ptr<const ValueStringList> parameterValueStrings(int index);

// The special text of a value (property 33): "Off" for OSC Port Offset and
// Space at exactly 0, and for Balance at exactly 1. Returns false when the
// value has no special text; `hasSpecialTexts` tells whether the parameter
// has any at all.
bool parameterSpecialText(int index, float native, std::string& text);
bool parameterHasSpecialTexts(int index);

// Unit label: "%", "seconds", "Hz", "cents", "dB", "L/R", "BPM", "beats",
// "ms" or "".
const char* parameterUnitLabel(std::int32_t unit);

// Display text of a native value, as the host and the editor show it.
std::string parameterDisplayText(int index, float native);

// Name cut to at most `maxChars` characters.
std::string parameterShortName(int index, std::size_t maxChars = 15);

// Name without spaces, for OSC addresses ("OutputLevel", "SendSPPZero").
std::string parameterNameWithoutSpaces(int index);
