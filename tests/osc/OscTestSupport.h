#pragma once
// Shared pieces of the OSC tests: packet building and reading, a transport
// that records instead of sending, a bare Lua state for the server, a
// preference store that fixes the OSC base port, and a plug-in whose OSC
// server is built around them.

#include <lua.hpp>

#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <osc/OscReceivedElements.h>

#include "engine/ZephCorvane.h"
#include "osc/OSCHelper.h"
#include "platform/Preferences.h"
#include "plugin/Properties.h"

namespace osctest {

// ---- Packets ----------------------------------------------------------------------------------

// Bytes of a literal with embedded zeros: bytes("/a\0\0").
template <std::size_t N>
std::string bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

inline std::string padded(const std::string& text) {
    std::string out = text;
    out.push_back('\0');
    while (out.size() % 4 != 0)
        out.push_back('\0');
    return out;
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
        tags_ += 'i';
        data_ += bigEndian(static_cast<std::uint32_t>(value));
        return *this;
    }
    Message& f(float value) {
        std::uint32_t bits;
        std::memcpy(&bits, &value, 4);
        tags_ += 'f';
        data_ += bigEndian(bits);
        return *this;
    }
    Message& s(const std::string& value) {
        tags_ += 's';
        data_ += padded(value);
        return *this;
    }
    // A tag without data (T, F, N, I) or with raw data already encoded.
    Message& raw(char tag, const std::string& data = {}) {
        tags_ += tag;
        data_ += data;
        return *this;
    }
    std::string packet() const { return padded(address_) + padded(tags_) + data_; }
    operator std::string() const { return packet(); }

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
std::string describeReply(const std::string& packet);

// ---- A transport that records ----------------------------------------------------------------

struct SentPackets {
    IpEndpointName to;
    std::vector<std::string> packets;
};

class RecordingTransport : public QX::OscTransport {
public:
    // Dotted quads and "localhost"; anything else does not resolve.
    std::uint32_t resolveHost(const char* host) override;
    std::uint32_t localAddressFor(const IpEndpointName&) override { return 0x7F000001; }
    void send(const IpEndpointName& to, const std::vector<std::string>& packets) override;

    std::vector<SentPackets> sent() const;
    // Every packet sent so far, described, in order.
    std::vector<std::string> replies() const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<SentPackets> sent_;
};

// ---- Lua --------------------------------------------------------------------------------------

// A Lua state of the test's own, with the standard libraries and the four
// script functions of the OSC server bound to `helper` once it is known.
class TestLua : public QX::OscLuaAccess {
public:
    TestLua();
    ~TestLua() override;
    lua_State* luaState() override { return L_; }
    std::recursive_mutex& luaLock() override { return lock_; }
    void noteOn(int channel, int note, int velocity) override;
    void noteOff(int, int, int) override {}

    // Registers sendOSC, registerOSCPathForParameter(Normalized) and
    // registerOSCPathForFunction as globals calling into `helper`.
    void bind(QX::OSCHelper& helper);
    // Runs a chunk; the error text, empty on success.
    std::string run(const std::string& chunk);

    int lastNoteChannel = -1, lastNote = -1, lastVelocity = -1;

private:
    lua_State* L_;
    std::recursive_mutex lock_;
};

// ---- Preferences ------------------------------------------------------------------------------

// Answers the OSC base port and the defaults for everything else, so that a
// test never reads or writes the user's preferences.
class FixedPreferences : public platform::PreferenceStore {
public:
    explicit FixedPreferences(int oscBasePort) : oscBasePort_(oscBasePort) {}
    int readInt(const char* name, int defaultValue) override;
    void writeInt(const char*, int) override {}
    void readSkin(std::string&) override {}
    void writeSkin(const std::string&) override {}

private:
    int oscBasePort_;
};

// Installs FixedPreferences for the scope.
class ScopedPreferences {
public:
    explicit ScopedPreferences(int oscBasePort) : store_(oscBasePort) {
        platform::installPreferenceStore(&store_);
    }
    ~ScopedPreferences() { platform::installPreferenceStore(nullptr); }

private:
    FixedPreferences store_;
};

// ---- A plug-in with a recorded server ---------------------------------------------------------

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float);

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
                                                          QX::MidiScripting*) const override;

private:
    RecordingTransport& transport_;
    TestLua* lua_;
};

// The OSC server of a plug-in object (property 64006).
QX::OSCHelper& oscHelperOf(ZephCorvaneBase& plugin);

// The path of oscsend / oscdump, or empty when liblo's tools are missing.
std::string findTool(const char* name);

}  // namespace osctest
