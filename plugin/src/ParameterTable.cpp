#include "plugin/ParameterTable.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// Bits 0x3F455E9F: 34000/44100 rounded to float; the Softly filter's cutoff
// ratio at 44.1 kHz.
constexpr float kSoftnessDefault = 0.77097505f;

ParameterDescriptor gTable[kNumParameters] = {
    {"Output Level", kUnitGeneric, 0, 1, {1}},
    {"Phase Invert", kUnitBoolean, 0, 1, {0}},
    {"MIDI Channel", kUnitIndexed, 0, 17, {17}},
    {"Clock", kUnitBoolean, 0, 1, {0}},
    {"Swing", kUnitPercent, 0, 100, {50}},
    {"Swing Type", kUnitIndexed, 0, 1, {0}},
    {"Unused0", kUnitIndexed, 0, 3, {0}},
    {"Unused1", kUnitIndexed, 0, 39, {0}},
    {"Unused2", kUnitPercent, 0, 100, {50}},
    {"Unused3", kUnitIndexed, 0, 1, {0}},
    {"Clock Offset", kUnitMilliseconds, -100, 100, {0}},
    {"Unused4", kUnitMilliseconds, -100, 100, {0}},
    {"Channelise", kUnitIndexed, 0, 16, {0}},
    {"Use MIDI SPP", kUnitBoolean, 0, 1, {0}},
    {"Interface Category", kUnitIndexed, 0, 1, {0}},
    {"OSC Port Offset", kUnitIndexed, 0, 100, {0}},
    {"Test Enable", kUnitBoolean, 0, 1, {0}},
    {"Test Mode", kUnitIndexed, 0, 1, {0}},
    {"Test Interval", kUnitMilliseconds, 1, 1000, {125}},
    {"Test Type", kUnitIndexed, 0, 5, {0}},
    {"Message Byte 1", kUnitIndexed, 0, 255, {144}},
    {"Message Byte 2", kUnitIndexed, 0, 255, {64}},
    {"Message Byte 3", kUnitIndexed, 0, 255, {64}},
    {"Space", kUnitIndexed, 0, 20, {0}},
    {"Balance", kUnitSeconds, 0, 1, {1}},
    {"Softly", kUnitIndexed, 0, 2, {0}},
    {"Softness", kUnitGeneric, 0, 1, {kSoftnessDefault}},
    {"Send SPP Zero", kUnitBoolean, 0, 1, {0}},
};

// Texts of this length or more are never copied out.
constexpr std::size_t kMaxDisplayText = 24;

std::shared_ptr<const ValueStringList> makeList(std::initializer_list<const char*> items) {
    return std::make_shared<const ValueStringList>(items.begin(), items.end());
}

std::shared_ptr<const ValueStringList> channelList(bool withOmni) {
    auto list = std::make_shared<ValueStringList>();
    list->push_back("Off");
    for (int channel = 1; channel <= 16; ++channel)
        list->push_back(std::to_string(channel));
    if (withOmni)
        list->push_back("Omni");
    return list;
}

std::string formatMagnitude(float x) {
    char text[64];
    const char* format = x < 10 ? "%.3f" : x < 100 ? "%.2f" : x < 1000 ? "%.1f" : "%.0f";
    std::snprintf(text, sizeof text, format, static_cast<double>(x));
    return text;
}

}  // namespace

ParameterDescriptor* parameterTable() {
    return gTable;
}

void applyInterfaceCategoryPreference(int preference) {
    const int clamped = std::clamp(preference, 0, 1);
    gTable[kParamInterfaceCategory].defaultValue.store(static_cast<float>(clamped),
                                                       std::memory_order_relaxed);
}

float normalizedToNative(const ParameterDescriptor& row, float v) {
    switch (row.unit) {
        case kUnitHertz:
            return std::exp(std::log(row.maximum / row.minimum) * v) * row.minimum;
        case kUnitIndexed:
        case kUnitBeats:
            return std::floor((row.maximum - row.minimum) * v + row.minimum + 0.5f);
        default:
            return (row.maximum - row.minimum) * v + row.minimum;
    }
}

