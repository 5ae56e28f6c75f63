#pragma once
// A string laid out once and drawn every frame from its stored quads.

#include <string>
#include <vector>

#include "gui/Font.h"

namespace QX {

class TextRun {
public:
    // Lays the text out again only when the text or position changed.
    // Without a font, returns the stored end.
    float Update(Font* font, const std::string& text, float x, float y);
    // [render-thread]
    void Draw(Font* font);

    const std::string& text() const { return text_; }
    float endX() const { return endX_; }
    const std::vector<GlyphVertex>& quads() const { return quads_; }

private:
    std::string text_;
    float x_ = 0, y_ = 0, endX_ = 0;
    bool laidOut_ = false;
    std::vector<GlyphVertex> quads_;
};

}  // namespace QX
