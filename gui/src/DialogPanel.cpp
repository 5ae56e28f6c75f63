#include "gui/DialogPanel.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "GL.h"

namespace QX {

using platform::DialogEvent;
using K = DialogControlKind;

namespace {

// The dialog font (8 points at 96 dots per inch) gives a dialog unit of 1.5
// pixels across and 1.625 down; its text is about 11 pixels high.
constexpr float kUnitX = 1.5f, kUnitY = 1.625f;
constexpr float kCaptionHeight = 18, kFrame = 3, kMargin = 8;
constexpr float kFontPixels = 11;
constexpr int kFieldUnits = 12;     // height of a drop-down list's field
constexpr int kRowUnits = 8;        // height of a list's entry
constexpr float kScrollWidth = 16;  // of a list's scroll bar, at scale 1
constexpr float kCheckSize = 13;
constexpr int kWheelRows = 3;

const float kFace[3] = {0.831f, 0.816f, 0.784f};
const float kShadow[3] = {0.502f, 0.502f, 0.502f};
const float kDarkShadow[3] = {0.25f, 0.25f, 0.25f};
const float kHighlight[3] = {1, 1, 1};
const float kWindow[3] = {1, 1, 1};
const float kText[3] = {0, 0, 0};
const float kSelection[3] = {0.04f, 0.14f, 0.42f};
const float kCaptionLeft[3] = {0.04f, 0.14f, 0.42f};
const float kCaptionRight[3] = {0.65f, 0.79f, 0.94f};

const char* KindName(K kind) {
    switch (kind) {
        case K::kStatic:
            return "static";
        case K::kPushButton:
            return "button";
        case K::kDefaultPushButton:
            return "default-button";
        case K::kGroupBox:
            return "group";
        case K::kEdit:
            return "edit";
        case K::kNumberEdit:
            return "number-edit";
        case K::kCheckBox:
            return "check";
        case K::kDropDownList:
            return "drop-down";
        case K::kListBox:
            return "list";
    }
    return "?";
}

bool IsEdit(const DialogControlTemplate& entry) {
    return entry.kind == K::kEdit || entry.kind == K::kNumberEdit;
}

void SetColour(const float c[3], float alpha = 1) {
    glColor4f(c[0], c[1], c[2], alpha);
}

void Fill(const Box& b) {
    glBegin(GL_QUADS);
    glVertex2f(b.minX, b.minY);
    glVertex2f(b.maxX, b.minY);
    glVertex2f(b.maxX, b.maxY);
    glVertex2f(b.minX, b.maxY);
    glEnd();
}

Box Inset(const Box& b, float d) {
    return Box::Make(b.minX + d, b.minY + d, b.maxX - d, b.maxY - d);
}

// A 3D edge of width `w`: light top and left, dark bottom and right
// (raised), or the other way round (sunken).
void Edge(const Box& b, float w, const float topLeft[3], const float bottomRight[3]) {
    SetColour(topLeft);
    Fill(Box::Make(b.minX, b.maxY - w, b.maxX, b.maxY));
    Fill(Box::Make(b.minX, b.minY, b.minX + w, b.maxY));
    SetColour(bottomRight);
    Fill(Box::Make(b.minX, b.minY, b.maxX, b.minY + w));
    Fill(Box::Make(b.maxX - w, b.minY, b.maxX, b.maxY));
}

void Raised(const Box& b, float w) {
    Edge(b, w, kHighlight, kDarkShadow);
    Edge(Inset(b, w), w, kFace, kShadow);
}

void Sunken(const Box& b, float w) {
    Edge(b, w, kShadow, kHighlight);
    Edge(Inset(b, w), w, kDarkShadow, kFace);
}

void Outline(const Box& b, float w) {
    Fill(Box::Make(b.minX, b.maxY - w, b.maxX, b.maxY));
    Fill(Box::Make(b.minX, b.minY, b.maxX, b.minY + w));
    Fill(Box::Make(b.minX, b.minY, b.minX + w, b.maxY));
    Fill(Box::Make(b.maxX - w, b.minY, b.maxX, b.maxY));
}

void Triangle(float cx, float cy, float size, bool down) {
    const float h = size * 0.5f;
    glBegin(GL_TRIANGLES);
    if (down) {
        glVertex2f(cx - size, cy + h);
        glVertex2f(cx + size, cy + h);
        glVertex2f(cx, cy - h);
    } else {
        glVertex2f(cx - size, cy - h);
        glVertex2f(cx + size, cy - h);
        glVertex2f(cx, cy + h);
    }
    glEnd();
}

// Where the character before or after byte `at` of UTF-8 text starts.
std::size_t PreviousBoundary(const std::string& text, std::size_t at) {
    if (at == 0)
        return 0;
    --at;
    while (at > 0 && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80)
        --at;
    return at;
}

std::size_t NextBoundary(const std::string& text, std::size_t at) {
    if (at >= text.size())
        return text.size();
    ++at;
    while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80)
        ++at;
    return at;
}

// The longest start of `text` of at most `length` bytes that does not cut a
// character in two.
std::string CutAtBoundary(const std::string& text, std::size_t length) {
    if (text.size() <= length)
        return text;
    std::size_t end = length;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

}  // namespace

// ---- Layout ---------------------------------------------------------------------------------

Box PanelLayout::Place(int x, int y, int width, int height) const {
    const float left = client.minX + static_cast<float>(x) * unitX;
    const float top = client.maxY - static_cast<float>(y) * unitY;
    return Box::Make(left, top - static_cast<float>(height) * unitY,
                     left + static_cast<float>(width) * unitX, top);
}

PanelLayout LayOutPanel(const DialogTemplate& dialog, float designWidth, float designHeight) {
    PanelLayout layout;
    const float naturalWidth = static_cast<float>(dialog.width) * kUnitX + 2 * kFrame;
    const float naturalHeight =
        static_cast<float>(dialog.height) * kUnitY + kCaptionHeight + 2 * kFrame;
    float scale = 1;
    if (naturalWidth > designWidth - 2 * kMargin)
        scale = std::min(scale, (designWidth - 2 * kMargin) / naturalWidth);
    if (naturalHeight > designHeight - 2 * kMargin)
        scale = std::min(scale, (designHeight - 2 * kMargin) / naturalHeight);
    scale = std::max(scale, 0.1f);
    layout.scale = scale;
    layout.unitX = kUnitX * scale;
    layout.unitY = kUnitY * scale;
    layout.fontPixels = std::max(6, static_cast<int>(std::lround(kFontPixels * scale)));
    const float width = naturalWidth * scale, height = naturalHeight * scale;
    const float left = std::floor((designWidth - width) / 2);
    const float bottom = std::floor((designHeight - height) / 2);
    layout.panel = Box::Make(left, bottom, left + width, bottom + height);
    const float frame = kFrame * scale;
    layout.caption = Box::Make(left + frame, bottom + height - frame - kCaptionHeight * scale,
                               left + width - frame, bottom + height - frame);
    layout.client =
        Box::Make(left + frame, bottom + frame, left + width - frame, layout.caption.minY);
    return layout;
}

// ---- Construction and the procedure's calls ---------------------------------------------------

DialogPanel::DialogPanel(const DialogTemplate& dialog,
                         std::unique_ptr<platform::DialogProcedure> procedure)
    : dialog_(dialog), procedure_(std::move(procedure)) {
    for (const DialogControlTemplate& entry : dialog_.controls) {
        Control control;
        control.entry = entry;
        control.text = entry.text;
        control.caret = control.text.size();
        controls_.push_back(control);
    }
}

DialogPanel::~DialogPanel() = default;

void DialogPanel::Open(float designWidth, float designHeight) {
    layout_ = LayOutPanel(dialog_, designWidth, designHeight);
    for (Control& control : controls_) {
        const DialogControlTemplate& s = control.entry;
        control.box = s.kind == K::kDropDownList ? layout_.Place(s.x, s.y, s.width, kFieldUnits)
                                                 : layout_.Place(s.x, s.y, s.width, s.height);
    }
    if (procedure_)
        procedure_->Init(*this);
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        if (Focusable(controls_[i])) {
            SetFocus(static_cast<int>(i));
            break;
        }
    }
}

