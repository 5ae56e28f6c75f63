#pragma once
// Writing and reading the saved state handed to the host, laid out as
// plugin/StateChunkFormat.h says. Pure data: no plug-in here.

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "plugin/StateChunkFormat.h"

namespace state {

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
