#include "PngImage.h"

#include <png.h>

#include <cstdio>
#include <cstring>

// libpng reports errors with longjmp. Every function below that calls
// setjmp keeps only plain data alive across it (no object with a destructor),
// so a jump skips nothing that needed cleaning up; buffers are allocated
// between the jumping stages, by callers that never call setjmp themselves.

namespace QX {
namespace {

// Larger images are refused before any pixel memory is asked for: a small
// compressed file can claim a huge picture, and no texture that size is
// usable anyway.
constexpr png_uint_32 kMaximumSide = 16384;
constexpr std::size_t kMaximumBytes = std::size_t(256) << 20;

struct MemoryReader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t offset;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t count) {
    auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (reader == nullptr || count > reader->size - reader->offset) {
        png_error(png, "read past the end of the data");
    }
    std::memcpy(out, reader->data + reader->offset, count);
    reader->offset += count;
}

// Quiet: a refused image is reported by the caller's result, not on stderr.
[[noreturn]] void JumpOnError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void IgnoreWarning(png_structp, png_const_charp) {}

struct ReadHandles {
    png_structp png = nullptr;
    png_infop info = nullptr;
    MemoryReader reader{};
    png_uint_32 width = 0, height = 0;
    int channels = 0, bitDepth = 0;
    std::size_t rowBytes = 0;
};

// Reads the header and sets up the transformations. Plain data only.
bool ReadHeader(ReadHandles* h) {
    if (setjmp(png_jmpbuf(h->png))) {
        return false;
    }
    png_set_user_limits(h->png, kMaximumSide, kMaximumSide);
    png_set_read_fn(h->png, &h->reader, ReadFromMemory);
    png_read_info(h->png, h->info);
    // Palette images become RGB (with alpha from a transparency chunk), so
    // that a skin saved with a palette still loads; grey images and bit
    // depths stay as they are and the caller decides.
    if (png_get_color_type(h->png, h->info) == PNG_COLOR_TYPE_PALETTE) {
        png_set_palette_to_rgb(h->png);
        if (png_get_valid(h->png, h->info, PNG_INFO_tRNS)) {
            png_set_tRNS_to_alpha(h->png);
        }
    }
    png_set_interlace_handling(h->png);
    png_read_update_info(h->png, h->info);
    h->width = png_get_image_width(h->png, h->info);
    h->height = png_get_image_height(h->png, h->info);
    h->channels = png_get_channels(h->png, h->info);
    h->bitDepth = png_get_bit_depth(h->png, h->info);
    h->rowBytes = png_get_rowbytes(h->png, h->info);
    return true;
}

bool ReadRows(ReadHandles* h, png_bytepp rows) {
    if (setjmp(png_jmpbuf(h->png))) {
        return false;
    }
    png_read_image(h->png, rows);
    png_read_end(h->png, nullptr);
    return true;
}

class ReadGuard {
public:
    explicit ReadGuard(ReadHandles& h) : h_(h) {}
    ~ReadGuard() { png_destroy_read_struct(&h_.png, h_.info ? &h_.info : nullptr, nullptr); }

private:
    ReadHandles& h_;
};

struct WriteHandles {
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::FILE* file = nullptr;
    png_uint_32 width = 0, height = 0;
};

bool WriteRows(WriteHandles* h, png_bytepp rows) {
    if (setjmp(png_jmpbuf(h->png))) {
        return false;
    }
    png_init_io(h->png, h->file);
    png_set_IHDR(h->png, h->info, h->width, h->height, 8, PNG_COLOR_TYPE_RGB_ALPHA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(h->png, h->info);
    png_write_image(h->png, rows);
    png_write_end(h->png, nullptr);
    return true;
}

}  // namespace

bool DecodePng(const std::uint8_t* data, std::size_t size, PngImage& image) {
    image = PngImage{};
    if (data == nullptr || size < 8 || png_sig_cmp(data, 0, 8) != 0) {
        return false;
    }
    ReadHandles h;
    h.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, JumpOnError, IgnoreWarning);
    if (h.png == nullptr) {
        return false;
    }
    ReadGuard guard(h);
    h.info = png_create_info_struct(h.png);
    if (h.info == nullptr) {
        return false;
    }
    h.reader = MemoryReader{data, size, 0};
    if (!ReadHeader(&h) || h.width == 0 || h.height == 0 || h.channels < 1 || h.channels > 4) {
        return false;
    }
    if (h.rowBytes == 0 || h.rowBytes > kMaximumBytes / h.height) {
        return false;
    }
    std::vector<std::uint8_t> pixels(h.rowBytes * h.height);
    std::vector<png_bytep> rows(h.height);
    for (png_uint_32 y = 0; y < h.height; ++y) {
        rows[y] = pixels.data() + std::size_t(y) * h.rowBytes;
    }
    if (!ReadRows(&h, rows.data())) {
        return false;
    }
    image.width = static_cast<int>(h.width);
    image.height = static_cast<int>(h.height);
    image.channels = h.channels;
    image.bitDepth = h.bitDepth;
    image.pixels = std::move(pixels);
    return true;
}

bool WritePngFile(const std::string& path, int width, int height, const std::uint8_t* rgba) {
    if (width <= 0 || height <= 0 || rgba == nullptr) {
        return false;
    }
    WriteHandles h;
    h.width = static_cast<png_uint_32>(width);
    h.height = static_cast<png_uint_32>(height);
    h.file = std::fopen(path.c_str(), "wb");
    if (h.file == nullptr) {
        return false;
    }
    h.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, JumpOnError, IgnoreWarning);
    if (h.png != nullptr) {
        h.info = png_create_info_struct(h.png);
    }
    bool ok = false;
    if (h.info != nullptr) {
        std::vector<png_bytep> rows(h.height);
        for (png_uint_32 y = 0; y < h.height; ++y) {
            // libpng's row type is not const; it only reads the rows.
            rows[y] = const_cast<png_bytep>(rgba + std::size_t(y) * width * 4);
        }
        ok = WriteRows(&h, rows.data());
    }
    png_destroy_write_struct(&h.png, h.info ? &h.info : nullptr);
    ok = std::fclose(h.file) == 0 && ok;
    if (!ok) {
        std::remove(path.c_str());
    }
    return ok;
}

}  // namespace QX
