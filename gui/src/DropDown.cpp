#include "gui/DropDown.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "ControlDrawing.h"
#include "gui/Font.h"
#include "gui/Manager.h"
#include "plugin/ParameterTable.h"
#include "plugin/Properties.h"
#include "plugin/ZephCorvaneBase.h"

namespace QX {

namespace {

constexpr std::size_t kMaxItemLength = 127;
// A parameter without value names lists the texts of its whole values, as
// long as there are not more than fit on a screen.
constexpr float kMaxGeneratedItems = 128;

}  // namespace

DropDown::DropDown(Manager* owner, int parameterIndex, float x, float y, float width, float height)
    : Control(owner, parameterIndex) {
    box = Box::Make(x, y, x + width, y + height);
    std::shared_ptr<const ValueStringList> names;
    if (manager->plugin)
        manager->plugin->getPropertyForView(prop::kParameterValueStrings,
                                            static_cast<std::uint32_t>(parameterIndex), &names);
    if (names) {
        for (const std::string& name : *names)
            items.push_back(name.substr(0, kMaxItemLength));
    } else if (info.maximum >= info.minimum && info.maximum - info.minimum < kMaxGeneratedItems) {
        for (float v = std::ceil(info.minimum); v <= info.maximum; v += 1)
            items.push_back(parameterDisplayText(parameterIndex, v).substr(0, kMaxItemLength));
    }
    itemRuns_.resize(items.size());
}

int DropDown::CurrentEntry() const {
    if (items.empty())
        return -1;
    const int entry = static_cast<int>(Value() - std::ceil(info.minimum));
    return std::min(static_cast<int>(items.size()) - 1, std::max(0, entry));
}

void DropDown::MouseDown(Point p, int modifiers, int clickCount) {
    Control::MouseDown(p, modifiers, clickCount);
    const int n = static_cast<int>(items.size());
    if (n == 0)
        return;
    const int current = CurrentEntry();
    const Box absolute = AbsoluteBox();
    itemHeight = absolute.Height();
    listX = absolute.minX;
    listWidth = absolute.Width();
    listHeight = static_cast<float>(n) * itemHeight;
    // The current entry lies over the control.
    listY = absolute.minY - static_cast<float>(n - current - 1) * itemHeight;
    listLocalX = box.minX;
    listLocalY = listY + box.minY - absolute.minY;
    // Kept inside the window: the list is in design units, so it is the
    // design height that bounds it whatever size the window has now.
    const float top = static_cast<float>(manager->designHeight > 0 ? manager->designHeight
                                                                   : manager->height.load());
    float shift = 0;
    if (listY < 0)
        shift = -listY;
    else if (listY + listHeight > top)
        shift = std::max(top - (listY + listHeight), -listY);
    listY += shift;
    listLocalY += shift;
    selected = current;
}

void DropDown::MouseDrag(Point p, int /*modifiers*/) {
    if (selected < 0)
        return;
    const float dx = p.x - listX, dy = p.y - listY;
    if (dx < 0 || dx > listWidth || dy < 0 || dy > listHeight || itemHeight <= 0)
        return;
    const int entry = static_cast<int>((listHeight - dy) / itemHeight);
    selected = std::min(static_cast<int>(items.size()) - 1, std::max(0, entry));
}

void DropDown::MouseUp(Point p, int modifiers) {
    const int chosen = selected;
    if (chosen >= 0) {
        const float dx = p.x - listX, dy = p.y - listY;
        if (dx >= 0 && dx < listWidth && dy >= 0 && dy < listHeight)
            SetValue(static_cast<float>(chosen) + std::ceil(info.minimum));
    }
    selected = -1;
    Control::MouseUp(p, modifiers);
}

void DropDown::DrawCurrentEntry(const float textColour[3]) {
    Font* font = manager->textFieldFont;
    const int entry = CurrentEntry();
    if (!font || entry < 0)
        return;
    const std::string& text = items[static_cast<std::size_t>(entry)];
    const float w = font->Advance(text);
    closedRun_.Update(font, text, std::floor((box.minX + box.maxX - w) * 0.5f), box.minY + 2);
    glColor3fv(textColour);
    closedRun_.Draw(font);
}

void DropDown::DrawList(const float background[4], const float textColour[3],
                        const float selectedColour[3]) {
    const int chosen = selected;
    if (!visible || chosen < 0)
        return;
    BlendOver();
    glColor4fv(background);
    FillRect(listLocalX, listLocalY, listLocalX + listWidth, listLocalY + listHeight);
    Font* font = manager->textFieldFont;
    if (font) {
        const int n = static_cast<int>(items.size());
        for (int i = 0; i < n; ++i) {
            const std::string& text = items[static_cast<std::size_t>(i)];
            const float w = font->Advance(text);
            const float x = std::floor(listLocalX + (listWidth - w) * 0.5f);
            const float y = listLocalY + 1 + static_cast<float>(n - 1 - i) * itemHeight;
            TextRun& run = itemRuns_[static_cast<std::size_t>(i)];
            run.Update(font, text, x, y);
            glColor3fv(i == chosen ? selectedColour : textColour);
            run.Draw(font);
        }
    }
    glDisable(GL_BLEND);
}

void DropDown::Draw() {
    if (!visible)
        return;
    glColor3f(0, 1, 0);
    OutlineBox(box);
    const float text[3] = {0, 1, 0};
    DrawCurrentEntry(text);
}

void DropDown::DrawOverlay() {
    const float background[4] = {0, 0.5f, 0, 1};
    const float text[3] = {0.8f, 1, 0.8f};
    const float chosen[3] = {1, 1, 1};
    DrawList(background, text, chosen);
}

// ---- ALDropDown ------------------------------------------------------------------------------

void ALDropDown::DrawStatic(Font* /*font*/) {
    glColor3f(0.8f, 0.8f, 0.85f);
    FillBox(AbsoluteBox());
}

void ALDropDown::Draw() {
    if (!visible || !manager->textFieldFont)
        return;
    const float text[3] = {0.1f, 0.1f, 0.1f};
    DrawCurrentEntry(text);
}

void ALDropDown::DrawOverlay() {
    const float background[4] = {0.6f, 0.6f, 0.6f, 0.95f};
    const float text[3] = {0.1f, 0.1f, 0.1f};
    const float chosen[3] = {1, 1, 1};
    DrawList(background, text, chosen);
}

}  // namespace QX
