// The OSC server of the real plug-in (with its Lua MIDI helper) on loopback,
// with liblo's command-line tools as the peer: oscsend sends, oscdump
// receives the replies. Everything stays on 127.0.0.1; every wait is
// bounded.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <thread>

#include <ip/UdpSocket.h>

#include "OscTestSupport.h"
#include "osc/ProductHelpers.h"
#include "platform/testing/CapturedReports.h"
#include "platform/testing/TestAccess.h"
#include "tavro/Version.h"

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
        for (int attempt = 0; attempt < 100; ++attempt) {
            const int candidate = 20000 + static_cast<int>((now / 1000 + attempt) % 200) * 150;
            int port = candidate;
            while (port <= candidate + kPortSpan && portIsFree(port))
                ++port;
            if (port > candidate + kPortSpan)
                return candidate;
        }
        return 0;
    }();
    return base;
}

// Waits (bounded) until `condition` holds; whether it does.
template <typename Condition>
bool waitUntil(Condition condition) {
    for (int i = 0; i < 500 && !condition(); ++i)
        std::this_thread::sleep_for(10ms);
    return condition();
}

std::string quoted(const std::string& text) {
    return "'" + text + "'";
}

// ---- liblo's tools ------------------------------------------------------------------------------

// oscdump on `port` in the background, for at most 30 s, its lines in a file
// of its own.
class OscDump {
public:
    explicit OscDump(int port)
        : port_(port),
          file_(fs::temp_directory_path() / ("tavro-osc-dump-" + std::to_string(port))) {
        const std::string command = "timeout 30 oscdump -L " + std::to_string(port) + " > " +
                                    quoted(file_.string()) + " 2>&1 & echo $! > " +
                                    quoted(file_.string() + ".pid");
        // Ready once it holds the port.
        const bool launched = std::system(command.c_str()) == 0;
        for (int i = 0; i < 300 && launched && portIsFree(port_); ++i)
            std::this_thread::sleep_for(10ms);
    }
    ~OscDump() {
        (void)std::system(
            ("kill $(cat " + quoted(file_.string() + ".pid") + ") 2>/dev/null").c_str());
        for (int i = 0; i < 300 && !portIsFree(port_); ++i)
            std::this_thread::sleep_for(10ms);
        std::error_code error;
        fs::remove(file_, error);
        fs::remove(file_.string() + ".pid", error);
    }
    bool started() const { return !portIsFree(port_); }
    std::string url() const { return "osc.udp://127.0.0.1:" + std::to_string(port_); }

    // The message part ("/path types args") of every line received so far,
    // once `count` have come or `bound` has passed.
    std::vector<std::string> waitForMessages(std::size_t count,
                                             std::chrono::milliseconds bound = 5s) const {
        std::vector<std::string> out;
        for (auto waited = 0ms; waited <= bound; waited += 10ms) {
            out.clear();
            std::ifstream in(file_);
            for (std::string line; std::getline(in, line);)
                if (line.find(" /") != std::string::npos)
                    out.push_back(line.substr(line.find(" /") + 1));  // after the time stamp
            if (out.size() >= count)
                break;
            std::this_thread::sleep_for(10ms);
        }
        return out;
    }

private:
    int port_;
    fs::path file_;
};

// oscsend to the server on 127.0.0.1.
bool oscsend(int port, const std::string& arguments) {
    const std::string command =
        "oscsend 127.0.0.1 " + std::to_string(port) + " " + arguments + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

// ---- Fixture ------------------------------------------------------------------------------------

class OscOnLoopback : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("command -v oscsend >/dev/null && command -v oscdump >/dev/null") != 0)
            GTEST_SKIP() << "liblo-tools (oscsend, oscdump) are not installed";
        base_ = findBasePort();
        ASSERT_NE(base_, 0) << "no free span of UDP ports";
        preferences_ = std::make_unique<osctest::ScopedPreferences>(base_);
        // Per-user folders in a fresh temporary place: no user script runs.
        fs::create_directories(home_);
        platform::testsupport::setEnvironmentVariable("XDG_DATA_HOME", home_.string().c_str());
        platform::testsupport::setEnvironmentVariable("APPDATA", home_.string().c_str());
    }
    void TearDown() override {
        std::error_code error;
        fs::remove_all(home_, error);
    }

    // A plug-in whose server listens on base + `offset`, or on nothing for 0.
    std::unique_ptr<QX4Controller::ZephCorvane> makePlugin(int offset = 0) {
        auto plugin =
            std::make_unique<QX4Controller::ZephCorvane>(osctest::hostCallback, &helpers_);
        if (offset != 0) {
            setOffset(*plugin, offset);
            EXPECT_TRUE(waitForBoundPort(*plugin, base_ + offset)) << offset;
        }
        return plugin;
    }
    static void setOffset(ZephCorvaneBase& plugin, int offset) {
        plugin.getAeffect()->setParameter(plugin.getAeffect(), 15,
                                          static_cast<float>(offset) / 100.0f);
    }
    // Waits (bounded) until the server's socket is bound to `port` (0: none).
    static bool waitForBoundPort(ZephCorvaneBase& plugin, int port) {
        QX::OSCHelper& helper = osctest::oscHelperOf(plugin);
        return waitUntil([&] { return helper.boundPort() == port; });
    }

    fs::path home_ =
        fs::temp_directory_path() / ("tavro-osc-home-" + std::to_string(findBasePort()));
    QX::ProductHelpers helpers_;
    int base_ = 0;
    std::unique_ptr<osctest::ScopedPreferences> preferences_;
};

