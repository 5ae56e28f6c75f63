// The product itself (tavro.so / tavro.dll) loaded by a host, its editor
// opened into a window of its own and driven through the window system;
// what it shows is read back from GL inside the plug-in. The host offers the
// plug-in an in-memory MIDI device as its test input (a loop-back cable in
// software) and plays MIDI into it while the editor is open.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <ip/UdpSocket.h>

#include "PngImage.h"
#include "WineFonts.h"
#include "gui/Font.h"
#include "host/VstHost.h"
#include "platform/Folders.h"
#include "platform/MemoryMidiInput.h"
#include "platform/Preferences.h"
#include "platform/Settings.h"
#include "platform/ViewerWindow.h"
#include "platform/testing/TestAccess.h"
#include "plugin/EditorFrames.h"
#include "plugin/ParameterTable.h"
#include "plugin/RoundTrip.h"
#include "render/HostMidiInputExport.h"
#include "render/MidiSource.h"

#ifndef TAVRO_PLUGIN_PATH
#error "TAVRO_PLUGIN_PATH names the product's plug-in"
#endif

namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 1000;
constexpr int kHeight = 450;
constexpr double kRate = 44100;
constexpr int kBlock = 512;

// Design points of the built-in layout (origin bottom left) with the fonts
// the tests use (DejaVu). Inside the element, clear of text and edges.
struct Spot {
    int x, y;
};
constexpr Spot kWindowBackground{2, 225};
constexpr Spot kPrefsFill{945, 423};
constexpr Spot kBannerFill{800, 428};
// The upper part of the two history displays, above their titles.
constexpr Spot kLeftHistoryFill{250, 380};
constexpr Spot kRightHistoryFill{750, 380};
// Beside "Don't Panic" in the normal view; the MIDI source field in the
// test view.
constexpr Spot kSourceField{800, 62};
constexpr Spot kTestButton{210, 35};
constexpr Spot kLevelKnob{32, 62};
// Without any font the labels take no room and the groups are lower: the
// middle of the history displays and the Level knob's value field then.
constexpr Spot kFontlessLeftHistory{250, 200};
constexpr Spot kFontlessRightHistory{750, 200};
constexpr Spot kFontlessLevelField{32, 21};
// Rectangles holding text (x0, y0, x1, y1): the banner's, the label under
// the Level knob and the title of the left history display.
struct Area {
    int x0, y0, x1, y1;
};
constexpr Area kBannerText{10, 425, 600, 440};
constexpr Area kLevelLabel{12, 14, 52, 30};
constexpr Area kHistoryTitle{20, 330, 200, 350};
// Where the history lines are: below the titles of the displays.
constexpr int kLinesBottom = 112, kLinesTop = 290;
constexpr int kLeftDisplayX0 = 20, kLeftDisplayX1 = 490;
constexpr int kRightDisplayX0 = 510, kRightDisplayX1 = 980;
// The band above the right display's title, where the test view shows the
// round trip.
constexpr int kRoundTripBottom = 350, kRoundTripTop = 385;

std::string outputPath(const std::string& name) {
    return std::string(TAVRO_TEST_OUTPUT_DIR) + "/" + name + ".png";
}

const bool fontsInstalled = (testfonts::installWineFonts(), true);

// The skins folder and (on Linux) the preference file in folders of the
// run's own, so that no test sees or changes the user's.
class PrivateFolders : public testing::Environment {
public:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("tavro-layout-window-" + std::to_string(std::random_device()()));
        fs::create_directories(folder_);
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "APPDATA"})
            platform::testsupport::setEnvironmentVariable(name, (folder_ / name).string().c_str());
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

private:
    fs::path folder_;
};
[[maybe_unused]] testing::Environment* const folders =
    testing::AddGlobalTestEnvironment(new PrivateFolders);

struct Rgb {
    int r, g, b;
};

class Picture {
public:
    bool Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
        return !bytes.empty() && QX::DecodePng(bytes.data(), bytes.size(), image_);
    }
    int width() const { return image_.width; }
    int height() const { return image_.height; }
    // y from the bottom, as the design's coordinates.
    Rgb At(int x, int y) const {
        const int row = image_.height - 1 - y;
        const std::uint8_t* p =
            &image_.pixels[static_cast<std::size_t>(row * image_.width + x) * image_.channels];
        return {p[0], p[1], p[2]};
    }
    Rgb At(Spot s) const { return At(s.x, s.y); }
    // Pixels of the rectangle for which `test` holds.
    template <typename Test>
    int Count(int x0, int y0, int x1, int y1, Test test) const {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                n += test(At(x, y)) ? 1 : 0;
        return n;
    }

private:
    QX::PngImage image_;
};

bool near(Rgb p, float r, float g, float b, int tolerance = 4) {
    auto close = [tolerance](int v, float want) {
        return std::abs(v - static_cast<int>(std::lround(want * 255))) <= tolerance;
    };
    return close(p.r, r) && close(p.g, g) && close(p.b, b);
}

std::string describe(Rgb p) {
    return std::to_string(p.r) + "," + std::to_string(p.g) + "," + std::to_string(p.b);
}

