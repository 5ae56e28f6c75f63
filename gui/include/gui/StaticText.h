#pragma once
// Many short texts drawn with one font from one vertex array: group names,
// the banner title.

#include <string>
#include <vector>

#include "gui/Effect.h"
#include "gui/Font.h"

namespace QX {

class StaticText : public Effect {
public:
    StaticText(Manager* manager, bool useLabelFont);

    // Lays every item out (render thread; Draw does it again whenever an
    // item changed or the font's glyphs were rearranged).
    void InitGL() override;
    void Draw() override;

    // Appends a visible item; `colour` is read at every draw and must
    // outlive the renderer. Returns the item's index.
    int AddText(const std::string& text, float x, float y, const float* colour);
    // Replaces an item's text and position (the banner title).
    void SetText(int index, const std::string& text, float x, float y);
    void SetVisible(int index, bool visible);

    struct Item {
        std::string text;
        const float* colour;
        float x, y;
        int firstVertex = 0;
        int vertexCount = 0;
        bool visible = true;
    };

    bool useLabelFont;
    std::vector<Item> items;
    std::vector<GlyphVertex> vertices;
    bool dirty = true;

private:
    Font* ChosenFont();

    // The font and glyph generation `vertices` were laid out with.
    const Font* laidOutFont_ = nullptr;
    unsigned laidOutGeneration_ = 0;
};

}  // namespace QX