DialogPanel::Control* DialogPanel::Find(int id) {
    const int index = IndexOf(id);
    return index < 0 ? nullptr : &controls_[static_cast<std::size_t>(index)];
}

const DialogPanel::Control* DialogPanel::Find(int id) const {
    const int index = IndexOf(id);
    return index < 0 ? nullptr : &controls_[static_cast<std::size_t>(index)];
}

int DialogPanel::IndexOf(int id) const {
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        if (controls_[i].entry.id == id)
            return static_cast<int>(i);
    }
    return -1;
}

Box DialogPanel::ControlBox(int id) const {
    const Control* control = Find(id);
    return control ? control->box : Box();
}

int DialogPanel::FocusedControl() const {
    return focus_ < 0 ? 0 : controls_[static_cast<std::size_t>(focus_)].entry.id;
}

std::string DialogPanel::Describe() const {
    std::ostringstream out;
    out << "caption " << dialog_.caption << "\n";
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        const Control& c = controls_[i];
        out << c.entry.id << ' ' << KindName(c.entry.kind) << " shown=" << c.shown
            << " checked=" << c.checked << " selected=" << c.selected
            << " focus=" << (static_cast<int>(i) == focus_) << " text=" << c.text << " items=";
        for (std::size_t k = 0; k < c.items.size(); ++k)
            out << (k ? "|" : "") << c.items[k];
        out << "\n";
    }
    return out.str();
}

void DialogPanel::SetText(int id, const std::string& text) {
    if (Control* control = Find(id)) {
        control->text = text;
        control->caret = text.size();
        control->scrollX = 0;
    }
}

std::string DialogPanel::Text(int id, std::size_t maxLength) {
    const Control* control = Find(id);
    return control ? CutAtBoundary(control->text, maxLength) : std::string();
}