bool bright(Rgb p) {
    return p.r > 180 && p.g > 180 && p.b > 180;
}
bool green(Rgb p) {
    return p.g > 180 && p.g > p.r + 50 && p.g > p.b + 50;
}
// A knob's lit value arc.
bool lit(Rgb p) {
    return p.b > 180 && p.b > p.r + 40;
}
bool red(Rgb p) {
    return p.r > 180 && p.r > p.g + 50 && p.r > p.b + 50;
}

// The status line: over the banner, its left half while the pointer is on a
// control (the banner then shows that control's text on the right).
constexpr int kStatusX0 = 20, kStatusHalf = 510, kStatusX1 = 930;
constexpr int kStatusY0 = 418, kStatusY1 = 440;

bool errorText(Rgb p) {
    return p.r > 170 && p.r > p.g + 60 && p.r > p.b + 60;
}
bool warningText(Rgb p) {
    return p.r > 170 && p.g > 130 && p.b < 120;
}

class ProductEditor : public testing::Test {
protected:
    void SetUp() override {
        loop_ = devices_.addDevice("Loop");
        std::string error;
        ASSERT_TRUE(host.load(TAVRO_PLUGIN_PATH, error)) << error;
        host.dispatch(effOpen);
        host.dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(kRate));
        host.dispatch(effSetBlockSize, 0, kBlock);
        host.resume();
    }
    void TearDown() override {
        if (open_)
            host.dispatch(effEditClose);
        host.close();
    }

    void Open() {
        ERect* rect = nullptr;
        host.dispatch(effEditGetRect, 0, 0, &rect);
        ASSERT_NE(rect, nullptr);
        window = platform::ViewerWindow::Create("tavro layout test", rect->right - rect->left,
                                                rect->bottom - rect->top);
        ASSERT_NE(window, nullptr);
        host.dispatch(effEditOpen, 0, 0, window->NativeHandle());
        open_ = true;
        // Input that arrives before the editor draws may find no window to
        // take it: wait for the first frames.
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (FramesDrawn() < 3 && std::chrono::steady_clock::now() < giveUp)
            Pump(50);
        Pump(200);
    }
    void Pump(int milliseconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (std::chrono::steady_clock::now() < end) {
            window->PumpEvents(20);
            host.dispatch(effEditIdle);
        }
    }
    // The next frame the editor draws, as the plug-in read it back.
    bool Frame(const std::string& name, Picture& picture) {
        const std::string path = outputPath(name);
        std::remove(path.c_str());
        if (host.dispatch(effVendorSpecific, kVendorWriteEditorFrame, 5000,
                          const_cast<char*>(path.c_str())) != 1)
            return false;
        return picture.Read(path);
    }
    long long FramesDrawn() { return host.dispatch(effVendorSpecific, kVendorEditorFramesDrawn); }
    // Window pixels, origin top left, of a design point.
    void Click(Spot s) {
        window->Click(s.x, kHeight - s.y, 1, 0);
        Pump(200);
    }
    void Process(int blocks) {
        for (int i = 0; i < blocks; ++i)
            host.processReplacing(kBlock);
    }
    void SetNative(int index, float native, float minimum, float maximum) {
        host.setParameter(index, (native - minimum) / (maximum - minimum));
    }
    void SendBack(std::vector<std::uint8_t> bytes) {
        EXPECT_TRUE(devices_.send(loop_, bytes.data(), bytes.size()));
    }

    platform::MemoryMidiInputSystem devices_;
    int loop_ = 0;
    // The plug-in finds the host's devices while this lives.
    render::HostMidiInputExport offered_{devices_};
    host::VstHost host;
    std::unique_ptr<platform::ViewerWindow> window;
    bool open_ = false;
};