float nativeToNormalized(const ParameterDescriptor& row, float native) {
    if (row.unit == kUnitHertz)
        return std::log2(native / row.minimum) / std::log2(row.maximum / row.minimum);
    return (native - row.minimum) / (row.maximum - row.minimum);
}

std::shared_ptr<const ValueStringList> parameterValueStrings(int index) {
    switch (index) {
        case kParamMidiChannel: {
            static const auto list = channelList(true);
            return list;
        }
        case kParamSwingType: {
            static const auto list = makeList({"16", "8"});
            return list;
        }
        case kParamChannelise: {
            static const auto list = channelList(false);
            return list;
        }
        case kParamInterfaceCategory: {
            static const auto list = makeList({"Cat A", "Cat B"});
            return list;
        }
        case kParamTestMode: {
            static const auto list = makeList({"Continuous", "One Shot"});
            return list;
        }
        case kParamTestType: {
            static const auto list = makeList({"Notes (Random)", "Notes (Exhaustive)", "Clocks",
                                               "Clocks + SPP", "Message", "Sysex"});
            return list;
        }
        case kParamSoftly: {
            static const auto list = makeList({"Automatic", "On", "Off"});
            return list;
        }
        default:
            return nullptr;
    }
}

bool parameterHasSpecialTexts(int index) {
    return index == kParamOscPortOffset || index == kParamSpace || index == kParamBalance;
}

bool parameterSpecialText(int index, float native, std::string& text) {
    const bool off = ((index == kParamOscPortOffset || index == kParamSpace) && native == 0.0f) ||
                     (index == kParamBalance && native == 1.0f);
    if (!off)
        return false;
    text = "Off";
    return true;
}

const char* parameterUnitLabel(std::int32_t unit) {
    switch (unit) {
        case kUnitPercent:
            return "%";
        case kUnitSeconds:
            return "seconds";
        case kUnitHertz:
            return "Hz";
        case kUnitCents:
            return "cents";
        case kUnitDecibels:
            return "dB";
        case kUnitPan:
            return "L/R";
        case kUnitBPM:
            return "BPM";
        case kUnitBeats:
            return "beats";
        case kUnitMilliseconds:
            return "ms";
        default:
            return "";
    }
}

std::string parameterDisplayText(int index, float x) {
    if (!isValidParameterIndex(index))
        return "";
    const ParameterDescriptor& row = gTable[index];
    std::string special;
    const bool hasSpecial =
        parameterSpecialText(index, x, special) && special.size() < kMaxDisplayText;

    if (row.unit == kUnitIndexed) {
        if (auto list = parameterValueStrings(index)) {
            // A restored state may hold any number here: show it rather than
            // read outside the list.
            const double position = std::trunc(static_cast<double>(x));
            if (position >= 0 && position < static_cast<double>(list->size())) {
                const std::string& item = (*list)[static_cast<std::size_t>(position)];
                return item.size() < kMaxDisplayText ? item : std::string();
            }
        } else if (hasSpecial) {
            return special;
        }
        char number[8];  // the host's short buffer: never more than 8 bytes
        const double truncated = std::trunc(static_cast<double>(x));
        const long value = std::isfinite(truncated) && std::fabs(truncated) < 1e9
                               ? static_cast<long>(truncated)
                               : 0;
        std::snprintf(number, sizeof number, "%ld", value);
        return number;
    }
    if (row.unit == kUnitBoolean)
        return x != 0.0f ? "On" : "Off";
    if (hasSpecial)
        return special;
    return x >= 0 ? formatMagnitude(x) : "-" + formatMagnitude(-x);
}

std::string parameterShortName(int index, std::size_t maxChars) {
    if (!isValidParameterIndex(index))
        return "";
    return std::string(gTable[index].name).substr(0, maxChars);
}

std::string parameterNameWithoutSpaces(int index) {
    if (!isValidParameterIndex(index))
        return "";
    std::string name = gTable[index].name;
    name.erase(std::remove(name.begin(), name.end(), ' '), name.end());
    return name;
}
