#pragma once
// The rules by which the window systems' input becomes the editor's, kept
// apart from the systems' headers so that both bridges share them and tests
// can read them. Each bridge keeps only the switch from its own key codes to
// NamedKey and the reading of its own events.

#include <cstdint>

namespace platform {

// X has no double-click: a second press of the same button within this
// time (of the event clock, in milliseconds) and distance (pixels along
// each axis) of the first counts as one, as Windows does.
inline constexpr std::uint64_t kDoubleClickMs = 400;
inline constexpr int kDoubleClickDistance = 4;

// What is remembered of the presses so far, and the click count of the
// latest one.
struct ClickCount {
    int clicks = 0;
    bool armed = false;  // the latest press may become a double-click
    unsigned button = 0;
    std::uint64_t time = 0;
    int x = 0, y = 0;
};

// The count after a press of `button` at `time`, `x`, `y`: 2 for the second
// press of a double-click, else 1. A third press starts over, as on Windows.
ClickCount afterPress(const ClickCount& before, std::uint64_t time, int x, int y, unsigned button);

// The keys that the systems name rather than type, told apart as the
// systems tell them apart; characterFor decides what each means.
enum class NamedKey {
    Other,  // typed as its character, or typing nothing
    Left,
    Up,
    Right,
    Down,
    Backspace,
    Delete,
    Return,
    Enter,  // the numeric pad's
    Minus,
    Subtract,  // the numeric pad's
    Period,
    Decimal,  // the numeric pad's
    Keypad0,
    Keypad1,
    Keypad2,
    Keypad3,
    Keypad4,
    Keypad5,
    Keypad6,
    Keypad7,
    Keypad8,
    Keypad9,
};

// The character an element receives for the key (QX::kKeyLeft and the
// others of ManagerPlatformBridge.h, or the one it types); 0 for Other.
// Delete edits as backspace does: a field only ever edits the end of what
// was typed.
int characterFor(NamedKey key);

}  // namespace platform
