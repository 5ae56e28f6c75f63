#include "osc/ReplyEndpoint.h"

#include <cctype>
#include <cstring>

namespace QX {

namespace {

constexpr std::size_t kUrlBufferSize = 1024;
constexpr const char kPrefix[] = "osc.udp://";
constexpr std::size_t kPrefixLength = sizeof kPrefix - 1;

// Leading decimal digits, saturated so that a long run of digits cannot
// overflow; what follows them is ignored. No digits give 0.
int decimalPrefix(const char* text) {
    long value = 0;
    bool negative = false;
    if (*text == '-' || *text == '+')
        negative = *text++ == '-';
    for (; std::isdigit(static_cast<unsigned char>(*text)); ++text)
        if (value < 1000000)
            value = value * 10 + (*text - '0');
    return static_cast<int>(negative ? -value : value);
}

}  // namespace

ReplyUrl splitReplyUrl(const char* url) {
    ReplyUrl result;
    if (!url)
        return result;
    std::string text(url, strnlen(url, kUrlBufferSize - 1));
    if (text.compare(0, kPrefixLength, kPrefix) == 0)
        text.erase(0, kPrefixLength);
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos) {
        result.host = text;
        return result;
    }
    result.host = text.substr(0, colon);
    result.port = decimalPrefix(text.c_str() + colon + 1);
    return result;
}

}  // namespace QX
