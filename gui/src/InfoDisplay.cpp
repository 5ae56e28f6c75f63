#include "gui/InfoDisplay.h"

#include <cstdio>

#include "GL.h"
#include "gui/Font.h"
#include "gui/Manager.h"
#include "plugin/MidiHistory.h"

namespace QX {

InfoDisplay::InfoDisplay(Manager* owner, float x, float y, float width, float height,
                         MidiHistory* counterSource)
    : UIElement(owner), source(counterSource) {
    box = Box::Make(x, y, x + width, y + height);
}

void InfoDisplay::Draw() {
    Font* font = manager->mainFont;
    if (!visible || !font || !source)
        return;
    const int count = static_cast<int>(source->testFailureCount.load(std::memory_order_relaxed));
    if (count != lastCount) {
        lastCount = count;
        std::snprintf(countText, sizeof countText, "%d", count);
    }
    run_.Update(font, countText, box.minX, box.minY);
    glColor4f(0.7f, 0.7f, 0.7f, 1.0f);
    run_.Draw(font);
}

}  // namespace QX
