#include "osc/ZephAddress.h"

#include <cctype>

namespace QX {

namespace {

bool startsWithDigit(const std::string& segment) {
    return !segment.empty() && std::isdigit(static_cast<unsigned char>(segment[0]));
}

// Whole segment of decimal digits; nine at most, so any value fits.
bool parseDecimal(const std::string& segment, std::uint32_t& value) {
    if (segment.empty() || segment.size() > 9)
        return false;
    value = 0;
    for (char c : segment) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return true;
}

std::vector<std::string> splitSegments(const char* rest) {
    std::vector<std::string> segments(1);
    for (const char* p = rest; *p; ++p) {
        if (*p == '/')
            segments.emplace_back();
        else
            segments.back() += *p;
    }
    return segments;
}

}  // namespace

bool parseZephTargets(const char* rest, std::vector<ZephTarget>& targets) {
    targets.clear();
    if (!rest)
        return false;
    const std::vector<std::string> segments = splitSegments(rest);
    std::size_t next = 0;
    // An empty segment counts as missing: "/zeph/2//0" and a trailing '/'
    // name nothing.
    auto take = [&](std::string& segment) {
        if (next >= segments.size() || segments[next].empty())
            return false;
        segment = segments[next++];
        return true;
    };

    bool multi = false;
    if (!segments[0].empty() && segments[0][0] == '+') {
        if (segments[0] != "+multi1")
            return false;
        multi = true;
        ++next;
    }

    do {
        ZephTarget target;
        std::string segment;
        if (!take(segment))
            return false;
        if (startsWithDigit(segment)) {
            if (!parseDecimal(segment, target.number))
                return false;
        } else {
            target.byNumber = false;
            target.familyKey = segment;
            if (!take(segment))
                return false;
            if (segment == "*")
                target.everyOrdinal = true;
            else if (!parseDecimal(segment, target.ordinal))
                return false;
        }
        if (!take(segment))
            return false;
        if (startsWithDigit(segment)) {
            std::uint32_t index = 0;
            if (!parseDecimal(segment, index))
                return false;
            target.parameterIndex = static_cast<int>(index);
        } else {
            target.parameterName = segment;
        }
        if (multi) {
            std::uint32_t k = 0;
            if (!take(segment) || !parseDecimal(segment, k))
                return false;
            target.offset = static_cast<int>(k) - 1;
        }
        targets.push_back(std::move(target));
    } while (next < segments.size());
    return true;
}

}  // namespace QX
