#pragma once
// What the musician must act on, in the editor: the newest unread warning or
// error of the channel of reports that concerns this editor's instance (or
// the whole plug-in), with how many more wait, in the colour of its level.
// It stays until clicked (which marks everything it showed read) or
// resolved (platform::resolve), and is invisible when there is nothing to say.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "gui/Geometry.h"
#include "gui/TextRun.h"
#include "platform/Diagnostics.h"

namespace QX {

class Font;

class StatusLine {
public:
    // Shows reports of `source` (the instance's plug-in object; null for an
    // editor without one) and shared ones, said after serial `after`.
    StatusLine(const void* source, std::uint64_t after);

    // [render-thread] Takes in what was said since the last call and applies
    // a click; true when what the line shows changed.
    bool Poll();
    // [render-thread] The report shown, or null; and how many more are unread.
    const platform::Report* Shown() const;
    std::size_t Others() const;
    // [render-thread, GL] Draws the line into `box` (design units) with
    // `font`; nothing when there is nothing to say or no font.
    void Draw(Font* font, const Box& box);
    // [render-thread] A mouse-down at design point `p`: true when it fell on
    // the line, whose reports are then marked read at the next Poll.
    bool Click(Point p);

private:
    const void* source_;
    std::uint64_t seen_;
    std::vector<platform::Report> unread_;  // oldest first
    // Where the line was last drawn and the newest serial it showed (0
    // while hidden), for clicks.
    Box drawnBox_;
    std::uint64_t shownSerial_ = 0;
    std::uint64_t readUpTo_ = 0;
    std::uint64_t appliedRead_ = 0;
    // The text as laid out last, cut to the box, and what it was made from.
    std::string Fitted(Font* font, const platform::Report& shown, float room) const;
    std::string text_;
    std::uint64_t laidSerial_ = 0;
    std::size_t laidOthers_ = 0;
    float laidWidth_ = 0;
    TextRun run_;
};

}  // namespace QX
