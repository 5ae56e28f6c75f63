#pragma once
// A string laid out once and drawn every frame from its stored quads.

#include <string>
#include <vector>

#include "gui/Font.h"

namespace QX {

class TextRun {
public:
    // Lays the text out again only when the text, the position or the font
    // changed (or the font's glyphs were rearranged since). Without a font,
    // returns the stored end.
    float Update(Font* font, const std::string& text, float x, float y);
    // [render-thread] Draws the stored quads in the current colour (laid out
    // again first when the font's glyphs were rearranged).
    void Draw(Font* font);

    const std::string& text() const { return text_; }
    float endX() const { return endX_; }
    const std::vector<GlyphVertex>& quads() const { return quads_; }

private:
    std::string text_;
    float x_ = 0, y_ = 0, endX_ = 0;
    bool laidOut_ = false;
    const Font* font_ = nullptr;
    unsigned generation_ = 0;
    std::vector<GlyphVertex> quads_;
};

}  // namespace QX
