#pragma once
// Buttons: plain buttons that call a function, buttons with an on/off state,
// buttons bound to a property of the plug-in and a button bound to a
// parameter. Captions are items of the Manager's title text, so all of them
// are drawn in one batched text pass; the buttons themselves are translucent
// fills whose colour glides towards a target every frame.
//
// Pointer input, Idle and drawing run on the render thread.

#include <atomic>
#include <cstdint>
#include <string>

#include "gui/Control.h"
#include "gui/UIElement.h"

namespace QX {

class Button;
// Called with the button and the context it was made with.
using ButtonAction = void (*)(Button* button, void* context);

// Colours of the plex and parameter buttons.
extern const float kButtonRestingColour[4];
extern const float kButtonHoverColour[4];
extern const float kButtonOnColour[4];
extern const float kButtonCaptionColour[4];

class Button : public ControlBase {
public:
    // The box is (x, y) to (x + width, y + height). `infoId` is shown in the
    // banner while the pointer is over the button: a parameter index, or a
    // negative id from Manager::AddInfoText.
    Button(Manager* manager, const std::string& caption, ButtonAction action, void* actionContext,
           float x, float y, float width, float height, int infoId);

    // Calls the action (buttons never begin a host parameter edit).
    void MouseUp(Point p, int modifiers) override;
    void MouseEnter() override;
    void MouseLeave() override;
    // A green outline: the diagnostic look the drawn buttons replace.
    void Draw() override;

    // The on state, for buttons that have one (scripts read and set it).
    virtual bool GetState() const { return false; }
    virtual void SetState(bool /*state*/) {}

    std::string caption;
    ButtonAction action;
    void* actionContext;
    int infoId;
};

class PlexButton : public Button {
public:
    PlexButton(Manager* manager, const std::string& caption, ButtonAction action,
               void* actionContext, float x, float y, float width, float height, int infoId);

    void Draw() override;
    void Layout() override;
    void SetVisible(bool v) override;
    void MouseEnter() override;
    void MouseLeave() override;

    int titleIndex = -1;
    float colour[4];
    float targetColour[4];
};

class StatefulButton : public Button {
public:
    using Button::Button;
};

// mode 0: momentary (on at rest, off while pressed; the action is called on
// press); otherwise a toggle (the action is called on every press, after the
// state flipped).
class PlexStatefulButton : public StatefulButton {
public:
    PlexStatefulButton(Manager* manager, const std::string& caption, ButtonAction action,
                       void* actionContext, float x, float y, float width, float height, int infoId,
                       int mode);

    void MouseDown(Point p, int modifiers, int clickCount) override;
    void MouseUp(Point p, int modifiers) override;
    void MouseEnter() override;
    void MouseLeave() override;
    void Draw() override;
    void Layout() override;
    void SetVisible(bool v) override;
    bool GetState() const override { return state; }
    void SetState(bool s) override { state = s; }

    // Written by pointer input, read by drawing.
    std::atomic<bool> state;
    int mode;
    int titleIndex = -1;
    float colour[4];
    float targetColour[4];

private:
    std::atomic<bool> hovered_{false};
};

class PropertyButton : public Button {
public:
    using Button::Button;
};

// A button bound to a one-byte property of the plug-in (property 16 through
// the plug-in's view getter). mode 0 trigger: writes 0 on press and 1 on
// release; 1 toggle; 2 indicator: shows the property and never writes.
class PlexPropertyButton : public PropertyButton {
public:
    static constexpr int kTrigger = 0, kToggle = 1, kIndicator = 2;

    PlexPropertyButton(Manager* manager, const std::string& caption, std::uint32_t propertyId,
                       float x, float y, float width, float height, int infoId, int mode);

    // [render-thread] Reads the property into `state`.
    void Idle() override;
    void MouseDown(Point p, int modifiers, int clickCount) override;
    void MouseUp(Point p, int modifiers) override;
    void Draw() override;
    void Layout() override;
    void SetVisible(bool v) override;
    bool GetState() const override { return state; }
    void SetState(bool s) override;

    // The property's current state as the plug-in reports it.
    bool ReadProperty() const;
    void WriteProperty(bool value);

    // Refreshed from the plug-in every frame and by pointer input.
    std::atomic<bool> state{false};
    int mode;
    std::uint32_t propertyId;
    int titleIndex = -1;
    float colour[4];
    float targetColour[4];
};

// A switch for a parameter: each press flips it between its two ends, with
// the host edit begun on press and ended on release.
class CrvnButton : public Control {
public:
    CrvnButton(Manager* manager, const std::string& caption, float x, float y, float width,
               float height, int parameterIndex);

    void Idle() override;
    void MouseDown(Point p, int modifiers, int clickCount) override;
    void Draw() override;
    void Layout() override;
    void SetVisible(bool v) override;

    std::string caption;
    int titleIndex = -1;
    float colour[4];
    float targetColour[4];
};

}  // namespace QX
