#include "gui/StaticText.h"

#include "GL.h"
#include "GlyphDrawing.h"
#include "gui/Manager.h"

namespace QX {

StaticText::StaticText(Manager* owner, bool labelFont) : Effect(owner), useLabelFont(labelFont) {}

Font* StaticText::ChosenFont() {
    return useLabelFont ? manager->labelFont : manager->mainFont;
}

int StaticText::AddText(const std::string& text, float x, float y, const float* colour) {
    Item item;
    item.text = text;
    item.colour = colour;
    item.x = x;
    item.y = y;
    item.vertexCount = 4 * static_cast<int>(text.size());
    items.push_back(std::move(item));
    dirty = true;
    return static_cast<int>(items.size()) - 1;
}

void StaticText::SetText(int index, const std::string& text, float x, float y) {
    if (index < 0 || static_cast<std::size_t>(index) >= items.size()) {
        return;
    }
    Item& item = items[static_cast<std::size_t>(index)];
    item.text = text;
    item.x = x;
    item.y = y;
    dirty = true;
}

void StaticText::SetVisible(int index, bool visible) {
    if (index >= 0 && static_cast<std::size_t>(index) < items.size()) {
        items[static_cast<std::size_t>(index)].visible = visible;
    }
}

void StaticText::InitGL() {
    dirty = false;
    Font* font = ChosenFont();
    if (font == nullptr) {
        return;
    }
    std::lock_guard<std::recursive_mutex> hold(FontLock());
    vertices.clear();
    std::vector<GlyphVertex> quads;
    float endX = 0;
    for (Item& item : items) {
        // Each item gets what its layout produced: characters without a
        // glyph and blanks have no quads, so 4 per byte would be too many.
        item.firstVertex = static_cast<int>(vertices.size());
        item.vertexCount = LayoutText(*font, quads, item.text, item.x, item.y, endX);
        vertices.insert(vertices.end(), quads.begin(), quads.end());
    }
    laidOutFont_ = font;
    laidOutGeneration_ = font->generation();
}

void StaticText::Draw() {
    Font* font = ChosenFont();
    if (items.empty() || font == nullptr) {
        return;
    }
    std::lock_guard<std::recursive_mutex> hold(FontLock());
    if (dirty || font != laidOutFont_ || font->generation() != laidOutGeneration_) {
        InitGL();
    }
    if (vertices.empty()) {
        return;
    }
    GlyphDrawing drawing(*font, vertices.data());
    if (!drawing.Ready()) {
        return;
    }
    for (const Item& item : items) {
        if (!item.visible || item.vertexCount <= 0) {
            continue;
        }
        if (item.colour != nullptr) {
            glColor4fv(item.colour);
        }
        glDrawArrays(GL_QUADS, item.firstVertex, item.vertexCount);
    }
}

}  // namespace QX
