#include "gui/TextField.h"

#include <atomic>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "ControlDrawing.h"
#include "gui/Dialogs.h"
#include "gui/Font.h"
#include "gui/Manager.h"
#include "gui/StaticText.h"
#include "platform/ManagerPlatformBridge.h"
#include "plugin/Properties.h"
#include "plugin/PropertyReads.h"
#include "plugin/ZephCorvaneBase.h"

namespace QX {

namespace {

// What the user typed, read as a number the way the field always read it
// (blanks and a plus sign before it, anything after it ignored), in the "C"
// conventions whatever the host's locale.
bool parseTypedNumber(const std::string& typed, float& value) {
    const char* begin = typed.c_str();
    while (std::isspace(static_cast<unsigned char>(*begin)))
        ++begin;
    if (*begin == '+' && begin[1] != '-')
        ++begin;
    return std::from_chars(begin, typed.c_str() + typed.size(), value).ec == std::errc();
}

}  // namespace

namespace {

bool isLetter(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) != 0;
}

// A layout script's format reaches snprintf with one double: accept only a
// single floating-point conversion (and literal %%), so that a "%s" or a
// "%n" can never read or write through a pointer that is not there.
bool isFloatFormat(const std::string& format) {
    int conversions = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%')
            continue;
        if (++i < format.size() && format[i] == '%')
            continue;
        while (i < format.size() && std::strchr("-+ #0", format[i]))
            ++i;
        while (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i])))
            ++i;
        if (i < format.size() && format[i] == '.') {
            ++i;
            while (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i])))
                ++i;
        }
        if (i >= format.size() || !std::strchr("fFeEgGaA", format[i]))
            return false;
        ++conversions;
    }
    return conversions == 1;
}

bool showPropertyDialog(Manager& manager, PropertyTextField& field) {
    ShowPropertyDialog(manager, field.propertyId, field.prompt);
    return true;
}

std::atomic<PropertyDialogOpener> dialogOpener{showPropertyDialog};

}  // namespace

// ---- TextField ------------------------------------------------------------------------

TextField::TextField(Manager* owner, int parameterIndex, float x, float y, float width,
                     float height, const std::string& valueFormat)
    : Control(owner, parameterIndex), format(isFloatFormat(valueFormat) ? valueFormat : "") {
    box = Box::Make(x, y, x + width, y + height);
}

std::string TextField::Text() const {
    return text;
}

bool TextField::Typing() const {
    return cursor >= 0;
}

float TextField::Step() const {
    if (isLetter(text[0]))
        return 1;
    // The last decimal mark, a point or (in a text from a host's locale) a
    // comma: the step is one unit of the last digit shown.
    const char* dot = std::strpbrk(text, ".,");
    for (const char* next = dot; next; next = std::strpbrk(next + 1, ".,"))
        dot = next;
    if (!dot)
        return 1;
    return std::pow(10.0f, -static_cast<float>(std::strlen(dot + 1)));
}

void TextField::MouseDown(Point p, int modifiers, int clickCount) {
    if (ManagerPlatformBridge* bridge = manager->Bridge())
        bridge->Focus();
    Control::MouseDown(p, modifiers, clickCount);
    manager->SetKeyFocus(this);
}

bool TextField::KeyDown(int character, int /*mappedCharacter*/, int /*virtualKey*/) {
    float step = 0;
    bool commit = false;
    const bool used = Type(character, commit, step);
    if (commit) {
        const std::string typed = Text();
        float value = 0;
        if (parseTypedNumber(typed, value))
            SetValue(value);
    }
    if (step != 0)
        SetValue(Value() + step);
    return used;
}

bool TextField::UsesKey(int character) {
    switch (character) {
        case kKeyReturn:
        case 3:
        case kKeyBackspace:
        case kKeyLeft:
        case kKeyDown:
        case kKeyRight:
        case kKeyUp:
        case '-':
        case '.':
            return true;
        default:
            return character >= '0' && character <= '9';
    }
}

