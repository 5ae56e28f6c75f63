// tavro-view as a user runs it, against a plug-in whose editor paints what
// it received (ViewTestPlugin.cpp): the screenshot shows the editor at the
// right size, and the synthesised input arrives in order, at the right
// places, with what it asks of the host recorded.

#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;
    std::string output;
};

// Runs a shell command line, standard error with the output.
Outcome RunCommand(const std::string& command) {
    Outcome run;
    std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        run.output.append(buffer, n);
    }
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

Outcome View(const std::vector<std::string>& arguments) {
    std::string command = Quote(TAVRO_VIEW);
    for (const std::string& argument : arguments) {
        command += " " + Quote(argument);
    }
    return RunCommand(command);
}

struct Image {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    std::vector<int> At(int x, int y) const {
        const unsigned char* p = rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3;
        return {p[0], p[1], p[2]};
    }
};

bool ReadPng(const fs::path& path, Image& image) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) {
        return false;
    }
    png.format = PNG_FORMAT_RGB;
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    image.rgb.resize(PNG_IMAGE_SIZE(png));
    return png_image_finish_read(&png, nullptr, image.rgb.data(), 0, nullptr) != 0;
}

const std::vector<int> kGreen{0, 255, 0};
const std::vector<int> kBlue{0, 0, 255};
const std::vector<int> kYellow{255, 255, 0};

class ViewTool : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = fs::temp_directory_path() / ("tavro-view-test-" + std::to_string(getpid()));
        fs::create_directories(folder);
        shot = folder / (std::string(info->name()) + ".png");
    }
    void TearDown() override { fs::remove_all(folder); }

    // A screenshot after the given input options, read back.
    Image Screenshot(std::vector<std::string> options, Outcome* run = nullptr) {
        // A generous wait after the input: a GL state the software
        // rasteriser meets for the first time costs it a compilation, which
        // takes long under the thread sanitizer with a cold shader cache.
        std::vector<std::string> arguments{VIEW_TEST_PLUGIN, "--screenshot", shot.string(),
                                           "--after",        "300",          "--settle",
                                           "1500",           "--verbose"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        Outcome result = View(arguments);
        EXPECT_EQ(result.status, 0) << result.output;
        Image image;
        EXPECT_TRUE(ReadPng(shot, image)) << result.output;
        if (run != nullptr) {
            *run = result;
        }
        return image;
    }

    fs::path folder;
    fs::path shot;
};

TEST_F(ViewTool, AClickIsPaintedWhereItWasAndTheHostHearsTheGesture) {
    Outcome run;
    Image image = Screenshot({"--click", "60,50"}, &run);
    ASSERT_EQ(image.width, 300);
    ASSERT_EQ(image.height, 200);
    EXPECT_EQ(image.At(60, 50), kYellow);
    EXPECT_EQ(image.At(54, 50), kGreen);
    EXPECT_EQ(image.At(60, 44), kGreen);
    EXPECT_EQ(image.At(299, 199), kGreen);
    EXPECT_NE(run.output.find("host: begin edit 0\nhost: automate 0 0.200000\nhost: end edit 0\n"),
              std::string::npos)
        << run.output;
}

TEST_F(ViewTool, TheEditorAsOpenedShowsTheParameterSetBeforeIt) {
    // "50" is what the test plug-in displays for 0.5.
    Image image = Screenshot({"--set", "position=50"});
    ASSERT_EQ(image.width, 300);
    EXPECT_NEAR(image.At(10, 10)[0], 128, 1);
    EXPECT_EQ(image.At(10, 10)[1], 64);

    Outcome run = View({VIEW_TEST_PLUGIN, "--set", "Volume=1", "--screenshot", shot.string()});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.output.find("the plug-in has no parameter 'Volume'"), std::string::npos)
        << run.output;
}

