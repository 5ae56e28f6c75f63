#pragma once
// The loop-back test's round-trip line: "Round trip 3.1 / 3.4 / 4.0 ms
// (min / median / max), late 0, lost 0", read from the plug-in's MIDI
// history every frame.

#include "gui/TextRun.h"
#include "gui/UIElement.h"
#include "plugin/RoundTrip.h"

struct MidiHistory;

namespace QX {

class RoundTripDisplay : public UIElement {
public:
    // `source` may be null: nothing is shown.
    RoundTripDisplay(Manager* manager, float x, float y, float width, float height,
                     MidiHistory* source);

    void UnionBounds(Box& b) override { b.Unite(box); }
    // [render-thread] Lays the line out again only when a figure changed.
    void Draw() override;

    MidiHistory* source;

private:
    RoundTripFigures shown_;
    bool formatted_ = false;
    char text_[128] = {};
    TextRun run_;
};

}  // namespace QX
