#pragma once
// Instance addressing: "/zeph/" followed by targets that name live
// instances of the process and one of their parameters each.
//
//   /zeph/[+multi1/]TARGET[/TARGET...]
//   TARGET   = NUMBER/PARAM[/K]          an instance by its process-wide number
//            | KEY/ORDINAL/PARAM[/K]     by family key and ordinal, or '*' for all
//   PARAM    = index (starts with a digit) or name without spaces
//   K        = only with +multi1: the parameter offset is K - 1
//
// Pure text work; the server applies the targets under the registry lock.

#include <cstdint>
#include <string>
#include <vector>

namespace QX {

struct ZephTarget {
    bool byNumber = true;
    std::uint32_t number = 0;  // byNumber
    std::string familyKey;     // !byNumber
    bool everyOrdinal = false;
    std::uint32_t ordinal = 0;
    std::string parameterName;  // empty: parameterIndex holds the index
    int parameterIndex = 0;
    int offset = 0;
};

inline constexpr const char* kZephPrefix = "/zeph/";
inline constexpr std::size_t kZephPrefixLength = 6;

// `rest` is the address after "/zeph/". False when a segment is missing or
// empty, the first segment starts with '+' but is not "+multi1", or a
// segment that must be a number is not one.
bool parseZephTargets(const char* rest, std::vector<ZephTarget>& targets);

}  // namespace QX
