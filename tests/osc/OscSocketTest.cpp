// The OSC server of the real plug-in (with its Lua MIDI helper) on loopback,
// with liblo's command-line tools as the peer: oscsend sends, oscdump
// receives the replies. Everything stays on 127.0.0.1; every wait is
// bounded.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include <ip/UdpSocket.h>

#include "OscTestSupport.h"
#include "osc/ProductHelpers.h"
#include "platform/testing/TestAccess.h"

namespace {

using osctest::bundle;
using osctest::bytes;
using osctest::Message;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Ports relative to the OSC base port chosen for the run: the servers use
// base + offset (offsets up to 100), the peers listen above that.
constexpr int kPortSpan = 110;
constexpr int kPeerPort = 101;

bool portIsFree(int port) {
    try {
        UdpReceiveSocket probe(IpEndpointName(IpEndpointName::ANY_ADDRESS, port));
        return true;
    } catch (const std::runtime_error&) {
        return false;
    }
}

// A base port with the whole span free: TAVRO_OSC_TEST_BASE_PORT when set,
// otherwise the first free span from a start that differs between runs.
int findBasePort() {
    static const int base = [] {
        if (const char* fixed = std::getenv("TAVRO_OSC_TEST_BASE_PORT"))
            return std::atoi(fixed);
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        int candidate = 20000 + static_cast<int>((now / 1000) % 200) * 150;
        for (int attempt = 0; attempt < 100; ++attempt, candidate += 150) {
            if (candidate + kPortSpan > 65000)
                candidate = 20000;
            bool free = true;
            for (int port = candidate; port <= candidate + kPortSpan && free; ++port)
                free = portIsFree(port);
            if (free)
                return candidate;
        }
        return 0;
    }();
    return base;
}

std::string quoted(const std::string& text) {
    return "'" + text + "'";
}

// ---- liblo's tools ------------------------------------------------------------------------------

// oscdump on `port` in the background, for at most `seconds`, its lines in a
// file of its own.
class OscDump {
public:
    OscDump(int port, int seconds)
        : port_(port),
          folder_(fs::temp_directory_path() / ("tavro-osc-test-" + std::to_string(port))) {
        fs::create_directories(folder_);
        fs::remove(output());
        const std::string command = "timeout " + std::to_string(seconds) + " " +
                                    osctest::findTool("oscdump") + " -L " + std::to_string(port) +
                                    " > " + quoted(output().string()) + " 2>&1 & echo $! > " +
                                    quoted(pidFile().string());
        started_ = std::system(command.c_str()) == 0;
        // Ready once it holds the port.
        for (int i = 0; i < 300 && started_ && portIsFree(port_); ++i)
            std::this_thread::sleep_for(10ms);
        started_ = started_ && !portIsFree(port_);
    }
    ~OscDump() {
        const std::string command = "kill $(cat " + quoted(pidFile().string()) + ") 2>/dev/null";
        (void)std::system(command.c_str());
        for (int i = 0; i < 300 && !portIsFree(port_); ++i)
            std::this_thread::sleep_for(10ms);
        std::error_code error;
        fs::remove_all(folder_, error);
    }
    bool started() const { return started_; }
    std::string url() const { return "osc.udp://127.0.0.1:" + std::to_string(port_); }

    // The message part of every line ("/path types args"), without the
    // time stamp oscdump puts first.
    std::vector<std::string> messages() const {
        std::vector<std::string> out;
        std::ifstream in(output());
        std::string line;
        while (std::getline(in, line)) {
            const std::size_t slash = line.find(" /");
            if (slash != std::string::npos)
                out.push_back(line.substr(slash + 1));
        }
        return out;
    }
    // Waits (bounded) for `count` messages.
    std::vector<std::string> waitForMessages(std::size_t count, int ms = 5000) const {
        for (int waited = 0; waited < ms && messages().size() < count; waited += 10)
            std::this_thread::sleep_for(10ms);
        return messages();
    }

private:
    fs::path output() const { return folder_ / "dump.txt"; }
    fs::path pidFile() const { return folder_ / "pid"; }