// ---- Port control -------------------------------------------------------------------------------

TEST_F(OscOnLoopback, PortOffsetOpensMovesAndClosesTheSocket) {
    auto plugin = makePlugin();
    QX::OSCHelper& helper = osctest::oscHelperOf(*plugin);
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
}

TEST_F(OscOnLoopback, APortInUseLeavesTheInstanceWorkingUntilTheNextStart) {
    auto plugin = makePlugin();
    auto blocker =
        std::make_unique<UdpReceiveSocket>(IpEndpointName(IpEndpointName::ANY_ADDRESS, base_ + 7));
    platform::testing::CapturedReports said;
    setOffset(*plugin, 7);
    const std::string refusal =
        "std::runtime_error in TaskMain(): unable to bind udp socket\nOSC port " +
        std::to_string(base_ + 7) +
        " is in use by another program or cannot be opened: choose another OSC Port "
        "Offset, or another OSC Base Port in Prefs\n";
    EXPECT_TRUE(waitUntil([&] { return said.Text().size() >= refusal.size(); }));
    EXPECT_EQ(said.Text(), refusal);
    EXPECT_EQ(osctest::oscHelperOf(*plugin).boundPort(), 0);

    float samples[64];
    float* outputs[1] = {samples};
    plugin->getAeffect()->processReplacing(plugin->getAeffect(), nullptr, outputs, 64);
    setOffset(*plugin, 7);  // unchanged: no new attempt, the server stays closed

    blocker.reset();
    // Property 64008 re-applies the offset: the next start succeeds.
    std::uint8_t reapply = 1;
    EXPECT_EQ(plugin->setPropertyAndNotify(prop::kReapplyOscPortOffset, &reapply, 1), 0);
    EXPECT_TRUE(waitForBoundPort(*plugin, base_ + 7));
}

// ---- The address space with a real peer ---------------------------------------------------------

TEST_F(OscOnLoopback, TheAddressSpaceAnswersThroughLiblo) {
    OscDump dump(base_ + kPeerPort);
    ASSERT_TRUE(dump.started());
    auto plugin = makePlugin(5);
    const std::string server = "\"osc.udp://127.0.0.1:" + std::to_string(base_ + 5) + "\"";

    ASSERT_TRUE(oscsend(base_ + 5, "/ping ss " + quoted(dump.url()) + " /pong"));
    ASSERT_TRUE(oscsend(base_ + 5, "/get iss 4 " + quoted(dump.url()) + " /v"));
    // "/exec" and "/call" run the MIDI script's state, whose own functions
    // are globals there.
    ASSERT_TRUE(oscsend(base_ + 5, "/exec sif setParameter 4 12.0"));
    ASSERT_TRUE(oscsend(base_ + 5, "/call sssi getParameter " + quoted(dump.url()) + " /r 4"));
    ASSERT_EQ(dump.waitForMessages(3).size(), 3u);
    EXPECT_FLOAT_EQ(plugin->getParameterNative(4), 12.0f);

    // A peer registered twice hears of every change once.
    const std::string reg = "/registerUpdate iss 4 " + quoted(dump.url()) + " /swing";
    ASSERT_TRUE(oscsend(base_ + 5, reg));
    ASSERT_TRUE(oscsend(base_ + 5, reg));
    QX::OSCHelper& helper = osctest::oscHelperOf(*plugin);
    ASSERT_TRUE(waitUntil([&] { return helper.addressSpace().isRegisteredForUpdates(4); }));
    EXPECT_EQ(helper.addressSpace().updateRegistrationCount(), 1u);
    plugin->getAeffect()->setParameter(plugin->getAeffect(), 4, 0.25f);
    ASSERT_TRUE(oscsend(base_ + 5, "/set if 4 75.0"));
    ASSERT_GE(dump.waitForMessages(5).size(), 5u);
    // Notifications leave in the order of the changes: a duplicate of either
    // change above would come before this one's.
    plugin->getAeffect()->setParameter(plugin->getAeffect(), 4, 0.5f);
    EXPECT_EQ(
        dump.waitForMessages(6),
        (std::vector<std::string>{"/pong ss " + server + " \"tavro " + tavro::kVersionText + "\"",
                                  "/v if 4 50.000000", "/r f 12.000000", "/swing if 4 25.000000",
                                  "/swing if 4 75.000000", "/swing if 4 50.000000"}));
}

