// The controls of a real plug-in library opened by a host into a window,
// driven through the window system (XTEST on Linux, the same calls under
// Wine): each gesture is checked on the parameter the host reads and on the
// automation, begin-edit and end-edit calls the host received. The pictures
// are checked at known places and kept for a person to look at.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "ControlsLayout.h"
#include "PngImage.h"
#include "host/VstHost.h"
#include "platform/Preferences.h"
#include "platform/ViewerWindow.h"
#include "plugin/EditorFrames.h"
#include "plugin/ParameterTable.h"

#ifndef TAVRO_TEST_CONTROLS_PATH
#error "TAVRO_TEST_CONTROLS_PATH names the plug-in with the controls' layout"
#endif

namespace controlstest {
namespace {

constexpr int kAlt = 0x100, kShift = 0x200, kControl = 0x800;
const char* const kTitle = "controls test";

std::string outputPath(const std::string& name) {
    return std::string(TAVRO_TEST_OUTPUT_DIR) + "/" + name + ".png";
}

using Kind = host::AutomationRecord::Kind;

class ControlsWindow : public testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(host.load(TAVRO_TEST_CONTROLS_PATH, error)) << error;
        host.dispatch(effOpen);
        ERect* rect = nullptr;
        host.dispatch(effEditGetRect, 0, 0, &rect);
        ASSERT_NE(rect, nullptr);
        window = platform::ViewerWindow::Create(kTitle, rect->right - rect->left,
                                                rect->bottom - rect->top);
        ASSERT_NE(window, nullptr);
        host.dispatch(effEditOpen, 0, 0, window->NativeHandle());
        open = true;
        pump(400);
        host.clearRecords();
    }
    void TearDown() override {
        if (open)
            host.dispatch(effEditClose);
    }

    void pump(int milliseconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (std::chrono::steady_clock::now() < end) {
            window->PumpEvents(10);
            host.dispatch(effEditIdle);
        }
    }
    // Window pixels of a design point (the window is at the design size).
    static int wx(float x) { return static_cast<int>(std::lround(x)); }
    static int wy(float y) { return kHeight - static_cast<int>(std::lround(y)); }

    // Waits out the double-click time afterwards, so that the next click is
    // a click of its own.
    void click(float x, float y, int clicks = 1, int modifiers = 0) {
        ASSERT_TRUE(window->Click(wx(x), wy(y), clicks, modifiers));
        pump(600);
    }
    // `up` design units upwards (window y runs down).
    void drag(float x, float y, float dx, float up, int modifiers = 0) {
        ASSERT_TRUE(
            window->Drag(wx(x), wy(y), static_cast<int>(dx), -static_cast<int>(up), modifiers));
        pump(150);
    }
    // Native value of a parameter, as the host reads it.
    float native(int index) {
        const ParameterDescriptor& row = parameterTable()[index];
        return normalizedToNative(row, host.getParameter(index));
    }
    void setNative(int index, float value) {
        host.setParameter(index, nativeToNormalized(parameterTable()[index], value));
    }
    // The edit calls since the last clear, as "begin 4", "automate 4", "end 4"
    // with runs of automation collapsed.
    std::vector<std::string> edits() {
        std::vector<std::string> out;
        for (const auto& record : host.automation()) {
            const char* what = record.kind == Kind::BeginEdit ? "begin"
                               : record.kind == Kind::EndEdit ? "end"
                                                              : "automate";
            const std::string entry = std::string(what) + " " + std::to_string(record.index);
            if (out.empty() || out.back() != entry)
                out.push_back(entry);
        }
        host.clearRecords();
        return out;
    }
    bool frame(const std::string& name, QX::PngImage& image) {
        const std::string path = outputPath(name);
        std::remove(path.c_str());
        if (host.dispatch(effVendorSpecific, kVendorWriteEditorFrame, 5000,
                          const_cast<char*>(path.c_str())) != 1)
            return false;
        std::ifstream in(path, std::ios::binary);
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
        return QX::DecodePng(bytes.data(), bytes.size(), image);
    }

    host::VstHost host;
    std::unique_ptr<platform::ViewerWindow> window;
    bool open = false;
};

using Edits = std::vector<std::string>;

