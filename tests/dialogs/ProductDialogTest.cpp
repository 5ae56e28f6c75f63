// The whole path in the product: tavro.so / tavro.dll loaded by a host, its
// editor with the built-in layout opened in a window of its own, and the
// three dialogs opened by the layout's own controls (the Prefs button, the
// MIDI source field of the test view, the Browse button). Where the controls
// are comes from the same layout built in this process.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "LayoutFixture.h"
#include "PngImage.h"
#include "gui/Buttons.h"
#include "gui/DialogPanel.h"
#include "gui/DialogTemplates.h"
#include "gui/MIDIBrowseButton.h"
#include "gui/TextField.h"
#include "host/VstHost.h"
#include "platform/Dialogs.h"
#include "platform/MemoryMidiInput.h"
#include "platform/ViewerWindow.h"
#include "platform/testing/DialogDriver.h"
#include "plugin/EditorFrames.h"
#include "render/HostMidiInputExport.h"

#ifndef TAVRO_PLUGIN_PATH
#error "TAVRO_PLUGIN_PATH names the product's plug-in"
#endif

namespace {

using namespace QX::dialogid;
using platform::testsupport::DialogDriver;

// Design-unit centres of the layout's controls, found in the layout itself.
struct Spots {
    QX::Point prefs, test, source, browse;
};

class ProductDialogs : public layouttest::LayoutTest {
protected:
    void SetUp() override {
        LayoutTest::SetUp();
        Build();
        for (auto* button : ElementsOf<QX::Button>()) {
            if (button->caption == "Prefs")
                spots_.prefs = button->AbsoluteBox().Centre();
            if (button->caption == "Test")
                spots_.test = button->AbsoluteBox().Centre();
        }
        for (auto* field : ElementsOf<QX::PropertyTextField>())
            spots_.source = field->AbsoluteBox().Centre();
        for (auto* browse : ElementsOf<QX::MIDIBrowseButton>())
            spots_.browse = browse->AbsoluteBox().Centre();
        designHeight_ = height;
        // The plug-in in the window uses the system's preferences.
        LayoutTest::TearDown();
        platform::testsupport::deleteProductKey();
        platform::testsupport::setEnvironmentVariable("XDG_CONFIG_HOME",
                                                      dataFolder.string().c_str());
        devices_.addDevice("Loop A");
        devices_.addDevice("Loop B");
    }
    void TearDown() override {
        CloseEditor();
        platform::testsupport::deleteProductKey();
    }

    bool OpenEditor() {
        std::string error;
        if (!host_.load(TAVRO_PLUGIN_PATH, error)) {
            ADD_FAILURE() << error;
            return false;
        }
        host_.dispatch(effOpen);
        ERect* rect = nullptr;
        host_.dispatch(effEditGetRect, 0, 0, &rect);
        if (!rect)
            return false;
        window_ = platform::ViewerWindow::Create("dialogs", rect->right - rect->left,
                                                 rect->bottom - rect->top);
        if (!window_)
            return false;
        host_.dispatch(effEditOpen, 0, 0, window_->NativeHandle());
        open_ = true;
        // Input that arrives before the editor draws may find no window to
        // take it (slow under the sanitizers): wait for the first frames.
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (host_.dispatch(effVendorSpecific, kVendorEditorFramesDrawn) < 3 &&
               std::chrono::steady_clock::now() < giveUp)
            Pump(50);
        Pump(200);
        return true;
    }
    void CloseEditor() {
        if (open_)
            host_.dispatch(effEditClose);
        open_ = false;
    }
    void Pump(int milliseconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (std::chrono::steady_clock::now() < end) {
            window_->PumpEvents(20);
            host_.dispatch(effEditIdle);
        }
    }
    void ClickDesign(QX::Point p) {
        window_->Click(static_cast<int>(p.x), designHeight_ - static_cast<int>(p.y), 1, 0);
        Pump(200);
    }
    bool Frame(const std::string& name, QX::PngImage& image) {
        const std::string path = std::string(TAVRO_TEST_OUTPUT_DIR) + "/" + name + ".png";
        std::remove(path.c_str());
        if (host_.dispatch(effVendorSpecific, kVendorWriteEditorFrame, 5000,
                           const_cast<char*>(path.c_str())) != 1)
            return false;
        std::ifstream in(path, std::ios::binary);
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
        return QX::DecodePng(bytes.data(), bytes.size(), image);
    }
    // Whether the frame shows a dialog panel's face where `dialog` has an
    // empty stretch of its client area (dialog units from its top left).
    bool ShowsPanel(const QX::DialogTemplate& dialog, int dluX, int dluY, const std::string& name) {
        QX::PngImage image;
        if (!Frame(name, image))
            return false;
        const QX::PanelLayout layout = QX::LayOutPanel(dialog, 1000, 450);
        const QX::Point p = layout.Place(dluX, dluY, 1, 1).Centre();
        const int row = image.height - 1 - static_cast<int>(p.y);
        const std::uint8_t* pixel =
            &image.pixels[static_cast<std::size_t>(row * image.width + static_cast<int>(p.x)) *
                          image.channels];
        auto near = [](std::uint8_t v, float want) { return std::abs(v - want * 255) <= 3; };
        return near(pixel[0], 0.831f) && near(pixel[1], 0.816f) && near(pixel[2], 0.784f);
    }

