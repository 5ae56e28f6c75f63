#include "GuiTestSupport.h"

#include <atomic>
#include <random>

#include "../../gui/src/GL.h"

namespace guitest {
namespace {

namespace fs = std::filesystem;

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

fs::path& runFolder() {
    static fs::path folder;
    return folder;
}

class RunEnvironment : public testing::Environment {
public:
    void SetUp() override {
        std::random_device random;
        runFolder() = fs::temp_directory_path() /
                      ("tavro-gui-tests-" + std::to_string(random()) + std::to_string(random()));
        fs::create_directories(runFolder());
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(runFolder(), ignored);
    }
};

[[maybe_unused]] testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new RunEnvironment);

}  // namespace

std::string systemTestFontPath() {
    return TAVRO_TEST_FONT_PATH;
}

fs::path freshFolder(const std::string& hint) {
    static std::atomic<int> counter{0};
    fs::path folder = runFolder() / (hint + "-" + std::to_string(++counter));
    fs::create_directories(folder);
    return folder;
}

int RecordingHost::Count(HostCall::Kind kind, int index) const {
    int n = 0;
    for (const HostCall& call : calls) {
        n += call.kind == kind && call.index == index;
    }
    return n;
}

void GuiTest::SetUp() {
    platform::installPreferenceStore(&preferences);
    platform::installMessageBoxSink(&messages);
    plugin = std::make_unique<QX4Controller::ZephCorvane>(hostCallback);
    manager = std::make_unique<QX::Manager>(plugin.get());
    manager->host = &host;
}

void GuiTest::TearDown() {
    manager.reset();
    gl.reset();
    plugin.reset();
    platform::installMessageBoxSink(nullptr);
    platform::installPreferenceStore(nullptr);
}

QX::Font* GuiTest::AddFont(const std::string& path, int size) {
    auto* font = new QX::Font(path, size);
    manager->fonts.push_back(font);
    return font;
}

bool GuiTest::StartGl(int width, int height) {
    gl = TestGlContext::Create(width, height);
    if (!gl) {
        return false;
    }
    glWidth = width;
    glHeight = height;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, width, 0, height, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClearColor(0, 0, 0, 0);
    glClearDepth(1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    return true;
}

std::vector<unsigned char> GuiTest::ReadPixels() {
    std::vector<unsigned char> pixels(static_cast<std::size_t>(glWidth) * glHeight * 4);
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, glWidth, glHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

}  // namespace guitest
