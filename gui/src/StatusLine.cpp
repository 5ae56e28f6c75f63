#include "gui/StatusLine.h"

#include <algorithm>
#include <cstring>

#include "GL.h"
#include "gui/Font.h"

namespace QX {
namespace {

// More than a musician reads at once; the oldest go first.
constexpr std::size_t kMostUnread = 32;
// The dismissing cross at the line's end, in design units.
constexpr float kCross = 8;

}  // namespace

StatusLine::StatusLine(const void* source, std::uint64_t after) : source_(source), seen_(after) {}

bool StatusLine::Poll() {
    bool changed = false;
    const std::uint64_t read = readUpTo_;
    if (read != appliedRead_) {
        appliedRead_ = read;
        const auto before = unread_.size();
        unread_.erase(
            std::remove_if(unread_.begin(), unread_.end(),
                           [read](const platform::Report& r) { return r.serial <= read; }),
            unread_.end());
        changed = unread_.size() != before;
    }
    if (platform::lastReportSerial() == seen_)
        return changed;
    for (platform::Report& r : platform::recentReports(seen_)) {
        seen_ = r.serial;
        if (r.resolves && r.topic) {
            const auto before = unread_.size();
            unread_.erase(std::remove_if(unread_.begin(), unread_.end(),
                                         [&r](const platform::Report& old) {
                                             return old.topic &&
                                                    std::strcmp(old.topic, r.topic) == 0 &&
                                                    old.source == r.source;
                                         }),
                          unread_.end());
            changed = changed || unread_.size() != before;
            continue;
        }
        if (r.level == platform::ReportLevel::kInfo || (r.source != nullptr && r.source != source_))
            continue;
        // Said again (a port retried, a script failing on): one entry, the
        // newest.
        unread_.erase(std::remove_if(unread_.begin(), unread_.end(),
                                     [&r](const platform::Report& old) {
                                         return old.line == r.line && old.source == r.source;
                                     }),
                      unread_.end());
        unread_.push_back(std::move(r));
        if (unread_.size() > kMostUnread)
            unread_.erase(unread_.begin());
        changed = true;
    }
    return changed;
}

const platform::Report* StatusLine::Shown() const {
    return unread_.empty() ? nullptr : &unread_.back();
}

std::size_t StatusLine::Others() const {
    return unread_.empty() ? 0 : unread_.size() - 1;
}

bool StatusLine::Click(Point p) {
    if (shownSerial_ == 0 || !drawnBox_.Contains(p))
        return false;
    readUpTo_ = shownSerial_;
    return true;
}

std::string StatusLine::Fitted(Font* font, const platform::Report& shown, float room) const {
    std::string tail;
    if (Others() > 0)
        tail = "  (+" + std::to_string(Others()) + " more)";
    // Cut to the box, at a character boundary of UTF-8.
    room -= font->Advance(tail);
    std::string text = shown.line;
    if (font->Advance(text) > room) {
        while (!text.empty() && font->Advance(text + "...") > room) {
            text.pop_back();
            while (!text.empty() && (static_cast<unsigned char>(text.back()) & 0xC0) == 0x80)
                text.pop_back();
        }
        text += "...";
    }
    return text + tail;
}

void StatusLine::Draw(Font* font, const Box& box) {
    const platform::Report* shown = Shown();
    if (!shown || !font || box.Empty()) {
        shownSerial_ = 0;
        return;
    }
    // Everything unread goes with a click, the newest included.
    std::uint64_t newest = 0;
    for (const platform::Report& r : unread_)
        newest = std::max(newest, r.serial);
    drawnBox_ = box;
    shownSerial_ = newest;

    const float pad = 6;
    const float width = box.maxX - box.minX;
    if (shown->serial != laidSerial_ || Others() != laidOthers_ || width != laidWidth_) {
        laidSerial_ = shown->serial;
        laidOthers_ = Others();
        laidWidth_ = width;
        text_ = Fitted(font, *shown, width - 3 * pad - kCross);
    }
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    // Opaque: the banner's title must not show through the text.
    glColor4f(0.08f, 0.08f, 0.08f, 1.0f);
    glBegin(GL_QUADS);
    glVertex2f(box.minX, box.minY);
    glVertex2f(box.maxX, box.minY);
    glVertex2f(box.maxX, box.maxY);
    glVertex2f(box.minX, box.maxY);
    glEnd();
    if (shown->level == platform::ReportLevel::kError)
        glColor4f(1.0f, 0.42f, 0.36f, 1.0f);
    else
        glColor4f(1.0f, 0.78f, 0.28f, 1.0f);
    const float baseline =
        (box.minY + box.maxY) * 0.5f - font->LineHeight() * 0.5f - font->Descender();
    run_.Update(font, text_, box.minX + pad, baseline);
    run_.Draw(font);
    // A cross at the end: a click anywhere on the line dismisses it.
    const float cx = box.maxX - pad - kCross * 0.5f, cy = (box.minY + box.maxY) * 0.5f;
    const float arm = std::min(kCross, box.maxY - box.minY - 4) * 0.5f;
    glColor4f(0.8f, 0.8f, 0.8f, 0.9f);
    glBegin(GL_LINES);
    glVertex2f(cx - arm, cy - arm);
    glVertex2f(cx + arm, cy + arm);
    glVertex2f(cx - arm, cy + arm);
    glVertex2f(cx + arm, cy - arm);
    glEnd();
}

}  // namespace QX