TEST_F(ProductEditor, HostsAreToldOfAnEditorOf1000By450BeforeItOpens) {
    EXPECT_EQ(host.effect()->flags, 0x139);
    ERect* rect = nullptr;
    ASSERT_EQ(host.dispatch(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, kWidth);
    EXPECT_EQ(rect->bottom - rect->top, kHeight);
}

TEST_F(ProductEditor, TheWholeEditorIsDrawnAndTheTestButtonSwapsTheViews) {
    Open();
    Picture normal;
    ASSERT_TRUE(Frame("editor-normal", normal));
    ASSERT_EQ(normal.width(), kWidth);
    ASSERT_EQ(normal.height(), kHeight);
    EXPECT_TRUE(near(normal.At(kWindowBackground), 0.4f, 0.4f, 0.4f))
        << describe(normal.At(kWindowBackground));
    // Translucent fills over the background: the Prefs button and the banner.
    EXPECT_TRUE(near(normal.At(kPrefsFill), 0.36f, 0.36f, 0.36f))
        << describe(normal.At(kPrefsFill));
    EXPECT_TRUE(near(normal.At(kBannerFill), 0.31f, 0.31f, 0.325f))
        << describe(normal.At(kBannerFill));
    EXPECT_TRUE(near(normal.At(kLeftHistoryFill), 0.3f, 0.3f, 0.3f))
        << describe(normal.At(kLeftHistoryFill));
    EXPECT_TRUE(near(normal.At(kRightHistoryFill), 0.3f, 0.3f, 0.3f));
    EXPECT_TRUE(near(normal.At(kSourceField), 0.4f, 0.4f, 0.4f))
        << describe(normal.At(kSourceField));
    // The corner that resizes the window shows its ridges, lighter than the
    // background.
    const int ridges = normal.Count(kWidth - 16, 0, kWidth, 16,
                                    [](Rgb p) { return p.r > 130 && p.r == p.g && p.g == p.b; });
    EXPECT_GE(ridges, 12);
    // The frame of the Adjust group, in the inactive group colour.
    const int frameLine =
        normal.Count(3, 30, 8, 31, [](Rgb p) { return near(p, 0.6f, 0.6f, 0.6f); });
    EXPECT_GE(frameLine, 1);
    // The group names, knob arcs and captions: light pixels along the bottom.
    EXPECT_GT(normal.Count(0, 0, kWidth, 100, bright), 200);
    // No history yet: the displays hold only their titles.
    EXPECT_EQ(normal.Count(kLeftDisplayX0, kLinesBottom, kLeftDisplayX1, kLinesTop, bright), 0);

    Click(kTestButton);
    Picture test;
    ASSERT_TRUE(Frame("editor-test", test));
    // The MIDI source field of the Test group where MIDI Out had nothing.
    EXPECT_TRUE(near(test.At(kSourceField), 0.19f, 0.19f, 0.225f))
        << describe(test.At(kSourceField));
    EXPECT_TRUE(near(test.At(kLeftHistoryFill), 0.3f, 0.3f, 0.3f));

    Click(kTestButton);
    Picture back;
    ASSERT_TRUE(Frame("editor-normal-again", back));
    EXPECT_TRUE(near(back.At(kSourceField), 0.4f, 0.4f, 0.4f)) << describe(back.At(kSourceField));
}

TEST_F(ProductEditor, MidiPlayedWhileTheEditorIsOpenShowsInTheNextFrame) {
    Open();
    Picture before;
    ASSERT_TRUE(Frame("history-before", before));
    host.sendEvents({{100, {0x93, 0x3C, 0x64}}, {200, {0xC2, 0x05}}, {300, {0xE0, 0x00, 0x40}}});
    Process(1);
    const long long drawnBefore = FramesDrawn();
    Picture after;
    ASSERT_TRUE(Frame("history-after", after));
    // The frame asked for right after the block is the first to be drawn
    // since, or the one after.
    EXPECT_LE(FramesDrawn() - drawnBefore, 2);
    // Received (Plug-In Input) and Sent (Plug-In Output) both list them.
    const int received =
        after.Count(kLeftDisplayX0, kLinesBottom, kLeftDisplayX1, kLinesTop, bright);
    const int sent = after.Count(kRightDisplayX0, kLinesBottom, kRightDisplayX1, kLinesTop, bright);
    EXPECT_GT(received, 300);
    EXPECT_GT(sent, 300);
    // Three lines each, at the bottom: nothing in the upper half.
    EXPECT_EQ(after.Count(kLeftDisplayX0, 170, kLeftDisplayX1, kLinesTop, bright), 0);
    // Plain white: no loop-back result in these streams.
    EXPECT_EQ(after.Count(kLeftDisplayX0, kLinesBottom, kRightDisplayX1, kLinesTop, green), 0);
    EXPECT_EQ(after.Count(kLeftDisplayX0, kLinesBottom, kRightDisplayX1, kLinesTop, red), 0);

    // More MIDI, more lines.
    host.sendEvents({{0, {0x80, 0x3C, 0x00}}, {10, {0xB0, 0x07, 0x64}}});
    Process(1);
    Picture more;
    ASSERT_TRUE(Frame("history-more", more));
    EXPECT_GT(more.Count(kLeftDisplayX0, kLinesBottom, kLeftDisplayX1, kLinesTop, bright),
              received + 150);
}

TEST_F(ProductEditor, LoopBackResultsShowGreenAndRedInTheTestView) {
    ASSERT_TRUE(render::setMidiSource(host, "Loop"));
    ASSERT_TRUE(devices_.isOpen(loop_));
    // The test message 0x90 0x40 0x40 (the byte knobs' defaults), every 20 ms.
    SetNative(kParamTestType, 4, 0, 5);
    SetNative(kParamTestInterval, 20, 1, 1000);
    SetNative(kParamTestEnable, 1, 0, 1);
    Process(8);
    Open();
    // The first comes back whole, the second damaged on the way.
    SendBack({0x90, 0x40, 0x40});
    SendBack({0x90, 0x41, 0x40});
    SetNative(kParamTestEnable, 0, 0, 1);
    Process(1);
    Click(kTestButton);
    Picture test;
    ASSERT_TRUE(Frame("editor-test-loopback", test));
    const int greens = test.Count(kRightDisplayX0, kLinesBottom, kRightDisplayX1, kLinesTop, green);
    const int reds = test.Count(kRightDisplayX0, kLinesBottom, kRightDisplayX1, kLinesTop, red);
    EXPECT_GT(greens, 100);
    EXPECT_GT(reds, 100);
    // Newest first from the bottom: the damaged message's line lies below
    // the matched one.
    auto lowestRow = [&](bool (*colour)(Rgb)) {
        for (int y = kLinesBottom; y < kLinesTop; ++y)
            if (test.Count(kRightDisplayX0, y, kRightDisplayX1, y + 1, colour) > 0)
                return y;
        return -1;
    };
    EXPECT_LT(lowestRow(red), lowestRow(green));
    // What the test sent, in white on the left.
    EXPECT_GT(test.Count(kLeftDisplayX0, kLinesBottom, kLeftDisplayX1, kLinesTop, bright), 300);
    EXPECT_EQ(test.Count(kLeftDisplayX0, kLinesBottom, kLeftDisplayX1, kLinesTop, green), 0);
}

// Light grey text on the display's grey.
bool text(Rgb p) {
    return p.r > 150 && std::abs(p.r - p.g) < 10 && std::abs(p.g - p.b) < 10;
}

TEST_F(ProductEditor, TheTestViewShowsTheRoundTripOfWhatCameBack) {
    ASSERT_TRUE(render::setMidiSource(host, "Loop"));
    SetNative(kParamTestType, 4, 0, 5);
    SetNative(kParamTestInterval, 10, 1, 1000);  // every 442 samples
    SetNative(kParamTestEnable, 1, 0, 1);
    Open();
    Picture normal;
    ASSERT_TRUE(Frame("editor-normal-roundtrip", normal));
    // A cable in the test's hands: message k starts at sample 442 k and is
    // back 20 ms later, every other one 5 ms more, given to the plug-in
    // before the first block it is due by.
    constexpr long long kDelay = 882, kJitter = 220;
    long long processed = 0, sent = 0, returned = 0;
    for (int b = 0; b < 60; ++b) {
        for (;
             returned < sent && returned * 442 + kDelay + (returned % 2 ? kJitter : 0) <= processed;
             ++returned)
            SendBack({0x90, 0x40, 0x40});
        Process(1);
        processed += kBlock;
        sent = (processed - 1) / 442 + 1;
    }
    SetNative(kParamTestEnable, 0, 0, 1);
    Process(1);
    Click(kTestButton);
    Picture test;
    ASSERT_TRUE(Frame("editor-test-roundtrip", test));
    EXPECT_EQ(normal.Count(kRightDisplayX0, kRoundTripBottom, kRightDisplayX1, kRoundTripTop, text),
              0);
    EXPECT_GT(test.Count(kRightDisplayX0, kRoundTripBottom, kRightDisplayX1, kRoundTripTop, text),
              300);
    // The host reads the same line.
    char line[160] = {};
    ASSERT_EQ(host.dispatch(effVendorSpecific, kVendorRoundTripText, sizeof line, line), 1);
    float low = -1, median = -1, high = -1;
    unsigned late = 99, lost = 99;
    ASSERT_EQ(std::sscanf(line, "Round trip %f / %f / %f ms (min / median / max), late %u, lost %u",
                          &low, &median, &high, &late, &lost),
              5)
        << line;
    // The cable's 20 to 25 ms, and up to one block (11.6 ms) more.
    EXPECT_GE(low, 20.0f);
    EXPECT_LT(low, 20.0f + 11.7f);
    EXPECT_GE(median, 20.0f);
    EXPECT_LT(median, 25.0f + 11.7f);
    EXPECT_GE(high, 25.0f);
    EXPECT_LT(high, 25.0f + 11.7f);
    EXPECT_EQ(late, 0u);
    EXPECT_EQ(lost, 0u);
}

TEST_F(ProductEditor, TurningAKnobChangesTheParameterTheHostSeesAndTheSound) {
    Open();
    host.sendEvents({{0, {0x90, 0x3C, 0x64}}});
    Process(1);
    float peakBefore = 0;
    for (float v : host.output(0))
        peakBefore = std::max(peakBefore, std::fabs(v));
    ASSERT_GT(peakBefore, 0.5f);

    host.clearRecords();
    // Output Level's knob, dragged 40 units down: 0.2 of its range.
    window->Drag(kLevelKnob.x, kHeight - kLevelKnob.y, 0, 40, 0);
    Pump(300);
    EXPECT_NEAR(host.getParameter(kParamOutputLevel), 0.8f, 0.02f);
    const auto records = host.automation();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.front().kind, host::AutomationRecord::BeginEdit);
    EXPECT_EQ(records.front().index, kParamOutputLevel);
    EXPECT_EQ(records.back().kind, host::AutomationRecord::EndEdit);
    bool automated = false;
    for (const auto& record : records)
        automated |= record.kind == host::AutomationRecord::Automate &&
                     record.index == kParamOutputLevel && std::fabs(record.value - 0.8f) < 0.02f;
    EXPECT_TRUE(automated);

    host.sendEvents({{0, {0x90, 0x3C, 0x64}}});
    Process(1);
    float peakAfter = 0;
    for (float v : host.output(0))
        peakAfter = std::max(peakAfter, std::fabs(v));
    EXPECT_NEAR(peakAfter / peakBefore, 0.8f, 0.03f);
}

