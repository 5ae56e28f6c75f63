// A host toolkit that saves the X error handler while the editor's trap is
// up and puts it back later (as GTK's trap push and pop do) reinstalls the
// plug-in's handler, possibly after the host has unloaded the plug-in: the
// next X error must still reach the host's own handler, not unmapped code.

#include "EditorRig.h"

// After the test framework: Xlib's macros (None, Bool) would break it.
#include <X11/Xlib.h>

using namespace editortest;

namespace {

int gHostErrors = 0;

int hostHandler(Display*, XErrorEvent*) {
    ++gHostErrors;
    return 0;
}

int toolkitHandler(Display*, XErrorEvent*) {
    return 0;
}

TEST(XErrorHandler, AHandlerSavedByAToolkitStillWorksAfterThePluginIsUnloaded) {
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    XSetErrorHandler(hostHandler);
    XErrorHandler saved = nullptr;
    {
        OpenEditor editor;
        ASSERT_TRUE(editor.ok);
        editor.pump(100);
        // The trap is up only while the render thread works (not while it
        // sleeps between frames): push until the push finds it.
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (;;) {
            saved = XSetErrorHandler(toolkitHandler);  // the toolkit's push
            if (saved != hostHandler || std::chrono::steady_clock::now() > giveUp)
                break;
            XSetErrorHandler(hostHandler);
            std::this_thread::yield();
        }
        editor.host.close();
        editor.ok = false;
    }  // the host unloads the library
    EXPECT_NE(saved, hostHandler) << "the editor's trap was not up";
    XSetErrorHandler(saved);  // the toolkit's pop, later

    gHostErrors = 0;
    XDestroyWindow(display, 1);  // no such window: BadWindow
    XSync(display, False);
    EXPECT_EQ(gHostErrors, 1);
    XSetErrorHandler(nullptr);
    XCloseDisplay(display);
}

}  // namespace
