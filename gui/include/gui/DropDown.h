#pragma once
// Drop-downs choose one of a parameter's named values. Pressing opens the
// list with the current entry over the control (kept inside the window),
// dragging highlights an entry, releasing over the list chooses it and
// releasing anywhere closes the list. The list is drawn in the overlay pass,
// over everything else.

#include <atomic>
#include <string>
#include <vector>

#include "gui/Control.h"
#include "gui/TextRun.h"

namespace QX {

class DropDown : public Control {
public:
    // The entries are the parameter's value names, fetched once (each cut
    // to 127 characters). A parameter without names gets the display texts
    // of its whole values.
    DropDown(Manager* manager, int parameterIndex, float x, float y, float width, float height);

    void MouseDown(Point p, int modifiers, int clickCount) override;
    void MouseDrag(Point p, int modifiers) override;
    void MouseUp(Point p, int modifiers) override;
    // Outline and current entry (the diagnostic look ALDropDown replaces).
    void Draw() override;
    void DrawOverlay() override;

    bool IsOpen() const { return selected >= 0; }
    // The entry shown for the parameter's current value.
    int CurrentEntry() const;

    std::vector<std::string> items;
    // The highlighted entry while the list is open, -1 when it is closed.
    std::atomic<int> selected{-1};
    float listX = 0, listY = 0, listWidth = 0, listHeight = 0;
    float listLocalX = 0, listLocalY = 0, itemHeight = 0;

protected:
    // Fills the list rectangle and draws the entries, the selected one in
    // `selectedColour`.
    void DrawList(const float background[4], const float textColour[3],
                  const float selectedColour[3]);
    void DrawCurrentEntry(const float textColour[3]);

    TextRun closedRun_;
    std::vector<TextRun> itemRuns_;
};

// The plug-in's look: a light field drawn into the cached layer with the
// current entry centred on it, and a grey list.
class ALDropDown : public DropDown {
public:
    using DropDown::DropDown;

    void DrawStatic(Font* font) override;
    void Draw() override;
    void DrawOverlay() override;
};

}  // namespace QX
