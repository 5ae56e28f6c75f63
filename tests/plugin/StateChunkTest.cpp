#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "plugin/StateChunk.h"
#include "tavro/Version.h"

namespace state {
namespace {

std::vector<std::uint8_t> words(std::initializer_list<std::uint32_t> values) {
    std::vector<std::uint8_t> out;
    for (std::uint32_t v : values)
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return out;
}

TEST(StateChunk, HeaderAndEntriesAreLittleEndianAndPadded) {
    StateChunkWriter writer;
    writer.addWord(kTagPluginId, 0x51587476);
    writer.add(kTagMidiSource, "Loop In", 8);
    writer.add(kTagMidiSource, "abcdefgh", 9);
    const std::vector<std::uint8_t> chunk = writer.serialise();
    ASSERT_EQ(chunk.size(), 12u + 12u + 16u + 20u);
    EXPECT_EQ(std::memcmp(chunk.data(), "hpeZ", 4), 0);
    EXPECT_EQ(std::memcmp(chunk.data() + 12, "diup", 4), 0);
    EXPECT_EQ(chunk[8], chunk.size() - 12);
    EXPECT_EQ(chunk[44], 12);  // 9 bytes padded to 12
    EXPECT_EQ(chunk[56 + 3], 0);

    StateChunkReader reader;
    ASSERT_TRUE(reader.parse(chunk.data(), chunk.size()));
    std::uint32_t id = 0;
    EXPECT_TRUE(reader.word(kTagPluginId, id));
    EXPECT_EQ(id, 0x51587476u);
    // The later entry of a tag wins.
    ASSERT_NE(reader.find(kTagMidiSource), nullptr);
    EXPECT_EQ(reader.find(kTagMidiSource)->size(), 12u);
    EXPECT_EQ(reader.find(kTagVersion), nullptr);
}

TEST(StateChunk, MalformedDataIsRejectedWhole) {
    StateChunkWriter writer;
    writer.addWord(kTagVersion, tavro::kVendorVersion);
    std::vector<std::uint8_t> chunk = writer.serialise();
    StateChunkReader reader;

    EXPECT_FALSE(reader.parse(chunk.data(), 3));
    EXPECT_FALSE(reader.parse(nullptr, 100));
    std::vector<std::uint8_t> wrongMagic = chunk;
    wrongMagic[0] = 'X';
    EXPECT_FALSE(reader.parse(wrongMagic.data(), wrongMagic.size()));
    // A payload length one byte larger than the data.
    std::vector<std::uint8_t> tooLong = chunk;
    tooLong[8] += 1;
    EXPECT_FALSE(reader.parse(tooLong.data(), tooLong.size()));
    // An entry claiming more than what remains.
    std::vector<std::uint8_t> overrun = chunk;
    overrun[16] = 200;
    EXPECT_FALSE(reader.parse(overrun.data(), overrun.size()));
    // Data ending inside an entry header.
    std::vector<std::uint8_t> cut = chunk;
    cut.insert(cut.end(), {'a', 'b', 'c', 'd', 1});
    EXPECT_FALSE(reader.parse(cut.data(), cut.size()));
    EXPECT_EQ(reader.find(kTagVersion), nullptr);
}

TEST(StateChunk, EntriesPastThePayloadLengthAreReadToo) {
    std::vector<std::uint8_t> chunk = words({kMagic, 1, 0, kTagLocalId, 4, 7});
    StateChunkReader reader;
    ASSERT_TRUE(reader.parse(chunk.data(), chunk.size()));
    std::uint32_t id = 0;
    EXPECT_TRUE(reader.word(kTagLocalId, id));
    EXPECT_EQ(id, 7u);
    std::vector<std::uint8_t> wrongSize = words({kMagic, 1, 12, kTagLocalId, 8, 7, 8});
    ASSERT_TRUE(reader.parse(wrongSize.data(), wrongSize.size()));
    EXPECT_FALSE(reader.word(kTagLocalId, id));
}

}  // namespace
}  // namespace state
