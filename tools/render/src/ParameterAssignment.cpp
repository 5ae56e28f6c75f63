#include "render/ParameterAssignment.h"

#include "plugin/ParameterTable.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace render {

namespace {

std::string lower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

std::string trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "";
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

std::string number(float x) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(x));
    return text;
}

int findParameter(const std::string& name) {
    const ParameterDescriptor* table = parameterTable();
    for (int i = 0; i < kNumParameters; ++i) {
        if (name == table[i].name)
            return i;
    }
    int found = -1;
    for (int i = 0; i < kNumParameters; ++i) {
        if (lower(name) == lower(table[i].name)) {
            if (found >= 0)
                return -1;
            found = i;
        }
    }
    return found;
}

std::string parameterNames() {
    std::string names;
    for (int i = 0; i < kNumParameters; ++i) {
        names += i == 0 ? "" : ", ";
        names += parameterTable()[i].name;
    }
    return names;
}

// The value texts a parameter accepts, each with its native value.
std::vector<std::pair<std::string, float>> valueTexts(int index) {
    std::vector<std::pair<std::string, float>> texts;
    const ParameterDescriptor& row = parameterTable()[index];
    if (auto list = parameterValueStrings(index)) {
        for (std::size_t i = 0; i < list->size(); ++i)
            texts.emplace_back((*list)[i], row.minimum + static_cast<float>(i));
    } else if (row.unit == kUnitBoolean) {
        texts.emplace_back("Off", 0.0f);
        texts.emplace_back("On", 1.0f);
    } else if (parameterHasSpecialTexts(index)) {
        // "Off" is the one special text; find the value that shows it.
        std::string text;
        for (float candidate : {row.minimum, row.maximum}) {
            if (parameterSpecialText(index, candidate, text))
                texts.emplace_back(text, candidate);
        }
    }
    return texts;
}

}  // namespace

ParameterAssignment parseParameterAssignment(const std::string& setting) {
    const auto equals = setting.find('=');
    if (equals == std::string::npos)
        throw std::invalid_argument("parameter setting '" + setting +
                                    "' is not of the form Name=value");
    const std::string name = trim(setting.substr(0, equals));
    const std::string value = trim(setting.substr(equals + 1));
    const int index = findParameter(name);
    if (index < 0)
        throw std::invalid_argument("unknown parameter '" + name +
                                    "'; the parameters are: " + parameterNames());
    const ParameterDescriptor& row = parameterTable()[index];
    const auto texts = valueTexts(index);

    auto result = [&](float native) {
        return ParameterAssignment{index, native, nativeToNormalized(row, native)};
    };
    for (const auto& t : texts) {
        if (value == t.first)
            return result(t.second);
    }
    for (const auto& t : texts) {
        if (lower(value) == lower(t.first))
            return result(t.second);
    }

    std::string allowed;
    for (const auto& t : texts)
        allowed += (allowed.empty() ? "" : ", ") + t.first;
    std::string range = "a number from " + number(row.minimum) + " to " + number(row.maximum);
    if (row.unit == kUnitIndexed)
        range = "a whole " + range;
    const char* unit = parameterUnitLabel(row.unit);
    if (*unit != 0)
        range += std::string(" (") + unit + ")";
    const std::string expected = allowed.empty() ? range : "one of " + allowed + " or " + range;

    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(value.c_str(), &end);
    const bool isNumber =
        !value.empty() && errno == 0 && end == value.c_str() + value.size() && std::isfinite(v);
    if (!isNumber)
        throw std::invalid_argument("'" + value + "' is not a value of " + row.name + ": give " +
                                    expected);
    const bool whole = row.unit == kUnitIndexed || row.unit == kUnitBoolean;
    if (v < row.minimum || v > row.maximum || (whole && v != std::floor(v)))
        throw std::invalid_argument(value + " is out of range for " + row.name + ": give " +
                                    expected);
    return result(static_cast<float>(v));
}

}  // namespace render
