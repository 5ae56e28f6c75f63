#include "gui/Font.h"

#include <FTGL/ftgl.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <unordered_map>

#include "GL.h"
#include "GlyphDrawing.h"
#include "platform/Diagnostics.h"

// FTGL loads the face, keeps the glyph cache and supplies the metrics that
// place text (face size, advances with kerning, line height, descender).
// Its texture font would also make one GL texture per glyph sheet at the
// moment a glyph is first measured, on whatever thread measures it, and
// keeps the texture names to itself. So the FTTextureFont below makes
// metric-only glyphs, and the glyph images go into a texture of our own:
// rasterised by FreeType with the loading flags FTGL's texture font uses,
// under the font lock on any thread, and uploaded on the render thread when
// it asks for the texture name.

namespace QX {
namespace {

// What FTTextureFont loads glyphs with; the atlas uses the same, so that
// images and FTGL's advances agree.
constexpr FT_Int32 kLoadFlags = FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP;

// Glyph images are this far apart in the texture, so that linear filtering
// of a scaled editor never picks up a neighbour.
constexpr int kPadding = 2;
// Old software renderers stop at 1024; glyph sheets never need more.
constexpr int kMaximumTextureSide = 1024;

class MetricsGlyph : public FTGlyph {
public:
    explicit MetricsGlyph(FT_GlyphSlot slot)
        : FTGlyph(slot), advance_(slot->advance.x / 64.0f, slot->advance.y / 64.0f) {}
    // Never drawn through FTGL: the quads come from LayoutText.
    const FTPoint& Render(const FTPoint&, int) override { return advance_; }

private:
    FTPoint advance_;
};

class MetricsTextureFont : public FTTextureFont {
public:
    explicit MetricsTextureFont(const char* path) : FTTextureFont(path) {}
    MetricsTextureFont(const unsigned char* bytes, std::size_t length)
        : FTTextureFont(bytes, length) {}

protected:
    FTGlyph* MakeGlyph(FT_GlyphSlot slot) override { return new MetricsGlyph(slot); }
};

// One FreeType library for our faces, alive while any face is (under the
// font lock).
FT_Library gLibrary = nullptr;
int gLibraryUsers = 0;

FT_Library AcquireLibrary() {
    if (gLibrary == nullptr && FT_Init_FreeType(&gLibrary) != 0) {
        gLibrary = nullptr;
        return nullptr;
    }
    ++gLibraryUsers;
    return gLibrary;
}

void ReleaseLibrary() {
    if (--gLibraryUsers == 0) {
        FT_Done_FreeType(gLibrary);
        gLibrary = nullptr;
    }
}

// UTF-8 to code points. Bytes outside a well-formed sequence stand for
// themselves (Latin-1), so texts from older skins still show.
std::vector<char32_t> DecodeText(const std::string& text) {
    std::vector<char32_t> codes;
    codes.reserve(text.size());
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char lead = s[i];
        int extra = 0;
        char32_t code = lead;
        char32_t minimum = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1, code = lead & 0x1F, minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2, code = lead & 0x0F, minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3, code = lead & 0x07, minimum = 0x10000;
        }
        bool valid = extra > 0;
        for (int k = 1; valid && k <= extra; ++k) {
            if (i + k >= n || (s[i + k] & 0xC0) != 0x80) {
                valid = false;
            } else {
                code = (code << 6) | (s[i + k] & 0x3F);
            }
        }
        if (valid && (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))) {
            valid = false;
        }
        if (valid) {
            codes.push_back(code);
            i += extra + 1;
        } else {
            codes.push_back(lead);
            i += 1;
        }
    }
    return codes;
}

std::size_t Utf8Length(char32_t code) {
    return code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
}

void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

int NextPowerOfTwo(int value) {
    int p = 1;
    while (p < value) {
        p <<= 1;
    }
    return p;
}

bool IsCurrentContext() {
    // Without a current context GL answers null here instead of failing.
    return glGetString(GL_VERSION) != nullptr;
}

}  // namespace