TEST_F(ProductEditor, ClosingAndOpeningAgainBuildsTheLayoutAnew) {
    for (int round = 0; round < 3; ++round) {
        Open();
        Picture picture;
        ASSERT_TRUE(Frame("editor-reopened", picture));
        EXPECT_TRUE(near(picture.At(kPrefsFill), 0.36f, 0.36f, 0.36f)) << round;
        EXPECT_TRUE(near(picture.At(kLeftHistoryFill), 0.3f, 0.3f, 0.3f)) << round;
        host.dispatch(effEditClose);
        open_ = false;
        window.reset();
    }
    // Closed, the size is still the layout's.
    ERect* rect = nullptr;
    host.dispatch(effEditGetRect, 0, 0, &rect);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, kWidth);
}

// Two instances of the product, each with its editor open: two Lua states,
// two element trees and two render threads sharing the process's fonts.
TEST_F(ProductEditor, TwoInstancesShowTheirOwnEditorsAtOnce) {
    Open();
    host::VstHost other;
    std::string error;
    ASSERT_TRUE(other.load(TAVRO_PLUGIN_PATH, error)) << error;
    other.dispatch(effOpen);
    other.dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(kRate));
    other.dispatch(effSetBlockSize, 0, kBlock);
    other.resume();
    auto otherWindow = platform::ViewerWindow::Create("tavro second editor", kWidth, kHeight);
    ASSERT_NE(otherWindow, nullptr);
    other.dispatch(effEditOpen, 0, 0, otherWindow->NativeHandle());
    auto pumpBoth = [&](int milliseconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (std::chrono::steady_clock::now() < end) {
            window->PumpEvents(10);
            otherWindow->PumpEvents(10);
            host.dispatch(effEditIdle);
            other.dispatch(effEditIdle);
        }
    };
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (other.dispatch(effVendorSpecific, kVendorEditorFramesDrawn) < 3 &&
           std::chrono::steady_clock::now() < giveUp)
        pumpBoth(50);

    // Each editor shows its own instance: the second's Level turned down to
    // nothing, the first's left at full (its knob's lit arc).
    other.setParameter(0, 0.0f);
    pumpBoth(300);
    Picture first, second;
    ASSERT_TRUE(Frame("two-editors-first", first));
    const std::string secondPath = outputPath("two-editors-second");
    ASSERT_EQ(other.dispatch(effVendorSpecific, kVendorWriteEditorFrame, 5000,
                             const_cast<char*>(secondPath.c_str())),
              1);
    ASSERT_TRUE(second.Read(secondPath));
    const auto levelArc = [](const Picture& picture) {
        return picture.Count(kLevelKnob.x - 18, kLevelKnob.y - 18, kLevelKnob.x + 18,
                             kLevelKnob.y + 18, lit);
    };
    EXPECT_GT(levelArc(first), 40);
    EXPECT_LT(levelArc(second), levelArc(first) / 4);
    EXPECT_GT(second.Count(0, 0, kWidth, 100, bright), 200);

    // Closing the second leaves the first drawing.
    other.dispatch(effEditClose);
    otherWindow.reset();
    other.close();
    // A frame asked for now is one drawn after the close.
    Picture after;
    ASSERT_TRUE(Frame("two-editors-after", after));
    EXPECT_GT(levelArc(after), 40);
}

