#pragma once
// The packets the OSC server sends: replies, update notifications and the
// datagrams of sendOSC, each a single message in a bundle with the
// immediate time tag. And how a received message fails: it is answered
// with nothing.

#include <cstddef>
#include <stdexcept>
#include <string>

#include <osc/OscOutboundPacketStream.h>

namespace QX {

// Room for one outgoing packet; building a larger one throws
// osc::OutOfBufferMemoryException ("out of buffer memory").
inline constexpr std::size_t kPacketBufferSize = 1024;

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
    char buffer_[kPacketBufferSize];
    osc::OutboundPacketStream stream_;
};

// Fails the message being handled: the text is printed, nothing replied.
[[noreturn]] inline void failMessage(const std::string& text) {
    throw std::runtime_error(text);
}

}  // namespace QX