void DialogPanel::SetChecked(int id, bool checked) {
    if (Control* control = Find(id))
        control->checked = checked;
}

bool DialogPanel::Checked(int id) {
    const Control* control = Find(id);
    return control && control->checked;
}

void DialogPanel::LimitText(int id, std::size_t maxLength) {
    if (Control* control = Find(id))
        control->limit = maxLength;
}

void DialogPanel::AddItem(int id, const std::string& text) {
    Control* control = Find(id);
    if (control && (control->entry.kind == K::kDropDownList || control->entry.kind == K::kListBox))
        control->items.push_back(text);
}

void DialogPanel::SelectItem(int id, int index) {
    Control* control = Find(id);
    if (!control)
        return;
    control->selected = index >= 0 && index < static_cast<int>(control->items.size()) ? index : -1;
    if (control->entry.kind == K::kListBox)
        KeepVisible(*control);
}

int DialogPanel::SelectedItem(int id) {
    const Control* control = Find(id);
    return control ? control->selected : -1;
}

void DialogPanel::ShowControl(int id, bool shown) {
    const int index = IndexOf(id);
    if (index < 0)
        return;
    controls_[static_cast<std::size_t>(index)].shown = shown;
    if (!shown && focus_ == index)
        MoveFocus();
}

void DialogPanel::End(int result) {
    ended_ = true;
    result_ = result;
}

// ---- Focus and commands ---------------------------------------------------------------------

bool DialogPanel::Focusable(const Control& control) const {
    switch (control.entry.kind) {
        case K::kStatic:
        case K::kGroupBox:
            return false;
        default:
            return control.shown;
    }
}

void DialogPanel::SetFocus(int index) {
    if (index == focus_)
        return;
    focus_ = index;
    if (index >= 0) {
        Control& control = controls_[static_cast<std::size_t>(index)];
        // An edit field reached by the keyboard has its text selected, so
        // that typing replaces it.
        if (IsEdit(control.entry)) {
            control.selectAll = !control.text.empty();
            control.caret = control.text.size();
        }
    }
}

void DialogPanel::MoveFocus() {
    const int n = static_cast<int>(controls_.size());
    for (int step = 1; step <= n; ++step) {
        const int next = ((focus_ < 0 ? -1 : focus_) + step) % n;
        if (Focusable(controls_[static_cast<std::size_t>(next)])) {
            SetFocus(next);
            return;
        }
    }
    focus_ = -1;
}

void DialogPanel::Command(int id, DialogEvent event) {
    if (ended_ || !procedure_)
        return;
    procedure_->Command(*this, id, event);
}

int DialogPanel::HitControl(Point p) const {
    // Later controls lie over earlier ones (the group box holds others).
    for (int i = static_cast<int>(controls_.size()) - 1; i >= 0; --i) {
        const Control& c = controls_[static_cast<std::size_t>(i)];
        if (c.shown && Focusable(c) && c.box.Contains(p))
            return i;
    }
    return -1;
}

// ---- Pointer ---------------------------------------------------------------------------------

void DialogPanel::MouseMove(Point p) {
    if (dropOpen_ >= 0) {
        const int row = DropRowAt(controls_[static_cast<std::size_t>(dropOpen_)], p);
        if (row >= 0)
            dropHot_ = row;
    }
}

void DialogPanel::MouseDown(Point p, int clickCount) {
    if (ended_)
        return;
    if (dropOpen_ >= 0) {
        Control& drop = controls_[static_cast<std::size_t>(dropOpen_)];
        const int row = DropRowAt(drop, p);
        if (row >= 0) {
            dropHot_ = row;
            CloseDropDown(true);
        } else {
            // A click anywhere else closes the list and is used up.
            CloseDropDown(false);
        }
        return;
    }
    const int index = HitControl(p);
    if (index < 0)
        return;
    Control& control = controls_[static_cast<std::size_t>(index)];
    SetFocus(index);
    switch (control.entry.kind) {
        case K::kPushButton:
        case K::kDefaultPushButton:
        case K::kCheckBox:
            pressed_ = index;
            pressedInside_ = true;
            break;
        case K::kEdit:
        case K::kNumberEdit:
            control.selectAll = false;
            PlaceCaret(control, p.x);
            break;
        case K::kDropDownList:
            dropOpen_ = index;
            dropHot_ = control.selected;
            dropTop_ = 0;
            if (control.selected >= DropRows(control))
                dropTop_ = control.selected - DropRows(control) + 1;
            dropPressed_ = true;
            dropDragged_ = false;
            break;
        case K::kListBox: {
            if (HasScrollBar(control) && ScrollBar(control).Contains(p)) {
                const Box bar = ScrollBar(control);
                const float arrow = bar.Width();
                const Box thumb = Thumb(control);
                if (p.y >= bar.maxY - arrow) {
                    ScrollTo(control, control.top - 1);
                } else if (p.y <= bar.minY + arrow) {
                    ScrollTo(control, control.top + 1);
                } else if (thumb.Contains(p)) {
                    thumbDragged_ = index;
                    thumbGrabY_ = p.y;
                    thumbGrabTop_ = control.top;
                } else {
                    const int page = std::max(1, VisibleRows(control) - 1);
                    ScrollTo(control, control.top + (p.y > thumb.maxY ? -page : page));
                }
                break;
            }
            const int row = RowAt(control, p);
            if (row >= 0) {
                SelectInList(control, row);
                listPressed_ = index;
                if (clickCount >= 2)
                    Command(control.entry.id, DialogEvent::kDoubleClicked);
            }
            break;
        }
        default:
            break;
    }
}