// No font on the system at all: the folders Linux keeps fonts in (system,
// user, ~/.fonts) and the Windows fonts folder are empty ones of the test's
// own while it lives, as in a fresh Wine prefix or a Linux without fonts.
class NoSystemFonts {
public:
    NoSystemFonts()
        : folder_(fs::temp_directory_path() /
                  ("tavro-no-fonts-" + std::to_string(std::random_device()()))) {
        fs::create_directories(folder_ / "fonts");
        for (const char* name : {"XDG_DATA_DIRS", "XDG_DATA_HOME", "HOME", "WINDIR"}) {
            const char* old = std::getenv(name);
            saved_.push_back({name, old != nullptr, old != nullptr ? old : ""});
            platform::testsupport::setEnvironmentVariable(name, folder_.string().c_str());
        }
    }
    ~NoSystemFonts() {
        for (const Saved& saved : saved_)
            platform::testsupport::setEnvironmentVariable(
                saved.name, saved.wasSet ? saved.value.c_str() : nullptr);
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

private:
    struct Saved {
        const char* name;
        bool wasSet;
        std::string value;
    };
    fs::path folder_;
    std::vector<Saved> saved_;
};

// Pixels that differ from one picture to the other by more than a rounding.
int differingPixels(const Picture& a, const Picture& b) {
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const Rgb p = a.At(x, y), q = b.At(x, y);
            n += std::abs(p.r - q.r) > 8 || std::abs(p.g - q.g) > 8 || std::abs(p.b - q.b) > 8;
        }
    return n;
}