    // Presses the element at `at`; under Wine `user` plays the native
    // dialog from a second thread while the click runs its modal loop.
    void Press(QX::Point at, const std::string& caption,
               const std::function<void(DialogDriver&)>& user) {
        if (!platform::hasNativeDialogs()) {
            ClickDesign(at);
            return;
        }
        auto played = std::async(std::launch::async, [&] {
            auto driver = DialogDriver::WaitFor(caption, 10000);
            if (!driver) {
                ADD_FAILURE() << "no dialog " << caption;
                if (auto hidden = DialogDriver::WaitFor(caption, 1000, false))
                    hidden->Cancel();
                return;
            }
            user(*driver);
            if (driver->IsOpen())
                driver->PressKey(0x1B);
            EXPECT_TRUE(driver->WaitClosed(5000));
        });
        ClickDesign(at);
        played.get();
        Pump(100);
    }

    Spots spots_;
    int designHeight_ = 450;
    platform::MemoryMidiInputSystem devices_;
    render::HostMidiInputExport export_{devices_};
    host::VstHost host_;
    std::unique_ptr<platform::ViewerWindow> window_;
    bool open_ = false;
};

TEST_F(ProductDialogs, PrefsOpensAboutWhoseOkWritesThePort) {
    ASSERT_TRUE(OpenEditor());
    Press(spots_.prefs, "About", [](DialogDriver& about) {
        EXPECT_EQ(about.Text(kOscBasePort), "7000");
        platform::Picture picture;
        EXPECT_TRUE(about.Capture(picture));
        EXPECT_TRUE(QX::WritePngFile(std::string(TAVRO_TEST_OUTPUT_DIR) + "/product-about.png",
                                     picture.width, picture.height, picture.rgba.data()));
        about.SetText(kOscBasePort, "9100");
        about.Click(1);
    });
    if (!platform::hasNativeDialogs()) {
        EXPECT_TRUE(ShowsPanel(QX::AboutDialogTemplate(), 150, 60, "product-about"));
        // The port field has the focus with its text selected.
        window_->TypeText("9100");
        window_->PressKey("Return", 0);
        Pump(300);
        EXPECT_FALSE(ShowsPanel(QX::AboutDialogTemplate(), 150, 60, "product-after-about"));
    }
    EXPECT_EQ(platform::readIntPreference(platform::kPrefOscBasePort, -1), 9100);
}

// Windows: the host closes the editor and then the plug-in from inside the
// About dialog's modal loop, as when the user closes a floating window while
// the dialog is open. The dialog ends first, and nothing freed is used when
// its loop returns.
TEST_F(ProductDialogs, ClosingThePlugInWhileAboutIsOpenEndsTheDialogFirst) {
    if (!platform::hasNativeDialogs())
        GTEST_SKIP() << "Linux draws its dialogs inside the editor";
    ASSERT_TRUE(OpenEditor());
    struct Closing {
        host::VstHost* host;
        bool* editorOpen;
        std::atomic<bool> dialogShown{false};
        bool closed = false;
        void (*again)(void*) = nullptr;
    } closing{&host_, &open_};
    // From the thread's message loop, which is the dialog's once it is open.
    closing.again = [](void* context) {
        auto* c = static_cast<Closing*>(context);
        if (!c->dialogShown.load()) {
            platform::testsupport::callFromThisThreadsMessageLoop(50, c->again, c);
            return;
        }
        c->host->dispatch(effEditClose);
        *c->editorOpen = false;
        c->host->close();
        c->closed = true;
    };
    ASSERT_TRUE(platform::testsupport::callFromThisThreadsMessageLoop(50, closing.again, &closing));
    auto watched = std::async(std::launch::async, [&] {
        auto about = DialogDriver::WaitFor("About", 10000);
        ASSERT_TRUE(about) << "no About dialog";
        closing.dialogShown = true;
        EXPECT_TRUE(about->WaitClosed(10000)) << "the dialog outlived its plug-in";
    });
    window_->Click(static_cast<int>(spots_.prefs.x),
                   designHeight_ - static_cast<int>(spots_.prefs.y), 1, 0);
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!closing.closed && std::chrono::steady_clock::now() < giveUp)
        window_->PumpEvents(20);
    watched.get();
    EXPECT_TRUE(closing.closed);
}