TEST_F(ControlsWindow, KnobDragsMoveHalfTheRangePerHundredUnitsAndATenthWithShift) {
    setNative(kParamOutputLevel, 0.2f);
    drag(kBigKnob.cx(), kBigKnob.cy(), 0, 100);
    EXPECT_NEAR(native(kParamOutputLevel), 0.7f, 0.006f);
    EXPECT_EQ(edits(), (Edits{"begin 0", "automate 0", "end 0"}));
    drag(kBigKnob.cx(), kBigKnob.cy(), 0, 150);
    EXPECT_FLOAT_EQ(native(kParamOutputLevel), 1.0f);
    setNative(kParamOutputLevel, 0.2f);
    drag(kBigKnob.cx(), kBigKnob.cy(), 0, 100, kShift);
    EXPECT_NEAR(native(kParamOutputLevel), 0.25f, 0.0006f);
}

TEST_F(ControlsWindow, AltClickDoubleClickAndSwitchClick) {
    const Place& swing = kSmallKnobs[0];
    const Place& interval = kSmallKnobs[2];
    setNative(kParamSwing, 10);
    click(swing.cx(), swing.cy(), 1, kAlt);
    EXPECT_FLOAT_EQ(native(kParamSwing), 50);
    click(swing.cx(), swing.cy(), 2, kAlt);
    EXPECT_FLOAT_EQ(native(kParamSwing), 0);
    click(interval.cx(), interval.cy(), 2, kAlt);
    EXPECT_FLOAT_EQ(native(kParamTestInterval), 1);
    edits();
    const Place& phase = kTinyKnobs[3];
    click(phase.cx(), phase.cy());
    EXPECT_FLOAT_EQ(native(kParamPhaseInvert), 1);
    EXPECT_EQ(edits(), (Edits{"begin 1", "automate 1", "end 1"}));
    click(phase.cx(), phase.cy());
    EXPECT_FLOAT_EQ(native(kParamPhaseInvert), 0);
}

TEST_F(ControlsWindow, ControlDragSnapsAndAWheelNotchMovesOneTwentieth) {
    const Place& swing = kSmallKnobs[0];
    setNative(kParamSwing, 0);
    drag(swing.cx(), swing.cy(), 0, 33, kControl);
    EXPECT_FLOAT_EQ(native(kParamSwing), 17);
    setNative(kParamSwing, 50);
    edits();
    ASSERT_TRUE(window->Wheel(wx(swing.cx()), wy(swing.cy()), 1));
    pump(150);
    EXPECT_NEAR(native(kParamSwing), 55, 1e-3f);
    EXPECT_EQ(edits(), (Edits{"begin 4", "automate 4", "end 4"}));
}

TEST_F(ControlsWindow, SliderJumpsToAClickButNotToAShiftClick) {
    setNative(kParamSoftness, 0.9f);
    click(kSlider.x + kSlider.w * 0.25f, kSlider.cy());
    EXPECT_NEAR(native(kParamSoftness), 0.25f, 1.0f / kSlider.w);
    click(kSlider.x + kSlider.w * 0.75f, kSlider.cy(), 1, kShift);
    EXPECT_NEAR(native(kParamSoftness), 0.25f, 1.0f / kSlider.w);
}

TEST_F(ControlsWindow, ParameterButtonTogglesAsOneHostEditPerPress) {
    setNative(kParamClock, 0);
    click(kClockButton.cx(), kClockButton.cy());
    EXPECT_FLOAT_EQ(native(kParamClock), 1);
    EXPECT_EQ(edits(), (Edits{"begin 3", "automate 3", "end 3"}));
    click(kClockButton.cx(), kClockButton.cy());
    EXPECT_FLOAT_EQ(native(kParamClock), 0);
}

TEST_F(ControlsWindow, DropDownChoosesTheEntryReleasedOnAndKeepsTheValueReleasedOutside) {
    setNative(kParamTestType, 0);
    // Entry 0 over the control would put the list's bottom (6 entries of
    // 12) 20 units below the window: it moves up to 0, and entry 3 is the
    // row from 24 to 36.
    drag(kTestType.cx(), kTestType.cy(), 0, 30 - kTestType.cy());
    EXPECT_FLOAT_EQ(native(kParamTestType), 3);
    drag(kTestType.cx(), kTestType.cy(), -300, 0);
    EXPECT_FLOAT_EQ(native(kParamTestType), 3);
}