TEST_F(ProductEditor, WithNoFontOnTheSystemTheFontsThePluginCarriesShowEveryText) {
    // With the system's DejaVu (on Wine: copied into the prefix) first.
    Open();
    Picture system;
    ASSERT_TRUE(Frame("editor-system-fonts", system));
    host.dispatch(effEditClose);
    open_ = false;
    window.reset();

    NoSystemFonts none;
    std::string path;
    for (const char* name : {"Verdana.ttf", "arial.ttf", "cour.ttf", "DejaVuSans.ttf",
                             "DejaVuSansMono.ttf", "LiberationSans-Regular.ttf", "tahoma.ttf"})
        ASSERT_FALSE(QX::FindFontFile(name, path)) << name << " found at " << path;
    Open();
    Picture bare;
    ASSERT_TRUE(Frame("editor-no-system-fonts", bare));
    // Text where text must be: the banner's, the labels and group names
    // along the bottom, the history titles.
    EXPECT_GT(bare.Count(kBannerText.x0, kBannerText.y0, kBannerText.x1, kBannerText.y1, bright),
              100);
    EXPECT_GT(bare.Count(kLevelLabel.x0, kLevelLabel.y0, kLevelLabel.x1, kLevelLabel.y1, bright),
              20);
    // The titles are grey (0.7) on the display's 0.3.
    EXPECT_GT(bare.Count(kHistoryTitle.x0, kHistoryTitle.y0, kHistoryTitle.x1, kHistoryTitle.y1,
                         [](Rgb p) { return p.r > 130 && p.g > 130 && p.b > 130; }),
              50);
    // The same faces as the system's copies: the same picture.
    EXPECT_LT(differingPixels(system, bare), 10);
    // History lines, in the fixed font.
    host.sendEvents({{100, {0x93, 0x3C, 0x64}}});
    Process(1);
    // A frame under way while the block ran still shows the history before
    // it: the next one has the line.
    Picture lines;
    for (int frame = 0; frame < 3; ++frame) {
        ASSERT_TRUE(Frame("history-no-system-fonts", lines));
        if (lines.Count(kLeftDisplayX0, kLinesBottom, kLeftDisplayX1, kLinesTop, bright) > 100)
            break;
    }
    EXPECT_GT(lines.Count(kLeftDisplayX0, kLinesBottom, kLeftDisplayX1, kLinesTop, bright), 100);

    Click(kTestButton);
    Picture test;
    ASSERT_TRUE(Frame("editor-test-no-system-fonts", test));
    EXPECT_TRUE(near(test.At(kSourceField), 0.19f, 0.19f, 0.225f))
        << describe(test.At(kSourceField));
}

// The example skin of the repository, installed as a user installs a skin
// and selected in the preferences before the plug-in is loaded.
class SkinnedEditor : public ProductEditor {
protected:
    void SetUp() override {
        const fs::path skins = platform::skinsFolder("tavro");
        std::error_code error;
        fs::create_directories(skins, error);
        fs::copy(TAVRO_EXAMPLE_SKIN, skins / "Midnight", fs::copy_options::recursive, error);
        ASSERT_FALSE(error) << error.message();
        platform::writeSkinPreference("Midnight");
        ProductEditor::SetUp();
    }
    void TearDown() override {
        ProductEditor::TearDown();
        platform::writeSkinPreference("");
    }
};

TEST_F(SkinnedEditor, TheExampleSkinChangesTheColoursAndTheWindowSize) {
    ERect* rect = nullptr;
    host.dispatch(effEditGetRect, 0, 0, &rect);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, 1000);
    EXPECT_EQ(rect->bottom - rect->top, 480);
    Open();
    Picture skinned;
    ASSERT_TRUE(Frame("editor-skin-midnight", skinned));
    ASSERT_EQ(skinned.height(), 480);
    EXPECT_TRUE(near(skinned.At(kWindowBackground), 0.08f, 0.09f, 0.14f))
        << describe(skinned.At(kWindowBackground));
    // The rest of the layout is the built-in one: the history displays.
    EXPECT_TRUE(near(skinned.At(kLeftHistoryFill), 0.3f, 0.3f, 0.3f));
}

// Ends the test program when what it guards has not come back within the
// bound: a hang fails the test rather than the whole run.
class Watchdog {
public:
    Watchdog(const char* what, std::chrono::seconds bound)
        : started_(std::chrono::steady_clock::now()), thread_([this, what, bound] {
              std::unique_lock<std::mutex> lock(mutex_);
              if (!done_.wait_for(lock, bound, [this] { return finished_; })) {
                  std::fprintf(stderr, "%s did not return within %lld s\n", what,
                               static_cast<long long>(bound.count()));
                  std::_Exit(1);
              }
          }) {}
    ~Watchdog() { Stop(); }
    // How long the guarded call took.
    std::chrono::milliseconds Stop() {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            finished_ = true;
        }
        done_.notify_all();
        if (thread_.joinable())
            thread_.join();
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - started_);
    }

private:
    std::chrono::steady_clock::time_point started_;
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread thread_;
};

// A skin whose gui.lua is the test's own, installed before the plug-in is
// loaded; loading, opening and closing are each bounded.
class SkinWithAScript : public ProductEditor {
protected:
    void SetUp() override {}
    void Load(const std::string& guiLua) {
        const fs::path resources =
            fs::path(platform::skinsFolder("tavro")) / "Script" / "Contents" / "Resources";
        fs::create_directories(resources);
        std::ofstream(resources / "gui.lua", std::ios::binary) << guiLua;
        platform::writeSkinPreference("Script");
        Watchdog watchdog("loading the plug-in", std::chrono::seconds(20));
        ProductEditor::SetUp();
    }
    void TearDown() override {
        Watchdog watchdog("closing the plug-in", std::chrono::seconds(20));
        ProductEditor::TearDown();
        platform::writeSkinPreference("");
    }
    // effEditClose, then effClose: how long each took.
    void CloseBoth(std::chrono::milliseconds& editClose, std::chrono::milliseconds& close) {
        {
            Watchdog watchdog("effEditClose", std::chrono::seconds(20));
            host.dispatch(effEditClose);
            open_ = false;
            editClose = watchdog.Stop();
        }
        Watchdog watchdog("effClose", std::chrono::seconds(20));
        host.close();
        close = watchdog.Stop();
    }
};

