#include "platform/InputTranslation.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "platform/ManagerPlatformBridge.h"

namespace {

using namespace platform;

struct Press {
    std::uint64_t time;
    int x, y;
    unsigned button;
};

TEST(ClickCount, ASecondPressCountsTwoOnlyWithinTheTimeAndDistanceOfTheFirst) {
    const Press first{10'000, 50, 50, 1};
    const struct {
        const char* what;
        Press second;
        int clicks;
    } kRows[] = {
        {"same place at once", {10'000, 50, 50, 1}, 2},
        {"last moment", {10'400, 50, 50, 1}, 2},
        {"too late", {10'401, 50, 50, 1}, 1},
        {"right, at the edge", {10'100, 54, 50, 1}, 2},
        {"right, too far", {10'100, 55, 50, 1}, 1},
        {"left, at the edge", {10'100, 46, 50, 1}, 2},
        {"left, too far", {10'100, 45, 50, 1}, 1},
        {"down, at the edge", {10'100, 50, 54, 1}, 2},
        {"up, too far", {10'100, 50, 45, 1}, 1},
        {"corner, at the edge", {10'100, 46, 54, 1}, 2},
        {"another button", {10'100, 50, 50, 3}, 1},
        {"a clock that went back", {9'999, 50, 50, 1}, 1},
    };
    for (const auto& row : kRows) {
        const ClickCount once = afterPress({}, first.time, first.x, first.y, first.button);
        EXPECT_EQ(once.clicks, 1) << row.what;
        const Press& p = row.second;
        EXPECT_EQ(afterPress(once, p.time, p.x, p.y, p.button).clicks, row.clicks) << row.what;
    }
}

TEST(ClickCount, AThirdPressStartsOverAndAnotherButtonStartsItsOwn) {
    const struct {
        Press press;
        int clicks;
    } kSequence[] = {
        {{0, 10, 10, 1}, 1},    {{100, 10, 10, 1}, 2},  {{200, 10, 10, 1}, 1},
        {{300, 10, 10, 1}, 2},  {{350, 10, 10, 2}, 1},  {{360, 12, 8, 2}, 2},
        {{2'000, 12, 8, 2}, 1}, {{2'100, 12, 8, 1}, 1},
    };
    ClickCount count;
    for (const auto& step : kSequence) {
        const Press& p = step.press;
        count = afterPress(count, p.time, p.x, p.y, p.button);
        EXPECT_EQ(count.clicks, step.clicks) << "press at " << p.time;
    }
}

TEST(NamedKeys, MapToTheCharactersTheEditorKnows) {
    const struct {
        NamedKey key;
        int character;
    } kRows[] = {
        {NamedKey::Other, 0},
        {NamedKey::Left, QX::kKeyLeft},
        {NamedKey::Up, QX::kKeyUp},
        {NamedKey::Right, QX::kKeyRight},
        {NamedKey::Down, QX::kKeyDown},
        {NamedKey::Backspace, QX::kKeyBackspace},
        {NamedKey::Delete, QX::kKeyBackspace},
        {NamedKey::Return, QX::kKeyReturn},
        {NamedKey::Enter, QX::kKeyReturn},
        {NamedKey::Minus, '-'},
        {NamedKey::Subtract, '-'},
        {NamedKey::Period, '.'},
        {NamedKey::Decimal, '.'},
        {NamedKey::Keypad0, '0'},
        {NamedKey::Keypad5, '5'},
        {NamedKey::Keypad9, '9'},
    };
    for (const auto& row : kRows) {
        EXPECT_EQ(characterFor(row.key), row.character) << static_cast<int>(row.key);
    }
}

}  // namespace
