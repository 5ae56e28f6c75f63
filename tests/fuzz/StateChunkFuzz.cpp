// Saved states come from project files: any bytes handed to effSetChunk
// must be restored or refused without reading past them, and what is
// restored must save again.

#include <memory>
#include <vector>

#include "FuzzTarget.h"
#include "engine/ZephCorvane.h"
#include "plugin/StateChunk.h"

namespace {

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static auto plugin = std::make_unique<QX4Controller::ZephCorvane>(hostCallback);
    // A copy of exactly `size` bytes, so that the sanitizers see any read
    // past the end.
    std::vector<std::uint8_t> copy(data, data + size);
    state::StateChunkReader reader;
    reader.parse(copy.data(), copy.size());
    AEffect* effect = plugin->getAeffect();
    effect->dispatcher(effect, effSetChunk, 0, static_cast<VstIntPtr>(copy.size()), copy.data(),
                       0.0f);
    void* saved = nullptr;
    effect->dispatcher(effect, effGetChunk, 0, 0, &saved, 0.0f);
    return 0;
}