TEST_F(SkinWithAScript, NoSkinCodeRunsWhileTheHostCreatesThePlugin) {
    Load("setParameter('Swing', 70)\n");
    // Not a word to the host from inside VSTPluginMain.
    EXPECT_TRUE(host.automation().empty());
    ERect* rect = nullptr;
    host.dispatch(effEditGetRect, 0, 0, &rect);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, kWidth);
}

TEST_F(SkinWithAScript, ASkinThatNeverReturnsStallsNeitherLoadingNorOpeningNorClosing) {
    Load("while true do end\n");
    ERect* rect = nullptr;
    {
        Watchdog watchdog("effEditGetRect", std::chrono::seconds(20));
        host.dispatch(effEditGetRect, 0, 0, &rect);
    }
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, kWidth);
    EXPECT_EQ(rect->bottom - rect->top, kHeight);
    {
        Watchdog watchdog("effEditOpen", std::chrono::seconds(30));
        Open();
    }
    // The built-in layout follows the skin's script.
    Picture picture;
    ASSERT_TRUE(Frame("editor-after-stuck-skin", picture));
    EXPECT_TRUE(near(picture.At(kPrefsFill), 0.36f, 0.36f, 0.36f));
    // And the musician is told so, over the banner.
    EXPECT_GT(picture.Count(kStatusX0, kStatusY0, kStatusX1, kStatusY1, warningText), 150);
    std::chrono::milliseconds editClose{}, close{};
    CloseBoth(editClose, close);
    EXPECT_LT(editClose, std::chrono::seconds(6));
    EXPECT_LT(close, std::chrono::seconds(6));
}

TEST_F(SkinWithAScript, AButtonWhoseFunctionNeverReturnsLetsTheEditorClose) {
    Load("toggleTest = function() while true do end end\n");
    Open();
    {
        // Where input arrives on the host's thread (Windows), the click
        // itself comes back once the function has had its time.
        Watchdog watchdog("the click", std::chrono::seconds(20));
        Click(kTestButton);
    }
    std::chrono::milliseconds editClose{}, close{};
    CloseBoth(editClose, close);
    EXPECT_LT(editClose, std::chrono::seconds(6));
    EXPECT_LT(close, std::chrono::seconds(6));
}

// A skin whose font lists name only fonts that exist nowhere: every text is
// gone, and nothing else with it.
class FontlessSkinEditor : public ProductEditor {
protected:
    void SetUp() override {
        const fs::path resources =
            fs::path(platform::skinsFolder("tavro")) / "Fontless" / "Contents" / "Resources";
        std::error_code error;
        fs::create_directories(resources, error);
        ASSERT_FALSE(error) << error.message();
        std::ofstream(resources / "gui.lua") << R"(
local function missing() return { { name = "NoSuchFont-7f3a.ttf", size = 12 } } end
getFont, getLabelFont, getTextFieldFont, getFixedFont = missing, missing, missing, missing
)";
        platform::writeSkinPreference("Fontless");
        ProductEditor::SetUp();
    }
    void TearDown() override {
        ProductEditor::TearDown();
        platform::writeSkinPreference("");
    }
};

TEST_F(FontlessSkinEditor, WithoutAnyFontTheFieldsAndHistoryDisplaysAreStillDrawn) {
    Open();
    Picture normal;
    ASSERT_TRUE(Frame("editor-fontless-skin", normal));
    EXPECT_EQ(normal.Count(kBannerText.x0, kBannerText.y0, kBannerText.x1, kBannerText.y1, bright),
              0);
    EXPECT_TRUE(near(normal.At(kBannerFill), 0.31f, 0.31f, 0.325f))
        << describe(normal.At(kBannerFill));
    EXPECT_TRUE(near(normal.At(kFontlessLeftHistory), 0.3f, 0.3f, 0.3f))
        << describe(normal.At(kFontlessLeftHistory));
    EXPECT_TRUE(near(normal.At(kFontlessRightHistory), 0.3f, 0.3f, 0.3f));
    EXPECT_TRUE(near(normal.At(kFontlessLevelField), 0.8f, 0.8f, 0.85f))
        << describe(normal.At(kFontlessLevelField));

    Click(kTestButton);
    Picture test;
    ASSERT_TRUE(Frame("editor-test-fontless-skin", test));
    EXPECT_TRUE(near(test.At(kSourceField), 0.19f, 0.19f, 0.225f))
        << describe(test.At(kSourceField));
    EXPECT_TRUE(near(test.At(kFontlessLeftHistory), 0.3f, 0.3f, 0.3f));
}

// ---- What the musician must act on, in the editor's status line -------------------------------