void DialogPanel::MouseDrag(Point p) {
    if (pressed_ >= 0)
        pressedInside_ = controls_[static_cast<std::size_t>(pressed_)].box.Contains(p);
    if (thumbDragged_ >= 0) {
        Control& list = controls_[static_cast<std::size_t>(thumbDragged_)];
        const Box bar = ScrollBar(list);
        const float track = bar.Height() - 2 * bar.Width() - Thumb(list).Height();
        const int hidden = static_cast<int>(list.items.size()) - VisibleRows(list);
        if (track > 0 && hidden > 0) {
            const float rows = (thumbGrabY_ - p.y) / track * static_cast<float>(hidden);
            ScrollTo(list, thumbGrabTop_ + static_cast<int>(std::lround(rows)));
        }
    }
    if (listPressed_ >= 0) {
        Control& list = controls_[static_cast<std::size_t>(listPressed_)];
        const int row = RowAt(list, p);
        if (row >= 0)
            SelectInList(list, row);
    }
    if (dropOpen_ >= 0 && dropPressed_) {
        const int row = DropRowAt(controls_[static_cast<std::size_t>(dropOpen_)], p);
        if (row >= 0) {
            dropHot_ = row;
            dropDragged_ = true;
        }
    }
}

void DialogPanel::MouseUp(Point p) {
    const int pressed = pressed_;
    const bool inside = pressedInside_ && pressed >= 0 &&
                        controls_[static_cast<std::size_t>(pressed)].box.Contains(p);
    pressed_ = -1;
    pressedInside_ = false;
    thumbDragged_ = -1;
    listPressed_ = -1;
    if (dropOpen_ >= 0 && dropPressed_) {
        dropPressed_ = false;
        // Pressed on the field, dragged into the list and let go over an
        // entry: that entry is chosen. Let go without dragging: the list
        // stays open for a click.
        if (dropDragged_ && DropRowAt(controls_[static_cast<std::size_t>(dropOpen_)], p) >= 0)
            CloseDropDown(true);
        return;
    }
    if (!inside || ended_)
        return;
    Control& control = controls_[static_cast<std::size_t>(pressed)];
    if (control.entry.kind == K::kCheckBox)
        control.checked = !control.checked;
    Command(control.entry.id, DialogEvent::kClicked);
}

void DialogPanel::Wheel(Point p, int delta) {
    const int rows = -delta / 120 * kWheelRows;
    if (dropOpen_ >= 0) {
        const Control& drop = controls_[static_cast<std::size_t>(dropOpen_)];
        const int hidden = static_cast<int>(drop.items.size()) - DropRows(drop);
        dropTop_ = std::clamp(dropTop_ + rows, 0, std::max(0, hidden));
        return;
    }
    for (Control& control : controls_) {
        if (control.shown && control.entry.kind == K::kListBox && control.box.Contains(p))
            ScrollTo(control, control.top + rows);
    }
}

// ---- Keys ------------------------------------------------------------------------------------

