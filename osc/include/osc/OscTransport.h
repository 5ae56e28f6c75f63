#pragma once
// Where the OSC server's outgoing datagrams go and how it names hosts. The
// server itself never touches a socket for a reply: it builds whole packets
// and hands them to a transport. The product uses UdpOscTransport; tests and
// the fuzz target record the packets instead.

#include <cstdint>
#include <string>
#include <vector>

#include <ip/IpEndpointName.h>

namespace QX {

class OscTransport {
public:
    virtual ~OscTransport() = default;
    // IPv4 address of `host` in host byte order (the first one the lookup
    // gives); 0 when it cannot be resolved. May block on a name lookup.
    // [any-thread except audio]
    virtual std::uint32_t resolveHost(const char* host) = 0;
    // The local IPv4 address through which `remote` is reached (host byte
    // order). Throws std::runtime_error when there is no route.
    virtual std::uint32_t localAddressFor(const IpEndpointName& remote) = 0;
    // Sends every packet, in order, from one new socket connected to `to`.
    // Throws std::runtime_error when the socket cannot be made or connected.
    virtual void send(const IpEndpointName& to, const std::vector<std::string>& packets) = 0;
};

// oscpack's UDP sockets. Stateless: every call makes its own socket, so one
// object serves every thread at once.
class UdpOscTransport final : public OscTransport {
public:
    std::uint32_t resolveHost(const char* host) override;
    std::uint32_t localAddressFor(const IpEndpointName& remote) override;
    void send(const IpEndpointName& to, const std::vector<std::string>& packets) override;
};

// The process's one UDP transport.
UdpOscTransport& udpOscTransport();

}  // namespace QX
