#include "LayoutFixture.h"

#include "WineFonts.h"

#include <atomic>

namespace layouttest {

namespace {

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
                      ("tavro-layout-tests-" + std::to_string(random()) + std::to_string(random()));
        fs::create_directories(runFolder());
        testfonts::copyDejaVuIntoWine();
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(runFolder(), ignored);
    }
};

[[maybe_unused]] testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new RunEnvironment);

}  // namespace

void LayoutTest::SetUp() {
    static std::atomic<int> counter{0};
    dataFolder = runFolder() / ("data-" + std::to_string(++counter));
    fs::create_directories(dataFolder);
    // The skins folder lies below these (Windows: APPDATA; Linux:
    // XDG_DATA_HOME).
    platform::testsupport::setEnvironmentVariable("APPDATA", dataFolder.string().c_str());
    platform::testsupport::setEnvironmentVariable("XDG_DATA_HOME", dataFolder.string().c_str());
    platform::installPreferenceStore(&preferences);
    platform::installMessageBoxSink(&messages);
    plugin = std::make_unique<QX4Controller::ZephCorvane>(hostCallback);
}

void LayoutTest::TearDown() {
    // As the editor closes: the Lua state first, then the elements.
    gui.reset();
    manager.reset();
    plugin.reset();
    platform::installMessageBoxSink(nullptr);
    platform::installPreferenceStore(nullptr);
}

void LayoutTest::Build() {
    gui = std::make_unique<CapturingGui>(*plugin);
    gui->GetWindowSize(width, height);
    manager = std::make_unique<ALmanager>(plugin.get());
    manager->width = width;
    manager->height = height;
    manager->host = &host;
    gui->CreateUI(*manager);
}

std::string LayoutTest::Run(const std::string& code) {
    lua_State* L = gui->state();
    if (!L)
        return "no Lua state";
    const int top = lua_gettop(L);
    std::string error;
    if (luaL_loadstring(L, code.c_str()) != 0 || lua_pcall(L, 0, 0, 0) != 0) {
        error = lua_tostring(L, -1);
        lua_pop(L, 1);
    }
    EXPECT_EQ(lua_gettop(L), top) << code;
    return error;
}

fs::path LayoutTest::MakeSkin(const std::string& name) {
    const fs::path skin = fs::path(platform::skinsFolder("tavro")) / name;
    fs::create_directories(skin / "Contents" / "Resources");
    preferences.skin = name;
    return skin / "Contents" / "Resources";
}

void LayoutTest::WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::vector<QX::NamedGroup*> LayoutTest::GroupsNamed(const std::string& name) const {
    std::vector<QX::NamedGroup*> found;
    for (QX::NamedGroup* group : ElementsOf<QX::NamedGroup>())
        if (group->name == name)
            found.push_back(group);
    return found;
}

QX::NamedGroup* LayoutTest::Group(const std::string& name) const {
    const auto found = GroupsNamed(name);
    return found.empty() ? nullptr : found.front();
}

}  // namespace layouttest