TEST_F(ControlsWindow, TypedNumberAndReturnSetTheParameter) {
    setNative(kParamSwing, 40);
    click(kSwingField.cx(), kSwingField.cy());
    edits();
    ASSERT_TRUE(window->TypeText("12.5\n"));
    pump(200);
    EXPECT_FLOAT_EQ(native(kParamSwing), 12.5f);
    EXPECT_EQ(edits(), (Edits{"begin 4", "automate 4", "end 4"}));
    ASSERT_TRUE(window->TypeText("-5\n"));
    pump(200);
    EXPECT_FLOAT_EQ(native(kParamSwing), 0);
}

// ---- Pictures ----------------------------------------------------------------------

const std::uint8_t* pixelAt(const QX::PngImage& image, float x, float y) {
    const int column = static_cast<int>(x), row = image.height - 1 - static_cast<int>(y);
    return &image.pixels[static_cast<std::size_t>(row * image.width + column) * image.channels];
}

testing::AssertionResult near(const std::uint8_t* p, float r, float g, float b) {
    auto close = [&](std::uint8_t v, float want) { return std::abs(v - want * 255.0f) <= 6.0f; };
    if (close(p[0], r) && close(p[1], g) && close(p[2], b))
        return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << "pixel " << int{p[0]} << " " << int{p[1]} << " " << int{p[2]} << ", wanted "
           << r * 255 << " " << g * 255 << " " << b * 255;
}

// The value arc is a light blue; the track a dark grey.
bool lit(const std::uint8_t* p) {
    return p[2] > 200 && p[2] > p[0] + 40;
}
bool dark(const std::uint8_t* p) {
    return p[0] < 80 && p[1] < 80 && p[2] < 90;
}

