#pragma once
// Host names of reply and script URLs, resolved without holding anyone up.
//
// A name lookup can take seconds, or fail only after a resolver's timeouts.
// Scripts send OSC while they hold the Lua lock, which the audio thread's
// MIDI callbacks wait for, so sendOSC never looks a name up itself: a dotted
// IPv4 address is used as it is, a name looked up a short while ago comes
// from a cache, and anything else goes to a lookup thread of this object,
// which sends the datagram once it knows the address (address 0 when the
// name cannot be resolved: the datagram is lost, as the server's replies
// to such a name are). Datagrams to one host leave in the order they were
// given.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace QX {

class OscTransport;

// A dotted IPv4 address ("127.0.0.1") in host byte order; false for any
// other text (which is then a name to look up).
bool parseDottedAddress(const std::string& text, std::uint32_t& address);

class HostLookup {
public:
    // How long a lookup's answer is kept.
    static constexpr std::chrono::seconds kFoundLifetime{60};
    static constexpr std::chrono::seconds kNotFoundLifetime{5};
    // Datagrams that may wait for lookups; more are dropped.
    static constexpr std::size_t kMaxWaiting = 256;
    // How long destruction waits for a lookup in progress.
    static constexpr std::chrono::milliseconds kStopWait{1000};

    // `transport` must outlive the lookup thread (see stop()).
    explicit HostLookup(OscTransport& transport);
    // stop(kStopWait).
    ~HostLookup();
    HostLookup(const HostLookup&) = delete;
    HostLookup& operator=(const HostLookup&) = delete;

    // [main-thread] Starts the lookup thread now, so that no caller of
    // send() has to (it would otherwise start with the first name to look
    // up, on that caller's thread). Does nothing once stopped.
    void start();
    // [any-thread except audio] The address of `host`, looked up now when it
    // is neither a dotted address nor cached (may block); 0 when it cannot
    // be resolved.
    std::uint32_t resolve(const std::string& host);
    // [any-thread; never waits for a lookup] Sends `packet` to host:port:
    // at once when the address is known (the transport's errors are thrown
    // to the caller), otherwise from the lookup thread once it is (errors
    // there are dropped with the datagram). False when the datagram was
    // dropped: too many waiting, or stopped.
    bool send(const std::string& host, int port, const std::string& packet);
    // [main-thread] Drops what waits and ends the lookup thread, waiting up
    // to `wait` for a lookup in progress. A lookup that takes longer is left
    // to finish on its own: its thread then touches nothing but state of
    // its own, sends nothing, and the library stays loaded for it. Later
    // sends to names are dropped.
    void stop(std::chrono::milliseconds wait);

    // Datagrams waiting for a lookup, and dropped so far.
    std::size_t waiting() const;
    std::uint64_t dropped() const;

private:
    struct Shared;
    static void run(std::shared_ptr<Shared> shared);

    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};

}  // namespace QX
