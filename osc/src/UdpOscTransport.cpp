#include "osc/OscTransport.h"

#include <mutex>
#include <stdexcept>

#include <ip/NetworkingUtils.h>
#include <ip/UdpSocket.h>

namespace QX {

namespace {

// Ports oscpack would silently truncate to 16 bits, or turn into "any".
void checkPort(const IpEndpointName& to) {
    if (to.port <= 0 || to.port > 65535)
        throw std::runtime_error("invalid reply port");
}

}  // namespace

std::uint32_t UdpOscTransport::resolveHost(const char* host) {
    // oscpack resolves with the C library's gethostbyname, whose result
    // lives in one static buffer on Linux: instances' receive threads and
    // scripts would otherwise overwrite each other's answers.
    static std::mutex lookupMutex;
    std::lock_guard<std::mutex> guard(lookupMutex);
    NetworkInitializer network;
    return static_cast<std::uint32_t>(GetHostByName(host));
}

std::uint32_t UdpOscTransport::localAddressFor(const IpEndpointName& remote) {
    checkPort(remote);
    // A throw-away socket: asking the listening socket would connect it to
    // the requester for a moment, and the system would drop what other
    // peers send meanwhile.
    UdpSocket probe;
    probe.Bind(IpEndpointName(IpEndpointName::ANY_ADDRESS, IpEndpointName::ANY_PORT));
    return static_cast<std::uint32_t>(probe.LocalEndpointFor(remote).address);
}

void UdpOscTransport::send(const IpEndpointName& to, const std::vector<std::string>& packets) {
    checkPort(to);
    UdpTransmitSocket socket(to);
    for (const std::string& packet : packets)
        socket.Send(packet.data(), packet.size());
}

UdpOscTransport& udpOscTransport() {
    static UdpOscTransport transport;
    return transport;
}

}  // namespace QX
