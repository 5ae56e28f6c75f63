#pragma once
// GL state for drawing glyph quads of one font: the glyph texture modulated
// by the current colour, alpha-tested and blended, from interleaved
// texture-coordinate and position arrays. Everything it changes is restored
// when it goes out of scope. [render-thread, font lock held]

#include "GL.h"
#include "gui/Font.h"

namespace QX {

static_assert(sizeof(GlyphVertex) == 5 * sizeof(float), "GL_T2F_V3F needs packed vertices");

class GlyphDrawing {
public:
    GlyphDrawing(Font& font, const GlyphVertex* vertices) : texture_(font.GlyphTexture()) {
        if (texture_ == 0) {
            return;
        }
        glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_TEXTURE_BIT);
        glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, texture_);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glEnable(GL_ALPHA_TEST);
        glAlphaFunc(GL_GREATER, 0.0f);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glInterleavedArrays(GL_T2F_V3F, 0, vertices);
    }
    ~GlyphDrawing() {
        if (texture_ != 0) {
            glPopClientAttrib();
            glPopAttrib();
        }
    }
    GlyphDrawing(const GlyphDrawing&) = delete;
    GlyphDrawing& operator=(const GlyphDrawing&) = delete;

    bool Ready() const { return texture_ != 0; }

private:
    unsigned texture_;
};

}  // namespace QX