bool TextField::Type(int character, bool& commit, float& stepBy) {
    const bool typing = cursor >= 0;
    switch (character) {
        case kKeyReturn:
        case 3:
            commit = true;
            return true;
        case kKeyBackspace:
            if (typing) {
                text[cursor--] = 0;
                // Nothing typed is left: show the value again.
                if (cursor < 0)
                    lastValue = 1e30f;
            }
            return true;
        case kKeyLeft:
        case kKeyDown:
        case kKeyRight:
        case kKeyUp: {
            // Typed text is committed first. Without any, the step goes from
            // the value itself: the shown text may be rounded, or not yet
            // redrawn after the last step.
            commit = typing;
            float step = 1;
            if (!isLetter(text[0])) {
                if (const char* dot = std::strrchr(text, '.'))
                    step = std::pow(10.0f, -static_cast<float>(std::strlen(dot + 1)));
            }
            stepBy = character == kKeyRight || character == kKeyUp ? step : -step;
            return true;
        }
        case '-':
            if (!typing) {
                std::memset(text, 0, sizeof text);
                text[0] = '-';
                cursor = 0;
            }
            return true;
        default:
            break;
    }
    const bool digit = character >= '0' && character <= '9';
    if (!digit && character != '.')
        return false;
    if (character == '.' && typing && std::strchr(text, '.'))
        return true;
    if (!typing) {
        std::memset(text, 0, sizeof text);
        cursor = -1;
    }
    if (cursor < kTextSize - 2) {
        text[++cursor] = static_cast<char>(character);
        text[cursor + 1] = 0;
    }
    return true;
}

void TextField::SetValue(float value) {
    manager->BeginParameterEdit(info.index);
    Control::SetValue(value);
    int expected = info.index;
    if (manager->editId.compare_exchange_strong(expected, -1) && manager->host)
        manager->host->EndEdit(info.index);
    cursor = -1;
    lastCursor = -1;
    lastValue = 1e30f;
}

void TextField::FocusLost() {
    cursor = -1;
    lastCursor = -1;
    lastValue = 1e30f;
}

void TextField::FormatValue(float value) {
    char display[128] = {};
    if (info.plugin)
        info.plugin->getParameterDisplay(info.index, display);
    display[sizeof display - 1] = 0;
    if (!format.empty() && !isLetter(display[0])) {
        std::snprintf(text, sizeof text, format.c_str(), static_cast<double>(value));
    } else {
        std::memcpy(text, display, sizeof text - 1);
        text[sizeof text - 1] = 0;
    }
}

void TextField::RefreshText() {
    if (cursor < 0) {
        const float value = Value();
        if (value != lastValue) {
            lastValue = value;
            FormatValue(value);
        }
    } else {
        lastCursor = cursor;
    }
}

void TextField::Draw() {
    Font* font = manager->textFieldFont;
    if (!visible)
        return;
    RefreshText();
    const std::string shown = Text();
    if (shown != drawnText_ && font) {
        drawnText_ = shown;
        textWidth = font->Advance(shown);
    }
    // The field shows without a font too: it still takes clicks and keys.
    DrawField();
}

void TextField::DrawField() {
    Font* font = manager->textFieldFont;
    glColor3fv(fieldColour);
    FillBox(box);
    if (manager->keyFocus == this) {
        glColor3fv(Typing() ? editColour : focusColour);
        FillRect(box.minX + 1, box.minY + 1, box.maxX - 1, box.maxY - 1);
    }
    if (!font)
        return;
    run_.Update(font, drawnText_, box.maxX - textWidth - 1, box.minY + 2);
    glColor3fv(textColour);
    run_.Draw(font);
}

// ---- PropertyTextField ------------------------------------------------------------------

void SetPropertyDialogOpener(PropertyDialogOpener opener) {
    dialogOpener = opener ? opener : showPropertyDialog;
}

namespace {
const float kCaptionColour[4] = {0.8f, 0.8f, 0.8f, 1.0f};
const float kGlowColour[4] = {1.0f, 0.9f, 0.9f, 0.2f};
const float kNoGlow[4] = {1, 1, 1, 0};
}  // namespace

PropertyTextField::PropertyTextField(Manager* owner, std::uint32_t property,
                                     const std::string& promptText, float x, float y, float width,
                                     float height)
    : ControlBase(owner), propertyId(property), prompt(promptText) {
    box = Box::Make(x, y, x + width, y + height);
    // Listening starts here, on the user-interface thread that also sets
    // the property and owns the plug-in's listener list; the caption picks
    // up what the listener stored on the next frame.
    if (manager->plugin) {
        manager->plugin->AddPropertyListener(propertyId, &PropertyTextField::Listener, this);
        listening_ = true;
    }
    PropertyChanged();
}