void DialogPanel::Key(int character) {
    if (ended_)
        return;
    Control* focused = focus_ >= 0 ? &controls_[static_cast<std::size_t>(focus_)] : nullptr;
    if (dropOpen_ >= 0) {
        Control& drop = controls_[static_cast<std::size_t>(dropOpen_)];
        const int count = static_cast<int>(drop.items.size());
        switch (character) {
            case 27:
                CloseDropDown(false);
                return;
            case 13:
            case ' ':
                CloseDropDown(dropHot_ >= 0);
                return;
            case 30:
            case 31: {
                const int step = character == 30 ? -1 : 1;
                dropHot_ = std::clamp(dropHot_ < 0 ? 0 : dropHot_ + step, 0, count - 1);
                const int rows = DropRows(drop);
                if (dropHot_ < dropTop_)
                    dropTop_ = dropHot_;
                else if (dropHot_ >= dropTop_ + rows)
                    dropTop_ = dropHot_ - rows + 1;
                return;
            }
            default:
                return;
        }
    }
    switch (character) {
        case 27:
            Command(platform::kDialogCancel, DialogEvent::kClicked);
            return;
        case 13:
            // A focused push button takes Return for itself; elsewhere Return
            // is OK.
            if (focused && focused->entry.kind == K::kPushButton)
                Command(focused->entry.id, DialogEvent::kClicked);
            else
                Command(platform::kDialogOk, DialogEvent::kClicked);
            return;
        case 9:
            MoveFocus();
            return;
        default:
            break;
    }
    if (!focused)
        return;
    Control& control = *focused;
    switch (control.entry.kind) {
        case K::kPushButton:
        case K::kDefaultPushButton:
            if (character == ' ')
                Command(control.entry.id, DialogEvent::kClicked);
            return;
        case K::kCheckBox:
            if (character == ' ') {
                control.checked = !control.checked;
                Command(control.entry.id, DialogEvent::kClicked);
            }
            return;
        case K::kListBox:
            if (character == 30 || character == 31) {
                const int step = character == 30 ? -1 : 1;
                const int count = static_cast<int>(control.items.size());
                if (count > 0)
                    SelectInList(control,
                                 std::clamp(control.selected < 0 ? 0 : control.selected + step, 0,
                                            count - 1));
            }
            return;
        case K::kDropDownList:
            if (character == 30 || character == 31) {
                const int step = character == 30 ? -1 : 1;
                const int count = static_cast<int>(control.items.size());
                // An empty list has no range to clamp into: nothing moves.
                if (count == 0)
                    return;
                const int next = std::clamp(control.selected + step, 0, count - 1);
                if (next != control.selected) {
                    control.selected = next;
                    Command(control.entry.id, DialogEvent::kSelectionConfirmed);
                }
            }
            return;
        case K::kEdit:
        case K::kNumberEdit:
            break;
        default:
            return;
    }
    switch (character) {
        case 1:
            // Control+A selects the whole text, as in the system's fields.
            control.selectAll = !control.text.empty();
            return;
        case 8:
            Backspace(control);
            return;
        case 28:
        case 29:
            MoveCaret(control, character == 28 ? -1 : 1);
            return;
        case 30:
        case 31:
            return;
        default:
            break;
    }
    // Latin-1 characters as the window system gives them, kept as UTF-8;
    // control codes are no text.
    if (character < 32 || character == 127 || (character >= 128 && character < 160) ||
        character > 255)
        return;
    if (control.entry.kind == K::kNumberEdit && (character < '0' || character > '9'))
        return;
    std::string bytes;
    if (character < 128) {
        bytes.push_back(static_cast<char>(character));
    } else {
        bytes.push_back(static_cast<char>(0xC0 | (character >> 6)));
        bytes.push_back(static_cast<char>(0x80 | (character & 0x3F)));
    }
    InsertText(control, bytes);
}

// ---- Edit fields -------------------------------------------------------------------------------

void DialogPanel::InsertText(Control& control, const std::string& bytes) {
    if (control.selectAll) {
        control.text.clear();
        control.caret = 0;
        control.selectAll = false;
    }
    if (control.text.size() + bytes.size() > control.limit)
        return;
    control.text.insert(control.caret, bytes);
    control.caret += bytes.size();
}

void DialogPanel::Backspace(Control& control) {
    if (control.selectAll) {
        control.text.clear();
        control.caret = 0;
        control.selectAll = false;
        return;
    }
    const std::size_t from = PreviousBoundary(control.text, control.caret);
    control.text.erase(from, control.caret - from);
    control.caret = from;
}

void DialogPanel::MoveCaret(Control& control, int direction) {
    if (control.selectAll) {
        control.selectAll = false;
        control.caret = direction < 0 ? 0 : control.text.size();
        return;
    }
    control.caret = direction < 0 ? PreviousBoundary(control.text, control.caret)
                                  : NextBoundary(control.text, control.caret);
}

void DialogPanel::PlaceCaret(Control& control, float x) {
    control.caret = control.text.size();
    if (!measureFont_)
        return;
    const float start = control.box.minX + 3 * layout_.scale - control.scrollX;
    std::size_t at = 0;
    float previous = start;
    while (at < control.text.size()) {
        const std::size_t next = NextBoundary(control.text, at);
        const float end = start + measureFont_->Advance(control.text.substr(0, next));
        if (x < (previous + end) / 2) {
            control.caret = at;
            return;
        }
        previous = end;
        at = next;
    }
}

// ---- Lists --------------------------------------------------------------------------------------

float DialogPanel::RowHeight() const {
    return static_cast<float>(kRowUnits) * layout_.unitY;
}

int DialogPanel::VisibleRows(const Control& list) const {
    const float inner = list.box.Height() - 4 * layout_.scale;
    return std::max(1, static_cast<int>(inner / RowHeight()));
}

bool DialogPanel::HasScrollBar(const Control& list) const {
    return static_cast<int>(list.items.size()) > VisibleRows(list);
}

Box DialogPanel::ScrollBar(const Control& list) const {
    const float border = 2 * layout_.scale;
    const Box inner = Inset(list.box, border);
    return Box::Make(inner.maxX - kScrollWidth * layout_.scale, inner.minY, inner.maxX, inner.maxY);
}