// ---- Robustness ---------------------------------------------------------------------------------

int countEntries(const char* folder) {
    std::error_code error;
    int count = 0;
    for (fs::directory_iterator i(folder, error), end; !error && i != end; i.increment(error))
        ++count;
    return error ? -1 : count;
}

// Threads of this process whose name starts with "tavro ", as the plug-in
// names every thread it starts.
int countPluginThreads() {
    std::error_code error;
    int count = 0;
    for (fs::directory_iterator i("/proc/self/task", error), end; !error && i != end;
         i.increment(error)) {
        std::ifstream comm(i->path() / "comm");
        std::string name;
        if (std::getline(comm, name) && name.rfind("tavro ", 0) == 0)
            ++count;
    }
    return count;
}

TEST_F(OscOnLoopback, OpeningAndClosingAHundredInstancesLeavesNothingBehind) {
    if (countEntries("/proc/self/task") < 0)
        GTEST_SKIP() << "no /proc";
    makePlugin(11);  // whatever the first instance creates once per process exists now
    // Its own threads are joined; they may stay listed for a moment after.
    ASSERT_TRUE(waitUntil([] { return countPluginThreads() == 0; }));
    const int threads = countEntries("/proc/self/task");
    const int files = countEntries("/proc/self/fd");

    for (int round = 0; round < 10; ++round) {
        std::vector<std::unique_ptr<QX4Controller::ZephCorvane>> plugins;
        for (int i = 0; i < 10; ++i)
            plugins.push_back(makePlugin(11 + i));
        EXPECT_GT(countEntries("/proc/self/task"), threads);
    }
    EXPECT_TRUE(waitUntil([] { return countPluginThreads() == 0; }));
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
    auto plugin = makePlugin(9);
    AEffect* effect = plugin->getAeffect();
    effect->dispatcher(effect, effSetBlockSize, 0, 256, nullptr, 0.0f);
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);

    std::atomic<bool> stop{false};
    std::atomic<long> blocks{0};
    std::atomic<long long> slowestBlockUs{0};
    std::thread audio([&] {
        float samples[256];
        float* outputs[1] = {samples};
        while (!stop.load()) {
            const auto start = std::chrono::steady_clock::now();
            effect->processReplacing(effect, nullptr, outputs, 256);
            const long long us = (std::chrono::steady_clock::now() - start) / 1us;
            if (us > slowestBlockUs.load())
                slowestBlockUs.store(us);
            blocks.fetch_add(1);
            std::this_thread::sleep_for(1ms);
        }
    });

    const std::vector<std::string> packets = floodPackets(base_);
    platform::testing::CapturedReports said;
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
    // Datagrams are handled in order: once a ping is answered, everything
    // sent before it has been. A full socket buffer may drop a ping: again.
    OscDump dump(base_ + kPeerPort + 3);
    ASSERT_TRUE(dump.started());
    std::vector<std::string> pongs;
    for (int attempt = 0; attempt < 10 && pongs.empty(); ++attempt) {
        ASSERT_TRUE(oscsend(base_ + 9, "/ping ss " + quoted(dump.url()) + " /pong"));
        pongs = dump.waitForMessages(1, 1s);
    }
    const std::string printed = said.Text();
    stop.store(true);
    audio.join();

    EXPECT_NE(printed.find(osctest::refused("/set", "wrong argument type")), std::string::npos);
    EXPECT_NE(printed.find(osctest::refused("arguments exceed message size")), std::string::npos);
    EXPECT_EQ(printed.find("TaskMain"), std::string::npos);  // the loop never broke
    EXPECT_GT(blocks.load(), 100);
    // Generous: a block that waited for the OSC thread would take seconds.
    EXPECT_LT(slowestBlockUs.load(), 1000000);

    ASSERT_FALSE(pongs.empty());
    EXPECT_EQ(pongs[0], "/pong ss \"osc.udp://127.0.0.1:" + std::to_string(base_ + 9) +
                            "\" \"tavro " + tavro::kVersionText + "\"");
}

