#pragma once
// The UDP port the OSC server listens on: the process-wide base port plus
// the instance's OSC Port Offset. A sum past the last UDP port must never
// reach the socket: the 16-bit port field would wrap it to 0 (a port the
// system picks) or to some low port of another service.

namespace osc_port {

inline constexpr int kLargestPort = 65535;

// The port, 0 for offset 0 (server off), or -1 when base + offset is no
// UDP port. [any-thread, lock-free]
constexpr int fromBaseAndOffset(int base, int offset) {
    if (offset == 0)
        return 0;
    if (base < 1 || offset < 0 || base > kLargestPort - offset)
        return -1;
    return base + offset;
}

// The topic of reports that the instance's OSC server has no port (see
// platform::resolve): resolved when a port is open again.
inline constexpr const char* kReportTopic = "OSC port";

// What the user is told when an offset or a base port is refused.
inline constexpr const char* kRefusal = "OSC Base Port + OSC Port Offset is above 65535";

}  // namespace osc_port
