#pragma once
// The saved state handed to the host: a header ("hpeZ", version 1, payload
// length) and tagged entries (tag, size, data zero-padded to a multiple of
// four), all integers 32-bit little-endian. Pure data: no plug-in here.

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace state {

constexpr std::uint32_t fourCC(char a, char b, char c, char d) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) << 24 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(d));
}

inline constexpr std::uint32_t kMagic = fourCC('Z', 'e', 'p', 'h');
inline constexpr std::uint32_t kContainerVersion = 1;
inline constexpr std::uint32_t kTagPluginId = fourCC('p', 'u', 'i', 'd');
inline constexpr std::uint32_t kTagVersion = fourCC('v', 'e', 'r', 's');
inline constexpr std::uint32_t kTagProgramChunk = fourCC('c', 'h', 'n', 'k');
inline constexpr std::uint32_t kTagParameters = fourCC('p', 'a', 'r', 'm');
inline constexpr std::uint32_t kTagLocalId = fourCC('l', 'u', 'i', 'd');
inline constexpr std::uint32_t kTagGlobalId = fourCC('g', 'u', 'i', 'd');
inline constexpr std::uint32_t kTagMidiSource = fourCC('t', 'e', 'e', 'p');

class StateChunkWriter {
public:
    void add(std::uint32_t tag, const void* data, std::size_t size);
    void addWord(std::uint32_t tag, std::uint32_t value);
    // The whole chunk, header first.
    std::vector<std::uint8_t> serialise() const;

private:
    struct Entry {
        std::uint32_t tag;
        std::vector<std::uint8_t> data;
    };
    std::vector<Entry> entries_;
};

// The entries of a chunk by tag, a later entry replacing an earlier one.
class StateChunkReader {
public:
    // False when the data is not a whole, well-formed chunk: too short, a
    // wrong magic, a payload length beyond the data, an entry running past
    // the end or the data ending inside an entry header. Nothing past
    // `size` is ever read.
    bool parse(const void* data, std::size_t size);
    // Null when the tag is absent.
    const std::vector<std::uint8_t>* find(std::uint32_t tag) const;
    // A 4-byte entry as a word; false when absent or of another size.
    bool word(std::uint32_t tag, std::uint32_t& value) const;

private:
    std::map<std::uint32_t, std::vector<std::uint8_t>> entries_;
};

}  // namespace state
