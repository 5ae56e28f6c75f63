#include "gui/Label.h"

#include <cmath>

#include "GL.h"
#include "gui/Font.h"
#include "gui/Manager.h"

namespace QX {

Label::Label(Manager* owner, const std::string& labelText, float x, float y, int alignment,
             float width, float height)
    : ControlBase(owner), text(labelText) {
    Font* font = manager->labelFont;
    if (font == nullptr) {
        return;
    }
    float w = 0, ignored = 0, h = 0;
    font->Measure(text, w, ignored);
    font->Measure("M", ignored, h);

    if (width == 0) {
        width = std::floor(w) + 6;
        textX = 3;
        if (alignment == 2) {
            x -= width;
        } else if (alignment != 1) {
            x -= width / 2;
        }
        box.minX = std::floor(x);
        box.maxX = box.minX + width;
    } else {
        box.minX = std::floor(x);
        box.maxX = std::floor(x + width);
        textX = std::floor(width / 2 - w / 2);
    }
    if (height == 0) {
        textY = 3;
        box.minY = y - (std::floor(h) + 6);
        box.maxY = y;
    } else {
        box.minY = std::floor(y);
        box.maxY = std::floor(y + height);
        textY = std::floor(height / 2 - h / 2);
    }
    box.minZ = box.maxZ = 0;
}

void Label::DrawStatic(Font* font) {
    if (text.empty()) {
        return;
    }
    const Box b = AbsoluteBox();
    if (b.Empty()) {
        // Built without a label font: an empty box is inside out and would
        // fill the whole layer.
        return;
    }
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4fv(backgroundColour);
    glRectf(b.minX, b.minY, b.maxX, b.maxY);
    glPopAttrib();

    run.Update(font, text, b.minX + textX, b.minY + textY);
    if (font != nullptr) {
        glColor4fv(foregroundColour);
        run.Draw(font);
    }
}

}  // namespace QX
