// The OSC server's pure parts: the change queue, the packet check, reply
// URLs and instance addresses.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "OscTestSupport.h"
#include "osc/HostLookup.h"
#include "osc/OscPacketCheck.h"
#include "osc/ReplyEndpoint.h"
#include "osc/SetParamQueue.h"
#include "osc/ZephAddress.h"

namespace {

using osctest::bigEndian;
using osctest::bundle;
using osctest::bytes;
using osctest::Message;

// ---- SetParamQueue ----------------------------------------------------------------------------

// Capacity and order with one writer are pinned end to end in OscDispatchTest.
TEST(SetParamQueue, ManyWritersAndOneReaderLoseNothingThatWasAccepted) {
    QX::SetParamQueue queue;
    constexpr int kWriters = 4;
    std::atomic<int> accepted{0}, writersDone{0};
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            // Index names the writer, value its sequence number.
            for (int n = 0; n < 20000; ++n)
                if (queue.push(w, static_cast<float>(n)))
                    accepted.fetch_add(1);
            writersDone.fetch_add(1);
        });
    }
    int received = 0;
    std::vector<float> last(kWriters, -1.0f);
    bool ordered = true;
    std::int32_t index;
    float value;
    while (writersDone.load() < kWriters || queue.size() > 0) {
        if (!queue.pop(index, value))
            continue;
        ++received;
        ASSERT_GE(index, 0);
        ASSERT_LT(index, kWriters);
        // Each writer's accepted changes arrive in its own order.
        ordered = ordered && value > last[index];
        last[index] = value;
    }
    for (auto& t : writers)
        t.join();
    EXPECT_TRUE(ordered);
    EXPECT_EQ(received, accepted.load());
    EXPECT_GT(received, 0);
}

// ---- Packet check -----------------------------------------------------------------------------

const char* check(const std::string& packet) {
    return QX::checkOscPacket(packet.data(), packet.size());
}

TEST(OscPacketCheck, AcceptsWellFormedMessagesAndBundles) {
    EXPECT_EQ(check(bytes("/set\0\0\0\0,if\0\0\0\0\x0f@\xa0\0\0")), nullptr);
    EXPECT_EQ(check(bytes("/x\0\0")), nullptr);         // no type tags at all
    EXPECT_EQ(check(bytes("/x\0\0,\0\0\0")), nullptr);  // empty type tags
    EXPECT_EQ(check(Message("/b").raw('b', bigEndian(3) + bytes("abc\0"))), nullptr);
    EXPECT_EQ(check(Message("/a").raw('[').i(1).raw(']').raw('T').raw('N').s("")), nullptr);
    EXPECT_EQ(check(bundle({Message("/a").f(1), bundle({Message("/b").i(2)})})), nullptr);
    EXPECT_EQ(check(bundle({})), nullptr);
}

TEST(OscPacketCheck, RejectsEachMalformedShapeWithItsReason) {
    const struct {
        const char* name;
        std::string packet;
        const char* reason;
    } cases[] = {
        {"empty", "", "zero length elements not permitted"},
        {"size not a multiple of four", bytes("/set\0\0"), "message size must be multiple of four"},
        {"address without terminator", bytes("/set"), "unterminated address pattern"},
        {"int past the end", bytes("/s\0\0,i\0\0"), "arguments exceed message size"},
        {"blob of 2^31 bytes", bytes("/s\0\0,b\0\0\x80\0\0\0"), "arguments exceed message size"},
        {"blob of 2^32-1 bytes", bytes("/s\0\0,b\0\0\xff\xff\xff\xff"),
         "arguments exceed message size"},
        {"unknown tag", bytes("/s\0\0,z\0\0"), "unknown type tag"},
        {"open array", bytes("/s\0\0,[\0\0"), "array was not terminated before end of message"},
        {"element size huge", bytes("#bundle\0\0\0\0\0\0\0\0\1") + bigEndian(0xFFFFFFFC),
         "packet too short for bundle element"},
        {"zero length element", bytes("#bundle\0\0\0\0\0\0\0\0\1") + bigEndian(0),
         "zero length elements not permitted"},
        {"malformed nested message", bundle({Message("/ok").i(1), bundle({bytes("/s\0\0,i\0\0")})}),
         "arguments exceed message size"},
    };
    for (const auto& c : cases) {
        const char* reason = check(c.packet);
        ASSERT_NE(reason, nullptr) << c.name;
        EXPECT_STREQ(reason, c.reason) << c.name;
    }
}

TEST(OscPacketCheck, BoundsTheNestingOfBundles) {
    std::string packet = Message("/a").i(1);
    for (int depth = 1; depth <= QX::kMaxBundleDepth; ++depth)
        packet = bundle({packet});
    EXPECT_EQ(check(packet), nullptr);
    EXPECT_STREQ(check(bundle({packet})), "bundles nested too deeply");
}

// ---- Reply URLs -------------------------------------------------------------------------------

