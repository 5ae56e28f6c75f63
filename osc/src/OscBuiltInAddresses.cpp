// The built-in addresses of the OSC address space.

#include "osc/OscAddressSpace.h"

#include <cstdio>
#include <cstring>
#include <string>

#include <osc/OscReceivedElements.h>
#include <lua.hpp>

#include "OscLuaSupport.h"
#include "OscReply.h"
#include "osc/HostLookup.h"
#include "osc/OscLuaAccess.h"
#include "osc/OscTransport.h"
#include "osc/ReplyEndpoint.h"
#include "plugin/ParameterTable.h"
#include "plugin/ZephCorvaneBase.h"
#include "tavro/Version.h"

namespace QX {

namespace {

constexpr int kCallResults = 16;

const char* nextString(osc::ReceivedMessageArgumentIterator& argument,
                       const osc::ReceivedMessageArgumentIterator& end) {
    if (argument == end)
        throw osc::MissingArgumentException();
    const char* text = argument->AsString();
    ++argument;
    return text;
}

// Looks the global up inside the protected call, so that a script that
// guards its globals with an __index metamethod raises there, not in an
// unprotected call that would end the process. Slot 1: the name; then the
// arguments.
int callGlobalByName(lua_State* L) {
    lua_getfield(L, LUA_GLOBALSINDEX, lua_tostring(L, 1));  // push the function
    // Lua's own library functions are not for peers on the network: dofile
    // or require would run any file, and a read from standard input would
    // hold the Lua lock (and so the audio thread) for as long as it waits.
    lua_getfield(L, LUA_REGISTRYINDEX, "QX::LuaMIDIHelper::kLibraryFunctions");  // set
    if (lua_istable(L, -1)) {
        lua_pushvalue(L, -2);  // set, f
        lua_rawget(L, -2);     // set, listed
        if (lua_toboolean(L, -1))
            luaL_error(L, "not callable from OSC");
        lua_pop(L, 1);  // set
    }
    lua_pop(L, 1);      // the set
    lua_replace(L, 1);  // in place of its name
    lua_call(L, lua_gettop(L) - 1, LUA_MULTRET);
    return lua_gettop(L);
}

template <typename UseResults>
void callGlobal(OscLuaAccess* lua, const char* name, osc::ReceivedMessageArgumentIterator first,
                osc::ReceivedMessageArgumentIterator end, int results, UseResults&& useResults) {
    if (!lua)
        failMessage("no Lua support from OSC");
    const int count = countLuaArguments(first, end);
    if (count < 0)
        failMessage("unhandled argument type to exec");

    std::lock_guard<std::recursive_mutex> guard(lua->luaLock());
    lua_State* L = lua->luaState();
    if (!L)
        failMessage("no Lua support from OSC");
    const LuaStackHeight height(L);
    // A datagram can carry thousands of nil arguments; Lua's stack must be
    // grown for them explicitly (and refuses beyond its limit).
    if (!lua_checkstack(L, count + results + 2))
        failMessage("failed to exec function");
    lua_pushcfunction(L, callGlobalByName);
    lua_pushstring(L, name);
    pushLuaArguments(L, first, end);
    if (lua_pcall(L, count + 1, results, 0) != 0)
        failMessage("failed to exec function");
    useResults(L, lua_gettop(L) - results + 1);
}

}  // namespace

OscAddressSpace::Handler OscAddressSpace::builtInHandler(const char* address) {
    static const struct {
        const char* address;
        Handler handler;
    } kBuiltIns[] = {
        {"/ping", &OscAddressSpace::ping},
        {"/set", &OscAddressSpace::set},
        {"/get", &OscAddressSpace::get},
        {"/getAll", &OscAddressSpace::getAll},
        {"/getAllRegistered", &OscAddressSpace::getAllRegistered},
        {"/getNumParameters", &OscAddressSpace::getNumParameters},
        {"/isParameterUsed", &OscAddressSpace::isParameterUsed},
        {"/getInfo", &OscAddressSpace::getInfo},
        {"/registerUpdate", &OscAddressSpace::registerUpdate},
        {"/unregisterUpdate", &OscAddressSpace::unregisterUpdate},
        {"/exec", &OscAddressSpace::exec},
        {"/call", &OscAddressSpace::call},
        {"/startNote", &OscAddressSpace::startNote},
        {"/stopNote", &OscAddressSpace::stopNote},
    };
    for (const auto& builtIn : kBuiltIns)
        if (std::strcmp(address, builtIn.address) == 0)
            return builtIn.handler;
    return nullptr;
}

void OscAddressSpace::checkIndex(int index, const char* failure) const {
    if (index < 0 || index >= parameterCount_)
        failMessage(failure);
}

IpEndpointName OscAddressSpace::replyTo(const char* url) {
    const ReplyUrl split = splitReplyUrl(url);
    return IpEndpointName(static_cast<unsigned long>(lookup_.resolve(split.host)), split.port);
}
void OscAddressSpace::ping(const osc::ReceivedMessage& message, const Arrival& arrival) {
    const char* url;
    const char* path;
    message.ArgumentStream() >> url >> path >> osc::EndMessage;
    const IpEndpointName to = replyTo(url);
    const std::uint32_t local = transport_.localAddressFor(arrival.from);
    char where[64];
    std::snprintf(where, sizeof where, "osc.udp://%u.%u.%u.%u:%d", (local >> 24) & 0xFF,
                  (local >> 16) & 0xFF, (local >> 8) & 0xFF, local & 0xFF, arrival.localPort);
    Reply reply(path);
    reply.args() << where << (productName_ + " " + tavro::kVersionText).c_str();
    transport_.send(to, {reply.finish()});
}

void OscAddressSpace::set(const osc::ReceivedMessage& message, const Arrival&) {
    osc::int32 index;
    float value;
    message.ArgumentStream() >> index >> value >> osc::EndMessage;
    checkIndex(index, "parameter id out of range in set");
    // Anything may arrive from the network: a value the parameter cannot
    // take is refused (and said), any other is clamped to its range.
    if (const char* refusal = owner_.parameterValueRefusal(index, value))
        failMessage(std::string("value refused in set: ") + refusal);
    owner_.setParameterNative(index, value, true);
}

void OscAddressSpace::get(const osc::ReceivedMessage& message, const Arrival&) {
    osc::int32 index;
    const char* url;
    const char* path;
    message.ArgumentStream() >> index >> url >> path >> osc::EndMessage;
    checkIndex(index, "parameter id out of range in get");
    const IpEndpointName to = replyTo(url);
    Reply reply(path);
    reply.args() << index << owner_.getParameterNative(index);
    transport_.send(to, {reply.finish()});
}

void OscAddressSpace::getAll(const osc::ReceivedMessage& message, const Arrival&) {
    const char* url;
    const char* path;
    message.ArgumentStream() >> url >> path >> osc::EndMessage;
    const IpEndpointName to = replyTo(url);
    std::vector<std::string> packets;
    for (int index = 0; index < parameterCount_; ++index) {
        Reply reply(path);
        reply.args() << static_cast<osc::int32>(index) << owner_.getParameterNative(index);
        packets.push_back(reply.finish());
    }
    transport_.send(to, packets);
}

void OscAddressSpace::getAllRegistered(const osc::ReceivedMessage& message, const Arrival&) {
    message.ArgumentStream() >> osc::EndMessage;
    std::vector<std::pair<std::int32_t, UpdateRegistration>> registrations;
    {
        std::lock_guard<std::mutex> guard(tablesMutex_);
        registrations.assign(updates_.begin(), updates_.end());
    }
    for (const auto& [index, registration] : registrations) {
        Reply reply(registration.path.c_str());
        reply.args() << index << owner_.getParameterNative(index);
        transport_.send(IpEndpointName(registration.address, registration.port), {reply.finish()});
    }
}

void OscAddressSpace::getNumParameters(const osc::ReceivedMessage& message, const Arrival&) {
    const char* url;
    const char* path;
    message.ArgumentStream() >> url >> path >> osc::EndMessage;
    const IpEndpointName to = replyTo(url);
    Reply reply(path);
    reply.args() << static_cast<osc::int32>(parameterCount_);
    transport_.send(to, {reply.finish()});
}

void OscAddressSpace::isParameterUsed(const osc::ReceivedMessage& message, const Arrival&) {
    osc::int32 index;
    const char* url;
    const char* path;
    message.ArgumentStream() >> index >> url >> path >> osc::EndMessage;
    checkIndex(index, "parameter id out of range in isParameterUsed");
    const IpEndpointName to = replyTo(url);
    Reply reply(path);
    // Every parameter is in use.
    reply.args() << index << true;
    transport_.send(to, {reply.finish()});
}

void OscAddressSpace::getInfo(const osc::ReceivedMessage& message, const Arrival&) {
    osc::int32 index;
    const char* url;
    const char* path;
    message.ArgumentStream() >> index >> url >> path >> osc::EndMessage;
    checkIndex(index, "parameter id out of range in getInfo");
    const IpEndpointName to = replyTo(url);
    const ParameterDescriptor& row = table_[index];
    Reply reply(path);
    reply.args() << index << row.minimum << row.maximum << row.defaultNative()
                 << (row.name ? row.name : "") << static_cast<osc::int32>(row.unit);
    transport_.send(to, {reply.finish()});
}

OscAddressSpace::UpdateRegistration OscAddressSpace::readRegistration(
    const osc::ReceivedMessage& message, const char* where, std::int32_t& index) {
    osc::int32 read;
    const char* url;
    const char* path;
    message.ArgumentStream() >> read >> url >> path >> osc::EndMessage;
    checkIndex(read, where);
    index = static_cast<std::int32_t>(read);
    const IpEndpointName endpoint = replyTo(url);
    return {static_cast<std::uint32_t>(endpoint.address), endpoint.port, path};
}

void OscAddressSpace::registerUpdate(const osc::ReceivedMessage& message, const Arrival&) {
    std::int32_t index;
    const UpdateRegistration registration =
        readRegistration(message, "parameter id out of range in registerUpdate", index);
    std::lock_guard<std::mutex> guard(tablesMutex_);
    auto range = updates_.equal_range(index);
    for (auto i = range.first; i != range.second; ++i)
        if (i->second == registration)
            return;
    updates_.emplace(index, registration);
    if (index < registeredSize_.load(std::memory_order_acquire))
        registered_[index].store(1, std::memory_order_relaxed);
}

void OscAddressSpace::unregisterUpdate(const osc::ReceivedMessage& message, const Arrival&) {
    std::int32_t index;
    // The text names registerUpdate, as clients have always been told.
    const UpdateRegistration registration =
        readRegistration(message, "parameter id out of range in registerUpdate", index);
    std::lock_guard<std::mutex> guard(tablesMutex_);
    auto range = updates_.equal_range(index);
    for (auto i = range.first; i != range.second; ++i) {
        if (i->second == registration) {
            updates_.erase(i);
            break;
        }
    }
    if (updates_.count(index) == 0 && index < registeredSize_.load(std::memory_order_acquire))
        registered_[index].store(0, std::memory_order_relaxed);
}

void OscAddressSpace::exec(const osc::ReceivedMessage& message, const Arrival&) {
    auto argument = message.ArgumentsBegin();
    const auto end = message.ArgumentsEnd();
    const char* name = nextString(argument, end);
    callGlobal(lua_, name, argument, end, 0, [](lua_State*, int) {});
}

void OscAddressSpace::call(const osc::ReceivedMessage& message, const Arrival&) {
    auto argument = message.ArgumentsBegin();
    const auto end = message.ArgumentsEnd();
    const char* name = nextString(argument, end);
    const char* url = nextString(argument, end);
    const char* path = nextString(argument, end);
    // Resolved before the call: a slow name lookup must not hold the Lua
    // lock, which the audio thread's MIDI callbacks wait for.
    const IpEndpointName to = replyTo(url);
    std::string packet;
    callGlobal(lua_, name, argument, end, kCallResults, [&](lua_State* L, int first) {
        Reply reply(path);
        for (int i = 0; i < kCallResults; ++i) {
            const int slot = first + i;
            const int type = lua_type(L, slot);
            if (type == LUA_TNIL)
                break;
            if (type == LUA_TNUMBER || (type == LUA_TSTRING && lua_isnumber(L, slot)))
                reply.args() << luaNumberToFloat(lua_tonumber(L, slot));
            else if (type == LUA_TSTRING)
                reply.args() << lua_tostring(L, slot);
            else
                failMessage("unhandled argument type return from call");
        }
        packet = reply.finish();
    });
    transport_.send(to, {packet});
}

void OscAddressSpace::startNote(const osc::ReceivedMessage& message, const Arrival&) {
    osc::int32 note;
    float velocity;
    message.ArgumentStream() >> note >> velocity >> osc::EndMessage;
    if (lua_)
        lua_->noteOn(1, static_cast<std::uint8_t>(note), luaNumberToInt(velocity * 127.0));
}

void OscAddressSpace::stopNote(const osc::ReceivedMessage& message, const Arrival&) {
    osc::int32 note;
    float velocity;
    message.ArgumentStream() >> note >> velocity >> osc::EndMessage;
    if (lua_)
        lua_->noteOff(1, static_cast<std::uint8_t>(note), luaNumberToInt(velocity * 127.0));
}

}  // namespace QX
