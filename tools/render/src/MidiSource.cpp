#include "render/MidiSource.h"

#include "host/VstHost.h"
#include "plugin/StateChunkFormat.h"

namespace render {

namespace {

std::uint32_t getWord(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void putWord(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void putEntry(std::vector<std::uint8_t>& out, std::uint32_t tag, const std::uint8_t* data,
              std::size_t size) {
    const std::size_t padded = (size + 3) & ~static_cast<std::size_t>(3);
    putWord(out, tag);
    putWord(out, static_cast<std::uint32_t>(padded));
    out.insert(out.end(), data, data + size);
    out.insert(out.end(), padded - size, 0);
}

struct Entry {
    std::uint32_t tag;
    const std::uint8_t* data;
    std::size_t size;
};

// The entries of a whole, well-formed state in their order, as the
// plug-in reads them; false (and none) for anything else.
bool readEntries(const void* data, std::size_t size, std::vector<Entry>& entries) {
    entries.clear();
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (bytes == nullptr || size < state::kHeaderBytes || getWord(bytes) != state::kMagic ||
        size - state::kHeaderBytes < getWord(bytes + 8))
        return false;
    std::size_t offset = state::kHeaderBytes;
    while (offset < size) {
        if (size - offset < 8) {
            entries.clear();
            return false;
        }
        const std::uint32_t tag = getWord(bytes + offset);
        const std::uint32_t length = getWord(bytes + offset + 4);
        offset += 8;
        if (length > size - offset) {
            entries.clear();
            return false;
        }
        entries.push_back({tag, bytes + offset, length});
        offset += length;
    }
    return true;
}

}  // namespace

std::vector<std::uint8_t> chunkWithMidiSource(const void* current, std::size_t size,
                                              const std::string& name) {
    std::vector<Entry> entries;
    readEntries(current, size, entries);
    std::vector<std::uint8_t> chunk;
    putWord(chunk, state::kMagic);
    putWord(chunk, state::kContainerVersion);
    putWord(chunk, 0);  // the payload's length, once known
    // In the order the plug-in writes them. Registry ids are left out:
    // restoring them would renumber other instances.
    for (std::uint32_t tag : {state::kTagPluginId, state::kTagVersion, state::kTagProgramChunk,
                              state::kTagParameters}) {
        const Entry* last = nullptr;
        for (const Entry& entry : entries) {
            if (entry.tag == tag)
                last = &entry;
        }
        if (last != nullptr)
            putEntry(chunk, tag, last->data, last->size);
    }
    putEntry(chunk, state::kTagMidiSource, reinterpret_cast<const std::uint8_t*>(name.c_str()),
             name.size() + 1);
    const auto payload = static_cast<std::uint32_t>(chunk.size() - state::kHeaderBytes);
    for (int i = 0; i < 4; ++i)
        chunk[8 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(payload >> (8 * i));
    return chunk;
}

bool setMidiSource(host::VstHost& plugin, const std::string& name) {
    const std::vector<std::uint8_t> current = plugin.getChunk();
    if (current.empty())
        return false;
    plugin.setChunk(chunkWithMidiSource(current.data(), current.size(), name));
    return true;
}

}  // namespace render