TEST(ReplyUrl, SplitsHostAndPortFromTheFirst1023Characters) {
    const struct {
        std::string url, host;
        int port;
    } cases[] = {
        {"osc.udp://127.0.0.1:9000", "127.0.0.1", 9000},
        {"localhost:7001/extra", "localhost", 7001},
        {"osc.udp://somewhere", "somewhere", IpEndpointName::ANY_PORT},  // no ':': any port
        {"h:", "h", 0},
        // ":90" is all that is left of the port.
        {"osc.udp://" + std::string(1010, 'h') + ":9000", std::string(1010, 'h'), 90},
        {std::string(1100, 'h') + ":9000", std::string(1023, 'h'), IpEndpointName::ANY_PORT},
    };
    for (const auto& c : cases) {
        const auto url = QX::splitReplyUrl(c.url.c_str());
        EXPECT_EQ(url.host, c.host) << c.url;
        EXPECT_EQ(url.port, c.port) << c.url;
    }
    EXPECT_GT(QX::splitReplyUrl("osc.udp://h:99999999999999999999").port, 65535);  // saturates
}

// ---- Host names -------------------------------------------------------------------------------

TEST(HostLookup, DottedAddressesNeedNoLookup) {
    std::uint32_t address = 0;
    EXPECT_TRUE(QX::parseDottedAddress("127.0.0.1", address));
    EXPECT_EQ(address, 0x7F000001u);
    EXPECT_TRUE(QX::parseDottedAddress("255.0.10.200", address));
    EXPECT_EQ(address, 0xFF000AC8u);
    // Everything else is a name for the system to look up, as before.
    for (const char* name : {"", "localhost", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1.2.3.4 ",
                             "01.2.3.4", "1..2.3", "1.2.3.", "0x7f.0.0.1", "1234.1.1.1"})
        EXPECT_FALSE(QX::parseDottedAddress(name, address)) << name;
}

TEST(HostLookup, NamesAreLookedUpOnceAndKeptAWhile) {
    osctest::RecordingTransport transport;
    transport.holdLookup("slow.example", 0x0A000001);
    QX::HostLookup lookup(transport);
    EXPECT_EQ(lookup.resolve("127.0.0.1"), 0x7F000001u);
    EXPECT_EQ(transport.lookups.load(), 0);
    EXPECT_EQ(lookup.resolve("no.such.host"), 0u);
    EXPECT_EQ(lookup.resolve("no.such.host"), 0u);
    EXPECT_EQ(transport.lookups.load(), 1);
}

TEST(HostLookup, ADatagramToANameWaitsForTheLookupNotTheSender) {
    osctest::RecordingTransport transport;
    transport.holdLookup("slow.example", 0x0A000001);
    QX::HostLookup lookup(transport);
    // Known at once: sent on the caller's thread.
    EXPECT_TRUE(lookup.send("127.0.0.1", 9000, "a"));
    ASSERT_EQ(transport.sent().size(), 1u);
    // Not known: the call returns while the lookup thread waits for it.
    EXPECT_TRUE(lookup.send("slow.example", 9001, "b"));
    ASSERT_TRUE(transport.waitUntilLookupHangs());
    EXPECT_TRUE(lookup.send("slow.example", 9001, "c"));
    EXPECT_TRUE(lookup.send("127.0.0.1", 9000, "d"));
    EXPECT_EQ(transport.sent().size(), 2u);
    EXPECT_EQ(lookup.waiting(), 1u);
    transport.releaseLookup();
    ASSERT_TRUE(transport.waitForSends(4));
    const auto sent = transport.sent();
    EXPECT_EQ(sent[2].to.address, 0x0A000001u);
    EXPECT_EQ(sent[2].to.port, 9001);
    EXPECT_EQ(sent[2].packets, std::vector<std::string>{"b"});
    EXPECT_EQ(sent[3].packets, std::vector<std::string>{"c"});  // in order
    // Now known: at once.
    EXPECT_TRUE(lookup.send("slow.example", 9001, "e"));
    EXPECT_EQ(transport.sent().size(), 5u);
    EXPECT_EQ(transport.lookups.load(), 1);
}

TEST(HostLookup, StoppingDoesNotWaitForALookupThatHangs) {
    // Outlives the thread left behind, whose lookup returns through it.
    static osctest::RecordingTransport& transport = *new osctest::RecordingTransport;
    transport.holdLookup("slow.example", 0x0A000001);
    {
        QX::HostLookup lookup(transport);
        EXPECT_TRUE(lookup.send("slow.example", 9001, "lost"));
        ASSERT_TRUE(transport.waitUntilLookupHangs());
        const auto start = std::chrono::steady_clock::now();
        lookup.stop(std::chrono::milliseconds(100));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
        EXPECT_FALSE(lookup.send("slow.example", 9001, "too late"));
    }
    // The lookup left behind ends on its own and sends nothing.
    transport.releaseLookup();
    EXPECT_EQ(transport.sent().size(), 0u);
}

// ---- Instance addresses -----------------------------------------------------------------------

// The accepted forms are checked end to end in OscDispatchTest.
TEST(ZephAddress, RejectsMissingAndNonNumericSegments) {
    std::vector<QX::ZephTarget> targets;
    for (const char* rest :
         {"", "1", "+multi2/1/0", "+multi/1/0", "+multi1/1/0", "CV/1", "CV/x/0", "CV/-1/0", "2x/0",
          "2/0x", "2//0", "2/0/", "2/0/3", "+multi1/2/0/x", "1234567890/0"})
        EXPECT_FALSE(QX::parseZephTargets(rest, targets)) << rest;
}

}  // namespace
