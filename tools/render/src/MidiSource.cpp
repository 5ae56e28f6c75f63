#include "render/MidiSource.h"

#include "host/VstHost.h"
#include "plugin/StateChunk.h"

namespace render {

std::vector<std::uint8_t> chunkWithMidiSource(const void* current, std::size_t size,
                                              const std::string& name) {
    state::StateChunkReader reader;
    state::StateChunkWriter writer;
    if (reader.parse(current, size)) {
        // In the order the plug-in writes them. Registry ids are left out:
        // restoring them would renumber other instances.
        for (std::uint32_t tag : {state::kTagPluginId, state::kTagVersion, state::kTagProgramChunk,
                                  state::kTagParameters}) {
            if (const std::vector<std::uint8_t>* entry = reader.find(tag))
                writer.add(tag, entry->data(), entry->size());
        }
    }
    writer.add(state::kTagMidiSource, name.c_str(), name.size() + 1);
    return writer.serialise();
}

bool setMidiSource(host::VstHost& plugin, const std::string& name) {
    void* data = nullptr;
    const VstIntPtr size = plugin.dispatch(effGetChunk, 0, 0, &data);
    if (size <= 0 || data == nullptr)
        return false;
    std::vector<std::uint8_t> chunk =
        chunkWithMidiSource(data, static_cast<std::size_t>(size), name);
    plugin.dispatch(effSetChunk, 0, static_cast<VstIntPtr>(chunk.size()), chunk.data());
    return true;
}

}  // namespace render