    int port_;
    fs::path folder_;
    bool started_ = false;
};

// oscsend to the server on 127.0.0.1.
bool oscsend(int port, const std::string& arguments) {
    const std::string command = osctest::findTool("oscsend") + " 127.0.0.1 " +
                                std::to_string(port) + " " + arguments + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

// ---- Fixture ------------------------------------------------------------------------------------

// Per-user folders in a fresh temporary place: no user script runs.
class EmptyUserFolders {
public:
    EmptyUserFolders()
        : folder_(fs::temp_directory_path() /
                  ("tavro-osc-home-" + std::to_string(findBasePort()))) {
        fs::create_directories(folder_);
        platform::testsupport::setEnvironmentVariable("XDG_DATA_HOME", folder_.string().c_str());
        platform::testsupport::setEnvironmentVariable("APPDATA", folder_.string().c_str());
    }
    ~EmptyUserFolders() {
        std::error_code error;
        fs::remove_all(folder_, error);
    }

private:
    fs::path folder_;
};

class OscOnLoopback : public ::testing::Test {
protected:
    void SetUp() override {
        if (osctest::findTool("oscsend").empty() || osctest::findTool("oscdump").empty())
            GTEST_SKIP() << "liblo-tools (oscsend, oscdump) are not installed";
        base_ = findBasePort();
        ASSERT_NE(base_, 0) << "no free span of UDP ports";
        preferences_ = std::make_unique<osctest::ScopedPreferences>(base_);
    }

    std::unique_ptr<QX4Controller::ZephCorvane> makePlugin() {
        return std::make_unique<QX4Controller::ZephCorvane>(osctest::hostCallback, &helpers_);
    }
    static void setOffset(ZephCorvaneBase& plugin, int offset) {
        plugin.getAeffect()->setParameter(plugin.getAeffect(), 15,
                                          static_cast<float>(offset) / 100.0f);
    }
    // Waits (bounded) until the server's socket is bound to `port` (0: none).
    static bool waitForBoundPort(ZephCorvaneBase& plugin, int port) {
        QX::OSCHelper& helper = osctest::oscHelperOf(plugin);
        for (int i = 0; i < 500 && helper.boundPort() != port; ++i)
            std::this_thread::sleep_for(10ms);
        return helper.boundPort() == port;
    }

    EmptyUserFolders folders_;
    QX::ProductHelpers helpers_;
    int base_ = 0;
    std::unique_ptr<osctest::ScopedPreferences> preferences_;
};

// ---- Port control -------------------------------------------------------------------------------

TEST_F(OscOnLoopback, PortOffsetOpensMovesAndClosesTheSocket) {
    auto plugin = makePlugin();
    QX::OSCHelper& helper = osctest::oscHelperOf(*plugin);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(helper.boundPort(), 0);
    EXPECT_TRUE(portIsFree(base_ + 5));

    setOffset(*plugin, 5);
    ASSERT_TRUE(waitForBoundPort(*plugin, base_ + 5));
    EXPECT_FALSE(portIsFree(base_ + 5));

    setOffset(*plugin, 6);
    ASSERT_TRUE(waitForBoundPort(*plugin, base_ + 6));
    EXPECT_TRUE(portIsFree(base_ + 5));
    EXPECT_FALSE(portIsFree(base_ + 6));

    // A peer may move the server itself: the receive thread breaks its own
    // loop.
    ASSERT_TRUE(oscsend(base_ + 6, "/set if 15 8.0"));
    ASSERT_TRUE(waitForBoundPort(*plugin, base_ + 8));
    EXPECT_TRUE(portIsFree(base_ + 6));

    setOffset(*plugin, 0);
    ASSERT_TRUE(waitForBoundPort(*plugin, 0));
    EXPECT_TRUE(portIsFree(base_ + 8));
    std::this_thread::sleep_for(300ms);  // and nothing re-opens it
    EXPECT_EQ(helper.boundPort(), 0);
    EXPECT_TRUE(portIsFree(base_ + 8));
}

TEST_F(OscOnLoopback, APortInUseLeavesTheInstanceWorkingUntilTheNextStart) {
    auto plugin = makePlugin();
    QX::OSCHelper& helper = osctest::oscHelperOf(*plugin);
    auto blocker =
        std::make_unique<UdpReceiveSocket>(IpEndpointName(IpEndpointName::ANY_ADDRESS, base_ + 7));

    testing::internal::CaptureStdout();
    setOffset(*plugin, 7);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "std::runtime_error in TaskMain(): unable to bind udp socket\n");
    EXPECT_EQ(helper.boundPort(), 0);

    float samples[64];
    float* outputs[1] = {samples};
    plugin->getAeffect()->processReplacing(plugin->getAeffect(), nullptr, outputs, 64);
    setOffset(*plugin, 7);  // still taken: the server keeps waiting
    std::this_thread::sleep_for(100ms);

    blocker.reset();
    // Property 64008 re-applies the offset: the next start succeeds.
    std::uint8_t reapply = 1;
    EXPECT_EQ(plugin->setPropertyAndNotify(prop::kReapplyOscPortOffset, &reapply, 1), 0);
    EXPECT_TRUE(waitForBoundPort(*plugin, base_ + 7));
}

// ---- The address space with a real peer ---------------------------------------------------------

TEST_F(OscOnLoopback, PingAndGetAnswerThroughLiblo) {
    OscDump dump(base_ + kPeerPort, 30);
    ASSERT_TRUE(dump.started());
    auto plugin = makePlugin();
    setOffset(*plugin, 5);
    ASSERT_TRUE(waitForBoundPort(*plugin, base_ + 5));

    ASSERT_TRUE(oscsend(base_ + 5, "/ping ss " + quoted(dump.url()) + " /pong"));
    ASSERT_TRUE(oscsend(base_ + 5, "/get iss 4 " + quoted(dump.url()) + " /v"));
    const auto messages = dump.waitForMessages(2);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0],
              "/pong ss \"osc.udp://127.0.0.1:" + std::to_string(base_ + 5) + "\" \"tavro 1.0.7\"");
    EXPECT_EQ(messages[1], "/v if 4 50.000000");
}

