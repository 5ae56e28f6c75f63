#include "gui/DialogPanel.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "PanelButton.h"
#include "PanelCheckBox.h"
#include "PanelDropDown.h"
#include "PanelEditField.h"
#include "PanelList.h"
#include "PanelPainter.h"
#include "PanelText.h"

namespace QX {

using platform::DialogEvent;
using K = DialogControlKind;

namespace {

// The dialog font (8 points at 96 dots per inch) gives a dialog unit of 1.5
// pixels across and 1.625 down; its text is about 11 pixels high.
constexpr float kUnitX = 1.5f, kUnitY = 1.625f;
constexpr float kCaptionHeight = 18, kFrame = 3, kMargin = 8;
constexpr float kFontPixels = 11;
constexpr int kWheelRows = 3;

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

std::unique_ptr<PanelControl> MakeControl(const DialogControlTemplate& entry) {
    switch (entry.kind) {
        case K::kStatic:
            return std::make_unique<PanelText>(entry);
        case K::kGroupBox:
            return std::make_unique<PanelGroupBox>(entry);
        case K::kPushButton:
        case K::kDefaultPushButton:
            return std::make_unique<PanelButton>(entry);
        case K::kCheckBox:
            return std::make_unique<PanelCheckBox>(entry);
        case K::kEdit:
        case K::kNumberEdit:
            return std::make_unique<PanelEditField>(entry);
        case K::kDropDownList:
            return std::make_unique<PanelDropDown>(entry);
        case K::kListBox:
            break;
    }
    return std::make_unique<PanelList>(entry);
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
    : dialog_(dialog),
      procedure_(std::move(procedure)),
      painter_(std::make_unique<PanelPainter>()) {
    for (const DialogControlTemplate& entry : dialog_.controls)
        controls_.push_back(MakeControl(entry));
}

DialogPanel::~DialogPanel() = default;

void DialogPanel::Open(float designWidth, float designHeight) {
    layout_ = LayOutPanel(dialog_, designWidth, designHeight);
    for (const auto& control : controls_)
        control->Place(layout_);
    if (procedure_)
        procedure_->Init(*this);
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        if (controls_[i]->Focusable()) {
            SetFocus(static_cast<int>(i));
            break;
        }
    }
}

PanelControl* DialogPanel::Find(int id) {
    const int index = IndexOf(id);
    return index < 0 ? nullptr : controls_[static_cast<std::size_t>(index)].get();
}

const PanelControl* DialogPanel::Find(int id) const {
    const int index = IndexOf(id);
    return index < 0 ? nullptr : controls_[static_cast<std::size_t>(index)].get();
}

int DialogPanel::IndexOf(int id) const {
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        if (controls_[i]->Id() == id)
            return static_cast<int>(i);
    }
    return -1;
}

Box DialogPanel::ControlBox(int id) const {
    const PanelControl* control = Find(id);
    return control ? control->Bounds() : Box();
}

int DialogPanel::FocusedControl() const {
    return focus_ < 0 ? 0 : controls_[static_cast<std::size_t>(focus_)]->Id();
}

std::string DialogPanel::Describe() const {
    std::ostringstream out;
    out << "caption " << dialog_.caption << "\n";
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        const PanelControl& c = *controls_[i];
        out << c.Id() << ' ' << KindName(c.Kind()) << " shown=" << c.Shown()
            << " checked=" << c.Checked() << " selected=" << c.Selected()
            << " focus=" << (static_cast<int>(i) == focus_) << " text=" << c.Text() << " items=";
        const std::vector<std::string>& items = c.Items();
        for (std::size_t k = 0; k < items.size(); ++k)
            out << (k ? "|" : "") << items[k];
        out << "\n";
    }
    return out.str();
}

void DialogPanel::SetText(int id, const std::string& text) {
    if (PanelControl* control = Find(id))
        control->SetText(text);
}

std::string DialogPanel::Text(int id, std::size_t maxLength) {
    const PanelControl* control = Find(id);
    return control ? CutAtBoundary(control->Text(), maxLength) : std::string();
}

void DialogPanel::SetChecked(int id, bool checked) {
    if (PanelControl* control = Find(id))
        control->SetChecked(checked);
}

bool DialogPanel::Checked(int id) {
    const PanelControl* control = Find(id);
    return control && control->Checked();
}

void DialogPanel::LimitText(int id, std::size_t maxLength) {
    if (PanelControl* control = Find(id))
        control->LimitText(maxLength);
}

void DialogPanel::AddItem(int id, const std::string& text) {
    if (PanelControl* control = Find(id))
        control->AddItem(text);
}

void DialogPanel::SelectItem(int id, int index) {
    if (PanelControl* control = Find(id))
        control->SelectItem(index);
}

int DialogPanel::SelectedItem(int id) {
    const PanelControl* control = Find(id);
    return control ? control->Selected() : -1;
}

void DialogPanel::ShowControl(int id, bool shown) {
    const int index = IndexOf(id);
    if (index < 0)
        return;
    controls_[static_cast<std::size_t>(index)]->Show(shown);
    if (!shown && focus_ == index)
        MoveFocus();
}

void DialogPanel::End(int result) {
    ended_ = true;
    result_ = result;
}

// ---- Focus and commands ---------------------------------------------------------------------

