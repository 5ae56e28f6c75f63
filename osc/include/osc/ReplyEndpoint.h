#pragma once
// Reply URLs: "osc.udp://host:port". The prefix is optional; the port is
// the decimal text after the first ':' (oscpack's "any port", -1, when there
// is no ':'); the host is resolved by name through HostLookup (0 when that
// fails). Only the first 1023 characters of the text count.

#include <string>

#include <ip/IpEndpointName.h>

namespace QX {

struct ReplyUrl {
    std::string host;
    int port = IpEndpointName::ANY_PORT;
};

// Pure text work, no lookup.
ReplyUrl splitReplyUrl(const char* url);

}  // namespace QX
