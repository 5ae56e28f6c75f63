// The MIDI source put into the plug-in's saved state by the tools, which
// edit the state without the plug-in's code: the result must be what the
// plug-in's own writer makes. (That tavro takes it: LoopbackTest.)

#include "render/MidiSource.h"

#include "plugin/StateChunk.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace state;

std::vector<std::uint8_t> withSource(const std::vector<std::uint8_t>& chunk,
                                     const std::string& name) {
    return render::chunkWithMidiSource(chunk.data(), chunk.size(), name);
}

TEST(MidiSource, TheStateKeepsItsEntriesBesidesTheNewSourceLaidOutAsThePlugInWritesThem) {
    const float values[3] = {1.0f, 0.5f, -10.0f};
    StateChunkWriter saved;
    saved.addWord(kTagPluginId, 0x51587476);
    saved.addWord(kTagVersion, 65543);
    saved.add(kTagParameters, values, sizeof values);
    saved.addWord(kTagLocalId, 5);  // registry ids are not restored
    saved.addWord(kTagGlobalId, 6);
    saved.add(kTagMidiSource, "Old", 4);

    StateChunkWriter expected;
    expected.addWord(kTagPluginId, 0x51587476);
    expected.addWord(kTagVersion, 65543);
    expected.add(kTagParameters, values, sizeof values);
    expected.add(kTagMidiSource, "Loop In", 8);
    EXPECT_EQ(withSource(saved.serialise(), "Loop In"), expected.serialise());

    // Anything else is no state: the name alone.
    StateChunkWriter nameOnly;
    nameOnly.add(kTagMidiSource, "Cable", 6);
    std::vector<std::uint8_t> cut = saved.serialise();
    cut.resize(cut.size() - 2);
    EXPECT_EQ(withSource(cut, "Cable"), nameOnly.serialise());
    EXPECT_EQ(withSource({'j', 'u', 'n', 'k'}, "Cable"), nameOnly.serialise());
}

}  // namespace