PropertyTextField::~PropertyTextField() {
    if (listening_ && manager->plugin)
        manager->plugin->RemovePropertyListener(propertyId, &PropertyTextField::Listener);
}

void PropertyTextField::Listener(void* user, ZephAuBase* /*plugin*/, std::uint32_t id,
                                 std::uint32_t /*scope*/, std::uint32_t /*element*/) {
    auto* field = static_cast<PropertyTextField*>(user);
    if (field && id == field->propertyId)
        field->PropertyChanged();
}

void PropertyTextField::PropertyChanged() {
    ZephCorvaneBase* plugin = manager->plugin;
    std::string text;
    if (plugin && propertyId == prop::kParameterValueStrings) {
        // The view getter hands out a list, not text: show its names.
        std::shared_ptr<const ValueStringList> names;
        plugin->getPropertyForView(propertyId, 0, &names);
        if (names) {
            for (const std::string& name : *names)
                text += (text.empty() ? "" : ", ") + name;
        }
    } else if (plugin) {
        text = prop::readText(*plugin, propertyId);
    }
    std::lock_guard<std::mutex> guard(valueMutex_);
    pendingValue_ = text;
    pending_ = true;
}

std::string PropertyTextField::Value() const {
    std::lock_guard<std::mutex> guard(valueMutex_);
    return pending_ ? pendingValue_ : value;
}

std::int32_t PropertyTextField::WriteProperty(const std::string& text) {
    if (!manager->plugin)
        return kAudioUnitErr_InvalidProperty;
    return manager->plugin->setPropertyAndNotify(propertyId, text.c_str(),
                                                 static_cast<std::uint32_t>(text.size() + 1));
}

void PropertyTextField::ApplyPendingValue() {
    {
        std::lock_guard<std::mutex> guard(valueMutex_);
        if (!pending_)
            return;
        value = pendingValue_;
        pending_ = false;
    }
    if (laidOut_)
        PlaceCaption();
    manager->KeepAnimating();
}

void PropertyTextField::PlaceCaption() {
    Font* font = manager->mainFont;
    if (!font || !manager->titleText)
        return;
    const Point centre = AbsoluteBox().Centre();
    const float x = centre.x - font->Advance(value) / 2;
    const float y = centre.y - font->LineHeight() / 2 - font->Descender();
    if (titleIndex < 0) {
        titleIndex = manager->titleText->AddText(value, x, y, kCaptionColour);
        manager->titleText->SetVisible(titleIndex, visible);
    } else {
        manager->titleText->SetText(titleIndex, value, x, y);
    }
}

void PropertyTextField::Layout() {
    laidOut_ = true;
    {
        std::lock_guard<std::mutex> guard(valueMutex_);
        if (pending_) {
            value = pendingValue_;
            pending_ = false;
        }
    }
    PlaceCaption();
}

void PropertyTextField::Idle() {
    ApplyPendingValue();
}

void PropertyTextField::DrawStatic(Font* /*font*/) {
    BlendOver();
    glColor4f(0.1f, 0.1f, 0.15f, 0.7f);
    FillBox(AbsoluteBox());
    glDisable(GL_BLEND);
}

void PropertyTextField::MouseEnter() {
    if (editable)
        std::memcpy(targetColour, kGlowColour, sizeof targetColour);
}

void PropertyTextField::MouseLeave() {
    std::memcpy(targetColour, kNoGlow, sizeof targetColour);
}

void PropertyTextField::Draw() {
    if (!visible || (colour[3] < 0.001f && targetColour[3] < 0.001f))
        return;
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    if (GlideColour(colour, targetColour, 0.15f))
        manager->KeepAnimating();
    glColor4fv(colour);
    FillBox(box);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_BLEND);
}

void PropertyTextField::MouseDown(Point /*p*/, int /*modifiers*/, int /*clickCount*/) {
    if (!editable)
        return;
    if (PropertyDialogOpener opener = dialogOpener.load())
        opener(*manager, *this);
}

void PropertyTextField::SetVisible(bool v) {
    visible = v;
    if (titleIndex >= 0 && manager->titleText)
        manager->titleText->SetVisible(titleIndex, v);
}

}  // namespace QX
