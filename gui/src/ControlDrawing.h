#pragma once
// Small drawing helpers the controls share. Render thread only.

#include <cmath>

#include "GL.h"
#include "gui/Geometry.h"

namespace QX {

inline void FillRect(float x0, float y0, float x1, float y1) {
    glBegin(GL_QUADS);
    glVertex2f(x0, y0);
    glVertex2f(x1, y0);
    glVertex2f(x1, y1);
    glVertex2f(x0, y1);
    glEnd();
}

inline void FillBox(const Box& b) {
    FillRect(b.minX, b.minY, b.maxX, b.maxY);
}

inline void OutlineBox(const Box& b) {
    glBegin(GL_LINE_LOOP);
    glVertex2f(b.minX + 0.5f, b.minY + 0.5f);
    glVertex2f(b.maxX - 0.5f, b.minY + 0.5f);
    glVertex2f(b.maxX - 0.5f, b.maxY - 0.5f);
    glVertex2f(b.minX + 0.5f, b.maxY - 0.5f);
    glEnd();
}

// colour += (target - colour) * rate, every component; snaps once the
// difference is below what a colour byte shows. True while still moving,
// so the caller can ask the Manager for more frames.
inline bool GlideColour(float colour[4], const float target[4], float rate) {
    bool moving = false;
    for (int i = 0; i < 4; ++i) {
        colour[i] += (target[i] - colour[i]) * rate;
        if (std::fabs(target[i] - colour[i]) < 1.0f / 512)
            colour[i] = target[i];
        else
            moving = true;
    }
    return moving;
}

// Alpha blending with source alpha, as every translucent fill here.
inline void BlendOver() {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

}  // namespace QX
