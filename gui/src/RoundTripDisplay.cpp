#include "gui/RoundTripDisplay.h"

#include "GL.h"
#include "gui/Font.h"
#include "gui/Manager.h"
#include "plugin/MidiHistory.h"

namespace QX {

namespace {

bool same(const RoundTripFigures& a, const RoundTripFigures& b) {
    return a.kept == b.kept && a.measured == b.measured && a.late == b.late && a.lost == b.lost &&
           a.minimumMs == b.minimumMs && a.medianMs == b.medianMs && a.maximumMs == b.maximumMs;
}

}  // namespace

RoundTripDisplay::RoundTripDisplay(Manager* owner, float x, float y, float width, float height,
                                   MidiHistory* figuresSource)
    : UIElement(owner), source(figuresSource) {
    box = Box::Make(x, y, x + width, y + height);
}

void RoundTripDisplay::Draw() {
    Font* font = manager->mainFont;
    if (!visible || !font || !source)
        return;
    RoundTripFigures now;
    // A frame that meets the audio thread mid-write keeps the last line.
    if (source->roundTrip.read(now) && (!formatted_ || !same(now, shown_))) {
        shown_ = now;
        formatted_ = true;
        formatRoundTrip(now, text_, sizeof text_);
    }
    if (!formatted_)
        formatRoundTrip(shown_, text_, sizeof text_);
    run_.Update(font, text_, box.minX, box.minY);
    glColor4f(0.7f, 0.7f, 0.7f, 1.0f);
    run_.Draw(font);
}

}  // namespace QX
