// The OSC server: how many "/set" datagrams the packet handler takes per
// second, and how long a parameter change takes to reach a registered peer
// over loopback.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <ip/PacketListener.h>
#include <ip/TimerListener.h>
#include <ip/UdpSocket.h>

#include "engine/ZephCorvane.h"
#include "osc/OSCHelper.h"

namespace {

using Clock = std::chrono::steady_clock;

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

std::string padded(const std::string& text) {
    std::string out = text;
    out.push_back('\0');
    while (out.size() % 4 != 0)
        out.push_back('\0');
    return out;
}

std::string bigEndian(std::uint32_t value) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<char>((value >> (24 - 8 * i)) & 0xFF);
    return out;
}

// Builds replies, sends none.
class NullTransport : public QX::OscTransport {
public:
    std::uint32_t resolveHost(const char*) override { return 0x7F000001; }
    std::uint32_t localAddressFor(const IpEndpointName&) override { return 0x7F000001; }
    void send(const IpEndpointName&, const std::vector<std::string>&) override {}
};

class ServerHelpers : public QX::PluginHelpers {
public:
    explicit ServerHelpers(QX::OscTransport* transport) : transport_(transport) {}
    std::unique_ptr<QX::MidiScripting> createMidiScripting(ZephCorvaneBase&) const override {
        return nullptr;
    }
    std::unique_ptr<QX::OscServerControl> createOscServer(ZephCorvaneBase& plugin,
                                                          QX::MidiScripting*) const override {
        return std::make_unique<QX::OSCHelper>(plugin, nullptr, transport_);
    }

private:
    QX::OscTransport* transport_;
};

QX::OSCHelper& serverOf(ZephCorvaneBase& plugin) {
    void* server = nullptr;
    plugin.GetProperty(64006, 0, 0, &server);
    return dynamic_cast<QX::OSCHelper&>(*static_cast<QX::OscServerControl*>(server));
}

// "/set" i index f value through the packet handler, as the receive thread
// runs it (without the socket).
void OscSetThroughPacketHandler(benchmark::State& state) {
    NullTransport transport;
    ServerHelpers helpers(&transport);
    QX4Controller::ZephCorvane plugin(hostCallback, &helpers);
    QX::OSCHelper& server = serverOf(plugin);
    const std::string packet =
        padded("/set") + padded(",if") + bigEndian(4) + bigEndian(0x42480000);  // 50.0
    const IpEndpointName peer(0x7F000001, 50000);
    for (auto _ : state)
        server.handlePacket(packet.data(), packet.size(), peer);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(OscSetThroughPacketHandler);

// "/get": the reply is built in full; the transport drops it.
void OscGetThroughPacketHandler(benchmark::State& state) {
    NullTransport transport;
    ServerHelpers helpers(&transport);
    QX4Controller::ZephCorvane plugin(hostCallback, &helpers);
    QX::OSCHelper& server = serverOf(plugin);
    const std::string packet = padded("/get") + padded(",iss") + bigEndian(4) +
                               padded("osc.udp://127.0.0.1:9000") + padded("/value");
    const IpEndpointName peer(0x7F000001, 50000);
    for (auto _ : state)
        server.handlePacket(packet.data(), packet.size(), peer);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(OscGetThroughPacketHandler);

// A peer on loopback that notes when each datagram arrived, on its own
// receive thread.
class TimingPeer : public PacketListener, public TimerListener {
public:
    TimingPeer() {
        for (int port = 47000; port < 47100 && !socket_; ++port) {
            try {
                socket_ = std::make_unique<UdpReceiveSocket>(
                    IpEndpointName(IpEndpointName::ANY_ADDRESS, port));
                port_ = port;
            } catch (const std::runtime_error&) {
            }
        }
        if (socket_) {
            multiplexer_.AttachSocketListener(socket_.get(), this);
            // A break that comes before the loop runs is lost; the timer
            // looks again.
            multiplexer_.AttachPeriodicTimerListener(50, this);
            thread_ = std::thread([this] { multiplexer_.Run(); });
        }
    }
    ~TimingPeer() override {
        stop_.store(true);
        multiplexer_.AsynchronousBreak();
        if (thread_.joinable())
            thread_.join();
        if (socket_) {
            multiplexer_.DetachPeriodicTimerListener(this);
            multiplexer_.DetachSocketListener(socket_.get(), this);
        }
    }
    int port() const { return port_; }

    void ProcessPacket(const char*, int, const IpEndpointName&) override {
        const Clock::time_point now = Clock::now();
        std::lock_guard<std::mutex> guard(mutex_);
        arrivals_.push_back(now);
        arrived_.notify_all();
    }
    void TimerExpired() override {
        if (stop_.load())
            multiplexer_.Break();
    }
    // Waits at most one second for datagram number `n` (0-based).
    bool waitFor(std::size_t n, Clock::time_point& when) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!arrived_.wait_for(lock, std::chrono::seconds(1), [&] { return arrivals_.size() > n; }))
            return false;
        when = arrivals_[n];
        return true;
    }

private:
    std::unique_ptr<UdpReceiveSocket> socket_;
    SocketReceiveMultiplexer multiplexer_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    int port_ = 0;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<Clock::time_point> arrivals_;
};

// From setParameter on the calling thread to the notification's arrival at
// a registered peer: the change queue, the notify thread, packet building,
// a new socket and loopback UDP. Manual time per change; the median and the
// 99th percentile are reported as counters (microseconds).
void OscNotificationLatency(benchmark::State& state) {
    TimingPeer peer;
    if (peer.port() == 0) {
        state.SkipWithError("no free UDP port for the peer");
        return;
    }
    ServerHelpers helpers(nullptr);  // real UDP
    QX4Controller::ZephCorvane plugin(hostCallback, &helpers);
    QX::OSCHelper& server = serverOf(plugin);
    const std::string registration = padded("/registerUpdate") + padded(",iss") + bigEndian(4) +
                                     padded("osc.udp://127.0.0.1:" + std::to_string(peer.port())) +
                                     padded("/swing");
    server.handlePacket(registration.data(), registration.size(), IpEndpointName(0x7F000001, 1));

    std::vector<double> latencies;
    std::size_t sent = 0;
    float value = 0.0f;
    for (auto _ : state) {
        value = value >= 99.0f ? 0.0f : value + 1.0f;
        const Clock::time_point start = Clock::now();
        plugin.setParameterNative(4, value, false);
        Clock::time_point arrival;
        if (!peer.waitFor(sent++, arrival)) {
            state.SkipWithError("a notification did not arrive within one second");
            break;
        }
        const double seconds = std::chrono::duration<double>(arrival - start).count();
        state.SetIterationTime(seconds);
        latencies.push_back(seconds * 1e6);
    }
    if (latencies.empty())
        return;
    std::sort(latencies.begin(), latencies.end());
    state.counters["median_us"] = latencies[latencies.size() / 2];
    state.counters["p99_us"] =
        latencies[std::min(latencies.size() - 1, latencies.size() * 99 / 100)];
}
BENCHMARK(OscNotificationLatency)->UseManualTime()->Iterations(2000);

}  // namespace