// Datagrams made from the kinds above: some random bytes, most a known
// one with bytes flipped, cut or extended, and "/set" of every parameter
// with values from anywhere in the float range (NaN and infinities too).
class DatagramMutator {
public:
    explicit DatagramMutator(std::vector<std::string> seeds) : seeds_(std::move(seeds)) {}

    std::string next() {
        switch (pick(4)) {
            case 0: {
                std::string noise(pick(64) * 4, '\0');
                for (char& c : noise)
                    c = static_cast<char>(pick(256));
                return noise;
            }
            case 1: {
                std::uint32_t bits = static_cast<std::uint32_t>(random_());
                float value;
                std::memcpy(&value, &bits, 4);
                // Not the port offset: that would mostly move the server away
                // from the rest of the datagrams.
                const std::size_t index = pick(27);
                return Message("/set")
                    .i(static_cast<std::int32_t>(index < 15 ? index : index + 1))
                    .f(value);
            }
            default: {
                std::string packet = seeds_[pick(seeds_.size())];
                for (std::size_t n = 1 + pick(4); n > 0 && !packet.empty(); --n) {
                    const std::size_t at = pick(packet.size());
                    switch (pick(3)) {
                        case 0:
                            packet[at] = static_cast<char>(pick(256));
                            break;
                        case 1:
                            packet.resize(at);
                            break;
                        default:
                            packet.insert(at, 4, static_cast<char>(pick(256)));
                    }
                }
                return packet;
            }
        }
    }

private:
    std::size_t pick(std::size_t below) { return static_cast<std::size_t>(random_() % below); }

    std::vector<std::string> seeds_;
    std::mt19937 random_{20261207};
};

TEST_F(OscOnLoopback, MutatedDatagramsLeaveEveryParameterFiniteAndInRange) {
    auto plugin = makePlugin(9);
    AEffect* effect = plugin->getAeffect();
    std::vector<std::string> seeds = floodPackets(base_);
    seeds.push_back(Message("/set").i(19).f(3));
    seeds.push_back(Message("/zeph/+multi2/1/4").f(1).f(2));

    DatagramMutator mutator(seeds);
    int sent = 0;
    platform::testing::CapturedReports said;
    {
        UdpTransmitSocket socket(IpEndpointName(0x7F000001, base_ + 9));
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        for (; sent < 50000 && std::chrono::steady_clock::now() < deadline; ++sent) {
            const std::string packet = mutator.next();
            socket.Send(packet.data(), packet.size());
            if (sent % 200 == 199)
                std::this_thread::sleep_for(1ms);
        }
    }
    // Whatever a datagram did to the port, the server is brought back. A
    // datagram still waiting in the socket may move it again; once the
    // server has left base + 9, that socket and what waits in it are gone.
    QX::OSCHelper& helper = osctest::oscHelperOf(*plugin);
    setOffset(*plugin, 0);
    ASSERT_TRUE(waitUntil([&] { return helper.boundPort() != base_ + 9; }));
    setOffset(*plugin, 9);
    ASSERT_TRUE(waitForBoundPort(*plugin, base_ + 9));
    std::printf("sent %d mutated datagrams\n", sent);

    for (int i = 0; i < 28; ++i) {
        const float normalized = effect->getParameter(effect, i);
        EXPECT_TRUE(normalized >= 0.0f && normalized <= 1.0f) << i << ": " << normalized;
    }
    char text[64] = {};
    effect->dispatcher(effect, effGetParamDisplay, 19, 0, text, 0.0f);
    EXPECT_NE(std::string(text).find_first_not_of("-0123456789"), std::string::npos) << text;

    OscDump dump(base_ + kPeerPort + 4);
    ASSERT_TRUE(dump.started());
    ASSERT_TRUE(oscsend(base_ + 9, "/ping ss " + quoted(dump.url()) + " /pong"));
    EXPECT_EQ(dump.waitForMessages(1).size(), 1u);
}

}  // namespace
