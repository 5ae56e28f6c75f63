#pragma once
// A box with a line of text, drawn into the cached layer.

#include <string>

#include "gui/TextRun.h"
#include "gui/UIElement.h"

namespace QX {

class Label : public ControlBase {
public:
    // alignment 0 centre, 1 left, 2 right; width or height 0 sizes the box
    // to the text (then y is the top edge). Measured with the Manager's
    // label font; without one the box stays empty.
    Label(Manager* manager, const std::string& text, float x, float y, int alignment, float width,
          float height);

    void DrawStatic(Font* font) override;

    std::string text;
    float backgroundColour[4] = {1, 1, 1, 1};
    float foregroundColour[4] = {0, 0, 0, 1};
    float textX = 0, textY = 0;
    TextRun run;
};

}  // namespace QX
