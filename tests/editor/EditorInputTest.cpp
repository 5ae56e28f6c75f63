// Input through the window system (XTEST on Linux, window messages under
// Wine) into the tests' layout: the probe reports, in design units, what the
// element tree received; the value bar changes the parameter the host sees.

#include <sstream>
#include <vector>

#include "EditorRig.h"

using namespace editortest;

namespace {

const bool fontsInstalled = (installWineFonts(), true);

// Window pixels (top left origin) of a design point while the window has
// its design size.
int windowX(float x) {
    return static_cast<int>(x);
}
int windowY(float y) {
    return kHeight - static_cast<int>(y);
}

std::vector<std::string> probeLines(const std::string& printed) {
    std::vector<std::string> lines;
    std::istringstream in(printed);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("probe ", 0) == 0)
            lines.push_back(line.substr(6));
    }
    return lines;
}

TEST(EditorInput, ClickDoubleClickAndWheelReachTheElementTree) {
    OpenEditor editor;
    ASSERT_TRUE(editor.ok);
    editor.pump(200);
    testing::internal::CaptureStdout();
    editor.settle(2, [&] { editor.window->Click(windowX(500), windowY(70), 1, 0); });
    editor.settle(4, [&] { editor.window->Click(windowX(510), windowY(80), 2, 0); });
    editor.settle(1, [&] { editor.window->Wheel(windowX(520), windowY(90), 1); });
    const auto lines = probeLines(testing::internal::GetCapturedStdout());
    const std::vector<std::string> expected = {
        "down 500.0 70.0 modifiers 0x0 clicks 1", "up 500.0 70.0 modifiers 0x0 clicks 0",
        "down 510.0 80.0 modifiers 0x0 clicks 1", "up 510.0 80.0 modifiers 0x0 clicks 0",
        "down 510.0 80.0 modifiers 0x0 clicks 2", "up 510.0 80.0 modifiers 0x0 clicks 0",
        "down 520.0 90.0 modifiers 0x0 clicks 1", "drag 520.0 100.0 modifiers 0x0 clicks 0",
        "up 520.0 100.0 modifiers 0x0 clicks 0",
    };
    EXPECT_EQ(lines, expected);
}

TEST(EditorInput, ShiftIsPassedWithTheClick) {
    OpenEditor editor;
    ASSERT_TRUE(editor.ok);
    editor.pump(200);
    testing::internal::CaptureStdout();
    editor.settle(2, [&] { editor.window->Click(windowX(500), windowY(70), 1, 0x200); });
    const auto lines = probeLines(testing::internal::GetCapturedStdout());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "down 500.0 70.0 modifiers 0x200 clicks 1");
}

TEST(EditorInput, DraggingTheBarSetsTheParameterAndTellsTheHost) {
    OpenEditor editor;
    ASSERT_TRUE(editor.ok);
    editor.pump(200);
    editor.host.clearRecords();
    // From the bar's bottom edge to 3/4 of its height.
    const float x = kBarX + kBarWidth / 2;
    editor.settle(3, [&] {
        editor.window->Drag(windowX(x), windowY(kBarY), 0, -static_cast<int>(kBarHeight * 0.75f),
                            0);
    });
    EXPECT_NEAR(editor.host.getParameter(0), 0.75f, 0.02f);
    const auto records = editor.host.automation();
    ASSERT_GE(records.size(), 3u);
    EXPECT_EQ(records.front().kind, host::AutomationRecord::BeginEdit);
    EXPECT_EQ(records.front().index, 0);
    EXPECT_EQ(records.back().kind, host::AutomationRecord::EndEdit);
    int ends = 0;
    for (const auto& r : records)
        ends += r.kind == host::AutomationRecord::EndEdit;
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(records[records.size() - 2].kind, host::AutomationRecord::Automate);
    EXPECT_NEAR(records[records.size() - 2].value, editor.host.getParameter(0), 1e-6f);
}

TEST(EditorInput, CornerDragResizesWithinLimitsAndHalfSizeDoublesPoints) {
    OpenEditor editor;
    ASSERT_TRUE(editor.ok);
    editor.pump(200);
    // Wider than the largest size: the window stops at 1024 wide, aspect
    // kept, and the host is asked for the new size.
    editor.settle(3, [&] { editor.window->Drag(kWidth - 3, kHeight - 2, 600, 0, 0); });
    ERect* rect = nullptr;
    editor.host.dispatch(effEditGetRect, 0, 0, &rect);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right, 1024);
    EXPECT_EQ(rect->bottom, 512);
    bool asked = false;
    for (const auto& request : editor.host.otherRequests())
        asked |= request.opcode == audioMasterSizeWindow && request.index == 1024 &&
                 request.value == 512;
    EXPECT_TRUE(asked);
    editor.window->Resize(1024, 512);
    editor.pump(100);

    // Down to half the design size.
    editor.settle(3, [&] { editor.window->Drag(1024 - 3, 512 - 2, -(1024 - kWidth / 2), 0, 0); });
    editor.host.dispatch(effEditGetRect, 0, 0, &rect);
    EXPECT_EQ(rect->right, kWidth / 2);
    EXPECT_EQ(rect->bottom, kHeight / 2);
    editor.window->Resize(kWidth / 2, kHeight / 2);
    editor.pump(100);
    testing::internal::CaptureStdout();
    editor.settle(2, [&] { editor.window->Click(250, kHeight / 2 - 35, 1, 0); });
    const auto lines = probeLines(testing::internal::GetCapturedStdout());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "down 500.0 70.0 modifiers 0x0 clicks 1");

    QX::PngImage image;
    ASSERT_TRUE(editor.frame(framePath("half-size"), image));
    EXPECT_EQ(image.width, kWidth / 2);
    EXPECT_EQ(image.height, kHeight / 2);
    // The probe's box, scaled with the window.
    EXPECT_TRUE(near(pixelAt(image, 255, 35), 0.8f, 0.4f, 0.1f));
}

}  // namespace
