#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <fstream>

#include "../../gui/src/GL.h"
#include "../../gui/src/PngImage.h"
#include "GuiTestSupport.h"
#include "gui/Blobs.h"
#include "gui/Texture.h"

namespace {

namespace fs = std::filesystem;

// Writes a PNG with libpng's simplified interface. `format` is one of the
// PNG_FORMAT_* values; samples are bytes, or 16-bit words for linear formats.
fs::path WritePng(const std::string& name, int width, int height, png_uint_32 format,
                  const png_color* palette = nullptr, int paletteSize = 0) {
    const fs::path path = guitest::freshFolder("png") / name;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = format;
    std::vector<png_byte> colormap;
    if (palette != nullptr) {
        image.colormap_entries = static_cast<png_uint_32>(paletteSize);
        for (int i = 0; i < paletteSize; ++i) {
            colormap.push_back(palette[i].red);
            colormap.push_back(palette[i].green);
            colormap.push_back(palette[i].blue);
        }
    }
    std::vector<png_byte> pixels(PNG_IMAGE_SIZE(image));
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = palette != nullptr ? static_cast<png_byte>(i % paletteSize)
                                       : static_cast<png_byte>(i * 13);
    }
    EXPECT_TRUE(png_image_write_to_file(&image, path.string().c_str(), 0, pixels.data(), 0,
                                        colormap.empty() ? nullptr : colormap.data()))
        << image.message;
    return path;
}

std::vector<std::uint8_t> ReadFile(const fs::path& path) {
    return QX::LoadFileBlob(path.string());
}

// ---- Decoding ---------------------------------------------------------------------------------

TEST(PngDecoding, WrittenFramesReadBackRowForRow) {
    const int w = 5, h = 3;
    std::vector<std::uint8_t> rgba(w * h * 4);
    for (std::size_t i = 0; i < rgba.size(); ++i) {
        rgba[i] = static_cast<std::uint8_t>(i * 7 + 1);
    }
    const fs::path path = guitest::freshFolder("frame") / "frame.png";
    ASSERT_TRUE(QX::WritePngFile(path.string(), w, h, rgba.data()));

    QX::PngImage image;
    const auto bytes = ReadFile(path);
    ASSERT_TRUE(QX::DecodePng(bytes.data(), bytes.size(), image));
    EXPECT_EQ(image.width, w);
    EXPECT_EQ(image.height, h);
    EXPECT_EQ(image.channels, 4);
    EXPECT_EQ(image.bitDepth, 8);
    EXPECT_EQ(image.pixels, rgba);

    EXPECT_FALSE(QX::WritePngFile((path.parent_path() / "no" / "such" / "x.png").string(), w, h,
                                  rgba.data()));
}

TEST(PngDecoding, DamagedDataIsRefusedWithoutCrashing) {
    const auto bytes = ReadFile(WritePng("good.png", 16, 16, PNG_FORMAT_RGBA));
    QX::PngImage image;
    ASSERT_TRUE(QX::DecodePng(bytes.data(), bytes.size(), image));

    // Cut short at every length: header, chunk headers, image data.
    for (std::size_t length = 0; length < bytes.size(); length += 7) {
        EXPECT_FALSE(QX::DecodePng(bytes.data(), length, image)) << length;
        EXPECT_TRUE(image.pixels.empty());
    }
    std::vector<std::uint8_t> flipped = bytes;
    flipped[40] ^= 0x55;  // inside the compressed data: checksum fails
    EXPECT_FALSE(QX::DecodePng(flipped.data(), flipped.size(), image));
    const std::uint8_t text[] = "definitely not a PNG file";
    EXPECT_FALSE(QX::DecodePng(text, sizeof text, image));
    EXPECT_FALSE(QX::DecodePng(nullptr, 0, image));
}

TEST(PngDecoding, HugeClaimedSizeIsRefusedBeforeAllocating) {
    // A valid header claiming 60000 x 60000 RGBA pixels and no data.
    auto bytes = ReadFile(WritePng("small.png", 1, 1, PNG_FORMAT_RGBA));
    // IHDR width and height sit at offsets 16 and 20; recompute the CRC.
    for (int offset : {16, 20}) {
        bytes[offset] = 0, bytes[offset + 1] = 0, bytes[offset + 2] = 0xEA,
        bytes[offset + 3] = 0x60;
    }
    const png_uint_32 crc = static_cast<png_uint_32>(crc32(0, bytes.data() + 12, 17));
    bytes[29] = crc >> 24, bytes[30] = (crc >> 16) & 0xFF, bytes[31] = (crc >> 8) & 0xFF,
    bytes[32] = crc & 0xFF;
    QX::PngImage image;
    EXPECT_FALSE(QX::DecodePng(bytes.data(), bytes.size(), image));
}

