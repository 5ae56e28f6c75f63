#pragma once
// TrueType fonts drawn as textured glyph quads. Every use of a face (sizing,
// glyph preparation, measuring, layout, drawing) holds the process-wide font
// lock: the render threads of several editors and the user-interface thread
// (labels measured while a script builds the tree) share the faces' caches.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class FTTextureFont;

namespace QX {

// One vertex of a glyph quad: texture coordinates (0..1 in the font's glyph
// texture), then position. The layout GL_T2F_V3F expects.
struct GlyphVertex {
    float u, v;
    float x, y, z;
};

// [any-thread] The process-wide font lock (recursive: a layout may measure).
std::recursive_mutex& FontLock();

struct FontCandidate {
    // A file name or a path, or the name of a font the plug-in carries:
    // "builtin:DejaVuSans.ttf", "builtin:DejaVuSansMono.ttf".
    std::string name;
    int size = 0;  // points at scale 1
};

class Font {
public:
    // Loads the face; a face FreeType cannot read shows "Unable to load font"
    // (caption "Error") and leaves Loaded() false.
    Font(const std::string& path, int size);
    // A face held in memory (a built-in font); `bytes` must outlive the Font.
    Font(const std::uint8_t* bytes, std::size_t length, int size);
    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    bool Loaded() const { return face_ != nullptr; }
    // Another font of the same face and size, for another GL context (whose
    // glyph texture names mean nothing in this one's).
    std::unique_ptr<Font> Copy() const;
    // FTGL's face, for its metrics (under the font lock). Its glyphs carry
    // metrics only: text is drawn from LayoutText's quads, never by FTGL's
    // Render.
    FTTextureFont* face() const { return face_.get(); }
    int size() const { return size_; }
    int scale() const { return scale_; }
    float inverseScale() const { return inverseScale_; }

    // [render-thread] Sizes the face for the backing scale and prepares the
    // glyphs of the printable ASCII range.
    void SetScale(int scale);
    // Metrics in design units.
    float Advance(const std::string& text);
    float LineHeight();
    float Descender();  // negative below the baseline, as FreeType reports it
    // Sum of glyph advances and the tallest glyph top, in design units.
    void Measure(const std::string& text, float& width, float& height);
    // [render-thread] GL name of the glyph texture the quads refer to (one
    // per face), made or refreshed with the glyphs prepared so far; 0
    // without a GL context.
    unsigned GlyphTexture();
    // [render-thread] Deletes the glyph texture (rendering shuts down); the
    // glyphs stay prepared and the next GlyphTexture() uploads them again.
    void ReleaseGL();

    // Whether the face has a glyph for a Unicode code point.
    bool HasGlyph(char32_t code);
    // Moves on whenever laid-out quads become stale: the size changed or the
    // glyph texture was rearranged. Cached layouts compare it. [any-thread]
    unsigned generation() const { return generation_.load(std::memory_order_acquire); }

private:
    friend int LayoutText(Font& font, std::vector<GlyphVertex>& vertices, const std::string& text,
                          float x, float y, float& endX);
    struct Glyphs;  // the FreeType face beside FTGL's and the glyph texture

    void Load(const std::string& path, const std::uint8_t* bytes, std::size_t length);

    // Text as FTGL may read it: valid UTF-8 without the code points the face
    // has no glyph for.
    std::string DrawableText(const std::string& text);

    std::unique_ptr<FTTextureFont> face_;
    std::unique_ptr<Glyphs> glyphs_;
    std::string path_;
    const std::uint8_t* bytes_ = nullptr;  // a face held in memory, or null
    std::size_t length_ = 0;
    int size_ = 0;
    int scale_ = 1;
    float inverseScale_ = 1;
    bool asciiPrepared_ = false;
    std::atomic<unsigned> generation_{0};
};

// Finds `name` as given, else in the system's font folders. False for an
// empty name.
bool FindFontFile(const std::string& name, std::string& path);
// The first candidate that is found (built-in names in the module's
// resources) and loads; null when none does.
std::unique_ptr<Font> CreateFont(const std::vector<FontCandidate>& candidates);

// Lays out `text` (UTF-8; a byte that is not part of a valid sequence counts
// as the Latin-1 character of that code) at (x, y) into `vertices`, which is
// replaced: four per drawn character, none for blanks; characters without a
// glyph take no room. Returns the vertex count; `endX` gets the final pen
// position. The quads are valid while the font's generation() stays the
// same. [render-thread or ui-thread]
int LayoutText(Font& font, std::vector<GlyphVertex>& vertices, const std::string& text, float x,
               float y, float& endX);
// [render-thread] Draws quads laid out by LayoutText in the current colour.
void DrawQuads(Font& font, const GlyphVertex* vertices, int count);

}  // namespace QX
