#pragma once
// The layout of the saved state tavro hands to hosts (effGetChunk): a
// header (kMagic, kContainerVersion, payload length) and tagged entries
// (tag, size, data zero-padded to a multiple of four), all integers 32-bit
// little-endian; a later entry replaces an earlier one of the same tag.
// Numbers only: hosts that edit a state include this without the plug-in.

#include <cstddef>
#include <cstdint>

namespace state {

constexpr std::uint32_t fourCC(char a, char b, char c, char d) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) << 24 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(d));
}

inline constexpr std::uint32_t kMagic = fourCC('Z', 'e', 'p', 'h');
inline constexpr std::uint32_t kContainerVersion = 1;
inline constexpr std::size_t kHeaderBytes = 12;
inline constexpr std::uint32_t kTagPluginId = fourCC('p', 'u', 'i', 'd');
inline constexpr std::uint32_t kTagVersion = fourCC('v', 'e', 'r', 's');
inline constexpr std::uint32_t kTagProgramChunk = fourCC('c', 'h', 'n', 'k');
inline constexpr std::uint32_t kTagParameters = fourCC('p', 'a', 'r', 'm');
inline constexpr std::uint32_t kTagLocalId = fourCC('l', 'u', 'i', 'd');
inline constexpr std::uint32_t kTagGlobalId = fourCC('g', 'u', 'i', 'd');
// The MIDI source of the test input: a NUL-terminated device name.
inline constexpr std::uint32_t kTagMidiSource = fourCC('t', 'e', 'e', 'p');

}  // namespace state
