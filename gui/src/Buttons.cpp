#include "gui/Buttons.h"

#include <cstring>
#include <memory>

#include "ControlDrawing.h"
#include "gui/Font.h"
#include "gui/Manager.h"
#include "gui/StaticText.h"
#include "plugin/Properties.h"
#include "plugin/PropertyReads.h"
#include "plugin/ZephCorvaneBase.h"

namespace QX {

const float kButtonRestingColour[4] = {0.3f, 0.3f, 0.3f, 0.4f};
const float kButtonHoverColour[4] = {0.8f, 0.4f, 0.1f, 0.3f};
const float kButtonOnColour[4] = {1.0f, 0.5f, 0.5f, 0.9f};
const float kButtonCaptionColour[4] = {0.8f, 0.8f, 0.8f, 1.0f};

namespace {

void copyColour(float out[4], const float in[4]) {
    std::memcpy(out, in, 4 * sizeof(float));
}

// Puts the caption, centred on the element's absolute box, into the
// Manager's title text; -1 without a main font.
int layoutCaption(UIElement& element, const std::string& caption) {
    Manager& manager = *element.manager;
    Font* font = manager.mainFont;
    if (!font || !manager.titleText)
        return -1;
    const float w = font->Advance(caption);
    const float h = font->LineHeight();
    const float d = font->Descender();
    const Point centre = element.AbsoluteBox().Centre();
    const int index = manager.titleText->AddText(caption, centre.x - w / 2, centre.y - h / 2 - d,
                                                 kButtonCaptionColour);
    manager.titleText->SetVisible(index, element.visible);
    return index;
}

void setCaptionVisible(Manager* manager, int titleIndex, bool visible) {
    if (titleIndex >= 0 && manager->titleText)
        manager->titleText->SetVisible(titleIndex, visible);
}

// The fill of every drawn button: glide towards the target, then fill the
// box (drawn inside its groups' offsets, so the local box).
void glideAndFill(UIElement& element, float colour[4], const float target[4], float rate) {
    if (GlideColour(colour, target, rate))
        element.manager->KeepAnimating();
    BlendOver();
    glColor4fv(colour);
    FillBox(element.box);
    glDisable(GL_BLEND);
}

}  // namespace

// ---- Button -------------------------------------------------------------------------

Button::Button(Manager* owner, const std::string& text, ButtonAction buttonAction, void* context,
               float x, float y, float width, float height, int info)
    : ControlBase(owner),
      caption(text),
      action(buttonAction),
      actionContext(context),
      infoId(info) {
    box = Box::Make(x, y, x + width, y + height);
}

void Button::MouseUp(Point /*p*/, int /*modifiers*/) {
    if (action)
        action(this, actionContext);
}

void Button::MouseEnter() {
    manager->hoverId = infoId;
    manager->hoverControl = this;
}

void Button::MouseLeave() {
    int expected = infoId;
    manager->hoverId.compare_exchange_strong(expected, -1);
}

void Button::Draw() {
    if (!visible)
        return;
    glColor3f(0, 1, 0);
    OutlineBox(box);
}

// ---- PlexButton -------------------------------------------------------------------------

PlexButton::PlexButton(Manager* owner, const std::string& text, ButtonAction buttonAction,
                       void* context, float x, float y, float width, float height, int info)
    : Button(owner, text, buttonAction, context, x, y, width, height, info) {
    copyColour(colour, kButtonRestingColour);
    copyColour(targetColour, kButtonRestingColour);
}

void PlexButton::Layout() {
    titleIndex = layoutCaption(*this, caption);
}

void PlexButton::SetVisible(bool v) {
    Button::SetVisible(v);
    setCaptionVisible(manager, titleIndex, v);
}

void PlexButton::MouseEnter() {
    Button::MouseEnter();
    copyColour(targetColour, kButtonHoverColour);
}

void PlexButton::MouseLeave() {
    Button::MouseLeave();
    copyColour(targetColour, kButtonRestingColour);
}

void PlexButton::Draw() {
    if (visible)
        glideAndFill(*this, colour, targetColour, 0.15f);
}

// ---- PlexStatefulButton -------------------------------------------------------------------

PlexStatefulButton::PlexStatefulButton(Manager* owner, const std::string& text,
                                       ButtonAction buttonAction, void* context, float x, float y,
                                       float width, float height, int info, int buttonMode)
    : StatefulButton(owner, text, buttonAction, context, x, y, width, height, info),
      state(buttonMode == 0),
      mode(buttonMode) {
    copyColour(colour, kButtonRestingColour);
    copyColour(targetColour, kButtonRestingColour);
}

void PlexStatefulButton::MouseDown(Point /*p*/, int /*modifiers*/, int /*clickCount*/) {
    state = mode != 0 ? !state : false;
    if (action)
        action(this, actionContext);
}

void PlexStatefulButton::MouseUp(Point /*p*/, int /*modifiers*/) {
    if (mode == 0)
        state = true;
}

void PlexStatefulButton::MouseEnter() {
    Button::MouseEnter();
    hovered_ = true;
}

void PlexStatefulButton::MouseLeave() {
    Button::MouseLeave();
    hovered_ = false;
}

void PlexStatefulButton::Layout() {
    titleIndex = layoutCaption(*this, caption);
}

void PlexStatefulButton::SetVisible(bool v) {
    StatefulButton::SetVisible(v);
    setCaptionVisible(manager, titleIndex, v);
}

void PlexStatefulButton::Draw() {
    if (!visible)
        return;
    // A toggle shows when it is on, like the property and parameter
    // buttons; the pointer's colour wins while it is over the button.
    const float* target = hovered_               ? kButtonHoverColour
                          : (mode != 0 && state) ? kButtonOnColour
                                                 : kButtonRestingColour;
    copyColour(targetColour, target);
    glideAndFill(*this, colour, targetColour, 0.15f);
}

// ---- PlexPropertyButton -------------------------------------------------------------------

PlexPropertyButton::PlexPropertyButton(Manager* owner, const std::string& text,
                                       std::uint32_t property, float x, float y, float width,
                                       float height, int info, int buttonMode)
    : PropertyButton(owner, text, nullptr, nullptr, x, y, width, height, info),
      mode(buttonMode),
      propertyId(property) {
    copyColour(colour, kButtonRestingColour);
    copyColour(targetColour, kButtonRestingColour);
}

bool PlexPropertyButton::ReadProperty() const {
    ZephCorvaneBase* plugin = manager->plugin;
    if (!plugin)
        return false;
    if (propertyId == prop::kParameterValueStrings) {
        std::shared_ptr<const ValueStringList> list;
        plugin->getPropertyForView(propertyId, 0, &list);
        return list != nullptr;
    }
    // Read on every frame: a bounded read into a few bytes allocates
    // nothing; a property too long for them is no switch and reads off.
    return prop::readFlag(*plugin, propertyId, 64, prop::FlagByte::kFirst);
}

void PlexPropertyButton::WriteProperty(bool value) {
    if (!manager->plugin)
        return;
    const unsigned char byte = value ? 1 : 0;
    manager->plugin->setPropertyAndNotify(propertyId, &byte, 1);
}

void PlexPropertyButton::Idle() {
    state = ReadProperty();
    copyColour(targetColour, state ? kButtonOnColour : kButtonRestingColour);
}

void PlexPropertyButton::MouseDown(Point /*p*/, int /*modifiers*/, int /*clickCount*/) {
    state = ReadProperty();
    if (mode == kIndicator)
        return;
    state = mode == kToggle && !state;
    WriteProperty(state);
}

void PlexPropertyButton::MouseUp(Point /*p*/, int /*modifiers*/) {
    if (mode != kTrigger)
        return;
    state = true;
    WriteProperty(true);
}

void PlexPropertyButton::SetState(bool s) {
    state = s;
}

void PlexPropertyButton::Layout() {
    titleIndex = layoutCaption(*this, caption);
}

void PlexPropertyButton::SetVisible(bool v) {
    PropertyButton::SetVisible(v);
    setCaptionVisible(manager, titleIndex, v);
}

void PlexPropertyButton::Draw() {
    if (visible)
        glideAndFill(*this, colour, targetColour, 0.15f);
}

// ---- CrvnButton ----------------------------------------------------------------------------

CrvnButton::CrvnButton(Manager* owner, const std::string& text, float x, float y, float width,
                       float height, int parameterIndex)
    : Control(owner, parameterIndex), caption(text) {
    box = Box::Make(x, y, x + width, y + height);
    copyColour(colour, kButtonRestingColour);
    copyColour(targetColour, kButtonRestingColour);
}

void CrvnButton::Idle() {
    Control::Idle();
    copyColour(targetColour, position != 0 ? kButtonOnColour : kButtonRestingColour);
}

void CrvnButton::MouseDown(Point p, int modifiers, int clickCount) {
    Control::MouseDown(p, modifiers, clickCount);
    // The parameter as it is now, not as the last frame saw it.
    position = PositionOfValue(Value()) == 0 ? 1.0f : 0.0f;
    SetPosition(position);
}

void CrvnButton::Layout() {
    titleIndex = layoutCaption(*this, caption);
}

void CrvnButton::SetVisible(bool v) {
    Control::SetVisible(v);
    setCaptionVisible(manager, titleIndex, v);
}

void CrvnButton::Draw() {
    if (visible)
        glideAndFill(*this, colour, targetColour, 0.5f);
}

}  // namespace QX
