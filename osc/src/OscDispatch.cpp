// The OSC address space: received packets, bundles and messages, the
// built-in addresses, registered paths and instance addressing.

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include <osc/OscOutboundPacketStream.h>
#include <osc/OscReceivedElements.h>
#include <lua.hpp>

#include "OscLuaSupport.h"
#include "osc/OSCHelper.h"
#include "osc/OscPacketCheck.h"
#include "osc/ReplyEndpoint.h"
#include "osc/ZephAddress.h"
#include "platform/Diagnostics.h"
#include "plugin/InstanceRegistry.h"
#include "plugin/ParameterTable.h"
#include "plugin/Properties.h"
#include "plugin/ZephCorvaneBase.h"
#include "tavro/Version.h"

namespace QX {

namespace {

constexpr int kCallResults = 16;

[[noreturn]] void fail(const std::string& text) {
    throw std::runtime_error(text);
}

// A peer's mistake, said for whoever debugs the peer; not one for the
// musician's editor, which shows warnings and errors.
void printParseError(const std::string& text) {
    platform::report(platform::ReportLevel::kInfo, "error while parsing message: " + text);
}

const char* nextString(osc::ReceivedMessageArgumentIterator& argument,
                       const osc::ReceivedMessageArgumentIterator& end) {
    if (argument == end)
        throw osc::MissingArgumentException();
    const char* text = argument->AsString();
    ++argument;
    return text;
}

// One reply: a single message in a bundle with the immediate time tag,
// built in a buffer of 1024 bytes ("out of buffer memory" beyond).
class Reply {
public:
    explicit Reply(const char* path) : stream_(buffer_, sizeof buffer_) {
        stream_ << osc::BeginBundleImmediate << osc::BeginMessage(path);
    }
    osc::OutboundPacketStream& args() { return stream_; }
    std::string finish() {
        stream_ << osc::EndMessage << osc::EndBundle;
        return std::string(stream_.Data(), stream_.Size());
    }

private:
    char buffer_[OSCHelper::kPacketBufferSize];
    osc::OutboundPacketStream stream_;
};

// "/t3d/tch" followed by 1 to 16.
bool isTouchMessage(const char* address) {
    if (std::strncmp(address, "/t3d/tch", 8) != 0)
        return false;
    const char* digits = address + 8;
    const std::size_t count = std::strlen(digits);
    if (count == 0 || count > 2)
        return false;
    int n = 0;
    for (const char* p = digits; *p; ++p) {
        if (*p < '0' || *p > '9')
            return false;
        n = n * 10 + (*p - '0');
    }
    return n >= 1 && n <= 16;
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

}  // namespace

const OSCHelper::BuiltIn OSCHelper::kBuiltIns[] = {
    {"/ping", &OSCHelper::ping},
    {"/set", &OSCHelper::set},
    {"/get", &OSCHelper::get},
    {"/getAll", &OSCHelper::getAll},
    {"/getAllRegistered", &OSCHelper::getAllRegistered},
    {"/getNumParameters", &OSCHelper::getNumParameters},
    {"/isParameterUsed", &OSCHelper::isParameterUsed},
    {"/getInfo", &OSCHelper::getInfo},
    {"/registerUpdate", &OSCHelper::registerUpdate},
    {"/unregisterUpdate", &OSCHelper::unregisterUpdate},
    {"/exec", &OSCHelper::exec},
    {"/call", &OSCHelper::call},
    {"/startNote", &OSCHelper::startNote},
    {"/stopNote", &OSCHelper::stopNote},
};

// ---- Packets and bundles ----------------------------------------------------------------------

void OSCHelper::ProcessPacket(const char* data, int size, const IpEndpointName& remoteEndpoint) {
    handlePacket(data, size > 0 ? static_cast<std::size_t>(size) : 0, remoteEndpoint);
}

void OSCHelper::handlePacket(const char* data, std::size_t size,
                             const IpEndpointName& remoteEndpoint) {
    // Everything is checked before anything is read, so that a malformed
    // element deep in a bundle cannot leave half of the bundle applied, and
    // nothing a peer sends can throw out of the receive loop (which would
    // close the socket).
    if (const char* reason = checkOscPacket(data, size)) {
        printParseError(reason);
        return;
    }
    try {
        osc::OscPacketListener::ProcessPacket(data, static_cast<int>(size), remoteEndpoint);
    } catch (const std::exception& e) {
        printParseError(e.what());
    }
}

void OSCHelper::ProcessBundle(const osc::ReceivedBundle& bundle,
                              const IpEndpointName& remoteEndpoint) {
    processBundle(bundle, remoteEndpoint, 1);
}

void OSCHelper::processBundle(const osc::ReceivedBundle& bundle,
                              const IpEndpointName& remoteEndpoint, int depth) {
    if (depth > kMaxBundleDepth)
        return;
    try {
        if (bundle.ElementCount() > 0 && bundle.ElementsBegin()->IsMessage()) {
            const osc::ReceivedMessage first(*bundle.ElementsBegin());
            if (std::strncmp(first.AddressPattern(), "/t3d/frm", 8) == 0) {
                consumeTouchFrame(bundle);
                return;
            }
        }
        // Time tags are ignored: everything is handled on arrival.
        for (auto element = bundle.ElementsBegin(); element != bundle.ElementsEnd(); ++element) {
            if (element->IsBundle())
                processBundle(osc::ReceivedBundle(*element), remoteEndpoint, depth + 1);
            else
                ProcessMessage(osc::ReceivedMessage(*element), remoteEndpoint);
        }
    } catch (const std::exception& e) {
        printParseError(e.what());
    }
}

void OSCHelper::consumeTouchFrame(const osc::ReceivedBundle& bundle) {
    // Nothing in the plug-in uses touches: the frame is checked and dropped,
    // and none of its messages is dispatched.
    try {
        for (auto element = bundle.ElementsBegin(); element != bundle.ElementsEnd(); ++element) {
            if (element->IsBundle())
                continue;
            const osc::ReceivedMessage message(*element);
            if (!isTouchMessage(message.AddressPattern()))
                continue;
            float x, y, z, w;
            message.ArgumentStream() >> x >> y >> z >> w >> osc::EndMessage;
        }
    } catch (const std::exception& e) {
        printParseError(e.what());
    }
}

// ---- Messages ---------------------------------------------------------------------------------

void OSCHelper::ProcessMessage(const osc::ReceivedMessage& message,
                               const IpEndpointName& remoteEndpoint) {
    try {
        dispatch(message, remoteEndpoint);
    } catch (const std::exception& e) {
        // One message fails; nothing is replied and the server goes on.
        printParseError(std::string(message.AddressPattern()) + ": " + e.what());
    }
}

void OSCHelper::dispatch(const osc::ReceivedMessage& message,
                         const IpEndpointName& remoteEndpoint) {
    const char* address = message.AddressPattern();
    if (std::strncmp(address, kZephPrefix, kZephPrefixLength) == 0) {
        applyZephTargets(message);
        return;
    }
    if (dispatchParameterPath(message) || dispatchFunctionPath(message))
        return;
    for (const BuiltIn& builtIn : kBuiltIns) {
        if (std::strcmp(address, builtIn.address) == 0) {
            (this->*builtIn.handler)(message, remoteEndpoint);
            return;
        }
    }
    HandleUnknownMessage(address, message, remoteEndpoint);
}

void OSCHelper::HandleUnknownMessage(const char*, const osc::ReceivedMessage&,
                                     const IpEndpointName&) {}

bool OSCHelper::IsParameterUsed(int) {
    return true;
}

void OSCHelper::checkIndex(int index, const char* failure) const {
    if (index < 0 || index >= parameterCount_)
        fail(failure);
}

IpEndpointName OSCHelper::replyTo(const char* url) {
    const ReplyUrl split = splitReplyUrl(url);
    return IpEndpointName(static_cast<unsigned long>(lookup_.resolve(split.host)), split.port);
}

bool OSCHelper::dispatchParameterPath(const osc::ReceivedMessage& message) {
    std::vector<std::vector<ParamPathBinding>> registrations;
    {
        std::lock_guard<std::mutex> guard(tablesMutex_);
        if (parameterPaths_.empty())
            return false;
        auto range = parameterPaths_.equal_range(message.AddressPattern());
        for (auto i = range.first; i != range.second; ++i)
            registrations.push_back(i->second);
    }
    if (registrations.empty())
        return false;
    std::vector<float> values(registrations.front().size());
    auto args = message.ArgumentStream();
    for (float& value : values)
        args >> value;
    args >> osc::EndMessage;
    for (const auto& bindings : registrations)
        for (std::size_t i = 0; i < values.size() && i < bindings.size(); ++i)
            owner_.setParameterNative(bindings[i].index,
                                      values[i] * bindings[i].scale + bindings[i].offset, true);
    return true;
}

bool OSCHelper::dispatchFunctionPath(const osc::ReceivedMessage& message) {
    std::vector<int> references;
    {
        std::lock_guard<std::mutex> guard(tablesMutex_);
        if (functionPaths_.empty())
            return false;
        auto range = functionPaths_.equal_range(message.AddressPattern());
        for (auto i = range.first; i != range.second; ++i)
            references.push_back(i->second);
    }
    if (references.empty())
        return false;
    if (!lua_)
        fail("no Lua support from OSC");
    const int count = countLuaArguments(message.ArgumentsBegin(), message.ArgumentsEnd());
    if (count < 0)
        fail("unhandled argument type to exec");

    std::lock_guard<std::recursive_mutex> guard(lua_->luaLock());
    lua_State* L = lua_->luaState();
    if (!L)
        fail("no Lua support from OSC");
    const LuaStackHeight height(L);
    if (!lua_checkstack(L, count + 1))
        fail("failed to pcall function");
    for (int reference : references) {
        lua_rawgeti(L, LUA_REGISTRYINDEX, reference);  // push the function
        pushLuaArguments(L, message.ArgumentsBegin(), message.ArgumentsEnd());
        if (lua_pcall(L, count, 0, 0) != 0)
            fail("failed to pcall function");
    }
    return true;
}

template <typename UseResults>
void OSCHelper::callGlobal(const char* name, osc::ReceivedMessageArgumentIterator first,
                           osc::ReceivedMessageArgumentIterator end, int results,
                           UseResults&& useResults) {
    if (!lua_)
        fail("no Lua support from OSC");
    const int count = countLuaArguments(first, end);
    if (count < 0)
        fail("unhandled argument type to exec");

    std::lock_guard<std::recursive_mutex> guard(lua_->luaLock());
    lua_State* L = lua_->luaState();
    if (!L)
        fail("no Lua support from OSC");
    const LuaStackHeight height(L);
    // A datagram can carry thousands of nil arguments; Lua's stack must be
    // grown for them explicitly (and refuses beyond its limit).
    if (!lua_checkstack(L, count + results + 2))
        fail("failed to exec function");
    lua_pushcfunction(L, callGlobalByName);
    lua_pushstring(L, name);
    pushLuaArguments(L, first, end);
    if (lua_pcall(L, count + 1, results, 0) != 0)
        fail("failed to exec function");
    useResults(L, lua_gettop(L) - results + 1);
}

// ---- Instance addressing ----------------------------------------------------------------------

void OSCHelper::applyZephTargets(const osc::ReceivedMessage& message) {
    const char* address = message.AddressPattern();
    std::vector<ZephTarget> targets;
    if (!parseZephTargets(address + kZephPrefixLength, targets))
        fail(address);
    // All arguments are read before any instance changes: a bad message
    // changes nothing.
    std::vector<float> values(targets.size());
    auto args = message.ArgumentStream();
    for (float& value : values)
        args >> value;
    args >> osc::EndMessage;

    // The whole message under one hold of the registry lock. Nothing below
    // takes the Lua lock.
    std::lock_guard<std::recursive_mutex> guard(InstanceRegistry::lock());
    for (std::size_t t = 0; t < targets.size(); ++t) {
        const ZephTarget& target = targets[t];
        bool applied = false;
        InstanceRegistry::forEach([&](InstanceRegistry::Entry& entry) {
            if (applied && !target.everyOrdinal)
                return;
            auto* plugin = dynamic_cast<ZephCorvaneBase*>(entry.instance);
            if (!plugin)
                return;
            if (target.byNumber) {
                if (entry.globalId != target.number)
                    return;
            } else {
                if (!entry.familyKeyKnown) {
                    entry.familyKey = entry.instance->registryFamilyKey();
                    entry.familyKeyKnown = true;
                }
                if (entry.familyKey != target.familyKey)
                    return;
                if (!target.everyOrdinal && entry.localId != target.ordinal)
                    return;
            }
            std::int32_t count = 0;
            if (plugin->GetProperty(prop::kParameterCount, kAudioUnitScope_Global, 0, &count) != 0)
                return;
            int index = target.parameterIndex;
            if (!target.parameterName.empty()) {
                index = -1;
                const std::string* names = nullptr;
                if (plugin->GetProperty(prop::kParameterNamesWithoutSpaces, kAudioUnitScope_Global,
                                        0, &names) == 0 &&
                    names) {
                    for (int i = 0; i < count; ++i) {
                        if (names[i] == target.parameterName) {
                            index = i;
                            break;
                        }
                    }
                }
                // An unknown name sets nothing, also in multi mode, where
                // its "-1" plus the offset would land on some other
                // parameter.
                if (index < 0)
                    return;
            }
            index += target.offset;
            if (index < 0 || index >= count)
                return;
            plugin->setParameterNative(index, values[t], true);
            applied = true;
        });
    }
}

// ---- Built-in addresses -----------------------------------------------------------------------

void OSCHelper::ping(const osc::ReceivedMessage& message, const IpEndpointName& remoteEndpoint) {
    const char* url;
    const char* path;
    message.ArgumentStream() >> url >> path >> osc::EndMessage;
    const IpEndpointName to = replyTo(url);
    const std::uint32_t local = transport_->localAddressFor(remoteEndpoint);
    char where[64];
    std::snprintf(where, sizeof where, "osc.udp://%u.%u.%u.%u:%d", (local >> 24) & 0xFF,
                  (local >> 16) & 0xFF, (local >> 8) & 0xFF, local & 0xFF, boundPort());
    Reply reply(path);
    reply.args() << where << (productName_ + " " + tavro::kVersionText).c_str();
    transport_->send(to, {reply.finish()});
}

void OSCHelper::set(const osc::ReceivedMessage& message, const IpEndpointName&) {
    osc::int32 index;
    float value;
    message.ArgumentStream() >> index >> value >> osc::EndMessage;
    checkIndex(index, "parameter id out of range in set");
    // Anything may arrive from the network: a value the parameter cannot
    // take is refused (and said), any other is clamped to its range.
    if (const char* refusal = owner_.parameterValueRefusal(index, value))
        fail(std::string("value refused in set: ") + refusal);
    owner_.setParameterNative(index, value, true);
}

void OSCHelper::get(const osc::ReceivedMessage& message, const IpEndpointName&) {
    osc::int32 index;
    const char* url;
    const char* path;
    message.ArgumentStream() >> index >> url >> path >> osc::EndMessage;
    checkIndex(index, "parameter id out of range in get");
    const IpEndpointName to = replyTo(url);
    Reply reply(path);
    reply.args() << index << owner_.getParameterNative(index);
    transport_->send(to, {reply.finish()});
}

void OSCHelper::getAll(const osc::ReceivedMessage& message, const IpEndpointName&) {
    const char* url;
    const char* path;
    message.ArgumentStream() >> url >> path >> osc::EndMessage;
    const IpEndpointName to = replyTo(url);
    std::vector<std::string> packets;
    for (int index = 0; index < parameterCount_; ++index) {
        if (!IsParameterUsed(index))
            continue;
        Reply reply(path);
        reply.args() << static_cast<osc::int32>(index) << owner_.getParameterNative(index);
        packets.push_back(reply.finish());
    }
    transport_->send(to, packets);
}

void OSCHelper::getAllRegistered(const osc::ReceivedMessage& message, const IpEndpointName&) {
    message.ArgumentStream() >> osc::EndMessage;
    std::vector<std::pair<std::int32_t, UpdateRegistration>> registrations;
    {
        std::lock_guard<std::mutex> guard(tablesMutex_);
        registrations.assign(updates_.begin(), updates_.end());
    }
    for (const auto& [index, registration] : registrations) {
        Reply reply(registration.path.c_str());
        reply.args() << index << owner_.getParameterNative(index);
        transport_->send(IpEndpointName(registration.address, registration.port), {reply.finish()});
    }
}

void OSCHelper::getNumParameters(const osc::ReceivedMessage& message, const IpEndpointName&) {
    const char* url;
    const char* path;
    message.ArgumentStream() >> url >> path >> osc::EndMessage;
    const IpEndpointName to = replyTo(url);
    Reply reply(path);
    reply.args() << static_cast<osc::int32>(parameterCount_);
    transport_->send(to, {reply.finish()});
}

void OSCHelper::isParameterUsed(const osc::ReceivedMessage& message, const IpEndpointName&) {
    osc::int32 index;
    const char* url;
    const char* path;
    message.ArgumentStream() >> index >> url >> path >> osc::EndMessage;
    checkIndex(index, "parameter id out of range in isParameterUsed");
    const IpEndpointName to = replyTo(url);
    Reply reply(path);
    reply.args() << index << IsParameterUsed(index);
    transport_->send(to, {reply.finish()});
}

void OSCHelper::getInfo(const osc::ReceivedMessage& message, const IpEndpointName&) {
    osc::int32 index;
    const char* url;
    const char* path;
    message.ArgumentStream() >> index >> url >> path >> osc::EndMessage;
    checkIndex(index, "parameter id out of range in getInfo");
    if (!IsParameterUsed(index))
        fail("parameter id is unused");
    const IpEndpointName to = replyTo(url);
    const ParameterDescriptor& row = table_[index];
    Reply reply(path);
    reply.args() << index << row.minimum << row.maximum << row.defaultNative()
                 << (row.name ? row.name : "") << static_cast<osc::int32>(row.unit);
    transport_->send(to, {reply.finish()});
}

void OSCHelper::registerUpdate(const osc::ReceivedMessage& message, const IpEndpointName&) {
    osc::int32 index;
    const char* url;
    const char* path;
    message.ArgumentStream() >> index >> url >> path >> osc::EndMessage;
    checkIndex(index, "parameter id out of range in registerUpdate");
    const IpEndpointName endpoint = replyTo(url);
    const UpdateRegistration registration{static_cast<std::uint32_t>(endpoint.address),
                                          endpoint.port, path};
    std::lock_guard<std::mutex> guard(tablesMutex_);
    auto range = updates_.equal_range(index);
    for (auto i = range.first; i != range.second; ++i)
        if (i->second == registration)
            return;
    updates_.emplace(index, registration);
    if (index < registeredSize_.load(std::memory_order_acquire))
        registered_[index].store(1, std::memory_order_relaxed);
}

void OSCHelper::unregisterUpdate(const osc::ReceivedMessage& message, const IpEndpointName&) {
    osc::int32 index;
    const char* url;
    const char* path;
    message.ArgumentStream() >> index >> url >> path >> osc::EndMessage;
    checkIndex(index, "parameter id out of range in registerUpdate");
    const IpEndpointName endpoint = replyTo(url);
    const UpdateRegistration registration{static_cast<std::uint32_t>(endpoint.address),
                                          endpoint.port, path};
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

void OSCHelper::exec(const osc::ReceivedMessage& message, const IpEndpointName&) {
    auto argument = message.ArgumentsBegin();
    const auto end = message.ArgumentsEnd();
    const char* name = nextString(argument, end);
    callGlobal(name, argument, end, 0, [](lua_State*, int) {});
}

void OSCHelper::call(const osc::ReceivedMessage& message, const IpEndpointName&) {
    auto argument = message.ArgumentsBegin();
    const auto end = message.ArgumentsEnd();
    const char* name = nextString(argument, end);
    const char* url = nextString(argument, end);
    const char* path = nextString(argument, end);
    // Resolved before the call: a slow name lookup must not hold the Lua
    // lock, which the audio thread's MIDI callbacks wait for.
    const IpEndpointName to = replyTo(url);
    std::string packet;
    callGlobal(name, argument, end, kCallResults, [&](lua_State* L, int first) {
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
                fail("unhandled argument type return from call");
        }
        packet = reply.finish();
    });
    transport_->send(to, {packet});
}

void OSCHelper::startNote(const osc::ReceivedMessage& message, const IpEndpointName&) {
    osc::int32 note;
    float velocity;
    message.ArgumentStream() >> note >> velocity >> osc::EndMessage;
    if (lua_)
        lua_->noteOn(1, static_cast<std::uint8_t>(note), luaNumberToInt(velocity * 127.0));
}

void OSCHelper::stopNote(const osc::ReceivedMessage& message, const IpEndpointName&) {
    osc::int32 note;
    float velocity;
    message.ArgumentStream() >> note >> velocity >> osc::EndMessage;
    if (lua_)
        lua_->noteOff(1, static_cast<std::uint8_t>(note), luaNumberToInt(velocity * 127.0));
}

}  // namespace QX
