#pragma once
// The editor layout of the tests: a banner, a named group with labels, and
// a control bound to a parameter ("Output Level") that draws its value as a
// bar and reports the pointer input it gets on standard output.

#include "gui/CarbonVSTEditor.h"

namespace editortest {

inline constexpr int kWidth = 600;
inline constexpr int kHeight = 300;

// Where the layout puts things, in design units (origin bottom left).
inline constexpr float kBarX = 360, kBarY = 60, kBarWidth = 60, kBarHeight = 140;
inline constexpr float kGroupChildrenX0 = 40, kGroupChildrenY0 = 60;
inline constexpr float kProbeX = 460, kProbeY = 20, kProbeSize = 100;
inline const float kClearColour[3] = {0.22f, 0.24f, 0.27f};

class TestLayout : public QX::GuiBuilder {
public:
    void GetWindowSize(int& width, int& height) override;
    void CreateUI(QX::Manager& manager) override;
};

}  // namespace editortest