Box DialogPanel::Thumb(const Control& list) const {
    const Box bar = ScrollBar(list);
    const float arrow = bar.Width();
    const float track = bar.Height() - 2 * arrow;
    const int count = static_cast<int>(list.items.size());
    const int rows = VisibleRows(list);
    if (count <= rows || track <= 0)
        return Box::Make(bar.minX, bar.minY + arrow, bar.maxX, bar.maxY - arrow);
    const float length =
        std::max(arrow * 0.5f, track * static_cast<float>(rows) / static_cast<float>(count));
    const float travel = track - length;
    const float top =
        bar.maxY - arrow - travel * static_cast<float>(list.top) / static_cast<float>(count - rows);
    return Box::Make(bar.minX, top - length, bar.maxX, top);
}

int DialogPanel::RowAt(const Control& list, Point p) const {
    const Box inner = Inset(list.box, 2 * layout_.scale);
    if (!inner.Contains(p) || (HasScrollBar(list) && ScrollBar(list).Contains(p)))
        return -1;
    const int row = static_cast<int>((inner.maxY - p.y) / RowHeight());
    if (row >= VisibleRows(list))
        return -1;
    const int index = list.top + row;
    return index < static_cast<int>(list.items.size()) ? index : -1;
}

void DialogPanel::ScrollTo(Control& list, int top) {
    const int hidden = static_cast<int>(list.items.size()) - VisibleRows(list);
    list.top = std::clamp(top, 0, std::max(0, hidden));
}

void DialogPanel::KeepVisible(Control& list) {
    if (list.selected < 0)
        return;
    if (list.selected < list.top)
        ScrollTo(list, list.selected);
    else if (list.selected >= list.top + VisibleRows(list))
        ScrollTo(list, list.selected - VisibleRows(list) + 1);
}

void DialogPanel::SelectInList(Control& list, int index) {
    list.selected = index;
    KeepVisible(list);
}

Box DialogPanel::DropListBox(const Control& drop) const {
    const float rows = static_cast<float>(DropRows(drop));
    const float border = layout_.scale;
    return Box::Make(drop.box.minX, drop.box.minY - rows * RowHeight() - 2 * border, drop.box.maxX,
                     drop.box.minY);
}

int DialogPanel::DropRows(const Control& drop) const {
    const float room =
        static_cast<float>(drop.entry.height - kFieldUnits) * layout_.unitY - 2 * layout_.scale;
    const int fit = std::max(1, static_cast<int>(room / RowHeight()));
    return std::max(1, std::min(fit, static_cast<int>(drop.items.size())));
}

int DialogPanel::DropRowAt(const Control& drop, Point p) const {
    const Box list = DropListBox(drop);
    if (!list.Contains(p))
        return -1;
    const int row = static_cast<int>((list.maxY - layout_.scale - p.y) / RowHeight());
    const int index = dropTop_ + std::clamp(row, 0, DropRows(drop) - 1);
    return index < static_cast<int>(drop.items.size()) ? index : -1;
}

void DialogPanel::CloseDropDown(bool confirm) {
    const int index = dropOpen_;
    dropOpen_ = -1;
    dropPressed_ = false;
    dropDragged_ = false;
    if (index < 0 || !confirm || dropHot_ < 0)
        return;
    Control& drop = controls_[static_cast<std::size_t>(index)];
    drop.selected = dropHot_;
    Command(drop.entry.id, DialogEvent::kSelectionConfirmed);
}

// ---- Drawing ------------------------------------------------------------------------------------

float DialogPanel::Baseline(Font* font, const Box& box) const {
    if (!font)
        return box.minY;
    const float ascent = font->LineHeight() + font->Descender();
    return std::floor(box.Centre().y - (ascent + font->Descender()) * 0.5f);
}

void DialogPanel::DrawText(Font* font, const std::string& text, float x, float baseline) {
    if (!font || text.empty())
        return;
    float end = 0;
    const int count = LayoutText(*font, quads_, text, std::floor(x), baseline, end);
    if (count > 0)
        DrawQuads(*font, quads_.data(), count);
}

void DialogPanel::Clip(const Box& box) {
    glEnable(GL_SCISSOR_TEST);
    const auto px = [this](float x) { return static_cast<GLint>(std::floor(x * pixelsPerUnitX_)); };
    const auto py = [this](float y) { return static_cast<GLint>(std::floor(y * pixelsPerUnitY_)); };
    glScissor(px(box.minX), py(box.minY), std::max(0, px(box.maxX) - px(box.minX)),
              std::max(0, py(box.maxY) - py(box.minY)));
}

void DialogPanel::Unclip() {
    glDisable(GL_SCISSOR_TEST);
}

