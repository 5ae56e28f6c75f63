#include "PngFile.h"

#include <png.h>

#include <cstdio>
#include <vector>

namespace view {

namespace {

// libpng reports errors by longjmp out of its calls; only plain data lives
// across the jump.
struct PngError {
    char text[200];
};

void onError(png_structp png, png_const_charp message) {
    auto* error = static_cast<PngError*>(png_get_error_ptr(png));
    std::snprintf(error->text, sizeof error->text, "%s", message);
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

// Nothing here changes after setjmp, so the jump back leaves no stale
// variables.
bool writeImage(png_structp png, png_infop info, std::FILE* file, int width, int height,
                png_bytepp rows) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    return true;
}

}  // namespace

bool writePng(const std::string& path, const platform::Picture& picture, std::string& error) {
    if (picture.width <= 0 || picture.height <= 0 ||
        picture.rgba.size() != static_cast<std::size_t>(picture.width) * picture.height * 4) {
        error = "the picture is empty";
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        error = "cannot write " + path;
        return false;
    }
    std::vector<png_byte> rgb(static_cast<std::size_t>(picture.width) * picture.height * 3);
    for (std::size_t i = 0, j = 0; i < picture.rgba.size(); i += 4, j += 3) {
        rgb[j] = picture.rgba[i];
        rgb[j + 1] = picture.rgba[i + 1];
        rgb[j + 2] = picture.rgba[i + 2];
    }
    std::vector<png_bytep> rows(static_cast<std::size_t>(picture.height));
    for (int y = 0; y < picture.height; ++y) {
        rows[static_cast<std::size_t>(y)] =
            rgb.data() + static_cast<std::size_t>(y) * picture.width * 3;
    }

    PngError failure{};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, onError, onWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    const bool written =
        info != nullptr && writeImage(png, info, file, picture.width, picture.height, rows.data());
    png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        error = "cannot write " + path + (failure.text[0] != 0 ? ": " : "") + failure.text;
        std::remove(path.c_str());
        return false;
    }
    return true;
}

}  // namespace view