TEST(PngDecoding, PaletteImagesBecomeRgb) {
    const png_color palette[3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    const auto bytes = ReadFile(WritePng("palette.png", 4, 2, PNG_FORMAT_RGB_COLORMAP, palette, 3));
    QX::PngImage image;
    ASSERT_TRUE(QX::DecodePng(bytes.data(), bytes.size(), image));
    EXPECT_EQ(image.channels, 3);
    EXPECT_EQ(image.bitDepth, 8);
    // Index 1 (green) is the second pixel.
    EXPECT_EQ(image.pixels[3], 0);
    EXPECT_EQ(image.pixels[4], 255);
}

// ---- Textures ----------------------------------------------------------------------------------

class Textures : public guitest::GuiTest {
protected:
    QX::Texture* Make(const fs::path& path) {
        return new QX::Texture(manager.get(), path.string(), 0);
    }
};

TEST_F(Textures, PowerOfTwoRgbAndRgbaImagesLoad) {
    if (!StartGl()) {
        GTEST_SKIP() << "no GL context";
    }
    QX::Texture* rgba = Make(WritePng("rgba.png", 64, 32, PNG_FORMAT_RGBA));
    QX::Texture* rgb = Make(WritePng("rgb.png", 2, 8, PNG_FORMAT_RGB));
    QX::Texture* resource = new QX::Texture(manager.get(), "", 4001);
    EXPECT_EQ(manager->textures.back(), resource);
    for (QX::Texture* texture : {rgba, rgb, resource}) {
        EXPECT_FALSE(texture->loadAttempted);
        texture->Load();
        EXPECT_TRUE(texture->loadAttempted);
        ASSERT_TRUE(texture->Loaded());
        EXPECT_TRUE(glIsTexture(texture->glName));
    }
    EXPECT_EQ(rgba->width, 64);
    EXPECT_EQ(rgba->height, 32);
    EXPECT_EQ(rgb->width, 2);
    EXPECT_EQ(resource->width, 8);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(Textures, TheTopRowOfTheFileIsTextureRowZero) {
    if (!StartGl()) {
        GTEST_SKIP() << "no GL context";
    }
    // Built-in image 4001: top row red, bottom row blue, 8 x 4.
    QX::Texture* texture = new QX::Texture(manager.get(), "", 4001);
    texture->Load();
    ASSERT_TRUE(texture->Loaded());
    std::vector<std::uint8_t> texels(8 * 4 * 4);
    glBindTexture(GL_TEXTURE_2D, texture->glName);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(texels[0], 255);  // row 0: red
    EXPECT_EQ(texels[2], 0);
    EXPECT_EQ(texels[3 * 8 * 4 + 0], 0);  // row 3: blue
    EXPECT_EQ(texels[3 * 8 * 4 + 2], 255);
}

TEST_F(Textures, UnusableImagesMakeNoTextureAndNoMessage) {
    if (!StartGl()) {
        GTEST_SKIP() << "no GL context";
    }
    const std::vector<QX::Texture*> refused = {
        Make(WritePng("100x100.png", 100, 100, PNG_FORMAT_RGBA)),
        Make(WritePng("grey.png", 64, 64, PNG_FORMAT_GRAY)),
        Make(WritePng("grey-alpha.png", 64, 64, PNG_FORMAT_GA)),
        Make(WritePng("deep.png", 16, 16, PNG_FORMAT_LINEAR_RGB)),
        Make(guitest::freshFolder("missing") / "missing.png"),
    };
    for (QX::Texture* texture : refused) {
        texture->Load();
        EXPECT_TRUE(texture->loadAttempted) << texture->path;
        EXPECT_FALSE(texture->Loaded()) << texture->path;
        EXPECT_EQ(texture->width, 0);
    }
    EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(Textures, MissingBuiltInImageIsReported) {
    if (!StartGl()) {
        GTEST_SKIP() << "no GL context";
    }
    QX::Texture* texture = new QX::Texture(manager.get(), "", 4999);
    texture->Load();
    EXPECT_FALSE(texture->Loaded());
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].first, "Error");
    texture->Load();  // attempted once only: no second message
    EXPECT_EQ(messages.boxes.size(), 1u);
}

TEST_F(Textures, LoadIsAttemptedOnceUntilUnloaded) {
    if (!StartGl()) {
        GTEST_SKIP() << "no GL context";
    }
    const fs::path path = guitest::freshFolder("late") / "late.png";
    QX::Texture* texture = Make(path);
    texture->Load();
    EXPECT_FALSE(texture->Loaded());

    // The file appears later (a skin installed meanwhile): not tried again...
    fs::copy_file(WritePng("source.png", 16, 16, PNG_FORMAT_RGBA), path);
    texture->Load();
    EXPECT_FALSE(texture->Loaded());
    // ...until asked to reload, or unloaded as when GL shuts down.
    texture->Load(true);
    ASSERT_TRUE(texture->Loaded());
    const unsigned first = texture->glName;

    texture->Unload();
    EXPECT_FALSE(texture->Loaded());
    EXPECT_FALSE(texture->loadAttempted);
    EXPECT_FALSE(glIsTexture(first));
    texture->Load();
    EXPECT_TRUE(texture->Loaded());
}

}  // namespace
