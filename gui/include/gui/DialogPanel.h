#pragma once
// A dialog drawn by the editor itself: a panel over the dimmed editor with
// the template's controls in the template's arrangement, scaled to fit the
// editor, driven by the same DialogProcedure as the Windows dialog. Used on
// Linux, where the plug-in shows no windows of any toolkit.
//
// The panel is modal to the editor but not to the thread: on Linux the
// editor's input arrives on its render thread, which must go on drawing, so
// a panel cannot block until it closes. The Manager holds the open panel,
// gives it all pointer and key input until the procedure ends it, and
// deletes it then. Whatever the dialog does happens in its procedure's
// commands (OK writes its results), not when the call that opened it
// returns.
//
// Controls: static texts, group boxes, push buttons (the default one
// pressed by Return), check boxes, edit fields (a caret, Left/Right,
// Backspace, typing; digits only for a number field), a drop-down list and a
// list with a scroll bar (pointer, wheel, Up/Down). Tab moves the focus;
// Return is OK, Escape is Cancel.
//
// Threads: every call, drawing included, under the Manager's panel lock;
// drawing on the render thread.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gui/DialogTemplates.h"
#include "gui/Font.h"
#include "gui/Geometry.h"
#include "platform/Dialogs.h"

namespace QX {

class Manager;
class PanelControl;
class PanelPainter;

// Where a template's panel and controls sit on an editor of a given design
// size, in design units (origin bottom left, y up).
struct PanelLayout {
    Box panel;                   // the whole panel, frame and caption bar included
    Box caption;                 // the caption bar
    Box client;                  // what the template's dialog units cover
    float unitX = 1, unitY = 1;  // design units per dialog unit
    float scale = 1;             // 1: the dialog's natural size
    int fontPixels = 11;         // size of the panel's text

    // A rectangle of the template (dialog units from the client's top left).
    Box Place(int x, int y, int width, int height) const;
};

// The panel centred on the editor, at the natural size of the dialog font
// (8 points at 96 dots per inch) or smaller when the editor is too small.
PanelLayout LayOutPanel(const DialogTemplate& dialog, float designWidth, float designHeight);

class DialogPanel : public platform::DialogWindow {
public:
    DialogPanel(const DialogTemplate& dialog, std::unique_ptr<platform::DialogProcedure> procedure);
    ~DialogPanel() override;

    // Lays the panel out for the editor's design size, lets the procedure
    // fill it and gives the focus to the first control that takes it.
    void Open(float designWidth, float designHeight);
    bool Closed() const { return ended_; }
    int Result() const { return result_; }
    const PanelLayout& Layout() const { return layout_; }
    const DialogTemplate& Template() const { return dialog_; }
    // The box of control `id` (its field, for a drop-down list); empty when
    // there is none.
    Box ControlBox(int id) const;
    // The id of the control with the focus, 0 when none.
    int FocusedControl() const;
    // One line per control: "id kind shown=1 checked=0 selected=-1
    // focus=0 text=<text> items=<a|b>", after a first line "caption <text>".
    std::string Describe() const;

    // ---- platform::DialogWindow ----------------------------------------------------
    void SetText(int id, const std::string& text) override;
    std::string Text(int id, std::size_t maxLength) override;
    void SetChecked(int id, bool checked) override;
    bool Checked(int id) override;
    void LimitText(int id, std::size_t maxLength) override;
    void AddItem(int id, const std::string& text) override;
    void SelectItem(int id, int index) override;
    int SelectedItem(int id) override;
    void ShowControl(int id, bool shown) override;
    void End(int result) override;

    // ---- Input (design units) ---------------------------------------------------------
    void MouseMove(Point p);
    void MouseDown(Point p, int clickCount);
    void MouseDrag(Point p);
    void MouseUp(Point p);
    // `delta`: 120 per notch away from the user.
    void Wheel(Point p, int delta);
    // A character as the editor's keys give it (8 backspace, 9 tab, 13
    // return, 27 escape, 28..31 arrows, Latin-1 otherwise).
    void Key(int character);

    // ---- Drawing ---------------------------------------------------------------------------
    // [render-thread] The dimmed editor and the panel, in the overlay pass's
    // projection (design units). `font` may be null (no text then);
    // `pixelsPerUnit` maps design units to window pixels for clipping.
    void Draw(Font* font, float designWidth, float designHeight, float pixelsPerUnitX,
              float pixelsPerUnitY, double seconds);

private:
    PanelControl* Find(int id);
    const PanelControl* Find(int id) const;
    int IndexOf(int id) const;
    void SetFocus(int index);
    void MoveFocus();
    void Command(int id, platform::DialogEvent event);
    // Tells the procedure what `control` reported, if anything.
    void Report(const PanelControl& control, const std::optional<platform::DialogEvent>& event);
    int HitControl(Point p) const;
    // The control holding all input (an open drop-down list), if any.
    PanelControl* HoldingInput();

    const DialogTemplate& dialog_;
    std::unique_ptr<platform::DialogProcedure> procedure_;
    PanelLayout layout_;
    std::vector<std::unique_ptr<PanelControl>> controls_;
    int focus_ = -1;
    int captured_ = -1;  // the control pressed last, which gets the drag and release
    bool ended_ = false;
    int result_ = 0;

    // Drawing state, render thread; the font also places an edit field's
    // caret under the pointer.
    Font* measureFont_ = nullptr;
    std::unique_ptr<PanelPainter> painter_;
};

}  // namespace QX
