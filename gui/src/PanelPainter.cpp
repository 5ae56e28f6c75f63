#include "PanelPainter.h"

#include <algorithm>
#include <cmath>

#include "GL.h"
#include "PanelControl.h"

namespace QX {

void PanelPainter::Begin(Font* font, float pixelsPerUnitX, float pixelsPerUnitY, float scale) {
    font_ = font;
    pixelsPerUnitX_ = pixelsPerUnitX;
    pixelsPerUnitY_ = pixelsPerUnitY;
    scale_ = scale;
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_SCISSOR_BIT | GL_CURRENT_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

void PanelPainter::End() {
    glPopAttrib();
}

float PanelPainter::Line() const {
    return std::max(1.0f, scale_);
}

void PanelPainter::SetColour(const float c[3], float alpha) {
    glColor4f(c[0], c[1], c[2], alpha);
}

void PanelPainter::SetColour(float r, float g, float b, float alpha) {
    glColor4f(r, g, b, alpha);
}

void PanelPainter::Fill(const Box& b) {
    glBegin(GL_QUADS);
    glVertex2f(b.minX, b.minY);
    glVertex2f(b.maxX, b.minY);
    glVertex2f(b.maxX, b.maxY);
    glVertex2f(b.minX, b.maxY);
    glEnd();
}

void PanelPainter::FillAcross(const Box& b, const float left[3], const float right[3]) {
    glBegin(GL_QUADS);
    SetColour(left);
    glVertex2f(b.minX, b.minY);
    SetColour(right);
    glVertex2f(b.maxX, b.minY);
    glVertex2f(b.maxX, b.maxY);
    SetColour(left);
    glVertex2f(b.minX, b.maxY);
    glEnd();
}

void PanelPainter::Outline(const Box& b, float w) {
    Fill(Box::Make(b.minX, b.maxY - w, b.maxX, b.maxY));
    Fill(Box::Make(b.minX, b.minY, b.maxX, b.minY + w));
    Fill(Box::Make(b.minX, b.minY, b.minX + w, b.maxY));
    Fill(Box::Make(b.maxX - w, b.minY, b.maxX, b.maxY));
}

void PanelPainter::Edge(const Box& b, float w, const float topLeft[3], const float bottomRight[3]) {
    SetColour(topLeft);
    Fill(Box::Make(b.minX, b.maxY - w, b.maxX, b.maxY));
    Fill(Box::Make(b.minX, b.minY, b.minX + w, b.maxY));
    SetColour(bottomRight);
    Fill(Box::Make(b.minX, b.minY, b.maxX, b.minY + w));
    Fill(Box::Make(b.maxX - w, b.minY, b.maxX, b.maxY));
}

void PanelPainter::Raised(const Box& b, float w) {
    using namespace panelcolour;
    Edge(b, w, kHighlight, kDarkShadow);
    Edge(Inset(b, w), w, kFace, kShadow);
}

void PanelPainter::Sunken(const Box& b, float w) {
    using namespace panelcolour;
    Edge(b, w, kShadow, kHighlight);
    Edge(Inset(b, w), w, kDarkShadow, kFace);
}

void PanelPainter::Triangle(float cx, float cy, float size, bool down) {
    const float h = size * 0.5f;
    glBegin(GL_TRIANGLES);
    if (down) {
        glVertex2f(cx - size, cy + h);
        glVertex2f(cx + size, cy + h);
        glVertex2f(cx, cy - h);
    } else {
        glVertex2f(cx - size, cy - h);
        glVertex2f(cx + size, cy - h);
        glVertex2f(cx, cy + h);
    }
    glEnd();
}

void PanelPainter::Lines(const std::vector<Point>& points, float width) {
    glLineWidth(std::max(1.0f, width * pixelsPerUnitX_));
    glBegin(GL_LINE_STRIP);
    for (const Point& p : points)
        glVertex2f(p.x, p.y);
    glEnd();
    glLineWidth(1);
}

void PanelPainter::Text(const std::string& text, float x, float baseline) {
    if (!font_ || text.empty())
        return;
    float end = 0;
    const int count = LayoutText(*font_, quads_, text, std::floor(x), baseline, end);
    if (count > 0)
        DrawQuads(*font_, quads_.data(), count);
}

float PanelPainter::Baseline(const Box& box) const {
    if (!font_)
        return box.minY;
    const float ascent = font_->LineHeight() + font_->Descender();
    return std::floor(box.Centre().y - (ascent + font_->Descender()) * 0.5f);
}

float PanelPainter::Ascent() const {
    return font_ ? font_->LineHeight() + font_->Descender() : 0;
}

float PanelPainter::Advance(const std::string& text) const {
    return font_ ? font_->Advance(text) : 0;
}

void PanelPainter::Clip(const Box& box) {
    glEnable(GL_SCISSOR_TEST);
    const auto px = [this](float x) { return static_cast<GLint>(std::floor(x * pixelsPerUnitX_)); };
    const auto py = [this](float y) { return static_cast<GLint>(std::floor(y * pixelsPerUnitY_)); };
    glScissor(px(box.minX), py(box.minY), std::max(0, px(box.maxX) - px(box.minX)),
              std::max(0, py(box.maxY) - py(box.minY)));
}

void PanelPainter::Unclip() {
    glDisable(GL_SCISSOR_TEST);
}

void PanelPainter::Rows(const std::vector<std::string>& items, const Box& area, float rowHeight,
                        int first, int hot, bool focused) {
    using namespace panelcolour;
    const int rows = std::max(0, static_cast<int>(area.Height() / rowHeight + 0.001f));
    Clip(area);
    for (int r = 0; r < rows; ++r) {
        const int index = first + r;
        if (index >= static_cast<int>(items.size()))
            break;
        const Box line = Box::Make(area.minX, area.maxY - (r + 1) * rowHeight, area.maxX,
                                   area.maxY - r * rowHeight);
        const bool marked = index == hot;
        if (marked) {
            SetColour(kSelection);
            Fill(line);
        }
        SetColour(marked ? kWindow : kText);
        Text(items[static_cast<std::size_t>(index)], line.minX + 2 * scale_, Baseline(line));
        if (marked && focused) {
            SetColour(1, 1, 1, 0.6f);
            Outline(line, std::max(1.0f, scale_ * 0.75f));
        }
    }
    Unclip();
}

}  // namespace QX
