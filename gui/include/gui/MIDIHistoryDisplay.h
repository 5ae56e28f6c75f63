#pragma once
// One stream of the plug-in's MIDI history as text lines, newest first, each
// coloured by the loop-back result of its message, under a title naming the
// stream. The display keeps no copy of the history: it reads the plug-in's
// rings every frame without a lock (the audio thread writes them), and an
// entry torn by a write in progress is redrawn right by the next frame.

#include <cstddef>

#include "gui/TextRun.h"
#include "gui/UIElement.h"
#include "plugin/MidiHistory.h"

namespace QX {

class Font;

// The text of one history entry, as the display shows it (time in UTC):
//   " 9: 5: 7.042 0x93 0x3C 0x64  Ch  4 Note On   60 100"
// Writes at most `size` bytes including the terminator. [any-thread]
void FormatHistoryLine(const MidiHistoryEntry& entry, char* out, std::size_t size);
// "Received (Plug-In Input)", "Sent (Test)", "Received (Test Input)",
// "Sent (Plug-In Output)"; "" for any other kind.
const char* HistoryTitle(int kind);

class MIDIHistoryDisplay : public UIElement {
public:
    static constexpr int kLines = kHistoryRingSize;
    static constexpr int kLineSize = 96;

    // The box is (x, y) to (x + width, y + height). `history` may be null
    // (nothing but the background is drawn); `font` may be null (no text).
    MIDIHistoryDisplay(Manager* manager, float x, float y, float width, float height, int kind,
                       Font* font, MidiHistory* history);

    void UnionBounds(Box& b) override { b.Unite(box); }
    // Places the title above the sixteen lines (render thread, once fonts
    // are sized).
    void Layout() override;
    // [render-thread] Background, then the lines, scissored to the box.
    void Draw() override;
    void SetVisible(bool v) override;

    // The stream's entries, newest first, as they would be drawn now:
    // `lines` gets up to kLines texts, `results` their loop-back results and
    // `slots` (when given) their ring slots. Returns the count.
    // [any-thread but audio]
    int CollectLines(char (*lines)[kLineSize], std::uint32_t* results, int* slots = nullptr) const;
    // 0.8 of the font's line height; 0 without a font.
    float LineSpacing() const;

    int kind;
    Font* font;
    MidiHistory* history;
    int titleIndex = -1;

private:
    // One laid-out line per ring slot, laid out at height 0 and moved to
    // its line when drawn: a new entry moves every line up, and only its
    // own text has to be laid out.
    TextRun runs_[kHistoryRingSize];
};

}  // namespace QX