// ---- The FreeType face and the glyph texture ------------------------------------

struct Font::Glyphs {
    struct Glyph {
        int left = 0, top = 0;      // image corner from the pen, pixels, y up
        int width = 0, height = 0;  // image size; 0 for blanks
        int x = 0, y = 0;           // place in the texture, top-left, pixels
        bool drawable = false;      // has an image in the texture
    };

    FT_Face face = nullptr;
    FT_UInt asciiIndex[128] = {};
    std::unordered_map<FT_UInt, Glyph> glyphs;

    int width = 0, height = 0;  // texture size, pixels
    std::vector<std::uint8_t> pixels;
    int cursorX = 0, cursorY = 0, shelfHeight = 0;

    unsigned texture = 0;
    bool uploadNeeded = true;

    ~Glyphs() {
        if (face != nullptr) {
            FT_Done_Face(face);
            ReleaseLibrary();
        }
    }

    // A file, or with `bytes` a face in memory that outlives this one.
    bool Open(const std::string& path, const std::uint8_t* bytes, std::size_t length) {
        FT_Library library = AcquireLibrary();
        if (library == nullptr) {
            return false;
        }
        const FT_Error error =
            bytes != nullptr
                ? FT_New_Memory_Face(library, bytes, static_cast<FT_Long>(length), 0, &face)
                : FT_New_Face(library, path.c_str(), 0, &face);
        if (error != 0) {
            face = nullptr;
            ReleaseLibrary();
            return false;
        }
        for (FT_ULong code = 0; code < 128; ++code) {
            asciiIndex[code] = FT_Get_Char_Index(face, code);
        }
        return true;
    }

    FT_UInt Index(char32_t code) const {
        return code < 128 ? asciiIndex[code] : FT_Get_Char_Index(face, code);
    }

    // Sizes the face like FTGL's and empties the texture.
    bool SetSize(int pixelSize) {
        if (FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(pixelSize) * 64, 72, 72) != 0) {
            return false;
        }
        width = std::clamp(NextPowerOfTwo(pixelSize * 16), 128, kMaximumTextureSide);
        height = std::clamp(NextPowerOfTwo(pixelSize * 2), 32, kMaximumTextureSide);
        Clear();
        return true;
    }

    void Clear() {
        glyphs.clear();
        pixels.assign(static_cast<std::size_t>(width) * height, 0);
        cursorX = cursorY = kPadding;
        shelfHeight = 0;
        uploadNeeded = true;
    }

    enum class Result { kReady, kRearranged, kFull };

    // The glyph of `index`, rasterised into the texture on first use.
    // kRearranged: the texture grew (coordinates of earlier quads changed).
    // kFull: there is no room left; the glyph is not drawable.
    Result Obtain(FT_UInt index, const Glyph*& out) {
        auto found = glyphs.find(index);
        if (found != glyphs.end()) {
            out = &found->second;
            return Result::kReady;
        }
        Glyph glyph;
        Result result = Result::kReady;
        if (FT_Load_Glyph(face, index, kLoadFlags) == 0 &&
            FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) == 0 &&
            face->glyph->bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
            const FT_Bitmap& bitmap = face->glyph->bitmap;
            glyph.left = face->glyph->bitmap_left;
            glyph.top = face->glyph->bitmap_top;
            glyph.width = static_cast<int>(bitmap.width);
            glyph.height = static_cast<int>(bitmap.rows);
            // An image larger than any texture we make is left out for good
            // rather than making room for it.
            const bool fits = glyph.width + 2 * kPadding <= width &&
                              glyph.height + 2 * kPadding <= kMaximumTextureSide;
            if (glyph.width > 0 && glyph.height > 0 && fits) {
                result = Place(glyph);
                if (result != Result::kFull) {
                    Copy(bitmap, glyph);
                    glyph.drawable = true;
                }
            }
        }
        out = &glyphs.emplace(index, glyph).first->second;
        return result;
    }

    Result Place(Glyph& glyph) {
        if (cursorX + glyph.width + kPadding > width) {
            cursorX = kPadding;
            cursorY += shelfHeight + kPadding;
            shelfHeight = 0;
        }
        Result result = Result::kReady;
        while (cursorY + glyph.height + kPadding > height) {
            if (height >= kMaximumTextureSide) {
                return Result::kFull;
            }
            // Rows are appended below: every glyph keeps its pixel place,
            // only the texture coordinates of laid-out quads change.
            height *= 2;
            pixels.resize(static_cast<std::size_t>(width) * height, 0);
            result = Result::kRearranged;
        }
        glyph.x = cursorX;
        glyph.y = cursorY;
        cursorX += glyph.width + kPadding;
        shelfHeight = std::max(shelfHeight, glyph.height);
        uploadNeeded = true;
        return result;
    }

    void Copy(const FT_Bitmap& bitmap, const Glyph& glyph) {
        for (int row = 0; row < glyph.height; ++row) {
            // A negative pitch stores the rows bottom up.
            const unsigned char* source =
                bitmap.pitch >= 0 ? bitmap.buffer + row * bitmap.pitch
                                  : bitmap.buffer + (glyph.height - 1 - row) * -bitmap.pitch;
            std::copy(
                source, source + glyph.width,
                pixels.begin() + static_cast<std::ptrdiff_t>(glyph.y + row) * width + glyph.x);
        }
    }
};

