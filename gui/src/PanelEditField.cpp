#include "PanelEditField.h"

#include <cmath>

#include "PanelPainter.h"
#include "gui/Font.h"

namespace QX {

using namespace panelcolour;

namespace {

// Where the character before or after byte `at` of UTF-8 text starts.
std::size_t PreviousBoundary(const std::string& text, std::size_t at) {
    if (at == 0)
        return 0;
    --at;
    while (at > 0 && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80)
        --at;
    return at;
}

std::size_t NextBoundary(const std::string& text, std::size_t at) {
    if (at >= text.size())
        return text.size();
    ++at;
    while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80)
        ++at;
    return at;
}

}  // namespace

void PanelEditField::SetText(const std::string& text) {
    PanelControl::SetText(text);
    caret_ = text.size();
    scrollX_ = 0;
}

void PanelEditField::FocusGained() {
    selectAll_ = !Text().empty();
    caret_ = Text().size();
}

PanelEvent PanelEditField::MouseDown(Point p, int, Font* measure) {
    selectAll_ = false;
    PlaceCaret(measure, p.x);
    return {};
}

PanelEvent PanelEditField::Key(int character) {
    switch (character) {
        case 1:
            // Control+A selects the whole text, as in the system's fields.
            selectAll_ = !Text().empty();
            return {};
        case 8:
            Backspace();
            return {};
        case 28:
        case 29:
            MoveCaret(character == 28 ? -1 : 1);
            return {};
        case 30:
        case 31:
            return {};
        default:
            break;
    }
    // Latin-1 characters as the window system gives them, kept as UTF-8;
    // control codes are no text.
    if (character < 32 || character == 127 || (character >= 128 && character < 160) ||
        character > 255)
        return {};
    if (Kind() == DialogControlKind::kNumberEdit && (character < '0' || character > '9'))
        return {};
    std::string bytes;
    if (character < 128) {
        bytes.push_back(static_cast<char>(character));
    } else {
        bytes.push_back(static_cast<char>(0xC0 | (character >> 6)));
        bytes.push_back(static_cast<char>(0x80 | (character & 0x3F)));
    }
    Insert(bytes);
    return {};
}

void PanelEditField::Insert(const std::string& bytes) {
    std::string& text = EditedText();
    if (selectAll_) {
        text.clear();
        caret_ = 0;
        selectAll_ = false;
    }
    if (text.size() + bytes.size() > limit_)
        return;
    text.insert(caret_, bytes);
    caret_ += bytes.size();
}

void PanelEditField::Backspace() {
    std::string& text = EditedText();
    if (selectAll_) {
        text.clear();
        caret_ = 0;
        selectAll_ = false;
        return;
    }
    const std::size_t from = PreviousBoundary(text, caret_);
    text.erase(from, caret_ - from);
    caret_ = from;
}

void PanelEditField::MoveCaret(int direction) {
    if (selectAll_) {
        selectAll_ = false;
        caret_ = direction < 0 ? 0 : Text().size();
        return;
    }
    caret_ = direction < 0 ? PreviousBoundary(Text(), caret_) : NextBoundary(Text(), caret_);
}

void PanelEditField::PlaceCaret(Font* measure, float x) {
    const std::string& text = Text();
    caret_ = text.size();
    if (!measure)
        return;
    const float start = Bounds().minX + 3 * Scale() - scrollX_;
    std::size_t at = 0;
    float previous = start;
    while (at < text.size()) {
        const std::size_t next = NextBoundary(text, at);
        const float end = start + measure->Advance(text.substr(0, next));
        if (x < (previous + end) / 2) {
            caret_ = at;
            return;
        }
        previous = end;
        at = next;
    }
}

void PanelEditField::Draw(PanelPainter& painter, bool focused, double seconds) {
    const float s = Scale();
    const float line = painter.Line();
    const Box& b = Bounds();
    const std::string& text = Text();
    painter.SetColour(kWindow);
    painter.Fill(b);
    painter.Sunken(b, line);
    const Box inner = Inset(b, 2 * line);
    const float start = inner.minX + s;
    // Keep the caret in view: the text scrolls under the field.
    const float caretX = painter.Advance(text.substr(0, caret_));
    const float room = inner.Width() - 3 * s;
    if (caretX - scrollX_ > room)
        scrollX_ = caretX - room;
    else if (caretX < scrollX_)
        scrollX_ = caretX;
    const float x = start - scrollX_;
    const float baseline = painter.Baseline(b);
    painter.Clip(inner);
    if (focused && selectAll_ && painter.TextFont()) {
        painter.SetColour(kSelection);
        painter.Fill(Box::Make(x, inner.minY + s, x + painter.Advance(text), inner.maxY - s));
        painter.SetColour(kWindow);
    } else {
        painter.SetColour(kText);
    }
    painter.Text(text, x, baseline);
    // The caret blinks twice a second.
    if (focused && !selectAll_ && std::fmod(seconds, 1.0) < 0.5) {
        painter.SetColour(kText);
        painter.Fill(Box::Make(x + caretX, inner.minY + s, x + caretX + line, inner.maxY - s));
    }
    painter.Unclip();
}

}  // namespace QX
