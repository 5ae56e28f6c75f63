#include "platform/InputTranslation.h"

#include <cstdlib>

#include "platform/ManagerPlatformBridge.h"

namespace platform {

ClickCount afterPress(const ClickCount& before, std::uint64_t time, int x, int y, unsigned button) {
    // Unsigned: a clock that went back reads as a long wait.
    const bool second = before.armed && button == before.button &&
                        time - before.time <= kDoubleClickMs &&
                        std::abs(x - before.x) <= kDoubleClickDistance &&
                        std::abs(y - before.y) <= kDoubleClickDistance;
    if (second) {
        ClickCount after = before;
        after.clicks = 2;
        after.armed = false;
        return after;
    }
    return ClickCount{1, true, button, time, x, y};
}

int characterFor(NamedKey key) {
    switch (key) {
        case NamedKey::Other:
            return 0;
        case NamedKey::Left:
            return QX::kKeyLeft;
        case NamedKey::Up:
            return QX::kKeyUp;
        case NamedKey::Right:
            return QX::kKeyRight;
        case NamedKey::Down:
            return QX::kKeyDown;
        case NamedKey::Backspace:
        case NamedKey::Delete:
            return QX::kKeyBackspace;
        case NamedKey::Return:
        case NamedKey::Enter:
            return QX::kKeyReturn;
        case NamedKey::Minus:
        case NamedKey::Subtract:
            return '-';
        case NamedKey::Period:
        case NamedKey::Decimal:
            return '.';
        default:
            break;
    }
    // Keypad0 to Keypad9, in order.
    return '0' + (static_cast<int>(key) - static_cast<int>(NamedKey::Keypad0));
}

}  // namespace platform
