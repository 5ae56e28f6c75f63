#include "plugin/StateChunk.h"

#include <cstring>

namespace state {
namespace {

void putWord(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint32_t getWord(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::size_t padded(std::size_t size) {
    return (size + 3) & ~static_cast<std::size_t>(3);
}

}  // namespace

void StateChunkWriter::add(std::uint32_t tag, const void* data, std::size_t size) {
    Entry entry{tag, std::vector<std::uint8_t>(padded(size), 0)};
    if (size)
        std::memcpy(entry.data.data(), data, size);
    entries_.push_back(std::move(entry));
}

void StateChunkWriter::addWord(std::uint32_t tag, std::uint32_t value) {
    std::uint8_t bytes[4];
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    add(tag, bytes, 4);
}

std::vector<std::uint8_t> StateChunkWriter::serialise() const {
    std::size_t total = 12;
    for (const Entry& e : entries_)
        total += 8 + e.data.size();
    std::vector<std::uint8_t> out;
    out.reserve(total);
    putWord(out, kMagic);
    putWord(out, kContainerVersion);
    putWord(out, static_cast<std::uint32_t>(total - 12));
    for (const Entry& e : entries_) {
        putWord(out, e.tag);
        putWord(out, static_cast<std::uint32_t>(e.data.size()));
        out.insert(out.end(), e.data.begin(), e.data.end());
    }
    return out;
}

bool StateChunkReader::parse(const void* data, std::size_t size) {
    entries_.clear();
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (!bytes || size < 12 || getWord(bytes) != kMagic)
        return false;
    const std::uint32_t payload = getWord(bytes + 8);
    if (size - 12 < payload)
        return false;
    // Entries fill the whole data given, also past the payload length.
    std::map<std::uint32_t, std::vector<std::uint8_t>> found;
    std::size_t offset = 12;
    while (offset < size) {
        if (size - offset < 8)
            return false;
        const std::uint32_t tag = getWord(bytes + offset);
        const std::uint32_t length = getWord(bytes + offset + 4);
        offset += 8;
        if (length > size - offset)
            return false;
        found[tag].assign(bytes + offset, bytes + offset + length);
        offset += length;
    }
    entries_ = std::move(found);
    return true;
}

const std::vector<std::uint8_t>* StateChunkReader::find(std::uint32_t tag) const {
    auto it = entries_.find(tag);
    return it == entries_.end() ? nullptr : &it->second;
}

bool StateChunkReader::word(std::uint32_t tag, std::uint32_t& value) const {
    const std::vector<std::uint8_t>* entry = find(tag);
    if (!entry || entry->size() != 4)
        return false;
    value = getWord(entry->data());
    return true;
}

}  // namespace state
