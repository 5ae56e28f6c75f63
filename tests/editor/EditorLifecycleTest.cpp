// The editor of a real plug-in library opened by a host into a window of
// its own: frames drawn, the render thread stopped by close, two editors at
// once, and nothing left behind after many opens. Runs where there is a
// display (an Xvfb on Linux, Wine's on Windows).

#include "EditorRig.h"

using namespace editortest;

namespace {

const bool fontsInstalled = (installWineFonts(), true);

TEST(EditorLifecycle, OpensDrawsTheLayoutAndStopsOnClose) {
    {
        OpenEditor editor;
        ASSERT_TRUE(editor.ok);
        EXPECT_EQ(editor.host.effect()->flags & effFlagsHasEditor, effFlagsHasEditor);
        editor.pump(300);
        QX::PngImage image;
        ASSERT_TRUE(editor.frame(framePath("lifecycle"), image));
        ASSERT_EQ(image.width, editortest::kWidth);
        ASSERT_EQ(image.height, editortest::kHeight);
        // Background away from everything, the probe's box, the value bar's
        // frame: the layers are composed in the right places.
        const float* c = editortest::kClearColour;
        EXPECT_TRUE(near(pixelAt(image, 300, 10), c[0], c[1], c[2]));
        EXPECT_TRUE(near(pixelAt(image, 510, 70), 0.8f, 0.4f, 0.1f));
        EXPECT_TRUE(near(pixelAt(image, 361, 61), 0.1f, 0.1f, 0.12f));
        EXPECT_GT(platform::testsupport::threadCount(), editor.threadsWithoutEditor);
        editor.host.dispatch(effEditClose);
        editor.ok = false;
        EXPECT_EQ(platform::testsupport::threadCount(), editor.threadsWithoutEditor);
    }
}

TEST(EditorLifecycle, SecondOpenWithoutCloseKeepsTheFirstAndSaysSo) {
    OpenEditor editor;
    ASSERT_TRUE(editor.ok);
    editor.pump(100);
    // The plug-in reports on standard error on Linux (the debugger output
    // on Windows, which a test cannot read).
    testing::internal::CaptureStderr();
    editor.host.dispatch(effEditOpen, 0, 0, editor.window->NativeHandle());
    const std::string printed = testing::internal::GetCapturedStderr();
#ifndef _WIN32
    EXPECT_NE(printed.find("double call to CreateRenderTask()\n"), std::string::npos);
#endif
    QX::PngImage image;
    EXPECT_TRUE(editor.frame(framePath("double-open"), image));
}

TEST(EditorLifecycle, AHiddenEditorDrawsOnlyPicturesUntilShownAgain) {
    OpenEditor editor;
    ASSERT_TRUE(editor.ok);
    auto framesDrawn = [&] {
        return editor.host.dispatch(effVendorSpecific, kVendorEditorFramesDrawn);
    };
    editor.window->Show(false);
    // A frame under way as the window went may still land.
    editor.pump(200);
    const auto hidden = framesDrawn();
    editor.pump(1200);
    EXPECT_EQ(framesDrawn(), hidden);
    QX::PngImage image;
    EXPECT_TRUE(editor.frame(framePath("hidden"), image));
    // The picture is handed over before the frame is counted.
    editor.pump(200);
    EXPECT_EQ(framesDrawn(), hidden + 1);
    editor.window->Show(true);
    editor.pump(300);
    EXPECT_GT(framesDrawn(), hidden + 1);
}

TEST(EditorLifecycle, TwoInstancesDrawAtOnce) {
    OpenEditor first, second;
    ASSERT_TRUE(first.ok && second.ok);
    first.pump(100);
    second.pump(100);
    QX::PngImage a, b;
    EXPECT_TRUE(first.frame(framePath("first"), a));
    EXPECT_TRUE(second.frame(framePath("second"), b));
    EXPECT_EQ(a.pixels, b.pixels);
}

TEST(EditorLifecycle, HundredOpensLeaveNothingBehind) {
    OpenEditor editor;
    ASSERT_TRUE(editor.ok);
    editor.pump(100);
    editor.host.dispatch(effEditClose);
    editor.pump(50);
    const int threads = platform::testsupport::threadCount();
    const int handles = platform::testsupport::openHandleCount();
    const int windowObjects = platform::testsupport::windowSystemObjectCount();
    for (int i = 0; i < 100; ++i) {
        editor.host.dispatch(effEditOpen, 0, 0, editor.window->NativeHandle());
        editor.pump(i % 10 == 0 ? 60 : 5);
        editor.host.dispatch(effEditClose);
    }
    editor.pump(50);
    editor.ok = false;
    EXPECT_EQ(platform::testsupport::threadCount(), threads);
    EXPECT_EQ(platform::testsupport::openHandleCount(), handles);
    EXPECT_EQ(platform::testsupport::windowSystemObjectCount(), windowObjects);
}

TEST(EditorLifecycle, ClosingThePluginWithItsEditorOpenIsClean) {
    const int threadsBefore = platform::testsupport::threadCount();
    {
        OpenEditor editor;
        ASSERT_TRUE(editor.ok);
        editor.pump(100);
        editor.host.close();
        editor.ok = false;
    }
    EXPECT_EQ(platform::testsupport::threadCount(), threadsBefore);
}

}  // namespace