// ---- The process-wide lock ------------------------------------------------------------

std::recursive_mutex& FontLock() {
    // Lives as long as the library: every render thread has stopped before
    // a host can unload it (the editor closes with its plug-in), and a host
    // that loads and unloads the library while scanning gets it back.
    static std::recursive_mutex lock;
    return lock;
}

// ---- Font ------------------------------------------------------------------------------

Font::Font(const std::string& path, int size) : path_(path), size_(size) {
    Load(path, nullptr, 0);
}

Font::Font(const std::uint8_t* bytes, std::size_t length, int size)
    : bytes_(bytes), length_(length), size_(size) {
    Load(std::string(), bytes, length);
}

std::unique_ptr<Font> Font::Copy() const {
    return bytes_ != nullptr ? std::make_unique<Font>(bytes_, length_, size_)
                             : std::make_unique<Font>(path_, size_);
}

void Font::Load(const std::string& path, const std::uint8_t* bytes, std::size_t length) {
    const int size = size_;
    bool loaded = false;
    {
        std::lock_guard<std::recursive_mutex> hold(FontLock());
        face_ = bytes != nullptr ? std::make_unique<MetricsTextureFont>(bytes, length)
                                 : std::make_unique<MetricsTextureFont>(path.c_str());
        glyphs_ = std::make_unique<Glyphs>();
        // A size FreeType refuses would leave FTGL without a glyph cache,
        // which it does not check for before the next measurement.
        loaded = face_->Error() == 0 && size > 0 && glyphs_->Open(path, bytes, length) &&
                 face_->FaceSize(static_cast<unsigned>(size), 72) && glyphs_->SetSize(size);
        if (!loaded) {
            face_.reset();
            glyphs_.reset();
        }
    }
    if (!loaded) {
        // Outside the lock: the box is modal, and other editors draw meanwhile.
        platform::showMessageBox("Error", "Unable to load font");
    }
}

Font::~Font() {
    std::lock_guard<std::recursive_mutex> hold(FontLock());
    face_.reset();
    glyphs_.reset();
}

