#include "ScriptTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
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

}  // namespace

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

UserFolder::UserFolder() {
    static std::atomic<int> counter{0};
    const fs::path base = runFolder() / ("user-" + std::to_string(++counter));
    setEnvironmentVariable("APPDATA", base.string().c_str());
    setEnvironmentVariable("XDG_DATA_HOME", base.string().c_str());
}

void UserFolder::addScript(const std::string& name, const std::string& text) {
    const std::string scripts = platform::scriptsFolder("tavro");
    fs::create_directories(scripts);
    std::ofstream(scripts + name, std::ios::binary) << text;
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

void HookedPlugin::scriptSetScale(const char*, int mask) {
    std::lock_guard<std::mutex> guard(mutex_);
    scales_.push_back(mask);
}

std::vector<int> HookedPlugin::scales() {
    std::lock_guard<std::mutex> guard(mutex_);
    return scales_;
}

RecordingHelper& HookedPlugin::helper() {
    return *dynamic_cast<RecordingHelper*>(midiScripting());
}

HookedPlugin& ScriptedTest::start() {
    plugin = std::make_unique<HookedPlugin>(&helpers);
    plugin->helper().GetLuaState();
    return *plugin;
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

std::string text(QX::LuaMIDIHelper& helper, const std::string& expression) {
    std::lock_guard<std::recursive_mutex> guard(helper.luaLock());
    lua_State* L = helper.GetLuaState();
    const std::string code = "return " + expression;
    if (luaL_loadbuffer(L, code.data(), code.size(), "=test") != 0 || lua_pcall(L, 0, 1, 0) != 0)
        ADD_FAILURE() << expression << ": " << lua_tostring(L, -1);
    const char* value = lua_tostring(L, -1);
    std::string result = value ? value : "<nil>";
    lua_pop(L, 1);
    return result;
}

double number(QX::LuaMIDIHelper& helper, const std::string& expression) {
    return std::strtod(text(helper, expression).c_str(), nullptr);
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

void resume(AEffect* effect, int blockSize) {
    effect->dispatcher(effect, effSetBlockSize, 0, blockSize, nullptr, 0.0f);
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
}

HostEvents::HostEvents(std::initializer_list<std::array<int, 3>> messages, int spacing) {
    for (const std::array<int, 3>& message : messages) {
        VstMidiEvent& event = events_[list_.numEvents];
        event.type = kVstMidiType;
        event.byteSize = sizeof event;
        event.deltaFrames = spacing * list_.numEvents;
        for (int b = 0; b < 3; ++b)
            event.midiData[b] = static_cast<char>(message[b]);
        list_.events[list_.numEvents++] = reinterpret_cast<VstEvent*>(&event);
    }
}

void HostEvents::block(AEffect* effect, float* samples, int frames) {
    effect->dispatcher(effect, effProcessEvents, 0, 0, &list_, 0.0f);
    float* outputs[1] = {samples};
    effect->processReplacing(effect, nullptr, outputs, frames);
}

}  // namespace scripttest