void DialogPanel::Draw(Font* font, float designWidth, float designHeight, float pixelsPerUnitX,
                       float pixelsPerUnitY, double seconds) {
    measureFont_ = font;
    pixelsPerUnitX_ = pixelsPerUnitX;
    pixelsPerUnitY_ = pixelsPerUnitY;
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_SCISSOR_BIT | GL_CURRENT_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    // The editor behind, dimmed: it takes no input while the panel is open.
    glColor4f(0, 0, 0, 0.45f);
    Fill(Box::Make(0, 0, designWidth, designHeight));

    const float s = layout_.scale;
    const Box& panel = layout_.panel;
    glColor4f(0, 0, 0, 0.35f);
    Fill(Box::Make(panel.minX + 4 * s, panel.minY - 4 * s, panel.maxX + 4 * s, panel.maxY - 4 * s));
    SetColour(kFace);
    Fill(panel);
    Raised(panel, std::max(1.0f, s));

    // Caption bar, darker on the left.
    const Box& cap = layout_.caption;
    glBegin(GL_QUADS);
    SetColour(kCaptionLeft);
    glVertex2f(cap.minX, cap.minY);
    SetColour(kCaptionRight);
    glVertex2f(cap.maxX, cap.minY);
    glVertex2f(cap.maxX, cap.maxY);
    SetColour(kCaptionLeft);
    glVertex2f(cap.minX, cap.maxY);
    glEnd();
    glColor4f(1, 1, 1, 1);
    DrawText(font, dialog_.caption, cap.minX + 4 * s, Baseline(font, cap));

    for (Control& control : controls_) {
        if (control.shown)
            DrawControl(control, font, seconds);
    }
    if (dropOpen_ >= 0) {
        const Control& drop = controls_[static_cast<std::size_t>(dropOpen_)];
        const Box list = DropListBox(drop);
        SetColour(kText);
        Fill(list);
        SetColour(kWindow);
        Fill(Inset(list, s));
        DrawList(drop, font, Inset(list, s), dropTop_, dropHot_, false);
    }
    glPopAttrib();
}

void DialogPanel::DrawList(const Control& list, Font* font, const Box& area, int first, int hot,
                           bool focused) {
    const float row = RowHeight();
    const int rows = std::max(0, static_cast<int>(area.Height() / row + 0.001f));
    Clip(area);
    for (int r = 0; r < rows; ++r) {
        const int index = first + r;
        if (index >= static_cast<int>(list.items.size()))
            break;
        const Box line =
            Box::Make(area.minX, area.maxY - (r + 1) * row, area.maxX, area.maxY - r * row);
        const bool marked = index == hot;
        if (marked) {
            SetColour(kSelection);
            Fill(line);
        }
        SetColour(marked ? kWindow : kText);
        DrawText(font, list.items[static_cast<std::size_t>(index)], line.minX + 2 * layout_.scale,
                 Baseline(font, line));
        if (marked && focused) {
            glColor4f(1, 1, 1, 0.6f);
            Outline(line, std::max(1.0f, layout_.scale * 0.75f));
        }
    }
    Unclip();
}