void Font::SetScale(int scale) {
    std::lock_guard<std::recursive_mutex> hold(FontLock());
    if (!face_) {
        return;
    }
    scale = std::max(scale, 1);
    if (scale != scale_) {
        const int pixels = size_ * scale;
        if (!face_->FaceSize(static_cast<unsigned>(pixels), 72) || !glyphs_->SetSize(pixels)) {
            // Too large for the face: no text rather than a half-sized cache.
            face_.reset();
            glyphs_.reset();
            generation_.fetch_add(1, std::memory_order_release);
            return;
        }
        scale_ = scale;
        inverseScale_ = 1.0f / static_cast<float>(scale);
        asciiPrepared_ = false;
        generation_.fetch_add(1, std::memory_order_release);
    }
    if (!asciiPrepared_) {
        std::string printable;
        for (char c = 32; c <= 126; ++c) {
            printable += c;
        }
        // FTGL's glyph cache and our images, once per size.
        face_->Advance(printable.c_str());
        for (char c : printable) {
            const FT_UInt index = glyphs_->Index(static_cast<unsigned char>(c));
            const Glyphs::Glyph* glyph = nullptr;
            if (index != 0 && glyphs_->Obtain(index, glyph) == Glyphs::Result::kRearranged) {
                generation_.fetch_add(1, std::memory_order_release);
            }
        }
        asciiPrepared_ = true;
    }
    if (IsCurrentContext()) {
        GlyphTexture();
    }
}

std::string Font::DrawableText(const std::string& text) {
    std::string clean;
    clean.reserve(text.size());
    for (char32_t code : DecodeText(text)) {
        // A face may map U+0000 to a blank glyph; FTGL would take it for
        // the end of the text.
        if (code != 0 && glyphs_->Index(code) != 0) {
            AppendUtf8(clean, code);
        }
    }
    return clean;
}

float Font::Advance(const std::string& text) {
    std::lock_guard<std::recursive_mutex> hold(FontLock());
    if (!face_) {
        return 0;
    }
    // Text FTGL reads is valid UTF-8 (it reads past the end of a truncated
    // sequence) and has no code without a glyph (it would measure the
    // face's box for a missing glyph, which LayoutText leaves out).
    return face_->Advance(DrawableText(text).c_str()) * inverseScale_;
}

float Font::LineHeight() {
    std::lock_guard<std::recursive_mutex> hold(FontLock());
    return face_ ? face_->LineHeight() * inverseScale_ : 0;
}

float Font::Descender() {
    std::lock_guard<std::recursive_mutex> hold(FontLock());
    return face_ ? face_->Descender() * inverseScale_ : 0;
}

void Font::Measure(const std::string& text, float& width, float& height) {
    std::lock_guard<std::recursive_mutex> hold(FontLock());
    width = 0;
    height = 0;
    if (!face_) {
        return;
    }
    FT_Pos advance = 0, top = 0;
    for (char32_t code : DecodeText(text)) {
        const FT_UInt index = glyphs_->Index(code);
        if (index == 0 || FT_Load_Glyph(glyphs_->face, index, kLoadFlags) != 0) {
            continue;
        }
        advance += glyphs_->face->glyph->advance.x;
        top = std::max(top, glyphs_->face->glyph->metrics.horiBearingY);
    }
    width = static_cast<float>(advance) / 64.0f * inverseScale_;
    height = static_cast<float>(top) / 64.0f * inverseScale_;
}

bool Font::HasGlyph(char32_t code) {
    std::lock_guard<std::recursive_mutex> hold(FontLock());
    return face_ && glyphs_->Index(code) != 0;
}

unsigned Font::GlyphTexture() {
    std::lock_guard<std::recursive_mutex> hold(FontLock());
    if (!face_) {
        return 0;
    }
    Glyphs& g = *glyphs_;
    if (g.texture == 0) {
        GLuint name = 0;
        glGenTextures(1, &name);
        g.texture = name;
        g.uploadNeeded = true;
    }
    if (g.texture != 0 && g.uploadNeeded) {
        GLint previous = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
        glBindTexture(GL_TEXTURE_2D, g.texture);
        glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
        glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA, g.width, g.height, 0, GL_ALPHA, GL_UNSIGNED_BYTE,
                     g.pixels.data());
        glPopClientAttrib();
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
        g.uploadNeeded = false;
    }
    return g.texture;
}

