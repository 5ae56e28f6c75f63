#include "gui/MIDIHistoryDisplay.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "GL.h"
#include "gui/Font.h"
#include "gui/Manager.h"
#include "gui/StaticText.h"

namespace QX {

namespace {

const float kTitleColour[4] = {0.7f, 0.7f, 0.7f, 1.0f};
const float kMatchedColour[3] = {0.5f, 1.0f, 0.5f};
const float kUnmatchedColour[3] = {1.0f, 0.5f, 0.5f};
const float kPlainColour[3] = {0.9f, 0.9f, 0.9f};

// Appends to `out` at `used`, never past `size`; returns the new length.
template <typename... Args>
std::size_t append(char* out, std::size_t size, std::size_t used, const char* format,
                   Args... args) {
    if (used + 1 >= size)
        return used;
    const int n = std::snprintf(out + used, size - used, format, args...);
    if (n < 0)
        return used;
    const std::size_t added = static_cast<std::size_t>(n);
    return used + added < size ? used + added : size - 1;
}

const char* systemRealTimeName(int status) {
    switch (status) {
        case 0xF8:
            return " Clock";
        case 0xFA:
            return " Start";
        case 0xFB:
            return " Continue";
        case 0xFC:
            return " Stop";
        case 0xFE:
            return " Active Sensing";
        case 0xFF:
            return " Reset";
        default:
            return "";
    }
}

}  // namespace

const char* HistoryTitle(int kind) {
    switch (kind) {
        case kHistoryReceivedPluginInput:
            return "Received (Plug-In Input)";
        case kHistorySentTest:
            return "Sent (Test)";
        case kHistoryReceivedTestInput:
            return "Received (Test Input)";
        case kHistorySentPluginOutput:
            return "Sent (Plug-In Output)";
        default:
            return "";
    }
}

void FormatHistoryLine(const MidiHistoryEntry& entry, char* out, std::size_t size) {
    if (size == 0)
        return;
    out[0] = '\0';
    const int b0 = entry.byte0, b1 = entry.byte1, b2 = entry.byte2;
    std::size_t n = append(out, size, 0, "%2d:%2d:%2d.%03d ", entry.time.hour, entry.time.minute,
                           entry.time.second, entry.time.milliseconds);
    if (entry.length == 1) {
        n = append(out, size, n, "0x%02X           ", b0);
        append(out, size, n, "%s", systemRealTimeName(b0));
        return;
    }
    if (entry.length == 2) {
        n = append(out, size, n, "0x%02X 0x%02X      ", b0, b1);
        if (b0 < 0xF0) {
            n = append(out, size, n, " Ch1 %2d", (b0 & 0x0F) + 1);
            if ((b0 & 0xF0) == 0xC0)
                append(out, size, n, " Program %3d", b1);
            else if ((b0 & 0xF0) == 0xD0)
                append(out, size, n, " Aftertouch %3d", b1);
        }
        return;
    }
    // Three bytes, and system exclusive of any length by its first three.
    n = append(out, size, n, "0x%02X 0x%02X 0x%02X ", b0, b1, b2);
    if (b0 < 0xF0) {
        n = append(out, size, n, " Ch %2d", (b0 & 0x0F) + 1);
        switch (b0 & 0xF0) {
            case 0x80:
                append(out, size, n, " Note Off %3d %3d", b1, b2);
                break;
            case 0x90:
                append(out, size, n, " Note On  %3d %3d", b1, b2);
                break;
            case 0xA0:
                append(out, size, n, " Poly Aftertouch %3d %3d", b1, b2);
                break;
            case 0xB0:
                append(out, size, n, " CC %3d %3d", b1, b2);
                break;
            case 0xE0:
                append(out, size, n, " Bend %4d", (b2 - 64) * 128 + b1);
                break;
            default:
                break;
        }
    } else if (b0 == 0xF0) {
        append(out, size, n, " Sysex");
    } else if (b0 == 0xF2) {
        append(out, size, n, " SPP %4d", b2 * 128 + b1);
    }
}

MIDIHistoryDisplay::MIDIHistoryDisplay(Manager* owner, float x, float y, float width, float height,
                                       int streamKind, Font* textFont, MidiHistory* source)
    : UIElement(owner), kind(streamKind), font(textFont), history(source) {
    box = Box::Make(x, y, x + width, y + height);
}

float MIDIHistoryDisplay::LineSpacing() const {
    // Font metrics here are already in design units at every backing scale.
    return font ? 0.8f * font->LineHeight() : 0.0f;
}

void MIDIHistoryDisplay::Layout() {
    if (!font || !manager->titleText)
        return;
    const Box absolute = AbsoluteBox();
    titleIndex =
        manager->titleText->AddText(HistoryTitle(kind), absolute.minX + 10,
                                    absolute.minY + 10 + kLines * LineSpacing(), kTitleColour);
    manager->titleText->SetVisible(titleIndex, visible);
}

void MIDIHistoryDisplay::SetVisible(bool v) {
    UIElement::SetVisible(v);
    if (titleIndex >= 0 && manager->titleText)
        manager->titleText->SetVisible(titleIndex, v);
}

int MIDIHistoryDisplay::CollectLines(char (*lines)[kLineSize], std::uint32_t* results,
                                     int* slots) const {
    if (!history || kind < 0 || kind >= kHistoryKinds)
        return 0;
    const MidiHistory::Ring& ring = history->rings[kind];
    const int newest = ring.writeIndex.load(std::memory_order_acquire);
    int count = 0;
    for (int back = 0; back < kHistoryRingSize; ++back) {
        const int slot = ((newest - back) % kHistoryRingSize + kHistoryRingSize) % kHistoryRingSize;
        // A copy first: the audio thread may be rewriting the slot, and the
        // line must at least be made of one set of fields.
        const MidiHistoryEntry entry = ring.entries[slot];
        if (entry.length == 0)
            continue;
        FormatHistoryLine(entry, lines[count], kLineSize);
        results[count] = entry.result;
        if (slots)
            slots[count] = slot;
        ++count;
    }
    return count;
}

void MIDIHistoryDisplay::Draw() {
    if (!visible)
        return;
    char lines[kLines][kLineSize];
    std::uint32_t results[kLines];
    int slots[kLines];
    const int count = CollectLines(lines, results, slots);

    // The scissor box is in window pixels; the element's absolute box in
    // design units, which the window may have scaled.
    const Box absolute = AbsoluteBox();
    const float sx = manager->designWidth > 0 ? static_cast<float>(manager->viewportWidth.load()) /
                                                    static_cast<float>(manager->designWidth)
                                              : 1.0f;
    const float sy = manager->designHeight > 0
                         ? static_cast<float>(manager->viewportHeight.load()) /
                               static_cast<float>(manager->designHeight)
                         : 1.0f;
    glPushAttrib(GL_SCISSOR_BIT | GL_CURRENT_BIT | GL_ENABLE_BIT);
    glScissor(static_cast<GLint>(absolute.minX * sx), static_cast<GLint>(absolute.minY * sy),
              static_cast<GLsizei>(absolute.Width() * sx + 0.5f),
              static_cast<GLsizei>(absolute.Height() * sy + 0.5f));
    glEnable(GL_SCISSOR_TEST);
    glDisable(GL_TEXTURE_2D);
    glColor3f(0.3f, 0.3f, 0.3f);
    glBegin(GL_QUADS);
    glVertex2f(box.minX, box.minY);
    glVertex2f(box.maxX, box.minY);
    glVertex2f(box.maxX, box.maxY);
    glVertex2f(box.minX, box.maxY);
    glEnd();

    const float spacing = LineSpacing();
    const float* current = nullptr;
    // Without a font the display is an empty box, as the layout placed it.
    for (int i = 0; font != nullptr && i < count; ++i) {
        TextRun& run = runs_[slots[i]];
        if (run.text() != lines[i] || run.quads().empty())
            run.Update(font, lines[i], box.minX + 10, 0);
        const float* colour = results[i] == 1   ? kMatchedColour
                              : results[i] == 2 ? kUnmatchedColour
                                                : kPlainColour;
        if (colour != current) {
            glColor3fv(colour);
            current = colour;
        }
        // Whole units, as the text's own layout keeps its pen.
        glPushMatrix();
        glTranslatef(0, std::floor(box.minY + 10 + static_cast<float>(i) * spacing), 0);
        run.Draw(font);
        glPopMatrix();
    }
    glPopAttrib();
}

}  // namespace QX
