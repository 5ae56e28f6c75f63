#pragma once
// An edit field of the panel: UTF-8 text with a caret, Left/Right,
// Backspace, Control+A and typing of Latin-1 characters (digits only in a
// number field), up to the procedure's limit. Reached by the keyboard its
// text is selected, so that typing replaces it. The text scrolls under the
// field to keep the caret in view.

#include <cstddef>
#include <string>

#include "PanelControl.h"

namespace QX {

class PanelEditField : public PanelControl {
public:
    using PanelControl::PanelControl;

    void SetText(const std::string& text) override;
    void LimitText(std::size_t maxLength) override { limit_ = maxLength; }
    void FocusGained() override;
    PanelEvent MouseDown(Point p, int clickCount, Font* measure) override;
    PanelEvent Key(int character) override;
    void Draw(PanelPainter& painter, bool focused, double seconds) override;

private:
    void Insert(const std::string& bytes);
    void Backspace();
    void MoveCaret(int direction);
    void PlaceCaret(Font* measure, float x);

    std::size_t limit_ = 30000;
    std::size_t caret_ = Text().size();  // a byte offset at a character boundary
    bool selectAll_ = false;
    float scrollX_ = 0;  // [render-thread] of the text under the field
};

}  // namespace QX
