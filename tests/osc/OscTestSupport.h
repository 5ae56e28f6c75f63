#pragma once
// Shared pieces of the OSC tests: packet building and reading, a transport
// that records instead of sending, a bare Lua state for the server, a
// preference store that fixes the OSC base port, and a plug-in whose OSC
// server is built around them.

#include <gtest/gtest.h>
#include <lua.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <osc/OscReceivedElements.h>

#include "engine/ZephCorvane.h"
#include "osc/OSCHelper.h"
#include "platform/Preferences.h"
#include "platform/testing/CapturedReports.h"
#include "plugin/Properties.h"

namespace osctest {

// ---- Packets ----------------------------------------------------------------------------------

// Bytes of a literal with embedded zeros: bytes("/a\0\0").
template <std::size_t N>
std::string bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

inline std::string padded(std::string text) {
    text.push_back('\0');
    while (text.size() % 4 != 0)
        text.push_back('\0');
    return text;
}

inline std::string bigEndian(std::uint32_t value) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<char>((value >> (24 - 8 * i)) & 0xFF);
    return out;
}

// A message built argument by argument.
class Message {
public:
    explicit Message(std::string address) : address_(std::move(address)) {}
    Message& i(std::int32_t value) {
        return raw('i', bigEndian(static_cast<std::uint32_t>(value)));
    }
    Message& f(float value) {
        std::uint32_t bits;
        std::memcpy(&bits, &value, 4);
        return raw('f', bigEndian(bits));
    }
    Message& s(const std::string& value) { return raw('s', padded(value)); }
    // A tag without data (T, F, N, I) or with raw data already encoded.
    Message& raw(char tag, const std::string& data = {}) {
        tags_ += tag;
        data_ += data;
        return *this;
    }
    operator std::string() const { return padded(address_) + padded(tags_) + data_; }

private:
    std::string address_;
    std::string tags_ = ",";
    std::string data_;
};

inline std::string bundle(const std::vector<std::string>& elements) {
    std::string out = bytes("#bundle\0") + bytes("\0\0\0\0\0\0\0\1");
    for (const std::string& element : elements)
        out += bigEndian(static_cast<std::uint32_t>(element.size())) + element;
    return out;
}

// A reply as text: the one message of the bundle, "/path ,tags arg arg...".
// Strings are quoted; T and F print as true and false.
inline std::string describeReply(const std::string& packet) {
    try {
        osc::ReceivedPacket received(packet.data(), packet.size());
        if (!received.IsBundle())
            return "(not a bundle)";
        osc::ReceivedBundle bundle(received);
        if (bundle.TimeTag() != 1 || bundle.ElementCount() != 1)
            return "(not one immediate message)";
        osc::ReceivedMessage message(*bundle.ElementsBegin());
        std::ostringstream out, args;
        out << message.AddressPattern() << " ,";
        for (auto a = message.ArgumentsBegin(); a != message.ArgumentsEnd(); ++a) {
            out << a->TypeTag();
            args << ' ';
            if (a->IsInt32())
                args << a->AsInt32();
            else if (a->IsFloat())
                args << a->AsFloat();
            else if (a->IsString())
                args << '"' << a->AsString() << '"';
            else if (a->IsBool())
                args << (a->AsBool() ? "true" : "false");
            else
                args << (a->IsNil() ? "nil" : "?");
        }
        return out.str() + args.str();
    } catch (const std::exception& e) {
        return std::string("(malformed: ") + e.what() + ")";
    }
}

// What the server prints when it refuses a message (or a whole datagram).
inline std::string refused(const std::string& address, const std::string& reason) {
    return "error while parsing message: " + address + ": " + reason + "\n";
}
inline std::string refused(const std::string& reason) {
    return "error while parsing message: " + reason + "\n";
}

// ---- A transport that records ----------------------------------------------------------------

struct SentPackets {
    IpEndpointName to;
    std::vector<std::string> packets;
};

