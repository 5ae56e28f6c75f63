// tavro-view's host window on Windows.

#include <windows.h>

#include <gtest/gtest.h>

#include "platform/ViewerWindow.h"

namespace {

SIZE clientSize(HWND window) {
    RECT rect{};
    GetClientRect(window, &rect);
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

TEST(ViewerWindow, HasTheClientSizeAskedForAndFollowsResizes) {
    auto viewer = platform::ViewerWindow::Create("viewer", 640, 360);
    ASSERT_NE(viewer, nullptr);
    HWND window = static_cast<HWND>(viewer->NativeHandle());
    ASSERT_TRUE(IsWindow(window));
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(GetParent(window), nullptr);
    EXPECT_EQ(clientSize(window).cx, 640);
    EXPECT_EQ(clientSize(window).cy, 360);

    viewer->Resize(1024, 512);
    EXPECT_EQ(clientSize(window).cx, 1024);
    EXPECT_EQ(clientSize(window).cy, 512);

    platform::Picture picture;
    EXPECT_FALSE(viewer->Capture(picture));
    // Nothing to deliver input to without an editor inside.
    EXPECT_FALSE(viewer->Click(5, 5, 1, 0));
    EXPECT_FALSE(viewer->TypeText("x"));

    viewer.reset();
    EXPECT_FALSE(IsWindow(window));
}

TEST(ViewerWindow, PumpingStopsOnceTheUserClosedTheWindow) {
    auto viewer = platform::ViewerWindow::Create("viewer", 200, 100);
    ASSERT_NE(viewer, nullptr);
    const ULONGLONG start = GetTickCount64();
    EXPECT_TRUE(viewer->PumpEvents(50));
    EXPECT_GE(GetTickCount64() - start, 40u);

    HWND window = static_cast<HWND>(viewer->NativeHandle());
    HWND editor = CreateWindowExA(0, "STATIC", "editor", WS_CHILD | WS_VISIBLE, 0, 0, 50, 50,
                                  window, nullptr, GetModuleHandleA(nullptr), nullptr);
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(viewer->PumpEvents(1000));
    EXPECT_FALSE(viewer->PumpEvents(0));
    // The editor inside is closed by the host before the window goes.
    EXPECT_TRUE(IsWindow(editor));
    viewer.reset();
    EXPECT_FALSE(IsWindow(editor));
}

TEST(ViewerWindow, IsNotMadeUnderWineWithoutADisplay) {
    const bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    if (!wine) {
        GTEST_SKIP() << "Windows always has a display";
    }
    char display[256] = {};
    ASSERT_GT(GetEnvironmentVariableA("DISPLAY", display, sizeof display), 0u);
    SetEnvironmentVariableA("DISPLAY", nullptr);
    const auto viewer = platform::ViewerWindow::Create("viewer", 200, 100);
    SetEnvironmentVariableA("DISPLAY", display);
    EXPECT_EQ(viewer, nullptr);
}

}  // namespace
