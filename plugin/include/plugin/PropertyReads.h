#pragma once
// Reading a property whose value may change while it is read: a host's
// setChunk, a panel or a script may set the MIDI source name between the
// size question and the copy. These never write past the buffer they use,
// and a value that grew in between is read again.

#include <cstdint>
#include <string>

class ZephAuBase;

namespace prop {

// The text of property `id` (scope 0) up to its first terminator; empty
// when the property cannot be read. [any thread but audio; allocates]
std::string readText(ZephAuBase& plugin, std::uint32_t id);

// Whether property `id` holds anything but zeros; false when it cannot be
// read, is empty, or holds more than `room` bytes (too long to be a switch).
// Allocates nothing. [any thread but audio]
inline constexpr std::uint32_t kFlagBytes = 256;
enum class FlagByte { kAny, kFirst };
bool readFlag(ZephAuBase& plugin, std::uint32_t id, std::uint32_t room = kFlagBytes,
              FlagByte which = FlagByte::kAny);

}  // namespace prop
