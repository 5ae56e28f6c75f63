#pragma once
// TrueType fonts drawn as textured glyph quads. Every use of a face (sizing,
// glyph preparation, measuring, layout, drawing) holds the process-wide font
// lock: the render threads of several editors and the user-interface thread
// (labels measured while a script builds the tree) share the faces' caches.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

class FTTextureFont;

namespace QX {

// One vertex of a glyph quad: texture coordinates, then position.
struct GlyphVertex {
    float u, v;
    float x, y, z;
};

// [any-thread] The process-wide font lock (recursive: a layout may measure).
std::recursive_mutex& FontLock();

struct FontCandidate {
    std::string name;  // a file name or a path
    int size = 0;      // points at scale 1
};

class Font {
public:
    // Loads the face; a face FreeType cannot read shows "Unable to load font"
    // (caption "Error") and leaves Loaded() false.
    Font(const std::string& path, int size);
    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    bool Loaded() const { return face_ != nullptr; }
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
    // [render-thread] Deletes the face's GL objects (glyph textures); the
    // font is prepared again by the next SetScale.
    void ReleaseGL();
    // GL name of the glyph texture the quads refer to (one per face here).
    unsigned GlyphTexture();

private:
    std::unique_ptr<FTTextureFont> face_;
    int size_ = 0;
    int scale_ = 1;
    float inverseScale_ = 1;
};

// Finds `name` as given, else in the system's font folders. False for an
// empty name.
bool FindFontFile(const std::string& name, std::string& path);
// The first candidate that is found and loads; null when none does.
std::unique_ptr<Font> CreateFont(const std::vector<FontCandidate>& candidates);

// Lays out `text` at (x, y) into `vertices` (four per drawn character;
// characters without a glyph take no room). Returns the vertex count;
// `endX` gets the final pen position. [render-thread or ui-thread]
int LayoutText(Font& font, std::vector<GlyphVertex>& vertices, const std::string& text, float x,
               float y, float& endX);
// [render-thread] Draws quads laid out by LayoutText in the current colour.
void DrawQuads(Font& font, const GlyphVertex* vertices, int count);

}  // namespace QX
