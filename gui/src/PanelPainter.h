#pragma once
// How the dialog panel and its controls draw: filled boxes, 3D edges, text
// on a baseline and clipping, in the overlay pass's projection (design
// units). The only place of the panel with GL calls. Render thread only.

#include <string>
#include <vector>

#include "gui/Font.h"
#include "gui/Geometry.h"

namespace QX {

// The colours of a classic dialog.
namespace panelcolour {
inline constexpr float kFace[3] = {0.831f, 0.816f, 0.784f};
inline constexpr float kShadow[3] = {0.502f, 0.502f, 0.502f};
inline constexpr float kDarkShadow[3] = {0.25f, 0.25f, 0.25f};
inline constexpr float kHighlight[3] = {1, 1, 1};
inline constexpr float kWindow[3] = {1, 1, 1};
inline constexpr float kText[3] = {0, 0, 0};
inline constexpr float kSelection[3] = {0.04f, 0.14f, 0.42f};
inline constexpr float kCaptionLeft[3] = {0.04f, 0.14f, 0.42f};
inline constexpr float kCaptionRight[3] = {0.65f, 0.79f, 0.94f};
}  // namespace panelcolour

class PanelPainter {
public:
    // Starts a frame: `font` may be null (no text then); `pixelsPerUnit`
    // maps design units to window pixels for clipping; `scale` is the
    // panel's. Sets blending without depth, lighting or textures until End
    // restores what was set before.
    void Begin(Font* font, float pixelsPerUnitX, float pixelsPerUnitY, float scale);
    void End();

    Font* TextFont() const { return font_; }
    float Scale() const { return scale_; }
    // The width of edges and outlines: a pixel at least.
    float Line() const;

    void SetColour(const float c[3], float alpha = 1);
    void SetColour(float r, float g, float b, float alpha);
    void Fill(const Box& b);
    // A box filled from `left` at its left edge to `right` at its right one.
    void FillAcross(const Box& b, const float left[3], const float right[3]);
    // The box's border `w` wide, in the current colour.
    void Outline(const Box& b, float w);
    // 3D edges two lines of `w`: light top and left (raised) or dark.
    void Raised(const Box& b, float w);
    void Sunken(const Box& b, float w);
    // An arrow head `size` half-wide around (cx, cy).
    void Triangle(float cx, float cy, float size, bool down);
    // Connected lines `width` design units wide.
    void Lines(const std::vector<Point>& points, float width);

    // Text on `baseline` from `x`, in the current colour.
    void Text(const std::string& text, float x, float baseline);
    // The baseline of text centred in `box`.
    float Baseline(const Box& box) const;
    // 0 without a font.
    float Ascent() const;
    float Advance(const std::string& text) const;

    void Clip(const Box& box);
    void Unclip();

    // Entries of a list from `first`, `rowHeight` each, into `area`; entry
    // `hot` marked (and outlined when the list has the focus).
    void Rows(const std::vector<std::string>& items, const Box& area, float rowHeight, int first,
              int hot, bool focused);

private:
    void Edge(const Box& b, float w, const float topLeft[3], const float bottomRight[3]);

    Font* font_ = nullptr;
    float pixelsPerUnitX_ = 1, pixelsPerUnitY_ = 1;
    float scale_ = 1;
    std::vector<GlyphVertex> quads_;
};

}  // namespace QX
