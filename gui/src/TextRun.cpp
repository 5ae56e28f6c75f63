#include "gui/TextRun.h"

namespace QX {

float TextRun::Update(Font* font, const std::string& text, float x, float y) {
    if (font == nullptr) {
        return endX_;
    }
    // One hold over the check, the layout and the generation it belongs to:
    // another thread may rearrange the glyphs in between otherwise.
    std::lock_guard<std::recursive_mutex> hold(FontLock());
    if (laidOut_ && font == font_ && font->generation() == generation_ && text == text_ &&
        x == x_ && y == y_) {
        return endX_;
    }
    text_ = text;
    x_ = x;
    y_ = y;
    font_ = font;
    LayoutText(*font, quads_, text_, x_, y_, endX_);
    generation_ = font->generation();
    laidOut_ = true;
    return endX_;
}

void TextRun::Draw(Font* font) {
    if (font == nullptr || !laidOut_) {
        return;
    }
    std::lock_guard<std::recursive_mutex> hold(FontLock());
    if (font != font_ || font->generation() != generation_) {
        laidOut_ = false;
        Update(font, text_, x_, y_);
    }
    if (!quads_.empty()) {
        DrawQuads(*font, quads_.data(), static_cast<int>(quads_.size()));
    }
}

}  // namespace QX