void DialogPanel::DrawControl(Control& control, Font* font, double seconds) {
    const float s = layout_.scale;
    const float line = std::max(1.0f, s);
    const Box& b = control.box;
    const bool focused = focus_ >= 0 && &controls_[static_cast<std::size_t>(focus_)] == &control;
    switch (control.entry.kind) {
        case K::kStatic: {
            SetColour(kText);
            const float ascent = font ? font->LineHeight() + font->Descender() : 0;
            Clip(b);
            DrawText(font, control.text, b.minX, std::floor(b.maxY - ascent));
            Unclip();
            break;
        }
        case K::kGroupBox: {
            const float ascent = font ? font->LineHeight() + font->Descender() : 0;
            const float top = b.maxY - ascent * 0.5f;
            const Box frame = Box::Make(b.minX, b.minY, b.maxX, top);
            SetColour(kShadow);
            Outline(frame, line);
            SetColour(kHighlight);
            Outline(Box::Make(frame.minX + line, frame.minY - line, frame.maxX + line,
                              frame.maxY - line),
                    line);
            if (font && !control.text.empty()) {
                const float width = font->Advance(control.text);
                SetColour(kFace);
                Fill(Box::Make(b.minX + 6 * s, top - 2 * line, b.minX + 10 * s + width,
                               top + 2 * line));
                SetColour(kText);
                DrawText(font, control.text, b.minX + 8 * s, std::floor(b.maxY - ascent));
            }
            break;
        }
        case K::kPushButton:
        case K::kDefaultPushButton: {
            const bool down = pressed_ >= 0 && pressedInside_ &&
                              &controls_[static_cast<std::size_t>(pressed_)] == &control;
            SetColour(kFace);
            Fill(b);
            Box face = b;
            if (control.entry.kind == K::kDefaultPushButton || focused) {
                SetColour(kText);
                Outline(b, line);
                face = Inset(b, line);
            }
            if (down) {
                SetColour(kShadow);
                Outline(face, line);
            } else {
                Raised(face, line);
            }
            const float shift = down ? line : 0;
            if (font) {
                const float width = font->Advance(control.text);
                SetColour(kText);
                Clip(face);
                DrawText(font, control.text, b.Centre().x - width / 2 + shift,
                         Baseline(font, b) - shift);
                Unclip();
            }
            if (focused) {
                glColor4f(0, 0, 0, 0.5f);
                Outline(Inset(face, 3 * line), std::max(0.5f, s * 0.5f));
            }
            break;
        }
        case K::kCheckBox: {
            const float size = kCheckSize * s;
            const float cy = b.Centre().y;
            const Box square = Box::Make(b.minX, cy - size / 2, b.minX + size, cy + size / 2);
            const bool down = pressed_ >= 0 && pressedInside_ &&
                              &controls_[static_cast<std::size_t>(pressed_)] == &control;
            SetColour(down ? kFace : kWindow);
            Fill(square);
            Sunken(square, line);
            if (control.checked) {
                SetColour(kText);
                glLineWidth(std::max(1.0f, 2 * s * pixelsPerUnitX_));
                glBegin(GL_LINE_STRIP);
                glVertex2f(square.minX + size * 0.25f, cy);
                glVertex2f(square.minX + size * 0.42f, square.minY + size * 0.27f);
                glVertex2f(square.minX + size * 0.75f, square.maxY - size * 0.27f);
                glEnd();
                glLineWidth(1);
            }
            SetColour(kText);
            const float textX = square.maxX + 4 * s;
            DrawText(font, control.text, textX, Baseline(font, b));
            if (focused && font) {
                glColor4f(0, 0, 0, 0.5f);
                const float width = font->Advance(control.text);
                Outline(Box::Make(textX - 2 * s, b.minY, textX + width + 2 * s, b.maxY),
                        std::max(0.5f, s * 0.5f));
            }
            break;
        }
        case K::kEdit:
        case K::kNumberEdit: {
            SetColour(kWindow);
            Fill(b);
            Sunken(b, line);
            const Box inner = Inset(b, 2 * line);
            const float start = inner.minX + s;
            // Keep the caret in view: the text scrolls under the field.
            float caretX = 0;
            if (font)
                caretX = font->Advance(control.text.substr(0, control.caret));
            const float room = inner.Width() - 3 * s;
            if (caretX - control.scrollX > room)
                control.scrollX = caretX - room;
            else if (caretX < control.scrollX)
                control.scrollX = caretX;
            const float x = start - control.scrollX;
            const float baseline = Baseline(font, b);
            Clip(inner);
            if (focused && control.selectAll && font) {
                SetColour(kSelection);
                Fill(Box::Make(x, inner.minY + s, x + font->Advance(control.text), inner.maxY - s));
                SetColour(kWindow);
            } else {
                SetColour(kText);
            }
            DrawText(font, control.text, x, baseline);
            // The caret blinks twice a second.
            if (focused && !control.selectAll && std::fmod(seconds, 1.0) < 0.5) {
                SetColour(kText);
                Fill(Box::Make(x + caretX, inner.minY + s, x + caretX + line, inner.maxY - s));
            }
            Unclip();
            break;
        }
        case K::kDropDownList: {
            SetColour(kWindow);
            Fill(b);
            Sunken(b, line);
            const Box inner = Inset(b, 2 * line);
            const float arrowWidth = kScrollWidth * s;
            const Box arrow =
                Box::Make(inner.maxX - arrowWidth, inner.minY, inner.maxX, inner.maxY);
            const Box field = Box::Make(inner.minX, inner.minY, arrow.minX, inner.maxY);
            if (focused && dropOpen_ < 0) {
                SetColour(kSelection);
                Fill(Inset(field, line));
            }
            if (control.selected >= 0) {
                SetColour(focused && dropOpen_ < 0 ? kWindow : kText);
                Clip(field);
                DrawText(font, control.items[static_cast<std::size_t>(control.selected)],
                         field.minX + 2 * s, Baseline(font, b));
                Unclip();
            }
            SetColour(kFace);
            Fill(arrow);
            Raised(arrow, line);
            SetColour(kText);
            Triangle(arrow.Centre().x, arrow.Centre().y, 3.5f * s, true);
            break;
        }
        case K::kListBox: {
            SetColour(kWindow);
            Fill(b);
            Sunken(b, line);
            Box inner = Inset(b, 2 * line);
            if (HasScrollBar(control)) {
                const Box bar = ScrollBar(control);
                inner.maxX = bar.minX;
                glColor4f(0.93f, 0.92f, 0.9f, 1);
                Fill(bar);
                const float arrow = bar.Width();
                const Box up = Box::Make(bar.minX, bar.maxY - arrow, bar.maxX, bar.maxY);
                const Box down = Box::Make(bar.minX, bar.minY, bar.maxX, bar.minY + arrow);
                for (const Box& button : {up, down}) {
                    SetColour(kFace);
                    Fill(button);
                    Raised(button, line);
                }
                SetColour(kText);
                Triangle(up.Centre().x, up.Centre().y, 3.5f * s, false);
                Triangle(down.Centre().x, down.Centre().y, 3.5f * s, true);
                const Box thumb = Thumb(control);
                SetColour(kFace);
                Fill(thumb);
                Raised(thumb, line);
            }
            const float rows = static_cast<float>(VisibleRows(control));
            inner.minY = std::max(inner.minY, inner.maxY - rows * RowHeight());
            DrawList(control, font, inner, control.top, control.selected, focused);
            break;
        }
    }
}

}  // namespace QX
