#include "DialogTestSupport.h"

#include <ip/UdpSocket.h>
#include <osc/OscOutboundPacketStream.h>
#include <osc/OscPacketListener.h>
#include <osc/OscReceivedElements.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "platform/Folders.h"
#include "platform/Settings.h"
#include "platform/testing/TestAccess.h"

namespace dialogtest {

namespace fs = std::filesystem;

TemporaryUserFolders::TemporaryUserFolders(const std::string& tag) {
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    root_ = fs::temp_directory_path() / ("tavro-dialogs-" + tag + "-" + std::to_string(stamp));
    fs::create_directories(root_);
    platform::testsupport::setEnvironmentVariable("XDG_DATA_HOME", root_.string().c_str());
    platform::testsupport::setEnvironmentVariable("APPDATA", root_.string().c_str());
}

TemporaryUserFolders::~TemporaryUserFolders() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

fs::path TemporaryUserFolders::skins() const {
    return fs::u8path(platform::skinsFolder("tavro"));
}

void resetProcessSettings() {
    auto& settings = platform::processSettings();
    settings.oscBasePort = platform::kDefaultOscBasePort;
    settings.eyeCandy = true;
    settings.constantRedraw = true;
    settings.floatingTooltip = false;
}

bool udpPortFree(int port) {
    try {
        UdpReceiveSocket probe(IpEndpointName(IpEndpointName::ANY_ADDRESS, port));
        return true;
    } catch (const std::runtime_error&) {
        return false;
    }
}

namespace {

class PongListener : public osc::OscPacketListener {
public:
    std::atomic<bool> answered{false};
    std::string where;

protected:
    void ProcessMessage(const osc::ReceivedMessage& message, const IpEndpointName&) override {
        if (std::string(message.AddressPattern()) != "/pong")
            return;
        try {
            const char* address = nullptr;
            auto args = message.ArgumentStream();
            args >> address;
            where = address ? address : "";
        } catch (const osc::Exception&) {
        }
        answered = true;
    }
};

}  // namespace

bool pingAnswered(int port, int timeoutMs, std::string* where) {
    PongListener listener;
    std::unique_ptr<UdpListeningReceiveSocket> socket;
    int replyPort = 0;
    for (int candidate = 47000; candidate < 47400 && !socket; ++candidate) {
        try {
            socket = std::make_unique<UdpListeningReceiveSocket>(
                IpEndpointName("127.0.0.1", candidate), &listener);
            replyPort = candidate;
        } catch (const std::runtime_error&) {
        }
    }
    if (!socket)
        return false;
    std::thread receiver([&] { socket->Run(); });

    char buffer[256];
    osc::OutboundPacketStream packet(buffer, sizeof buffer);
    const std::string url = "osc.udp://127.0.0.1:" + std::to_string(replyPort);
    packet << osc::BeginMessage("/ping") << url.c_str() << "/pong" << osc::EndMessage;
    UdpTransmitSocket sender(IpEndpointName("127.0.0.1", port));
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    // UDP may drop the first datagram while the server is still binding.
    while (!listener.answered && std::chrono::steady_clock::now() < end) {
        try {
            sender.Send(packet.Data(), packet.Size());
        } catch (const std::runtime_error&) {
            // Refused while nothing listens there yet; the next try may
            // find the server bound.
        }
        for (int i = 0; i < 20 && !listener.answered; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    socket->AsynchronousBreak();
    receiver.join();
    if (where)
        *where = listener.where;
    return listener.answered;
}

}  // namespace dialogtest
