#include "host/ParameterByName.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "host/VstHost.h"

namespace host {

namespace {

std::string lower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return s;
}

std::string trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return "";
    }
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

// The one index of `names` that `matches`, -1 when none or several do.
template <typename Match>
int uniqueIndex(const std::vector<std::string>& names, Match matches) {
    int found = -1;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (matches(names[i])) {
            if (found >= 0) {
                return -1;
            }
            found = static_cast<int>(i);
        }
    }
    return found;
}

// The index of `name` among `names`: exact, else the one name that differs
// in case only, else the one name the plug-in cut short that `name` begins
// with (a plug-in cuts its names to a length of its choosing: the longest
// it gives); -1 when there is none (or several).
int findName(const std::vector<std::string>& names, const std::string& name) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == name) {
            return static_cast<int>(i);
        }
    }
    const std::string wanted = lower(name);
    const int found =
        uniqueIndex(names, [&](const std::string& given) { return lower(given) == wanted; });
    if (found >= 0) {
        return found;
    }
    std::size_t cut = 0;
    for (const std::string& given : names) {
        cut = std::max(cut, given.size());
    }
    return uniqueIndex(names, [&](const std::string& given) {
        return given.size() == cut && wanted.size() > cut &&
               wanted.compare(0, cut, lower(given)) == 0;
    });
}

bool normalizedNumber(const std::string& text, float& value) {
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || errno != 0 || end != text.c_str() + text.size() || !std::isfinite(v) ||
        v < 0.0 || v > 1.0) {
        return false;
    }
    value = static_cast<float>(v);
    return true;
}

// "'50.00 %'": the display text with its unit.
std::string shown(VstHost& plugin, VstInt32 index) {
    const std::string label = plugin.parameterLabel(index);
    return "'" + plugin.parameterDisplay(index) + (label.empty() ? "" : " " + label) + "'";
}

// What the parameter shows at its lowest and highest settings, and now:
// the range a user may choose from, in the plug-in's own words. Tries both
// ends, then puts the value back.
std::string showings(VstHost& plugin, VstInt32 index) {
    const float now = plugin.getParameter(index);
    const std::string current = shown(plugin, index);
    plugin.setParameter(index, 0.0f);
    const std::string lowest = shown(plugin, index);
    plugin.setParameter(index, 1.0f);
    const std::string highest = shown(plugin, index);
    plugin.setParameter(index, now);
    return "it shows " + lowest + " at its lowest setting and " + highest +
           " at its highest; now " + current;
}

// For a plug-in that reads no texts: the setting, in steps of 1/1000, at
// which the parameter shows `value`. Leaves the parameter there when found.
bool findShownText(VstHost& plugin, VstInt32 index, const std::string& value) {
    const float original = plugin.getParameter(index);
    for (int step = 0; step <= 1000; ++step) {
        plugin.setParameter(index, static_cast<float>(step) / 1000.0f);
        if (lower(trim(plugin.parameterDisplay(index))) == lower(value)) {
            return true;
        }
    }
    plugin.setParameter(index, original);
    return false;
}

}  // namespace

bool splitParameterSetting(const std::string& setting, std::string& name, std::string& value) {
    const auto equals = setting.find('=');
    if (equals == std::string::npos) {
        return false;
    }
    name = trim(setting.substr(0, equals));
    value = trim(setting.substr(equals + 1));
    return !name.empty();
}

bool setParameterByName(VstHost& plugin, const std::string& name, const std::string& value,
                        std::string& error) {
    if (plugin.effect() == nullptr) {
        error = "no plug-in is loaded";
        return false;
    }
    std::vector<std::string> names;
    for (VstInt32 i = 0; i < plugin.effect()->numParams; ++i) {
        names.push_back(plugin.parameterName(i));
    }
    const int index = findName(names, name);
    if (index < 0) {
        std::string list;
        for (const std::string& n : names) {
            list += (list.empty() ? "" : ", ") + n;
        }
        error = "the plug-in has no parameter '" + name + "'; " +
                (names.empty() ? "it has none" : "its parameters are: " + list);
        return false;
    }
    if (plugin.setParameterText(index, value)) {
        return true;
    }
    // A plug-in that reads texts takes back what it shows: then this value
    // is not one of its own. (Taking it back changes nothing that matters:
    // the setting fails either way.)
    const std::string& what = names[static_cast<std::size_t>(index)];
    if (plugin.setParameterText(index, plugin.parameterDisplay(index))) {
        error = "the plug-in does not take '" + value + "' for " + what + ": " +
                showings(plugin, index);
        return false;
    }
    float normalized = 0.0f;
    if (normalizedNumber(value, normalized)) {
        plugin.setParameter(index, normalized);
        return true;
    }
    if (findShownText(plugin, index, value)) {
        return true;
    }
    error = "the plug-in reads no value texts for " + what + " and never shows '" + value +
            "': give a number from 0 to 1, the host's normalized value (" +
            showings(plugin, index) + ")";
    return false;
}

}  // namespace host
