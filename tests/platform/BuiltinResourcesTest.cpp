#include "platform/BuiltinResources.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace platform;

TEST(BuiltinResources, FindsTheBytesLinkedUnderTypeAndId) {
    const ResourceBlob blob = findBuiltinResource(kResourceTypeScript, 999);
    ASSERT_TRUE(blob);
    // data/resource.bin: bytes a text conversion or a terminator would spoil.
    const std::vector<std::uint8_t> expected = {0x00, 0x01, 0x7F, 0x80, 0xFF, 0x0A, 0x0D, 0x1A};
    EXPECT_EQ(std::vector<std::uint8_t>(blob.data, blob.data + blob.size), expected);
}

TEST(BuiltinResources, AnythingElseIsAnEmptyBlob) {
    for (const auto& [type, id] : std::vector<std::pair<int, int>>{
             {kResourceTypeScript, 998},  // linked into the test module only
             {kResourceTypeImage, 999},
             {kResourceTypeScript, 0},
             {kResourceTypeScript, -1},
             {kResourceTypeScript, 999 + 65536},  // not an alias of 999
             {kResourceTypeScript + 65536, 999}}) {
        const ResourceBlob blob = findBuiltinResource(type, id);
        EXPECT_FALSE(blob) << type << "/" << id;
        EXPECT_EQ(blob.size, 0u);
    }
}

}  // namespace