// Each case provokes one fault before or after the editor opens, then waits
// for a frame whose status line shows it; a click there dismisses it.
class EditorErrors : public ProductEditor {
protected:
    void SetUp() override {}
    void TearDown() override {
        ProductEditor::TearDown();
        platform::writeIntPreference(platform::kPrefOscBasePort, platform::kDefaultOscBasePort);
        std::error_code ignored;
        fs::remove_all(platform::scriptsFolder("tavro"), ignored);
    }
    // Waits, within a generous bound, for a frame whose status line has at
    // least `pixels` pixels for which `colour` holds between x0 and x1.
    bool StatusShows(const std::string& name, bool (*colour)(Rgb), Picture& picture,
                     int x0 = kStatusX0, int x1 = kStatusX1, int pixels = 150) {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        do {
            Pump(50);
            if (Frame(name, picture) &&
                picture.Count(x0, kStatusY0, x1, kStatusY1, colour) >= pixels)
                return true;
        } while (std::chrono::steady_clock::now() < giveUp);
        return false;
    }
    // With the pointer on it, the line has the whole banner: the whole text,
    // with what to do at its end, reaches into the banner's right half.
    bool StatusShowsInFull(const std::string& name, bool (*colour)(Rgb), Picture& picture) {
        window->MovePointer(kStatusX0 + 60, kHeight - (kStatusY0 + kStatusY1) / 2);
        return StatusShows(name, colour, picture, kStatusHalf + 10, kStatusX1, 100);
    }
    // Waits likewise for a frame without the line.
    bool StatusGone(const std::string& name, Picture& picture) {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (Frame(name, picture) && StatusPixels(picture) > 0 &&
               std::chrono::steady_clock::now() < giveUp)
            Pump(50);
        return StatusPixels(picture) == 0;
    }
    int StatusPixels(const Picture& picture) {
        return picture.Count(kStatusX0, kStatusY0, kStatusX1, kStatusY1,
                             [](Rgb p) { return errorText(p) || warningText(p); });
    }
};

TEST_F(EditorErrors, AnOscPortInUseIsShownUntilClicked) {
    // Another program on the port this instance will ask for.
    std::unique_ptr<UdpReceiveSocket> blocker;
    std::mt19937 pick(std::random_device{}());
    int base = 0;
    for (int attempt = 0; attempt < 50 && !blocker; ++attempt) {
        base = 20000 + static_cast<int>(pick() % 30000);
        try {
            blocker = std::make_unique<UdpReceiveSocket>(
                IpEndpointName(IpEndpointName::ANY_ADDRESS, base + 7));
        } catch (const std::runtime_error&) {
        }
    }
    ASSERT_TRUE(blocker);
    platform::writeIntPreference(platform::kPrefOscBasePort, base);
    ProductEditor::SetUp();
    Open();
    Picture quiet;
    ASSERT_TRUE(Frame("status-none", quiet));
    EXPECT_EQ(StatusPixels(quiet), 0);

    SetNative(kParamOscPortOffset, 7, 0, 100);
    Picture shown;
    EXPECT_TRUE(StatusShows("status-osc-port", errorText, shown));
    EXPECT_TRUE(StatusShowsInFull("status-osc-port-full", errorText, shown));

    Click({kStatusX0 + 100, (kStatusY0 + kStatusY1) / 2});
    Picture read;
    EXPECT_TRUE(StatusGone("status-osc-read", read));
}

TEST_F(EditorErrors, AScriptWhoseMidiCallbackFailsIsShown) {
    const fs::path scripts = platform::scriptsFolder("tavro");
    fs::create_directories(scripts);
    std::ofstream(scripts / "echo.lua", std::ios::binary)
        << "requestAllProgramChange(function(channel, program)\n"
           "  local missing\n"
           "  return missing.program\n"
           "end)\n";
    ProductEditor::SetUp();
    Open();
    // Raised on the audio thread, said by another.
    host.sendEvents({{0, {0xC0, 0x05}}, {40, {0xC0, 0x06}}});
    Process(1);
    Picture shown;
    EXPECT_TRUE(StatusShows("status-script", errorText, shown));
    EXPECT_TRUE(StatusShowsInFull("status-script-full", errorText, shown));
}

TEST_F(EditorErrors, AMissingMidiSourceOfARestoredProjectIsShown) {
    ProductEditor::SetUp();
    // A project saved with a cable the computer no longer has: the state of
    // one with "Cable A", the name changed to one not offered.
    devices_.addDevice("Cable A");
    ASSERT_TRUE(render::setMidiSource(host, "Cable A"));
    void* data = nullptr;
    const auto size = host.dispatch(effGetChunk, 0, 0, &data);
    ASSERT_GT(size, 0);
    std::string saved(static_cast<const char*>(data), static_cast<std::size_t>(size));
    const auto at = saved.find("Cable A");
    ASSERT_NE(at, std::string::npos);
    saved[at + 6] = 'Z';
    Open();
    host.dispatch(effSetChunk, 0, static_cast<VstIntPtr>(saved.size()), saved.data());
    Picture shown;
    EXPECT_TRUE(StatusShows("status-midi-source", warningText, shown));
    EXPECT_TRUE(StatusShowsInFull("status-midi-source-full", warningText, shown));
    EXPECT_EQ(shown.Count(kStatusX0, kStatusY0, kStatusX1, kStatusY1, errorText), 0);

    // Another source chosen that is there: nothing is missing any more.
    ASSERT_TRUE(render::setMidiSource(host, "Loop"));
    Picture resolved;
    EXPECT_TRUE(StatusGone("status-midi-source-resolved", resolved));
}

}  // namespace
