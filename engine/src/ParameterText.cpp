#include "engine/ParameterText.h"

#include "plugin/ParameterTable.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <utility>
#include <vector>

namespace QX4Controller {

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

// The value texts a parameter shows, each with its native value.
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

bool parameterValueFromText(int index, const std::string& text, float& native) {
    if (!isValidParameterIndex(index))
        return false;
    const ParameterDescriptor& row = parameterTable()[index];
    const std::string value = trim(text);
    // Texts before numbers: Swing Type's "8" is its second value, not 8.
    const auto texts = valueTexts(index);
    for (const auto& t : texts) {
        if (value == t.first) {
            native = t.second;
            return true;
        }
    }
    for (const auto& t : texts) {
        if (lower(value) == lower(t.first)) {
            native = t.second;
            return true;
        }
    }

    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(value.c_str(), &end);
    if (value.empty() || errno != 0 || end != value.c_str() + value.size() || !std::isfinite(v))
        return false;
    const bool whole = row.unit == kUnitIndexed || row.unit == kUnitBoolean;
    if (v < row.minimum || v > row.maximum || (whole && v != std::floor(v)))
        return false;
    native = static_cast<float>(v);
    return true;
}

}  // namespace QX4Controller
