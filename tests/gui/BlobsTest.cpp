#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "GuiTestSupport.h"
#include "gui/Blobs.h"

namespace {

using guitest::MessageLog;

class Blobs : public testing::Test {
protected:
    void SetUp() override { platform::installMessageBoxSink(&messages); }
    void TearDown() override { platform::installMessageBoxSink(nullptr); }
    MessageLog messages;
};

TEST_F(Blobs, FileIsReadWholeAndAMissingFileGivesNothingQuietly) {
    const auto path = guitest::freshFolder("blob") / "data.bin";
    std::string content(100000, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<char>(i * 7);
    }
    std::ofstream(path, std::ios::binary) << content;

    const std::vector<std::uint8_t> bytes = QX::LoadFileBlob(path.string());
    ASSERT_EQ(bytes.size(), content.size());
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), content.begin(), [](std::uint8_t a, char b) {
        return a == static_cast<std::uint8_t>(b);
    }));

    EXPECT_TRUE(QX::LoadFileBlob((path.parent_path() / "missing.bin").string()).empty());
    EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(Blobs, BuiltInResourcesByTypeAndAMissingOneIsReported) {
    // The test program carries the same file as image 4001 and script 4002.
    const QX::ResourceBytes image = QX::LoadImageBlob(4001);
    const QX::ResourceBytes script = QX::LoadResourceBlob(4002);
    ASSERT_NE(image.data, nullptr);
    ASSERT_EQ(image.size, script.size);
    EXPECT_EQ(std::memcmp(image.data, script.data, image.size), 0);
    EXPECT_TRUE(messages.boxes.empty());

    // Each type has its own numbering: script 4001 does not exist.
    EXPECT_EQ(QX::LoadResourceBlob(4001).data, nullptr);
    EXPECT_EQ(QX::LoadImageBlob(4002).data, nullptr);
    ASSERT_EQ(messages.boxes.size(), 2u);
    EXPECT_EQ(messages.boxes[0].first, "Error");
    EXPECT_NE(messages.boxes[0].second.find("4001"), std::string::npos);
}

}  // namespace