void DialogPanel::SetFocus(int index) {
    if (index == focus_)
        return;
    focus_ = index;
    if (index >= 0)
        controls_[static_cast<std::size_t>(index)]->FocusGained();
}

void DialogPanel::MoveFocus() {
    const int n = static_cast<int>(controls_.size());
    for (int step = 1; step <= n; ++step) {
        const int next = ((focus_ < 0 ? -1 : focus_) + step) % n;
        if (controls_[static_cast<std::size_t>(next)]->Focusable()) {
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

void DialogPanel::Report(const PanelControl& control, const std::optional<DialogEvent>& event) {
    if (event)
        Command(control.Id(), *event);
}

int DialogPanel::HitControl(Point p) const {
    // Later controls lie over earlier ones (the group box holds others).
    for (int i = static_cast<int>(controls_.size()) - 1; i >= 0; --i) {
        const PanelControl& c = *controls_[static_cast<std::size_t>(i)];
        if (c.Shown() && c.Focusable() && c.Bounds().Contains(p))
            return i;
    }
    return -1;
}

PanelControl* DialogPanel::HoldingInput() {
    for (const auto& control : controls_) {
        if (control->HoldsInput())
            return control.get();
    }
    return nullptr;
}

// ---- Input ------------------------------------------------------------------------------------

void DialogPanel::MouseMove(Point p) {
    if (PanelControl* open = HoldingInput())
        open->MouseMove(p);
}

void DialogPanel::MouseDown(Point p, int clickCount) {
    if (ended_)
        return;
    if (PanelControl* open = HoldingInput()) {
        Report(*open, open->MouseDown(p, clickCount, measureFont_));
        return;
    }
    const int index = HitControl(p);
    if (index < 0)
        return;
    SetFocus(index);
    if (captured_ >= 0 && captured_ != index)
        controls_[static_cast<std::size_t>(captured_)]->Release();
    captured_ = index;
    PanelControl& control = *controls_[static_cast<std::size_t>(index)];
    Report(control, control.MouseDown(p, clickCount, measureFont_));
}

void DialogPanel::MouseDrag(Point p) {
    if (captured_ >= 0)
        controls_[static_cast<std::size_t>(captured_)]->MouseDrag(p);
}

void DialogPanel::MouseUp(Point p) {
    const int index = captured_;
    captured_ = -1;
    if (index < 0)
        return;
    PanelControl& control = *controls_[static_cast<std::size_t>(index)];
    if (ended_)
        control.Release();
    else
        Report(control, control.MouseUp(p));
}

void DialogPanel::Wheel(Point p, int delta) {
    const int rows = -delta / 120 * kWheelRows;
    if (PanelControl* open = HoldingInput()) {
        open->Wheel(p, rows);
        return;
    }
    for (const auto& control : controls_) {
        if (control->Shown())
            control->Wheel(p, rows);
    }
}

void DialogPanel::Key(int character) {
    if (ended_)
        return;
    if (PanelControl* open = HoldingInput()) {
        Report(*open, open->Key(character));
        return;
    }
    PanelControl* focused =
        focus_ >= 0 ? controls_[static_cast<std::size_t>(focus_)].get() : nullptr;
    switch (character) {
        case 27:
            Command(platform::kDialogCancel, DialogEvent::kClicked);
            return;
        case 13:
            // A focused push button takes Return for itself; elsewhere Return
            // is OK.
            if (focused && focused->TakesReturn())
                Command(focused->Id(), DialogEvent::kClicked);
            else
                Command(platform::kDialogOk, DialogEvent::kClicked);
            return;
        case 9:
            MoveFocus();
            return;
        default:
            break;
    }
    if (focused)
        Report(*focused, focused->Key(character));
}

// ---- Drawing ------------------------------------------------------------------------------------

void DialogPanel::Draw(Font* font, float designWidth, float designHeight, float pixelsPerUnitX,
                       float pixelsPerUnitY, double seconds) {
    using namespace panelcolour;
    measureFont_ = font;
    PanelPainter& painter = *painter_;
    painter.Begin(font, pixelsPerUnitX, pixelsPerUnitY, layout_.scale);

    // The editor behind, dimmed: it takes no input while the panel is open.
    painter.SetColour(0, 0, 0, 0.45f);
    painter.Fill(Box::Make(0, 0, designWidth, designHeight));

    const float s = layout_.scale;
    const Box& panel = layout_.panel;
    painter.SetColour(0, 0, 0, 0.35f);
    painter.Fill(
        Box::Make(panel.minX + 4 * s, panel.minY - 4 * s, panel.maxX + 4 * s, panel.maxY - 4 * s));
    painter.SetColour(kFace);
    painter.Fill(panel);
    painter.Raised(panel, painter.Line());

    // Caption bar, darker on the left.
    const Box& cap = layout_.caption;
    painter.FillAcross(cap, kCaptionLeft, kCaptionRight);
    painter.SetColour(1, 1, 1, 1);
    painter.Text(dialog_.caption, cap.minX + 4 * s, painter.Baseline(cap));

    for (std::size_t i = 0; i < controls_.size(); ++i) {
        if (controls_[i]->Shown())
            controls_[i]->Draw(painter, static_cast<int>(i) == focus_, seconds);
    }
    for (const auto& control : controls_)
        control->DrawOver(painter);
    painter.End();
}

}  // namespace QX
