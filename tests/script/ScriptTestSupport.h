#pragma once
// Shared by the script tests: a private per-user folder for every test, the
// plug-in built with the Lua MIDI helper, and ways to run Lua in it.

#include <array>
#include <atomic>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/ZephCorvane.h"
#include "plugin/PluginHelpers.h"
#include "script/CrvnLuaMIDIHelper.h"

struct lua_State;

namespace scripttest {

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float);

// Points XDG_DATA_HOME and APPDATA at a new, empty folder of the run, whose
// Scripts folder the helper will read.
class UserFolder {
public:
    UserFolder();
    // Writes a script into the Scripts folder.
    void addScript(const std::string& name, const std::string& text);
};

// The plug-in's helper, with its debugger output kept for the tests.
class RecordingHelper : public QX::CrvnLuaMIDIHelper {
public:
    using CrvnLuaMIDIHelper::CrvnLuaMIDIHelper;
    ~RecordingHelper() override;
    std::string output();

protected:
    void writeDebugOutput(const char* text) override;

private:
    std::mutex mutex_;
    std::string output_;
};

// Builds RecordingHelper and no OSC server.
class TestHelpers : public QX::PluginHelpers {
public:
    std::unique_ptr<QX::MidiScripting> createMidiScripting(ZephCorvaneBase& plugin) const override;
    std::unique_ptr<QX::OscServerControl> createOscServer(ZephCorvaneBase&,
                                                          QX::MidiScripting*) const override;
};

// The plug-in with the hooks the helper forwards to counted.
class HookedPlugin : public QX4Controller::ZephCorvane {
public:
    explicit HookedPlugin(const QX::PluginHelpers* helpers);
    ~HookedPlugin() override;
    void scriptNoteOn(int, int, int) override { ++noteOns; }
    void scriptNoteOff(int, int, int) override { ++noteOffs; }
    void scriptController(int, int, int) override { ++controllers; }
    void scriptPitchBend(int, int value) override { lastPitchBend = value; }
    void scriptSetScale(const char* name, int mask) override;

    RecordingHelper& helper();
    std::vector<int> scales();

    std::atomic<int> noteOns{0}, noteOffs{0}, controllers{0}, lastPitchBend{-1};

private:
    std::mutex mutex_;
    std::vector<int> scales_;
};

// Sets the block size and resumes the plug-in.
void resume(AEffect* effect, int blockSize);

// Up to four short MIDI messages as the host hands them to effProcessEvents,
// `spacing` frames apart. block() neither allocates nor locks.
class HostEvents {
public:
    HostEvents(std::initializer_list<std::array<int, 3>> messages, int spacing);
    VstMidiEvent& operator[](int index) { return events_[index]; }
    void block(AEffect* effect, float* samples, int frames);

private:
    VstMidiEvent events_[4]{};
    struct {
        VstInt32 numEvents;
        VstIntPtr reserved;
        VstEvent* events[4];
    } list_{};
};

// A test with its own user folder; start() builds the plug-in, once the
// test has added its scripts, and its Lua state.
class ScriptedTest : public testing::Test {
protected:
    HookedPlugin& start();
    RecordingHelper& helper() { return plugin->helper(); }

    UserFolder folder;
    TestHelpers helpers;
    std::unique_ptr<HookedPlugin> plugin;
};

// Runs a chunk (named "=test") under the Lua lock; "" when it succeeds,
// else the error text. Fails the test if the chunk leaves the stack changed.
std::string run(QX::LuaMIDIHelper& helper, const std::string& code);
// Runs `return <expression>` and answers the result as a number or text.
double number(QX::LuaMIDIHelper& helper, const std::string& expression);
std::string text(QX::LuaMIDIHelper& helper, const std::string& expression);

// A kind 1 message item as the host event queue holds it.
QX::MessageQueueItem midiItem(int status, int channel, int data1, int data2);

}  // namespace scripttest
