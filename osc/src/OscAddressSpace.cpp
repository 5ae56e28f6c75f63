// The OSC address space: received packets, bundles and messages, the
// addresses scripts bound, instance addressing and the registration tables.
// The built-in addresses are in OscBuiltInAddresses.cpp.

#include "osc/OscAddressSpace.h"

#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include <osc/OscReceivedElements.h>
#include <lua.hpp>

#include "OscLuaSupport.h"
#include "OscReply.h"
#include "osc/OscLuaAccess.h"
#include "osc/OscPacketCheck.h"
#include "osc/ZephAddress.h"
#include "platform/Diagnostics.h"
#include "plugin/InstanceRegistry.h"
#include "plugin/ParameterTable.h"
#include "plugin/Properties.h"
#include "plugin/ZephCorvaneBase.h"

namespace QX {

namespace {

// A peer's mistake, said for whoever debugs the peer; not one for the
// musician's editor, which shows warnings and errors.
void printParseError(const std::string& text) {
    platform::report(platform::ReportLevel::kInfo, "error while parsing message: " + text);
}

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

}  // namespace

OscAddressSpace::OscAddressSpace(ZephCorvaneBase& owner, OscLuaAccess* lua, OscTransport& transport,
                                 HostLookup& lookup)
    : owner_(owner), lua_(lua), transport_(transport), lookup_(lookup) {}

void OscAddressSpace::initialise() {
    const char* family = nullptr;
    if (owner_.GetProperty(prop::kFamilyText, kAudioUnitScope_Global, 0, &family) == 0 && family)
        productName_ = family;
    std::int32_t count = 0;
    if (owner_.GetProperty(prop::kParameterCount, kAudioUnitScope_Global, 0, &count) == 0)
        parameterCount_ = count > 0 ? count : 0;
    ParameterDescriptor* table = nullptr;
    if (owner_.GetProperty(prop::kParameterTable, kAudioUnitScope_Global, 0, &table) == 0)
        table_ = table;
    if (!table_)
        parameterCount_ = 0;

    std::lock_guard<std::mutex> guard(tablesMutex_);
    // Readers of the flags take no lock: they are allocated once and
    // published through their size.
    if (!registered_ && parameterCount_ > 0) {
        registered_.reset(new std::atomic<std::uint8_t>[parameterCount_]);
        for (int i = 0; i < parameterCount_; ++i)
            registered_[i].store(0, std::memory_order_relaxed);
        registeredSize_.store(parameterCount_, std::memory_order_release);
    }
    const int size = registeredSize_.load(std::memory_order_relaxed);
    for (int i = 0; i < size; ++i)
        registered_[i].store(updates_.count(i) ? 1 : 0, std::memory_order_relaxed);
}

// ---- Packets and bundles ----------------------------------------------------------------------

void OscAddressSpace::handlePacket(const char* data, std::size_t size, const IpEndpointName& from,
                                   int localPort) {
    // Everything is checked before anything is read, so that a malformed
    // element deep in a bundle cannot leave half of the bundle applied, and
    // nothing a peer sends can throw out of the receive loop (which would
    // close the socket).
    if (const char* reason = checkOscPacket(data, size)) {
        printParseError(reason);
        return;
    }
    const Arrival arrival{from, localPort};
    try {
        const osc::ReceivedPacket packet(data, static_cast<int>(size));
        if (packet.IsBundle())
            processBundle(osc::ReceivedBundle(packet), arrival, 1);
        else
            processMessage(osc::ReceivedMessage(packet), arrival);
    } catch (const std::exception& e) {
        printParseError(e.what());
    }
}

void OscAddressSpace::processBundle(const osc::ReceivedBundle& bundle, const Arrival& arrival,
                                    int depth) {
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
                processBundle(osc::ReceivedBundle(*element), arrival, depth + 1);
            else
                processMessage(osc::ReceivedMessage(*element), arrival);
        }
    } catch (const std::exception& e) {
        printParseError(e.what());
    }
}

