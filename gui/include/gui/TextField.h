#pragma once
// Text fields: a parameter's value that the user can type over or step with
// the arrow keys, and a string property of the plug-in edited in a small
// dialog. The text field is the only element that takes the keyboard focus.

#include <cstdint>
#include <mutex>
#include <string>

#include "gui/Control.h"
#include "gui/TextRun.h"

class ZephAuBase;

namespace QX {

// Shows the parameter's display text (or the value through `format` when
// the display text is a number) right-aligned. While it has the focus:
// digits and '.' replace the text and then append (at most 31 characters, a
// second '.' ignored), '-' starts a new negative number, backspace removes
// the last typed character, return sets the typed value, the arrows commit
// and then step by the last shown decimal place (1 for whole numbers and for
// texts that begin with a letter). Losing the focus discards typed text.
class TextField : public Control {
public:
    static constexpr int kTextSize = 32;

    TextField(Manager* manager, int parameterIndex, float x, float y, float width, float height,
              const std::string& format);

    void MouseDown(Point p, int modifiers, int clickCount) override;
    bool KeyDown(int character, int mappedCharacter, int virtualKey) override;
    // Whether KeyDown uses `character`: digits, '.', '-', Return, Backspace
    // and the arrows. Other keys are left to the host.
    static bool UsesKey(int character);
    void FocusLost() override;
    // [render-thread] RefreshText(), then DrawField().
    void Draw() override;
    // Rebuilds the shown text when the value changed and nothing is typed.
    void RefreshText();
    virtual void DrawField();

    // Sets the plain value, clamped, as one host edit; the field shows the
    // new value.
    void SetValue(float value);
    // The step of the arrow keys for the text shown now.
    float Step() const;
    // What the field shows (or holds typed), for tests and the script layer.
    std::string Text() const;
    bool Typing() const;

    int cursor = -1;
    std::string format;
    float fieldColour[3] = {0.8f, 0.8f, 0.85f};
    float focusColour[3] = {0.8f, 1.0f, 0.8f};
    float editColour[3] = {1.0f, 0.8f, 0.8f};
    float textColour[3] = {0.1f, 0.1f, 0.1f};
    char text[kTextSize] = {};
    float lastValue = 1e30f;
    int lastCursor = -1;
    float textWidth = 0;

protected:
    // Fetches the display text of `value` into `text`.
    void FormatValue(float value);
    // Types `character` into `text`; `commit` when the typed text is to be
    // set, `stepBy` for the arrows.
    bool Type(int character, bool& commit, float& stepBy);

    TextRun run_;
    std::string drawnText_;
};

class PropertyTextField;
class Manager;
// Opens the "Enter Property" dialog for a field; true when it was shown. The
// default asks the editor's dialogs (ShowPropertyDialog); tests put their
// own in place, and null brings the default back.
using PropertyDialogOpener = bool (*)(Manager& manager, PropertyTextField& field);
void SetPropertyDialogOpener(PropertyDialogOpener opener);

// A string property of the plug-in shown as a centred caption over a dark
// field, glowing while the pointer is over it; a click opens the property
// dialog when the field is editable. The text follows the plug-in's
// reports of property changes.
class PropertyTextField : public ControlBase {
public:
    PropertyTextField(Manager* manager, std::uint32_t propertyId, const std::string& prompt,
                      float x, float y, float width, float height);
    ~PropertyTextField() override;

    void Idle() override;
    void Layout() override;
    void DrawStatic(Font* font) override;
    void Draw() override;
    void MouseEnter() override;
    void MouseLeave() override;
    void MouseDown(Point p, int modifiers, int clickCount) override;
    void SetVisible(bool v) override;

    // Reads the property again (the listener; any thread that sets it).
    void PropertyChanged();
    // Writes text (with its terminating zero) to the property, as the
    // dialog's OK does; the shown text changes when the plug-in reports it.
    std::int32_t WriteProperty(const std::string& text);
    // The text shown now.
    std::string Value() const;

    std::uint32_t propertyId;
    std::string value;
    std::string prompt;
    int titleIndex = -1;
    bool editable = true;
    float colour[4] = {1, 1, 1, 0};
    float targetColour[4] = {1, 1, 1, 0};

private:
    static void Listener(void* user, ZephAuBase* plugin, std::uint32_t id, std::uint32_t scope,
                         std::uint32_t element);
    // Moves a pending text into `value` and the caption (render thread).
    void ApplyPendingValue();
    void PlaceCaption();

    mutable std::mutex valueMutex_;
    std::string pendingValue_;
    bool pending_ = false;
    bool laidOut_ = false;
    bool listening_ = false;
};

}  // namespace QX