TEST_F(ProductDialogs, TheSourceFieldAndBrowseOpenTheirDialogsAndTheFieldFollows) {
    ASSERT_TRUE(OpenEditor());
    ClickDesign(spots_.test);
    QX::PngImage before;
    ASSERT_TRUE(Frame("product-test-view", before));

    Press(spots_.source, "Enter Property", [](DialogDriver& property) {
        EXPECT_EQ(property.Text(kMessage), "Enter MIDI source");
        property.SetText(kPropertyText, "Loop B");
        property.Click(1);
    });
    if (!platform::hasNativeDialogs()) {
        EXPECT_TRUE(ShowsPanel(QX::PropertyDialogTemplate(), 150, 44, "product-enter-property"));
        window_->TypeText("Loop B");
        window_->PressKey("Return", 0);
        Pump(300);
    }
    EXPECT_TRUE(devices_.isOpen(1));
    // The field shows the new name: its pixels changed.
    QX::PngImage after;
    ASSERT_TRUE(Frame("product-source-set", after));
    const int y = after.height - 1 - static_cast<int>(spots_.source.y);
    int changed = 0;
    for (int x = static_cast<int>(spots_.source.x) - 90; x < spots_.source.x + 90; ++x) {
        const std::size_t at = static_cast<std::size_t>(y * after.width + x) * after.channels;
        changed += before.pixels[at] != after.pixels[at];
    }
    EXPECT_GT(changed, 5);

    Press(spots_.browse, "MIDI Browser", [](DialogDriver& browser) {
        EXPECT_EQ(browser.Items(kDeviceList), (std::vector<std::string>{"Loop A", "Loop B"}));
        browser.Choose(kDeviceList, 0);
        browser.Click(1);
    });
    if (!platform::hasNativeDialogs()) {
        EXPECT_TRUE(ShowsPanel(QX::MidiBrowserTemplate(), 6, 240, "product-midi-browser"));
        // The list has the focus: the first entry, then OK.
        window_->PressKey("Down", 0);
        window_->PressKey("Return", 0);
        Pump(300);
    }
    EXPECT_TRUE(devices_.isOpen(0));
    EXPECT_FALSE(devices_.isOpen(1));
}

}  // namespace
