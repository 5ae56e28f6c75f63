#include "OscTestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace osctest {

// ---- Packets ----------------------------------------------------------------------------------

std::string describeReply(const std::string& packet) {
    try {
        osc::ReceivedPacket received(packet.data(), packet.size());
        if (!received.IsBundle())
            return "(not a bundle)";
        osc::ReceivedBundle bundle(received);
        if (bundle.TimeTag() != 1)
            return "(time tag not immediate)";
        if (bundle.ElementCount() != 1)
            return "(bundle of " + std::to_string(bundle.ElementCount()) + " elements)";
        osc::ReceivedMessage message(*bundle.ElementsBegin());
        std::ostringstream out;
        out << message.AddressPattern() << " ,";
        for (auto a = message.ArgumentsBegin(); a != message.ArgumentsEnd(); ++a)
            out << a->TypeTag();
        for (auto a = message.ArgumentsBegin(); a != message.ArgumentsEnd(); ++a) {
            out << ' ';
            switch (a->TypeTag()) {
                case 'i':
                    out << a->AsInt32();
                    break;
                case 'f':
                    out << a->AsFloat();
                    break;
                case 's':
                    out << '"' << a->AsString() << '"';
                    break;
                case 'T':
                    out << "true";
                    break;
                case 'F':
                    out << "false";
                    break;
                case 'N':
                    out << "nil";
                    break;
                default:
                    out << '?';
            }
        }
        return out.str();
    } catch (const std::exception& e) {
        return std::string("(malformed: ") + e.what() + ")";
    }
}

// ---- Transport --------------------------------------------------------------------------------

std::uint32_t RecordingTransport::resolveHost(const char* host) {
    if (std::strcmp(host, "localhost") == 0)
        return 0x7F000001;
    unsigned a, b, c, d;
    char tail;
    if (std::sscanf(host, "%u.%u.%u.%u%c", &a, &b, &c, &d, &tail) == 4 && a < 256 && b < 256 &&
        c < 256 && d < 256)
        return (a << 24) | (b << 16) | (c << 8) | d;
    return 0;
}

void RecordingTransport::send(const IpEndpointName& to, const std::vector<std::string>& packets) {
    std::lock_guard<std::mutex> guard(mutex_);
    sent_.push_back({to, packets});
}

std::vector<SentPackets> RecordingTransport::sent() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return sent_;
}

std::vector<std::string> RecordingTransport::replies() const {
    std::vector<std::string> out;
    for (const SentPackets& s : sent())
        for (const std::string& packet : s.packets)
            out.push_back(describeReply(packet));
    return out;
}

void RecordingTransport::clear() {
    std::lock_guard<std::mutex> guard(mutex_);
    sent_.clear();
}

// ---- Lua --------------------------------------------------------------------------------------

namespace {

QX::OSCHelper* helperOf(lua_State* L) {
    return static_cast<QX::OSCHelper*>(lua_touserdata(L, lua_upvalueindex(1)));
}

int lua_sendOSC(lua_State* L) {
    return helperOf(L)->SendOSCFromLua(L);
}
int lua_registerOSCPathForParameter(lua_State* L) {
    return helperOf(L)->RegisterOSCPathForParameter(L, false);
}
int lua_registerOSCPathForParameterNormalized(lua_State* L) {
    return helperOf(L)->RegisterOSCPathForParameter(L, true);
}
int lua_registerOSCPathForFunction(lua_State* L) {
    return helperOf(L)->RegisterOSCPathForFunction(L);
}

// The OSC server owns its Lua access; the test keeps its TestLua.
class ForwardingLua : public QX::OscLuaAccess {
public:
    explicit ForwardingLua(QX::OscLuaAccess& target) : target_(target) {}
    lua_State* luaState() override { return target_.luaState(); }
    std::recursive_mutex& luaLock() override { return target_.luaLock(); }
    void noteOn(int c, int n, int v) override { target_.noteOn(c, n, v); }
    void noteOff(int c, int n, int v) override { target_.noteOff(c, n, v); }

private:
    QX::OscLuaAccess& target_;
};

}  // namespace

TestLua::TestLua() : L_(luaL_newstate()) {
    luaL_openlibs(L_);
}

TestLua::~TestLua() {
    lua_close(L_);
}

void TestLua::noteOn(int channel, int note, int velocity) {
    lastNoteChannel = channel;
    lastNote = note;
    lastVelocity = velocity;
}

void TestLua::bind(QX::OSCHelper& helper) {
    const struct {
        const char* name;
        lua_CFunction function;
    } functions[] = {
        {"sendOSC", lua_sendOSC},
        {"registerOSCPathForParameter", lua_registerOSCPathForParameter},
        {"registerOSCPathForParameterNormalized", lua_registerOSCPathForParameterNormalized},
        {"registerOSCPathForFunction", lua_registerOSCPathForFunction},
    };
    for (const auto& f : functions) {
        lua_pushlightuserdata(L_, &helper);
        lua_pushcclosure(L_, f.function, 1);
        lua_setglobal(L_, f.name);
    }
}

std::string TestLua::run(const std::string& chunk) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const int top = lua_gettop(L_);
    std::string error;
    if (luaL_loadbuffer(L_, chunk.data(), chunk.size(), "test") != 0 || lua_pcall(L_, 0, 0, 0) != 0)
        error = lua_tostring(L_, -1);
    lua_settop(L_, top);
    return error;
}

// ---- Preferences ------------------------------------------------------------------------------

int FixedPreferences::readInt(const char* name, int defaultValue) {
    return std::strcmp(name, platform::kPrefOscBasePort) == 0 ? oscBasePort_ : defaultValue;
}

// ---- Plug-in ----------------------------------------------------------------------------------

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

std::unique_ptr<QX::OscServerControl> RecordingHelpers::createOscServer(ZephCorvaneBase& plugin,
                                                                        QX::MidiScripting*) const {
    std::unique_ptr<QX::OscLuaAccess> lua;
    if (lua_)
        lua = std::make_unique<ForwardingLua>(*lua_);
    auto helper = std::make_unique<QX::OSCHelper>(plugin, std::move(lua), &transport_);
    if (lua_)
        lua_->bind(*helper);
    return helper;
}

QX::OSCHelper& oscHelperOf(ZephCorvaneBase& plugin) {
    void* server = nullptr;
    plugin.GetProperty(prop::kOscHelper, kAudioUnitScope_Global, 0, &server);
    return dynamic_cast<QX::OSCHelper&>(*static_cast<QX::OscServerControl*>(server));
}

std::string findTool(const char* name) {
    for (const char* folder : {"/usr/bin", "/usr/local/bin", "/bin"}) {
        const std::filesystem::path path = std::filesystem::path(folder) / name;
        std::error_code error;
        if (std::filesystem::exists(path, error))
            return path.string();
    }
    return {};
}

}  // namespace osctest
