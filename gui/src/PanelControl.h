#pragma once
// One control of a DialogPanel. The panel lays the controls out, keeps the
// focus and the pointer, and passes the events a control reports on to the
// dialog's procedure; a control keeps its own state, answers the
// procedure's calls and draws itself.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "gui/DialogPanel.h"
#include "gui/DialogTemplates.h"
#include "gui/Geometry.h"
#include "platform/Dialogs.h"

namespace QX {

class Font;
class PanelPainter;

// What a control tells the procedure after some input, if anything.
using PanelEvent = std::optional<platform::DialogEvent>;

inline Box Inset(const Box& b, float d) {
    return Box::Make(b.minX + d, b.minY + d, b.maxX - d, b.maxY - d);
}

class PanelControl {
public:
    explicit PanelControl(const DialogControlTemplate& entry);
    virtual ~PanelControl();
    PanelControl(const PanelControl&) = delete;
    PanelControl& operator=(const PanelControl&) = delete;

    int Id() const { return entry_.id; }
    DialogControlKind Kind() const { return entry_.kind; }
    const Box& Bounds() const { return box_; }
    // Puts the control where the template has it on `layout`.
    virtual void Place(const PanelLayout& layout);
    bool Shown() const { return shown_; }
    void Show(bool shown) { shown_ = shown; }
    // Whether Tab and the pointer give it the focus.
    virtual bool Focusable() const { return shown_; }

    // ---- What the procedure sets and reads; other kinds ignore these.
    const std::string& Text() const { return text_; }
    virtual void SetText(const std::string& text) { text_ = text; }
    virtual bool Checked() const { return false; }
    virtual void SetChecked(bool) {}
    virtual void LimitText(std::size_t) {}
    virtual void AddItem(const std::string&) {}
    virtual void SelectItem(int) {}
    virtual int Selected() const { return -1; }
    virtual const std::vector<std::string>& Items() const;

    // ---- Input (design units).
    virtual void FocusGained() {}
    // A press on the control: the drag and release that follow are its own.
    // `measure` is the font text was last drawn with (may be null).
    virtual PanelEvent MouseDown(Point p, int clickCount, Font* measure);
    virtual void MouseMove(Point) {}
    virtual void MouseDrag(Point) {}
    virtual PanelEvent MouseUp(Point) { return {}; }
    // Forgets a press that another press replaced.
    virtual void Release() {}
    // `rows` to scroll down (negative: up) with the pointer at `p`.
    virtual void Wheel(Point, int) {}
    // A key while the control has the focus or holds the input.
    virtual PanelEvent Key(int) { return {}; }
    // Whether Return clicks this control rather than OK while it has the
    // focus.
    virtual bool TakesReturn() const { return false; }
    // A list opened over the panel: all input is its own until it closes.
    virtual bool HoldsInput() const { return false; }

    // ---- [render-thread] Drawing.
    virtual void Draw(PanelPainter& painter, bool focused, double seconds) = 0;
    // What lies over all controls.
    virtual void DrawOver(PanelPainter&) {}

protected:
    const DialogControlTemplate& Entry() const { return entry_; }
    std::string& EditedText() { return text_; }
    void SetBounds(const Box& box) { box_ = box; }
    float Scale() const { return scale_; }
    float UnitY() const { return unitY_; }

private:
    DialogControlTemplate entry_;
    Box box_;
    std::string text_;
    bool shown_ = true;
    float scale_ = 1;
    float unitY_ = 1;
};

// A drop-down list or a list: entries and the chosen one.
class PanelItemControl : public PanelControl {
public:
    using PanelControl::PanelControl;

    void AddItem(const std::string& text) override { items_.push_back(text); }
    void SelectItem(int index) override;
    int Selected() const override { return selected_; }
    const std::vector<std::string>& Items() const override { return items_; }

protected:
    static constexpr float kScrollWidth = 16;  // of a scroll bar or arrow button, at scale 1

    float RowHeight() const;
    int Count() const { return static_cast<int>(items_.size()); }
    // `index` must be an entry or -1.
    void SetSelected(int index) { selected_ = index; }

private:
    std::vector<std::string> items_;
    int selected_ = -1;
};

}  // namespace QX
