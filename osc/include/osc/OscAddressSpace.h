#pragma once
// The OSC address space of one plug-in instance: what a received datagram
// means and what is answered. A packet is checked whole, its bundles are
// walked, and each message goes to the first of: "/zeph/..." (parameters of
// other instances), the addresses scripts bound, the built-in addresses
// ("/set", "/get", "/call", ...). Anything else is ignored.
//
// It opens no socket and runs no thread: replies are whole packets handed
// to the transport, reply hosts come from the host lookup, and a test or
// the fuzz target drives it with byte buffers.
//
// Owns the registration tables: the peers registered for parameter changes
// ("/registerUpdate", with one lock-free flag per parameter) and the
// addresses scripts bound to parameters and functions. Reads the product
// name and the parameter table from the plug-in at initialise().
//
// Threads and locks:
//   - the receive thread (tests and the fuzz target in its place):
//     handlePacket; takes the tables lock briefly, the Lua lock around
//     script calls and the registry lock around "/zeph/" targets, never two
//     of them at once;
//   - the notify thread: notificationsFor (the tables lock);
//   - any thread, the audio thread included: isRegisteredForUpdates,
//     lock-free;
//   - Lua callers (holding the Lua lock): addParameterPath, addFunctionPath
//     (the tables lock).
// The tables lock is never held while a script runs, a parameter is set or
// a datagram is sent.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <ip/IpEndpointName.h>

namespace osc {
class ReceivedBundle;
class ReceivedMessage;
}  // namespace osc

class ZephCorvaneBase;
struct ParameterDescriptor;

namespace QX {

class HostLookup;
class OscLuaAccess;
class OscTransport;

class OscAddressSpace {
public:
    // A packet on its way to a peer.
    struct Datagram {
        IpEndpointName to;
        std::string packet;
    };

    // `lua` null: no Lua support ("/exec", "/call" and function paths
    // fail). None of the four is owned; all must outlive this object.
    OscAddressSpace(ZephCorvaneBase& owner, OscLuaAccess* lua, OscTransport& transport,
                    HostLookup& lookup);
    OscAddressSpace(const OscAddressSpace&) = delete;
    OscAddressSpace& operator=(const OscAddressSpace&) = delete;

    // [main-thread, before any packet] Product name, parameter count and
    // table from the owner's properties.
    void initialise();

    // One received datagram, checked whole before anything is read;
    // failures are printed, never thrown. `localPort` is the port it
    // arrived on, which "/ping" tells the peer (0 when none is open).
    void handlePacket(const char* data, std::size_t size, const IpEndpointName& from,
                      int localPort);

    // ---- Update registrations ----
    // [any-thread, lock-free] Whether a peer is registered for `index`.
    bool isRegisteredForUpdates(int index) const;
    std::size_t updateRegistrationCount() const;
    // The packets that tell every peer registered for `index` of its new
    // value; a peer whose packet cannot be built is left out.
    std::vector<Datagram> notificationsFor(int index, float native) const;

    // ---- Addresses bound by scripts ----
    int parameterCount() const { return parameterCount_; }
    // The index of the parameter called `name`; -1 when none is.
    int findParameter(const char* name) const;
    // Binds `path` to valid `parameters`, in the order the message's
    // arguments set them: native values, or 0..1 mapped onto each range when
    // `normalised`. False, binding nothing, when `path` is bound already to
    // another number of parameters. Throws std::bad_alloc.
    bool addParameterPath(const char* path, const std::vector<int>& parameters, bool normalised);
    // Binds `path` to the function at `reference` in the Lua registry.
    // Throws std::bad_alloc.
    void addFunctionPath(const char* path, int reference);

private:
    struct Arrival {
        const IpEndpointName& from;
        int localPort;
    };
    struct UpdateRegistration {
        std::uint32_t address;  // IPv4, host byte order
        std::int32_t port;
        std::string path;
        bool operator==(const UpdateRegistration& o) const {
            return address == o.address && port == o.port && path == o.path;
        }
    };
    struct ParameterBinding {
        std::int32_t index;
        float offset;
        float scale;
    };
    using Handler = void (OscAddressSpace::*)(const osc::ReceivedMessage&, const Arrival&);

    // ---- Packets and messages (OscAddressSpace.cpp) ----
    void processBundle(const osc::ReceivedBundle& bundle, const Arrival& arrival, int depth);
    void consumeTouchFrame(const osc::ReceivedBundle& bundle);
    void processMessage(const osc::ReceivedMessage& message, const Arrival& arrival);
    void dispatch(const osc::ReceivedMessage& message, const Arrival& arrival);
    bool dispatchParameterPath(const osc::ReceivedMessage& message);
    bool dispatchFunctionPath(const osc::ReceivedMessage& message);
    void applyZephTargets(const osc::ReceivedMessage& message);

    // ---- Built-in addresses (OscBuiltInAddresses.cpp) ----
    // The handler of the built-in `address`; null when there is none.
    static Handler builtInHandler(const char* address);
    void checkIndex(int index, const char* failure) const;
    IpEndpointName replyTo(const char* url);

    void ping(const osc::ReceivedMessage& message, const Arrival& arrival);
    void set(const osc::ReceivedMessage& message, const Arrival& arrival);
    void get(const osc::ReceivedMessage& message, const Arrival& arrival);
    void getAll(const osc::ReceivedMessage& message, const Arrival& arrival);
    void getAllRegistered(const osc::ReceivedMessage& message, const Arrival& arrival);
    void getNumParameters(const osc::ReceivedMessage& message, const Arrival& arrival);
    void isParameterUsed(const osc::ReceivedMessage& message, const Arrival& arrival);
    void getInfo(const osc::ReceivedMessage& message, const Arrival& arrival);
    // The index, reply address and path of a (un)registerUpdate message;
    // an index out of range fails the message with `where`.
    UpdateRegistration readRegistration(const osc::ReceivedMessage& message, const char* where,
                                        std::int32_t& index);
    void registerUpdate(const osc::ReceivedMessage& message, const Arrival& arrival);
    void unregisterUpdate(const osc::ReceivedMessage& message, const Arrival& arrival);
    void exec(const osc::ReceivedMessage& message, const Arrival& arrival);
    void call(const osc::ReceivedMessage& message, const Arrival& arrival);
    void startNote(const osc::ReceivedMessage& message, const Arrival& arrival);
    void stopNote(const osc::ReceivedMessage& message, const Arrival& arrival);

    ZephCorvaneBase& owner_;
    OscLuaAccess* const lua_;
    OscTransport& transport_;
    HostLookup& lookup_;

    // Read from the owner at initialise, before any packet.
    std::string productName_;
    int parameterCount_ = 0;
    const ParameterDescriptor* table_ = nullptr;

    // One byte per parameter, 1 while a peer is registered for it; read
    // without a lock. Allocated once, at initialise, and published through
    // its size.
    std::unique_ptr<std::atomic<std::uint8_t>[]> registered_;
    std::atomic<int> registeredSize_{0};

    // The registration tables, under a lock of their own.
    mutable std::mutex tablesMutex_;
    std::multimap<std::int32_t, UpdateRegistration> updates_;
    std::multimap<std::string, std::vector<ParameterBinding>, std::less<>> parameterPaths_;
    std::multimap<std::string, int, std::less<>> functionPaths_;
};

}  // namespace QX
