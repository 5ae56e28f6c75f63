#pragma once
// PNG decoding (textures) and encoding (frames saved for previews and
// tests), with libpng, from and to memory or files.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace QX {

struct PngImage {
    int width = 0, height = 0;
    int channels = 0;  // 1..4
    int bitDepth = 0;
    std::vector<std::uint8_t> pixels;  // rows top down, width * channels bytes each
};

// False for anything libpng cannot read (never longjmps past the caller).
bool DecodePng(const std::uint8_t* data, std::size_t size, PngImage& image);
// Writes 8-bit RGBA rows (top down) to a file.
bool WritePngFile(const std::string& path, int width, int height, const std::uint8_t* rgba);

}  // namespace QX