void OscAddressSpace::consumeTouchFrame(const osc::ReceivedBundle& bundle) {
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

void OscAddressSpace::processMessage(const osc::ReceivedMessage& message, const Arrival& arrival) {
    try {
        dispatch(message, arrival);
    } catch (const std::exception& e) {
        // One message fails; nothing is replied and the server goes on.
        printParseError(std::string(message.AddressPattern()) + ": " + e.what());
    }
}

void OscAddressSpace::dispatch(const osc::ReceivedMessage& message, const Arrival& arrival) {
    const char* address = message.AddressPattern();
    if (std::strncmp(address, kZephPrefix, kZephPrefixLength) == 0) {
        applyZephTargets(message);
        return;
    }
    if (dispatchParameterPath(message) || dispatchFunctionPath(message))
        return;
    if (const Handler handler = builtInHandler(address))
        (this->*handler)(message, arrival);
}

// ---- Addresses bound by scripts ---------------------------------------------------------------

bool OscAddressSpace::dispatchParameterPath(const osc::ReceivedMessage& message) {
    std::vector<std::vector<ParameterBinding>> registrations;
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

bool OscAddressSpace::dispatchFunctionPath(const osc::ReceivedMessage& message) {
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
        failMessage("no Lua support from OSC");
    const int count = countLuaArguments(message.ArgumentsBegin(), message.ArgumentsEnd());
    if (count < 0)
        failMessage("unhandled argument type to exec");

    std::lock_guard<std::recursive_mutex> guard(lua_->luaLock());
    lua_State* L = lua_->luaState();
    if (!L)
        failMessage("no Lua support from OSC");
    const LuaStackHeight height(L);
    if (!lua_checkstack(L, count + 1))
        failMessage("failed to pcall function");
    for (int reference : references) {
        lua_rawgeti(L, LUA_REGISTRYINDEX, reference);  // push the function
        pushLuaArguments(L, message.ArgumentsBegin(), message.ArgumentsEnd());
        if (lua_pcall(L, count, 0, 0) != 0)
            failMessage("failed to pcall function");
    }
    return true;
}

int OscAddressSpace::findParameter(const char* name) const {
    for (int i = 0; i < parameterCount_; ++i)
        if (table_[i].name && std::strcmp(table_[i].name, name) == 0)
            return i;
    return -1;
}

bool OscAddressSpace::addParameterPath(const char* path, const std::vector<int>& parameters,
                                       bool normalised) {
    std::vector<ParameterBinding> bindings;
    bindings.reserve(parameters.size());
    for (int parameter : parameters) {
        const ParameterDescriptor& row = table_[parameter];
        // Normalised paths map an incoming 0..1 linearly onto the range.
        bindings.push_back(normalised
                               ? ParameterBinding{parameter, row.minimum, row.maximum - row.minimum}
                               : ParameterBinding{parameter, 0.0f, 1.0f});
    }
    std::lock_guard<std::mutex> guard(tablesMutex_);
    auto existing = parameterPaths_.find(path);
    if (existing != parameterPaths_.end() && existing->second.size() != bindings.size())
        return false;
    parameterPaths_.emplace(path, std::move(bindings));
    return true;
}

void OscAddressSpace::addFunctionPath(const char* path, int reference) {
    std::lock_guard<std::mutex> guard(tablesMutex_);
    functionPaths_.emplace(path, reference);
}

// ---- Update registrations ---------------------------------------------------------------------

bool OscAddressSpace::isRegisteredForUpdates(int index) const {
    const int size = registeredSize_.load(std::memory_order_acquire);
    return index >= 0 && index < size && registered_[index].load(std::memory_order_relaxed) != 0;
}

std::size_t OscAddressSpace::updateRegistrationCount() const {
    std::lock_guard<std::mutex> guard(tablesMutex_);
    return updates_.size();
}

std::vector<OscAddressSpace::Datagram> OscAddressSpace::notificationsFor(int index,
                                                                         float native) const {
    std::vector<UpdateRegistration> targets;
    {
        std::lock_guard<std::mutex> guard(tablesMutex_);
        auto range = updates_.equal_range(index);
        for (auto i = range.first; i != range.second; ++i)
            targets.push_back(i->second);
    }
    std::vector<Datagram> datagrams;
    for (const UpdateRegistration& target : targets) {
        try {
            Reply notification(target.path.c_str());
            notification.args() << static_cast<osc::int32>(index) << native;
            datagrams.push_back(
                {IpEndpointName(target.address, target.port), notification.finish()});
        } catch (const std::exception&) {
            // A path too long for a packet: that peer misses the change.
        }
    }
    return datagrams;
}

// ---- Instance addressing ----------------------------------------------------------------------

void OscAddressSpace::applyZephTargets(const osc::ReceivedMessage& message) {
    const char* address = message.AddressPattern();
    std::vector<ZephTarget> targets;
    if (!parseZephTargets(address + kZephPrefixLength, targets))
        failMessage(address);
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

}  // namespace QX
