#include "ScriptTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>

#include <lua.hpp>

#include "platform/Folders.h"
#include "platform/testing/TestAccess.h"

namespace scripttest {
namespace {

namespace fs = std::filesystem;
using platform::testsupport::setEnvironmentVariable;

fs::path& runFolder() {
    static fs::path folder;
    return folder;
}

// Preferences and user folders of the whole run live in a temporary folder.
class RunEnvironment : public testing::Environment {
public:
    void SetUp() override {
        std::random_device random;
        runFolder() =
            fs::temp_directory_path() /
            ("tavro-script-tests-" + std::to_string(random()) + "-" + std::to_string(random()));
        fs::create_directories(runFolder());
        setEnvironmentVariable("XDG_CONFIG_HOME", (runFolder() / "config").string().c_str());
        setEnvironmentVariable("XDG_DATA_HOME", (runFolder() / "data").string().c_str());
        setEnvironmentVariable("APPDATA", (runFolder() / "appdata").string().c_str());
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(runFolder(), ignored);
    }
};

[[maybe_unused]] testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new RunEnvironment);

bool readVariable(const char* name, std::string& value) {
    const char* current = std::getenv(name);
    value = current ? current : "";
    return current != nullptr;
}

}  // namespace

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

UserFolder::UserFolder() {
    static std::atomic<int> counter{0};
    base_ = runFolder() / ("user-" + std::to_string(++counter));
    fs::create_directories(base_);
    hadAppData_ = readVariable("APPDATA", oldAppData_);
    hadDataHome_ = readVariable("XDG_DATA_HOME", oldDataHome_);
    setEnvironmentVariable("APPDATA", base_.string().c_str());
    setEnvironmentVariable("XDG_DATA_HOME", base_.string().c_str());
}

UserFolder::~UserFolder() {
    setEnvironmentVariable("APPDATA", hadAppData_ ? oldAppData_.c_str() : nullptr);
    setEnvironmentVariable("XDG_DATA_HOME", hadDataHome_ ? oldDataHome_.c_str() : nullptr);
}

std::string UserFolder::scriptsFolder() const {
    return platform::scriptsFolder("tavro");
}

void UserFolder::addScript(const std::string& name, const std::string& text) {
    fs::create_directories(scriptsFolder());
    std::ofstream(scriptsFolder() + name, std::ios::binary) << text;
}

RecordingHelper::~RecordingHelper() {
    // Timer callbacks print; they must be over before the output goes.
    StopTimers();
}

std::string RecordingHelper::output() {
    std::lock_guard<std::mutex> guard(mutex_);
    return output_;
}

void RecordingHelper::writeDebugOutput(const char* text) {
    std::lock_guard<std::mutex> guard(mutex_);
    output_ += text;
}

std::unique_ptr<QX::MidiScripting> TestHelpers::createMidiScripting(ZephCorvaneBase& plugin) const {
    return std::make_unique<RecordingHelper>(plugin);
}

std::unique_ptr<QX::OscServerControl> TestHelpers::createOscServer(ZephCorvaneBase&,
                                                                   QX::MidiScripting*) const {
    return nullptr;
}

HookedPlugin::HookedPlugin(const QX::PluginHelpers* helpers)
    : QX4Controller::ZephCorvane(hostCallback, helpers) {}

HookedPlugin::~HookedPlugin() {
    // Timer callbacks reach these hooks and the plug-in's OSC server, which
    // destroyHelpers replaces: the timers stop before anything goes.
    destroyHelpers();
}

void HookedPlugin::scriptSetScale(const char* name, int mask) {
    std::lock_guard<std::mutex> guard(mutex_);
    scaleNames_.push_back(name ? name : "");
    scales_.push_back(mask);
}

std::vector<std::string> HookedPlugin::scaleNames() {
    std::lock_guard<std::mutex> guard(mutex_);
    return scaleNames_;
}

std::vector<int> HookedPlugin::scales() {
    std::lock_guard<std::mutex> guard(mutex_);
    return scales_;
}

RecordingHelper& HookedPlugin::helper() {
    return *dynamic_cast<RecordingHelper*>(midiScripting());
}

std::string run(QX::LuaMIDIHelper& helper, const std::string& code) {
    std::lock_guard<std::recursive_mutex> guard(helper.luaLock());
    lua_State* L = helper.GetLuaState();
    const int top = lua_gettop(L);
    std::string error;
    if (luaL_loadbuffer(L, code.data(), code.size(), "=test") != 0 || lua_pcall(L, 0, 0, 0) != 0) {
        error = lua_tostring(L, -1);
        lua_pop(L, 1);
    }
    EXPECT_EQ(lua_gettop(L), top) << code;
    return error;
}

namespace {

// Leaves the expression's value on the stack.
void evaluate(lua_State* L, const std::string& expression) {
    const std::string code = "return " + expression;
    if (luaL_loadbuffer(L, code.data(), code.size(), "=test") != 0 || lua_pcall(L, 0, 1, 0) != 0) {
        ADD_FAILURE() << expression << ": " << lua_tostring(L, -1);
    }
}

}  // namespace

double number(QX::LuaMIDIHelper& helper, const std::string& expression) {
    std::lock_guard<std::recursive_mutex> guard(helper.luaLock());
    lua_State* L = helper.GetLuaState();
    evaluate(L, expression);
    const double value = lua_tonumber(L, -1);
    lua_pop(L, 1);
    return value;
}

std::string text(QX::LuaMIDIHelper& helper, const std::string& expression) {
    std::lock_guard<std::recursive_mutex> guard(helper.luaLock());
    lua_State* L = helper.GetLuaState();
    evaluate(L, expression);
    const char* value = lua_tostring(L, -1);
    std::string result = value ? value : "<nil>";
    lua_pop(L, 1);
    return result;
}

QX::MessageQueueItem midiItem(int status, int channel, int data1, int data2) {
    QX::MessageQueueItem item;
    item.kind = QX::MessageQueueItem::kMidi;
    item.status = static_cast<std::uint8_t>(status);
    item.channel = static_cast<std::uint8_t>(channel);
    item.data1 = static_cast<std::uint8_t>(data1);
    item.data2 = static_cast<std::uint8_t>(data2);
    return item;
}

}  // namespace scripttest