class RecordingTransport : public QX::OscTransport {
public:
    // Only 127.0.0.1 resolves, and the name given to holdLookup, after the
    // test releases it.
    std::uint32_t resolveHost(const char* host) override {
        lookups.fetch_add(1);
        std::unique_lock<std::mutex> lock(holdMutex_);
        if (host != held_)
            return std::strcmp(host, "127.0.0.1") == 0 ? 0x7F000001 : 0;
        entered_ = true;
        holdChanged_.notify_all();
        holdChanged_.wait(lock, [&] { return released_; });
        returned_ = true;
        holdChanged_.notify_all();
        return heldAddress_;
    }
    std::uint32_t localAddressFor(const IpEndpointName&) override { return 0x7F000001; }
    void send(const IpEndpointName& to, const std::vector<std::string>& packets) override {
        std::lock_guard<std::mutex> guard(mutex_);
        sent_.push_back({to, packets});
    }

    std::vector<SentPackets> sent() const {
        std::lock_guard<std::mutex> guard(mutex_);
        return sent_;
    }
    // Every packet sent so far, described, in order.
    std::vector<std::string> replies() const {
        std::vector<std::string> out;
        for (const SentPackets& s : sent())
            for (const std::string& packet : s.packets)
                out.push_back(describeReply(packet));
        return out;
    }
    void clear() {
        std::lock_guard<std::mutex> guard(mutex_);
        sent_.clear();
    }
    // Waits (bounded) until `count` datagrams went out.
    bool waitForSends(std::size_t count) const {
        for (int i = 0; i < 500 && sent().size() < count; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return sent().size() >= count;
    }

    // A lookup of `host` hangs until releaseLookup(), then gives `address`:
    // a name server that does not answer.
    void holdLookup(const std::string& host, std::uint32_t address) {
        std::lock_guard<std::mutex> guard(holdMutex_);
        held_ = host;
        heldAddress_ = address;
    }
    // Bounded waits: a failing test must not hang.
    bool waitUntilLookupHangs() {
        std::unique_lock<std::mutex> lock(holdMutex_);
        return holdChanged_.wait_for(lock, std::chrono::seconds(5), [&] { return entered_; });
    }
    void releaseLookup() {
        std::unique_lock<std::mutex> lock(holdMutex_);
        released_ = true;
        holdChanged_.notify_all();
        holdChanged_.wait_for(lock, std::chrono::seconds(5),
                              [&] { return returned_ || !entered_; });
    }

    std::atomic<int> lookups{0};

private:
    mutable std::mutex mutex_;
    std::vector<SentPackets> sent_;
    std::mutex holdMutex_;
    std::condition_variable holdChanged_;
    std::string held_;
    std::uint32_t heldAddress_ = 0;
    bool entered_ = false, released_ = false, returned_ = false;
};

// ---- Lua --------------------------------------------------------------------------------------

// A Lua state of the test's own with the standard libraries. The server
// owns its Lua access, so it gets a forwarding copy of this one.
class TestLua : public QX::OscLuaAccess {
public:
    TestLua() : L_(luaL_newstate()) { luaL_openlibs(L_); }
    explicit TestLua(TestLua& target) : L_(nullptr), target_(&target) {}
    ~TestLua() override {
        if (L_)
            lua_close(L_);
    }
    lua_State* luaState() override { return target_->L_; }
    std::recursive_mutex& luaLock() override { return target_->lock_; }
    void noteOn(int channel, int note, int velocity) override {
        target_->lastNote = {channel, note, velocity};
    }
    void noteOff(int, int, int) override {}

    // Registers sendOSC, registerOSCPathForParameter(Normalized) and
    // registerOSCPathForFunction as globals calling into `helper`.
    void bind(QX::OSCHelper& helper) {
        const std::pair<const char*, lua_CFunction> functions[] = {
            {"sendOSC", [](lua_State* L) { return helperOf(L)->SendOSCFromLua(L); }},
            {"registerOSCPathForParameter",
             [](lua_State* L) { return helperOf(L)->RegisterOSCPathForParameter(L, false); }},
            {"registerOSCPathForParameterNormalized",
             [](lua_State* L) { return helperOf(L)->RegisterOSCPathForParameter(L, true); }},
            {"registerOSCPathForFunction",
             [](lua_State* L) { return helperOf(L)->RegisterOSCPathForFunction(L); }},
        };
        for (const auto& f : functions) {
            lua_pushlightuserdata(L_, &helper);
            lua_pushcclosure(L_, f.second, 1);
            lua_setglobal(L_, f.first);
        }
    }
    // Runs a chunk; the error text, empty on success.
    std::string run(const std::string& chunk) {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        const int top = lua_gettop(L_);
        std::string error;
        if (luaL_loadbuffer(L_, chunk.data(), chunk.size(), "test") != 0 ||
            lua_pcall(L_, 0, 0, 0) != 0)
            error = lua_tostring(L_, -1);
        lua_settop(L_, top);
        return error;
    }