TEST_F(ViewTool, ADoubleClickAndModifiersReachTheEditor) {
    EXPECT_EQ(Screenshot({"--double-click", "100,100"}).At(200, 150), kBlue);
    EXPECT_EQ(Screenshot({"--modifiers", "shift", "--click", "100,100"}).At(200, 150),
              (std::vector<int>{255, 0, 255}));
    // Modifiers apply to the next input only; two clicks at one place are
    // kept apart far enough not to be a double-click.
    EXPECT_EQ(Screenshot({"--modifiers", "shift", "--click", "100,100", "--click", "100,100"})
                  .At(200, 150),
              kGreen);
}

TEST_F(ViewTool, DragWheelAndKeysArriveInOrder) {
    Image image = Screenshot({"--drag", "20,30,100,50"});
    EXPECT_EQ(image.At(200, 150), (std::vector<int>{255, 128, 0}));
    EXPECT_EQ(image.At(20, 30), kYellow);

    EXPECT_EQ(Screenshot({"--wheel", "100,100,1"}).At(10, 10), (std::vector<int>{255, 255, 255}));
    EXPECT_EQ(Screenshot({"--click", "10,10", "--wheel", "100,100,-2"}).At(200, 150),
              (std::vector<int>{128, 128, 128}));
    // Keys go to the editor once a click gave it the focus.
    EXPECT_EQ(Screenshot({"--click", "10,10", "--key", "ab\\n"}).At(200, 150),
              (std::vector<int>{0, 255, 255}));
    EXPECT_EQ(Screenshot({"--click", "10,10", "--press", "Return"}).At(200, 150),
              (std::vector<int>{0, 255, 255}));
}

TEST_F(ViewTool, TheWindowFollowsTheEditorsSizeRequest) {
    Outcome run;
    Image image = Screenshot({"--click", "10,10", "--key", "r"}, &run);
    EXPECT_EQ(image.width, 400);
    EXPECT_EQ(image.height, 250);
    EXPECT_EQ(image.At(399, 249), kGreen);
    EXPECT_NE(run.output.find("host: size window 400 x 250"), std::string::npos) << run.output;
}

TEST_F(ViewTool, ThePluginCanWriteTheFrameItself) {
    Image image = Screenshot({"--plugin-frame", "--click", "60,50"});
    ASSERT_EQ(image.width, 300);
    ASSERT_EQ(image.height, 200);
    EXPECT_EQ(image.At(60, 50), kYellow);
    EXPECT_EQ(image.At(60, 44), kGreen);
}

TEST_F(ViewTool, ItRunsUntilTheWindowIsClosed) {
    const std::string command = Quote(TAVRO_VIEW) + " " + Quote(VIEW_TEST_PLUGIN) +
                                " --after 0 & pid=$!; "
                                "for i in $(seq 50); do "
                                "  w=$(xdotool search --name 'tavro-view: View Test' | head -n1);"
                                "  [ -n \"$w\" ] && break; sleep 0.1; done; "
                                "sleep 1; xdotool windowclose \"$w\"; wait $pid";
    const auto start = std::chrono::steady_clock::now();
    Outcome run = RunCommand(command);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST_F(ViewTool, FailuresAreExplained) {
    Outcome run = View({VIEW_TEST_PLUGIN_WITHOUT_EDITOR, "--screenshot", shot.string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("has no editor (effFlagsHasEditor is not set)"), std::string::npos)
        << run.output;
    EXPECT_FALSE(fs::exists(shot));

    run = View({(folder / "missing.so").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("cannot load"), std::string::npos) << run.output;

    run = RunCommand("env -u DISPLAY " + Quote(TAVRO_VIEW) + " " + Quote(VIEW_TEST_PLUGIN) +
                     " --screenshot " + Quote(shot.string()));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("cannot open the X display"), std::string::npos) << run.output;

    run = RunCommand("VIEW_TEST_NO_WINDOW=1 " + Quote(TAVRO_VIEW) + " " + Quote(VIEW_TEST_PLUGIN) +
                     " --screenshot " + Quote(shot.string()));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("the editor showed no window within 5000 ms of effEditOpen "
                              "(which answered 0)"),
              std::string::npos)
        << run.output;
    EXPECT_FALSE(fs::exists(shot));

    run = View({VIEW_TEST_PLUGIN, "--click", "10"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.output.find("--click wants 2 whole numbers"), std::string::npos) << run.output;
}

}  // namespace