void Font::ReleaseGL() {
    std::lock_guard<std::recursive_mutex> hold(FontLock());
    if (glyphs_ && glyphs_->texture != 0) {
        GLuint name = glyphs_->texture;
        glDeleteTextures(1, &name);
        glyphs_->texture = 0;
        glyphs_->uploadNeeded = true;
    }
}

// ---- Layout and drawing ----------------------------------------------------------------------

int LayoutText(Font& font, std::vector<GlyphVertex>& vertices, const std::string& text, float x,
               float y, float& endX) {
    std::lock_guard<std::recursive_mutex> hold(FontLock());
    vertices.clear();
    endX = x;
    if (!font.face_) {
        return 0;
    }
    Font::Glyphs& glyphs = *font.glyphs_;
    const std::string clean = font.DrawableText(text);
    const std::vector<char32_t> codes = DecodeText(clean);
    const float inverse = font.inverseScale_;
    vertices.reserve(codes.size() * 4);

    bool clearedOnce = false;
    for (;;) {
        vertices.clear();
        float penX = x, penY = y;
        bool restart = false;
        std::size_t offset = 0;
        for (char32_t code : codes) {
            const Font::Glyphs::Glyph* glyph = nullptr;
            const auto result = glyphs.Obtain(glyphs.Index(code), glyph);
            if (result == Font::Glyphs::Result::kRearranged) {
                // Quads made so far point into the old texture size.
                font.generation_.fetch_add(1, std::memory_order_release);
                restart = true;
                break;
            }
            if (result == Font::Glyphs::Result::kFull && !clearedOnce) {
                // Make room for this text at the cost of re-laying out the
                // others (their generation is now stale).
                clearedOnce = true;
                glyphs.Clear();
                font.generation_.fetch_add(1, std::memory_order_release);
                restart = true;
                break;
            }
            if (glyph->drawable) {
                // At scale 1 a design unit is a pixel: glyphs on whole pixels
                // stay sharp.
                const float baseX = font.scale_ == 1 ? std::floor(penX) : penX;
                const float baseY = font.scale_ == 1 ? std::floor(penY) : penY;
                const float x0 = baseX + static_cast<float>(glyph->left) * inverse;
                const float y1 = baseY + static_cast<float>(glyph->top) * inverse;
                const float x1 = x0 + static_cast<float>(glyph->width) * inverse;
                const float y0 = y1 - static_cast<float>(glyph->height) * inverse;
                const float u0 = static_cast<float>(glyph->x) / static_cast<float>(glyphs.width);
                const float v0 = static_cast<float>(glyph->y) / static_cast<float>(glyphs.height);
                const float u1 =
                    static_cast<float>(glyph->x + glyph->width) / static_cast<float>(glyphs.width);
                const float v1 = static_cast<float>(glyph->y + glyph->height) /
                                 static_cast<float>(glyphs.height);
                vertices.push_back({u0, v0, x0, y1, 0});
                vertices.push_back({u0, v1, x0, y0, 0});
                vertices.push_back({u1, v1, x1, y0, 0});
                vertices.push_back({u1, v0, x1, y1, 0});
            }
            // FTGL's advance of this character, kerned with the next one
            // still in the buffer: the same sum Advance() makes.
            penX += font.face_->Advance(clean.c_str() + offset, 1) * inverse;
            offset += Utf8Length(code);
        }
        if (!restart) {
            endX = penX;
            break;
        }
    }
    return static_cast<int>(vertices.size());
}

void DrawQuads(Font& font, const GlyphVertex* vertices, int count) {
    if (vertices == nullptr || count <= 0) {
        return;
    }
    std::lock_guard<std::recursive_mutex> hold(FontLock());
    GlyphDrawing drawing(font, vertices);
    if (drawing.Ready()) {
        glDrawArrays(GL_QUADS, 0, count);
    }
}

}  // namespace QX