    std::vector<int> lastNote;  // channel, note, velocity

private:
    static QX::OSCHelper* helperOf(lua_State* L) {
        return static_cast<QX::OSCHelper*>(lua_touserdata(L, lua_upvalueindex(1)));
    }

    lua_State* L_;
    TestLua* target_ = this;
    std::recursive_mutex lock_;
};

// ---- Preferences ------------------------------------------------------------------------------

// Installs, for the scope, a store that answers the OSC base port and the
// defaults for everything else: a test never touches the user's preferences.
class ScopedPreferences : public platform::PreferenceStore {
public:
    explicit ScopedPreferences(int oscBasePort) : oscBasePort_(oscBasePort) {
        platform::installPreferenceStore(this);
    }
    ~ScopedPreferences() override { platform::installPreferenceStore(nullptr); }
    int readInt(const char* name, int defaultValue) override {
        return std::strcmp(name, platform::kPrefOscBasePort) == 0 ? oscBasePort_ : defaultValue;
    }
    void writeInt(const char*, int) override {}
    void readSkin(std::string&) override {}
    void writeSkin(const std::string&) override {}

private:
    int oscBasePort_;
};

// ---- A plug-in with a recorded server ---------------------------------------------------------

inline VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// Builds the real OSCHelper around a RecordingTransport and, when given, a
// TestLua (both owned by the test).
class RecordingHelpers : public QX::PluginHelpers {
public:
    RecordingHelpers(RecordingTransport& transport, TestLua* lua)
        : transport_(transport), lua_(lua) {}
    std::unique_ptr<QX::MidiScripting> createMidiScripting(ZephCorvaneBase&) const override {
        return nullptr;
    }
    std::unique_ptr<QX::OscServerControl> createOscServer(ZephCorvaneBase& plugin,
                                                          QX::MidiScripting*) const override {
        std::unique_ptr<QX::OscLuaAccess> lua;
        if (lua_)
            lua = std::make_unique<TestLua>(*lua_);
        auto helper = std::make_unique<QX::OSCHelper>(plugin, std::move(lua), &transport_);
        if (lua_)
            lua_->bind(*helper);
        return helper;
    }

private:
    RecordingTransport& transport_;
    TestLua* lua_;
};

// The OSC server of a plug-in object (property 64006).
inline QX::OSCHelper& oscHelperOf(ZephCorvaneBase& plugin) {
    void* server = nullptr;
    plugin.GetProperty(prop::kOscHelper, kAudioUnitScope_Global, 0, &server);
    return dynamic_cast<QX::OSCHelper&>(*static_cast<QX::OscServerControl*>(server));
}

inline const IpEndpointName kPeer(0x7F000001, 50000);
inline const char* const kUrl = "osc.udp://127.0.0.1:9000";

// A plug-in whose server records its replies and shares the test's Lua
// state; datagrams go straight to its packet handler.
class RecordedServer : public ::testing::Test {
protected:
    // Handles one datagram; what the server printed.
    std::string send(const std::string& packet) {
        platform::testing::CapturedReports said;
        helper_.handlePacket(packet.data(), packet.size(), kPeer);
        return said.Text();
    }

    ScopedPreferences preferences_{7000};
    RecordingTransport transport_;
    TestLua lua_;
    RecordingHelpers helpers_{transport_, &lua_};
    std::unique_ptr<QX4Controller::ZephCorvane> plugin_ =
        std::make_unique<QX4Controller::ZephCorvane>(hostCallback, &helpers_);
    QX::OSCHelper& helper_ = oscHelperOf(*plugin_);
};

}  // namespace osctest
