#pragma once
// A counter shown as a number: the loop-back test's failure count of the
// plug-in's MIDI history.

#include "gui/TextRun.h"
#include "gui/UIElement.h"

struct MidiHistory;

namespace QX {

class InfoDisplay : public UIElement {
public:
    // `source` may be null: nothing is shown.
    InfoDisplay(Manager* manager, float x, float y, float width, float height, MidiHistory* source);

    void UnionBounds(Box& b) override { b.Unite(box); }
    // [render-thread] Lays the count out again only when it changed.
    void Draw() override;

    MidiHistory* source;
    int lastCount = -1;
    char countText[16] = {};

private:
    TextRun run_;
};

}  // namespace QX
