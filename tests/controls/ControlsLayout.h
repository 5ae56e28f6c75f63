#pragma once
// A layout with one of each control, in the product's colours, for the
// tests that open it in a real window: knobs of all three atlas sizes, a
// textured knob, a slider, every kind of button, drop-downs, text fields, a
// property field and the info display. Places are in design units, origin
// bottom left; the tests click and read pixels there.

#include <cstdint>

#include "gui/CarbonVSTEditor.h"

namespace controlstest {

inline constexpr int kWidth = 640;
inline constexpr int kHeight = 330;

// The plug-in's own properties the layout binds buttons and a field to.
inline constexpr std::uint32_t kSwitchProperty = 70001;  // one byte, starts on
inline constexpr std::uint32_t kOffProperty = 70003;     // one byte, starts off
inline constexpr std::uint32_t kTextProperty = 70002;    // text
inline constexpr std::uint32_t kFailuresShown = 7;       // the test failure count

struct Place {
    float x, y, w, h;
    float cx() const { return x + w / 2; }
    float cy() const { return y + h / 2; }
};

// Knobs (square: w = h).
inline constexpr Place kBigKnob{25, 150, 92, 92};              // Output Level
inline constexpr Place kSmallKnobs[3] = {{135, 200, 34, 34},   // Swing
                                         {182, 200, 34, 34},   // Clock Offset
                                         {229, 200, 34, 34}};  // Test Interval
inline constexpr Place kTinyKnobs[4] = {{135, 140, 26, 26},    // Message Byte 1
                                        {170, 140, 26, 26},    // Message Byte 2
                                        {205, 140, 26, 26},    // Message Byte 3
                                        {240, 140, 26, 26}};   // Phase Invert (a switch)
inline constexpr Place kPlexKnob{276, 201, 32, 32};            // Balance
inline constexpr Place kSwingField{135, 185, 34, 12};          // text field under Swing
inline constexpr Place kOffsetField{182, 185, 34, 12};         // text field under Clock Offset
inline constexpr Place kLevelField{42, 130, 58, 12};           // "%.2f" under the big knob
inline constexpr Place kSlider{30, 75, 240, 16};               // Softness, horizontal
inline constexpr Place kVerticalSlider{286, 30, 16, 140};      // Balance, vertical

// Buttons.
inline constexpr Place kPlainButton{340, 230, 80, 20};
inline constexpr Place kToggleOn{430, 230, 80, 20};
inline constexpr Place kToggleOff{520, 230, 80, 20};
inline constexpr Place kIndicator{340, 200, 80, 20};       // kSwitchProperty, on
inline constexpr Place kPropertyToggle{430, 200, 80, 20};  // kOffProperty
inline constexpr Place kTrigger{520, 200, 80, 20};
inline constexpr Place kClockButton{340, 170, 120, 20};  // "Clock", parameter button
inline constexpr Place kSppButton{470, 170, 130, 20};    // "Use MIDI SPP"

// Drop-downs, property field, info display.
inline constexpr Place kChannelise{400, 40, 60, 12};
inline constexpr Place kTestType{500, 40, 100, 12};
inline constexpr Place kPropertyField{340, 120, 200, 20};
inline constexpr Place kInfoDisplay{470, 90, 51, 12};

inline const float kBackground[3] = {0.4f, 0.4f, 0.4f};

class ControlsLayout : public QX::GuiBuilder {
public:
    void GetWindowSize(int& width, int& height) override;
    void CreateUI(QX::Manager& manager) override;
};

}  // namespace controlstest