TEST_F(OscOnLoopback, ARegisteredPeerHearsOfEveryChangeOnce) {
    OscDump dump(base_ + kPeerPort + 1, 30);
    ASSERT_TRUE(dump.started());
    auto plugin = makePlugin();
    setOffset(*plugin, 5);
    ASSERT_TRUE(waitForBoundPort(*plugin, base_ + 5));

    const std::string reg = "/registerUpdate iss 4 " + quoted(dump.url()) + " /swing";
    ASSERT_TRUE(oscsend(base_ + 5, reg));
    ASSERT_TRUE(oscsend(base_ + 5, reg));
    QX::OSCHelper& helper = osctest::oscHelperOf(*plugin);
    for (int i = 0; i < 300 && !helper.isRegisteredForUpdates(4); ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(helper.updateRegistrationCount(), 1u);

    plugin->getAeffect()->setParameter(plugin->getAeffect(), 4, 0.25f);
    ASSERT_TRUE(oscsend(base_ + 5, "/set if 4 75.0"));
    auto messages = dump.waitForMessages(2);
    std::this_thread::sleep_for(200ms);
    messages = dump.messages();
    EXPECT_EQ(messages,
              (std::vector<std::string>{"/swing if 4 25.000000", "/swing if 4 75.000000"}));
}

TEST_F(OscOnLoopback, ExecAndCallRunTheMidiScriptsState) {
    OscDump dump(base_ + kPeerPort + 2, 30);
    ASSERT_TRUE(dump.started());
    auto plugin = makePlugin();
    setOffset(*plugin, 5);
    ASSERT_TRUE(waitForBoundPort(*plugin, base_ + 5));
    // The helper's own functions are globals of that state.
    ASSERT_TRUE(oscsend(base_ + 5, "/exec sif setParameter 4 12.0"));
    ASSERT_TRUE(oscsend(base_ + 5, "/call sssi getParameter " + quoted(dump.url()) + " /r 4"));
    const auto messages = dump.waitForMessages(1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "/r f 12.000000");
    EXPECT_FLOAT_EQ(plugin->getParameterNative(4), 12.0f);
}

// ---- Robustness ---------------------------------------------------------------------------------

int countEntries(const char* folder) {
    std::error_code error;
    int count = 0;
    for (fs::directory_iterator i(folder, error), end; !error && i != end; i.increment(error))
        ++count;
    return error ? -1 : count;
}

TEST_F(OscOnLoopback, OpeningAndClosingAHundredInstancesLeavesNothingBehind) {
    if (countEntries("/proc/self/task") < 0)
        GTEST_SKIP() << "no /proc";
    {
        // Whatever the first instance creates once per process exists now.
        auto warmUp = makePlugin();
        setOffset(*warmUp, 11);
        ASSERT_TRUE(waitForBoundPort(*warmUp, base_ + 11));
    }
    std::this_thread::sleep_for(100ms);
    const int threads = countEntries("/proc/self/task");
    const int files = countEntries("/proc/self/fd");

    for (int round = 0; round < 10; ++round) {
        std::vector<std::unique_ptr<QX4Controller::ZephCorvane>> plugins;
        for (int i = 0; i < 10; ++i) {
            plugins.push_back(makePlugin());
            setOffset(*plugins.back(), 11 + i);
        }
        for (int i = 0; i < 10; ++i)
            ASSERT_TRUE(waitForBoundPort(*plugins[i], base_ + 11 + i)) << round << ", " << i;
        EXPECT_GT(countEntries("/proc/self/task"), threads);
    }
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(countEntries("/proc/self/task"), threads);
    EXPECT_EQ(countEntries("/proc/self/fd"), files);
    for (int offset = 11; offset <= 20; ++offset)
        EXPECT_TRUE(portIsFree(base_ + offset)) << offset;
}

// Datagrams of every kind the server meets, good and bad.
std::vector<std::string> floodPackets(int base) {
    const std::string closedPeer = "osc.udp://127.0.0.1:" + std::to_string(base + kPeerPort + 9);
    std::string deep = Message("/set").i(4).f(1);
    for (int i = 0; i < 40; ++i)
        deep = bundle({deep});
    std::string noise(96, '\0');
    for (std::size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<char>(i * 37 + 11);
    return {
        Message("/set").i(4).f(20),
        Message("/set").f(4).f(20),
        Message("/set").i(28).f(1),
        Message("/get").i(4).s(closedPeer).s("/v"),
        Message("/getAll").s(closedPeer).s("/all"),
        Message("/getInfo").i(15).s(closedPeer).s("/i"),
        Message("/exec").s("noSuchFunction").i(1),
        Message("/zeph/1/0").f(1),
        Message("/zeph/+multi2/1/0").f(1),
        bundle({Message("/set").i(10).f(3), bundle({Message("/set").i(23).f(2)})}),
        bundle({Message("/t3d/frm"), Message("/t3d/tch1").f(0).f(0).f(0).f(0),
                Message("/set").i(4).f(99)}),
        deep,
        bytes("/set\0\0\0\0,if\0\0\0"),                      // truncated
        bytes("/s\0\0,b\0\0\x7f\xff\xff\xf0"),               // blob larger than the datagram
        bytes("#bundle\0\0\0\0\0\0\0\0\1\xff\xff\xff\xfc"),  // element count can't fit
        bytes("/x"),                                         // not a multiple of four
        noise,
    };
}

TEST_F(OscOnLoopback, AFloodOfGoodAndBadDatagramsLeavesTheServerAnswering) {
    auto plugin = makePlugin();
    AEffect* effect = plugin->getAeffect();
    effect->dispatcher(effect, effSetBlockSize, 0, 256, nullptr, 0.0f);
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
    setOffset(*plugin, 9);
    ASSERT_TRUE(waitForBoundPort(*plugin, base_ + 9));

    std::atomic<bool> stop{false};
    std::atomic<long> blocks{0};
    std::atomic<long long> slowestBlockUs{0};
    std::thread audio([&] {
        float samples[256];
        float* outputs[1] = {samples};
        while (!stop.load()) {
            const auto start = std::chrono::steady_clock::now();
            effect->processReplacing(effect, nullptr, outputs, 256);
            const auto us = std::chrono::duration_cast<std::chrono::microseconds>(
                                std::chrono::steady_clock::now() - start)
                                .count();
            if (us > slowestBlockUs.load())
                slowestBlockUs.store(us);
            blocks.fetch_add(1);
            std::this_thread::sleep_for(1ms);
        }
    });

    const std::vector<std::string> packets = floodPackets(base_);
    testing::internal::CaptureStdout();
    {
        UdpTransmitSocket socket(IpEndpointName(0x7F000001, base_ + 9));
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        for (int n = 0; n < 100000 && std::chrono::steady_clock::now() < deadline; ++n) {
            const std::string& packet = packets[static_cast<std::size_t>(n) % packets.size()];
            socket.Send(packet.data(), packet.size());
            if (n % 200 == 199)
                std::this_thread::sleep_for(1ms);
        }
    }
    std::this_thread::sleep_for(500ms);
    const std::string printed = testing::internal::GetCapturedStdout();
    stop.store(true);
    audio.join();

    EXPECT_NE(printed.find("error while parsing message: /set: wrong argument type\n"),
              std::string::npos);
    EXPECT_NE(printed.find("error while parsing message: arguments exceed message size\n"),
              std::string::npos);
    EXPECT_EQ(printed.find("TaskMain"), std::string::npos);  // the loop never broke
    EXPECT_GT(blocks.load(), 100);
    // Generous: a block that waited for the OSC thread would take seconds.
    EXPECT_LT(slowestBlockUs.load(), 1000000);
    std::printf("flood: %ld blocks, slowest %lld us\n", blocks.load(), slowestBlockUs.load());

    OscDump dump(base_ + kPeerPort + 3, 30);
    ASSERT_TRUE(dump.started());
    ASSERT_TRUE(oscsend(base_ + 9, "/ping ss " + quoted(dump.url()) + " /pong"));
    const auto messages = dump.waitForMessages(1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0],
              "/pong ss \"osc.udp://127.0.0.1:" + std::to_string(base_ + 9) + "\" \"tavro 1.0.7\"");
}

}  // namespace