TEST_F(ControlsWindow, PicturesShowEveryControlInPlace) {
    // Values chosen so that each knob shows something different.
    setNative(kParamOutputLevel, 0.7f);
    setNative(kParamSwing, 30);
    setNative(kParamClockOffset, 100);
    setNative(kParamTestInterval, 1);
    setNative(kParamMessageByte1, 0);
    setNative(kParamMessageByte2, 128);
    setNative(kParamMessageByte3, 255);
    setNative(kParamPhaseInvert, 1);
    setNative(kParamBalance, 0.25f);
    setNative(kParamSoftness, 0.6f);
    setNative(kParamClock, 1);
    setNative(kParamUseMidiSpp, 0);
    setNative(kParamChannelise, 8);
    setNative(kParamTestType, 4);
    // Button colours glide 15 % of the way per frame.
    pump(1500);

    QX::PngImage image;
    ASSERT_TRUE(frame("controls", image));
    ASSERT_EQ(image.width, kWidth);
    ASSERT_EQ(image.height, kHeight);

    // Background between the groups.
    EXPECT_TRUE(near(pixelAt(image, 325, 15), kBackground[0], kBackground[1], kBackground[2]));
    // The big knob at 0.7: its arc is lit over the top, the track shows on
    // the right below the pointer (position 0.7 points right and down a little).
    const float ring = 37.5f;
    EXPECT_TRUE(lit(pixelAt(image, kBigKnob.cx(), kBigKnob.cy() + ring))) << "big knob top";
    EXPECT_TRUE(lit(pixelAt(image, kBigKnob.cx() - ring, kBigKnob.cy()))) << "big knob left";
    EXPECT_TRUE(
        dark(pixelAt(image, kBigKnob.cx() + ring * 0.7071f, kBigKnob.cy() - ring * 0.7071f)))
        << "big knob track, lower right";
    // Swing at 0.3 stops short of the top: the top is track.
    const Place& swing = kSmallKnobs[0];
    EXPECT_TRUE(dark(pixelAt(image, swing.cx(), swing.cy() + 12.9f))) << "small knob top";
    EXPECT_TRUE(lit(pixelAt(image, swing.cx() - 12.9f, swing.cy()))) << "small knob left";
    // Clock Offset at its maximum: lit all round to the lower right.
    const Place& offset = kSmallKnobs[1];
    EXPECT_TRUE(lit(pixelAt(image, offset.cx() + 12.9f, offset.cy()))) << "full knob right";
    // Message Byte 1 at 0: nothing lit at the left of the ring.
    const Place& byte1 = kTinyKnobs[0];
    EXPECT_FALSE(lit(pixelAt(image, byte1.cx() - 9.6f, byte1.cy()))) << "tiny knob at 0";
    EXPECT_TRUE(lit(pixelAt(image, kTinyKnobs[2].cx() + 9.6f, kTinyKnobs[2].cy())))
        << "tiny knob at 255";

    // Buttons: the toggle that is on and the parameter button that is on
    // in the "on" colour over the background, the others resting.
    const float on[3] = {1.0f * 0.9f + 0.4f * 0.1f, 0.5f * 0.9f + 0.4f * 0.1f,
                         0.5f * 0.9f + 0.4f * 0.1f};
    const float resting[3] = {0.3f * 0.4f + 0.4f * 0.6f, 0.3f * 0.4f + 0.4f * 0.6f,
                              0.3f * 0.4f + 0.4f * 0.6f};
    EXPECT_TRUE(near(pixelAt(image, kToggleOn.x + 1, kToggleOn.y + 1), on[0], on[1], on[2]));
    EXPECT_TRUE(near(pixelAt(image, kClockButton.x + 1, kClockButton.y + 1), on[0], on[1], on[2]));
    EXPECT_TRUE(near(pixelAt(image, kIndicator.x + 1, kIndicator.y + 1), on[0], on[1], on[2]));
    EXPECT_TRUE(near(pixelAt(image, kSppButton.x + 1, kSppButton.y + 1), resting[0], resting[1],
                     resting[2]));
    EXPECT_TRUE(near(pixelAt(image, kToggleOff.x + 1, kToggleOff.y + 1), resting[0], resting[1],
                     resting[2]));
    EXPECT_TRUE(near(pixelAt(image, kPropertyToggle.x + 1, kPropertyToggle.y + 1), resting[0],
                     resting[1], resting[2]));
    // The drop-down's field and the text fields' fill.
    EXPECT_TRUE(near(pixelAt(image, kChannelise.x + 2, kChannelise.y + 2), 0.8f, 0.8f, 0.85f));
    EXPECT_TRUE(near(pixelAt(image, kSwingField.x + 1, kSwingField.y + 1), 0.8f, 0.8f, 0.85f));
    // The info display's count is drawn in light grey.
    bool counted = false;
    for (float x = kInfoDisplay.x; x < kInfoDisplay.x + 10; ++x)
        for (float y = kInfoDisplay.y; y < kInfoDisplay.y + kInfoDisplay.h; ++y)
            counted = counted || pixelAt(image, x, y)[0] > 140;
    EXPECT_TRUE(counted);

    // A person looks at the screen too: the same picture from the X server.
    platform::Picture screen;
    if (window->Capture(screen)) {
        QX::PngImage shot;
        shot.width = screen.width;
        shot.height = screen.height;
        shot.channels = 4;
        shot.pixels = screen.rgba;
        EXPECT_TRUE(QX::WritePngFile(outputPath("controls-screen"), shot.width, shot.height,
                                     shot.pixels.data()));
    }
}

TEST_F(ControlsWindow, WithoutEyeCandyTheKnobsLookTheSame) {
#ifndef _WIN32
    // The preference goes to a folder of the test's own, not the user's.
    char folder[] = "/tmp/tavro-controls-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    setenv("XDG_CONFIG_HOME", folder, 1);
#endif
    setNative(kParamOutputLevel, 0.7f);
    pump(300);
    QX::PngImage shaded, plain;
    ASSERT_TRUE(frame("controls-eye-candy", shaded));
    host.dispatch(effEditClose);
    platform::writeIntPreference(platform::kPrefEyeCandy, 0);
    host.dispatch(effEditOpen, 0, 0, window->NativeHandle());
    pump(600);
    const bool drawn = frame("controls-no-eye-candy", plain);
    platform::writeIntPreference(platform::kPrefEyeCandy, 1);
    ASSERT_TRUE(drawn);
    // The fixed-function path packs colours at full scale where the shader
    // doubles half of it: the same picture within rounding.
    const float ring = 37.5f;
    for (const auto& [x, y] :
         {std::pair{kBigKnob.cx(), kBigKnob.cy() + ring},
          std::pair{kBigKnob.cx() - ring, kBigKnob.cy()},
          std::pair{kBigKnob.cx() + ring * 0.7071f, kBigKnob.cy() - ring * 0.7071f}}) {
        const std::uint8_t* a = pixelAt(shaded, x, y);
        const std::uint8_t* b = pixelAt(plain, x, y);
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(a[c], b[c], 3) << x << "," << y;
    }
    EXPECT_TRUE(lit(pixelAt(plain, kBigKnob.cx(), kBigKnob.cy() + ring)));
}

#ifndef _WIN32
// xdotool presses without releasing, which the viewer's input cannot; the
// viewer window is found by its title on the test's own display.
bool xdotool(const std::string& arguments) {
    const std::string command = "xdotool search --sync --name '^" + std::string(kTitle) + "$' " +
                                arguments + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

TEST_F(ControlsWindow, PicturesOfAnOpenListTypingAndAHoveredButton) {
    setNative(kParamChannelise, 8);
    setNative(kParamSwing, 30);
    click(kSwingField.cx(), kSwingField.cy());
    ASSERT_TRUE(window->TypeText("12."));
    const std::string at =
        std::to_string(wx(kChannelise.cx())) + " " + std::to_string(wy(kChannelise.cy()));
    ASSERT_TRUE(xdotool("mousemove --window %1 " + at + " mousedown 1"));
    pump(400);
    QX::PngImage image;
    ASSERT_TRUE(frame("controls-open-list", image));
    // Entry 8 over the control puts the list's bottom 8 rows lower, below
    // the window: it starts at 0 and reaches 17 rows up.
    const float grey = 0.6f * 0.95f + 0.4f * 0.05f;  // the list over the background
    EXPECT_TRUE(near(pixelAt(image, kChannelise.x + 1, 1), grey, grey, grey));
    EXPECT_TRUE(near(pixelAt(image, kChannelise.x + 1, 100), grey, grey, grey));
    EXPECT_TRUE(near(pixelAt(image, 425, 17 * 12 - 2), grey, grey, grey));
    EXPECT_TRUE(
        near(pixelAt(image, 425, 17 * 12 + 3), kBackground[0], kBackground[1], kBackground[2]));
    // A click elsewhere took the focus from the field; the typed text went.
    EXPECT_TRUE(near(pixelAt(image, kSwingField.x + 1, kSwingField.y + 1), 0.8f, 0.8f, 0.85f));
    ASSERT_TRUE(xdotool("mouseup 1"));
    pump(300);
    EXPECT_FLOAT_EQ(native(kParamChannelise), 8);

    // Typing shows in the edit colour.
    click(kSwingField.cx(), kSwingField.cy());
    ASSERT_TRUE(window->TypeText("12."));
    pump(300);
    ASSERT_TRUE(frame("controls-typing", image));
    EXPECT_TRUE(near(pixelAt(image, kSwingField.x + 1, kSwingField.y + 1), 1.0f, 0.8f, 0.8f));
    EXPECT_FLOAT_EQ(native(kParamSwing), 30);

    // The banner names what is under the pointer.
    const std::string over =
        std::to_string(wx(kPlainButton.cx())) + " " + std::to_string(wy(kPlainButton.cy()));
    ASSERT_TRUE(xdotool("mousemove --window %1 " + over));
    pump(1500);
    ASSERT_TRUE(frame("controls-hover", image));
    // The banner's text starts at the window's middle + 15.
    int bright = 0;
    for (float x = kWidth / 2.0f + 15; x < kWidth / 2.0f + 115; ++x)
        for (float y = kHeight - 28; y < kHeight - 14; ++y)
            bright += pixelAt(image, x, y)[0] > 180 ? 1 : 0;
    EXPECT_GT(bright, 20);
}
#endif

}  // namespace
}  // namespace controlstest
