// The OSC address space without sockets: datagrams go straight to the
// packet handler of a real plug-in's server, replies land in a recording
// transport, failures are read from standard output.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "OscTestSupport.h"
#include "osc/OscPacketCheck.h"
#include "plugin/InstanceRegistry.h"

namespace {

using osctest::bundle;
using osctest::bytes;
using osctest::Message;

const IpEndpointName kPeer(0x7F000001, 50000);
const char* const kUrl = "osc.udp://127.0.0.1:9000";

class OscDispatch : public ::testing::Test {
protected:
    OscDispatch()
        : plugin_(std::make_unique<QX4Controller::ZephCorvane>(osctest::hostCallback, &helpers_)),
          helper_(osctest::oscHelperOf(*plugin_)) {}

    // Handles one datagram; what the server printed.
    std::string send(const std::string& packet) {
        testing::internal::CaptureStdout();
        helper_.handlePacket(packet.data(), packet.size(), kPeer);
        return testing::internal::GetCapturedStdout();
    }
    float value(int index) { return plugin_->getParameterNative(index); }

    // Waits (bounded) until the transport has recorded `count` sends.
    bool waitForSends(std::size_t count) {
        for (int i = 0; i < 400 && transport_.sent().size() < count; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return transport_.sent().size() >= count;
    }

    osctest::ScopedPreferences preferences_{7000};
    osctest::RecordingTransport transport_;
    osctest::TestLua lua_;
    osctest::RecordingHelpers helpers_{transport_, &lua_};
    std::unique_ptr<QX4Controller::ZephCorvane> plugin_;
    QX::OSCHelper& helper_;
};

// ---- /set and /get ----------------------------------------------------------------------------

TEST_F(OscDispatch, SetTakesAnIntIndexAndANativeValue) {
    EXPECT_EQ(send(bytes("/set\0\0\0\0,if\0\0\0\0\x04\x42\x8c\0\0")), "");  // 4, 70.0
    EXPECT_EQ(value(4), 70.0f);
    EXPECT_TRUE(transport_.sent().empty());
}

TEST_F(OscDispatch, SetRejectsWrongTypesMissingAndExtraArguments) {
    EXPECT_EQ(send(Message("/set").f(4).f(70)),
              "error while parsing message: /set: wrong argument type\n");
    EXPECT_EQ(send(Message("/set").i(4)), "error while parsing message: /set: missing argument\n");
    EXPECT_EQ(send(Message("/set").i(4).f(70).f(1)),
              "error while parsing message: /set: too many arguments\n");
    EXPECT_EQ(value(4), 50.0f);
}

TEST_F(OscDispatch, SetRejectsIndicesOutsideTheTable) {
    EXPECT_EQ(send(Message("/set").i(28).f(1)),
              "error while parsing message: /set: parameter id out of range in set\n");
    EXPECT_EQ(send(Message("/set").i(-1).f(1)),
              "error while parsing message: /set: parameter id out of range in set\n");
}

TEST_F(OscDispatch, GetRepliesWithOneImmediateBundleToTheUrl) {
    plugin_->setParameterNative(4, 75.0f, false);
    EXPECT_EQ(send(Message("/get").i(4).s(kUrl).s("/v")), "");
    const auto sent = transport_.sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].to.address, 0x7F000001u);
    EXPECT_EQ(sent[0].to.port, 9000);
    ASSERT_EQ(sent[0].packets.size(), 1u);
    EXPECT_EQ(sent[0].packets[0], bytes("#bundle\0\0\0\0\0\0\0\0\1"
                                        "\0\0\0\x10"
                                        "/v\0\0,if\0\0\0\0\x04\x42\x96\0\0"));
    EXPECT_EQ(send(Message("/get").i(28).s(kUrl).s("/v")),
              "error while parsing message: /get: parameter id out of range in get\n");
}

TEST_F(OscDispatch, AReplyPathTooLongForTheBufferFailsTheMessage) {
    EXPECT_EQ(send(Message("/get").i(4).s(kUrl).s("/" + std::string(1100, 'p'))),
              "error while parsing message: /get: out of buffer memory\n");
    EXPECT_TRUE(transport_.sent().empty());
}

// ---- Queries ----------------------------------------------------------------------------------

TEST_F(OscDispatch, GetInfoDescribesTheParameterRow) {
    send(Message("/getInfo").i(15).s(kUrl).s("/info"));
    EXPECT_EQ(transport_.replies(),
              std::vector<std::string>{"/info ,ifffsi 15 0 100 0 \"OSC Port Offset\" 1"});
    EXPECT_EQ(send(Message("/getInfo").i(28).s(kUrl).s("/info")),
              "error while parsing message: /getInfo: parameter id out of range in getInfo\n");
}

TEST_F(OscDispatch, CountUsageAndEveryValue) {
    send(Message("/getNumParameters").s(kUrl).s("/n"));
    send(Message("/isParameterUsed").i(6).s(kUrl).s("/u"));
    EXPECT_EQ(transport_.replies(), (std::vector<std::string>{"/n ,i 28", "/u ,iT 6 true"}));
    EXPECT_EQ(send(Message("/isParameterUsed").i(99).s(kUrl).s("/u")),
              "error while parsing message: /isParameterUsed: parameter id out of range in "
              "isParameterUsed\n");

    transport_.clear();
    send(Message("/getAll").s(kUrl).s("/all"));
    const auto sent = transport_.sent();
    ASSERT_EQ(sent.size(), 1u);  // one socket for all of them
    ASSERT_EQ(sent[0].packets.size(), 28u);
    EXPECT_EQ(osctest::describeReply(sent[0].packets[18]), "/all ,if 18 125");
}

TEST_F(OscDispatch, PingAnswersWithTheServersAddressAndVersion) {
    send(Message("/ping").s("osc.udp://127.0.0.1:9000").s("/pong"));
    const auto sent = transport_.sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].to.port, 9000);
    // No socket is open here: port 0. The socket tests see the real one.
    EXPECT_EQ(osctest::describeReply(sent[0].packets[0]),
              "/pong ,ss \"osc.udp://127.0.0.1:0\" \"tavro 1.0.7\"");
}

TEST_F(OscDispatch, UnknownAddressesAreIgnoredQuietly) {
    EXPECT_EQ(send(Message("/nothing").i(1)), "");
    EXPECT_EQ(send(bytes("\0\0\0\x07,i\0\0\0\0\0\x01")), "");  // integer address pattern
    EXPECT_TRUE(transport_.sent().empty());
}

TEST_F(OscDispatch, StartNoteReachesTheHelpersNoteHook) {
    send(Message("/startNote").i(60).f(0.5f));
    EXPECT_EQ(lua_.lastNoteChannel, 1);
    EXPECT_EQ(lua_.lastNote, 60);
    EXPECT_EQ(lua_.lastVelocity, 63);
}

// ---- Bundles ----------------------------------------------------------------------------------

TEST_F(OscDispatch, BundlesAreWalkedInOrderNestedOnesToo) {
    send(bundle({Message("/set").i(4).f(10),
                 bundle({Message("/set").i(4).f(20), bundle({Message("/set").i(10).f(-5)})}),
                 Message("/set").i(23).f(3)}));
    EXPECT_EQ(value(4), 20.0f);
    EXPECT_EQ(value(10), -5.0f);
    EXPECT_EQ(value(23), 3.0f);
}

TEST_F(OscDispatch, ATouchFrameIsConsumedAndNeverDispatched) {
    const std::string touch = Message("/t3d/tch1").f(0.1f).f(0.2f).f(0.3f).f(0.4f);
    EXPECT_EQ(send(bundle({Message("/t3d/frm").i(1).i(1), touch, Message("/set").i(4).f(90)})), "");
    EXPECT_EQ(value(4), 50.0f);

    // A touch with the wrong arguments ends the frame with the reason.
    EXPECT_EQ(send(bundle({Message("/t3d/frm"), Message("/t3d/tch16").i(1).i(2).i(3).i(4),
                           Message("/set").i(4).f(90)})),
              "error while parsing message: wrong argument type\n");
    EXPECT_EQ(value(4), 50.0f);
    // Outside 1..16 a "/t3d/tch" message is not a touch and is not checked.
    EXPECT_EQ(send(bundle({Message("/t3d/frm"), Message("/t3d/tch17").i(1)})), "");
}

TEST_F(OscDispatch, AMalformedDatagramChangesNothingAndIsReported) {
    // The second element's blob claims more than the datagram holds: the
    // first, well-formed element is not applied either.
    const std::string packet =
        bundle({Message("/set").i(4).f(10),
                Message("/set").raw('b', bytes("\x7f\xff\xff\xf0")).i(4).f(20)});
    EXPECT_EQ(send(packet), "error while parsing message: arguments exceed message size\n");
    EXPECT_EQ(value(4), 50.0f);

    std::string deep = Message("/set").i(4).f(1);
    for (int i = 0; i <= QX::kMaxBundleDepth; ++i)
        deep = bundle({deep});
    EXPECT_EQ(send(deep), "error while parsing message: bundles nested too deeply\n");
    EXPECT_EQ(value(4), 50.0f);
}

// ---- Update registrations ---------------------------------------------------------------------

TEST_F(OscDispatch, ARegistrationIsMadeOnceAndNotifiesOncePerChange) {
    const std::string reg = Message("/registerUpdate").i(4).s(kUrl).s("/swing");
    send(reg);
    send(reg);
    EXPECT_EQ(helper_.updateRegistrationCount(), 1u);
    EXPECT_TRUE(helper_.isRegisteredForUpdates(4));

    plugin_->setParameterNative(4, 33.0f, false);
    ASSERT_TRUE(waitForSends(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(transport_.replies(), std::vector<std::string>{"/swing ,if 4 33"});

    transport_.clear();
    send(Message("/getAllRegistered"));
    EXPECT_EQ(transport_.replies(), std::vector<std::string>{"/swing ,if 4 33"});

    transport_.clear();
    send(Message("/unregisterUpdate").i(4).s(kUrl).s("/swing"));
    EXPECT_EQ(helper_.updateRegistrationCount(), 0u);
    EXPECT_FALSE(helper_.isRegisteredForUpdates(4));
    plugin_->setParameterNative(4, 34.0f, false);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(transport_.sent().empty());
}

TEST_F(OscDispatch, RegistrationsDifferingInPathOrPortAreKeptApart) {
    send(Message("/registerUpdate").i(4).s(kUrl).s("/a"));
    send(Message("/registerUpdate").i(4).s(kUrl).s("/b"));
    send(Message("/registerUpdate").i(4).s("osc.udp://127.0.0.1:9001").s("/a"));
    EXPECT_EQ(helper_.updateRegistrationCount(), 3u);
    EXPECT_EQ(send(Message("/registerUpdate").i(28).s(kUrl).s("/a")),
              "error while parsing message: /registerUpdate: parameter id out of range in "
              "registerUpdate\n");
    // Removing one leaves the flag while others remain.
    send(Message("/unregisterUpdate").i(4).s(kUrl).s("/b"));
    EXPECT_TRUE(helper_.isRegisteredForUpdates(4));
    EXPECT_EQ(helper_.updateRegistrationCount(), 2u);
}

TEST_F(OscDispatch, TheSixtyFourthUndrainedChangeOverflows) {
    helper_.StopTasks();  // nobody drains
    send(Message("/registerUpdate").i(4).s(kUrl).s("/swing"));
    for (int i = 0; i < 64; ++i)
        plugin_->setParameterNative(4, static_cast<float>(i), false);
    EXPECT_EQ(helper_.pendingChanges(), 63u);
    EXPECT_EQ(helper_.droppedChanges(), 1u);
    // Unregistered parameters never enter the queue.
    plugin_->setParameterNative(5, 1.0f, false);
    EXPECT_EQ(helper_.pendingChanges(), 63u);

    testing::internal::CaptureStderr();
    helper_.StartTasks();
    ASSERT_TRUE(waitForSends(63));
    helper_.StopTasks();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "OSCHelper::SetParamQueue::Write() overflow\n");
    const auto replies = transport_.replies();
    ASSERT_EQ(replies.size(), 63u);
    EXPECT_EQ(replies.front(), "/swing ,if 4 0");
    EXPECT_EQ(replies.back(), "/swing ,if 4 62");
}

TEST_F(OscDispatch, StartingTheTasksTwiceIsRefused) {
    testing::internal::CaptureStdout();
    helper_.StartTasks();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Warning: Attempt to recreate OSC task\n");
    // Stopped, they start again.
    helper_.StopTasks();
    testing::internal::CaptureStdout();
    helper_.StartTasks();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// ---- Instance addressing ----------------------------------------------------------------------

class OscInstanceAddressing : public OscDispatch {
protected:
    OscInstanceAddressing() {
        for (int i = 0; i < 2; ++i)
            others_.push_back(std::make_unique<QX4Controller::ZephCorvane>(osctest::hostCallback));
        for (ZephCorvaneBase* p : all())
            p->dispatcher(effMainsChanged, 0, 1, nullptr, 0.0f);  // assigns the ids
        const char* key = nullptr;
        plugin_->GetProperty(prop::kFamilyKey, 0, 0, &key);
        key_ = key;
    }
    std::vector<ZephCorvaneBase*> all() {
        return {plugin_.get(), others_[0].get(), others_[1].get()};
    }
    static std::uint32_t globalId(ZephCorvaneBase* p) {
        std::uint32_t local = 0, global = 0;
        InstanceRegistry::ids(p, local, global);
        return global;
    }
    static std::uint32_t localId(ZephCorvaneBase* p) {
        std::uint32_t local = 0, global = 0;
        InstanceRegistry::ids(p, local, global);
        return local;
    }
    std::vector<float> values(int index) {
        std::vector<float> out;
        for (ZephCorvaneBase* p : all())
            out.push_back(p->getParameterNative(index));
        return out;
    }
    static std::string n(std::uint32_t id) { return std::to_string(id); }

    std::vector<std::unique_ptr<QX4Controller::ZephCorvane>> others_;
    std::string key_;
};

TEST_F(OscInstanceAddressing, SetsTheNamedInstancesParameters) {
    ZephCorvaneBase* second = others_[0].get();
    ZephCorvaneBase* third = others_[1].get();
    EXPECT_EQ(send(Message("/zeph/" + n(globalId(second)) + "/0").f(0.25f)), "");
    EXPECT_THAT(values(0),
                ::testing::Pointwise(::testing::FloatEq(), std::vector<float>{1, 0.25f, 1}));

    send(Message("/zeph/" + key_ + "/" + n(localId(third)) + "/Swing").f(30));
    EXPECT_THAT(values(4),
                ::testing::Pointwise(::testing::FloatEq(), std::vector<float>{50, 50, 30}));

    send(Message("/zeph/" + key_ + "/*/3").f(1));
    EXPECT_THAT(values(3), ::testing::Pointwise(::testing::FloatEq(), std::vector<float>{1, 1, 1}));

    send(Message("/zeph/+multi1/" + n(globalId(second)) + "/20/3").f(100));
    EXPECT_THAT(values(22),
                ::testing::Pointwise(::testing::FloatEq(), std::vector<float>{64, 100, 64}));

    send(Message("/zeph/" + n(globalId(plugin_.get())) + "/0/" + n(globalId(third)) + "/1")
             .f(0.5f)
             .f(1));
    EXPECT_THAT(values(0),
                ::testing::Pointwise(::testing::FloatEq(), std::vector<float>{0.5f, 0.25f, 1}));
    EXPECT_THAT(values(1), ::testing::Pointwise(::testing::FloatEq(), std::vector<float>{0, 0, 1}));
}

TEST_F(OscInstanceAddressing, MalformedAddressesFailWithTheAddressAsReason) {
    EXPECT_EQ(send(Message("/zeph/+multi2/1/0").f(1)),
              "error while parsing message: /zeph/+multi2/1/0: /zeph/+multi2/1/0\n");
    EXPECT_EQ(send(Message("/zeph/1").f(1)), "error while parsing message: /zeph/1: /zeph/1\n");
    EXPECT_EQ(send(Message("/zeph/1/0").i(1)),
              "error while parsing message: /zeph/1/0: wrong argument type\n");
    // Nothing of a message applies when a later target is malformed.
    EXPECT_EQ(send(Message("/zeph/1/0/2x/1").f(0.1f).f(0.2f)),
              "error while parsing message: /zeph/1/0/2x/1: /zeph/1/0/2x/1\n");
    EXPECT_THAT(values(0), ::testing::Pointwise(::testing::FloatEq(), std::vector<float>{1, 1, 1}));
}

TEST_F(OscInstanceAddressing, UnknownNamesAndIndicesSetNothing) {
    const std::string first = n(globalId(plugin_.get()));
    EXPECT_EQ(send(Message("/zeph/" + first + "/NoSuchName").f(1)), "");
    // In multi mode an unknown name must not turn into "offset - 1".
    EXPECT_EQ(send(Message("/zeph/+multi1/" + first + "/NoSuchName/5").f(1)), "");
    EXPECT_EQ(send(Message("/zeph/" + first + "/28").f(1)), "");
    EXPECT_EQ(send(Message("/zeph/999/0").f(0)), "");
    EXPECT_THAT(values(3), ::testing::Pointwise(::testing::FloatEq(), std::vector<float>{0, 0, 0}));
    EXPECT_THAT(values(0), ::testing::Pointwise(::testing::FloatEq(), std::vector<float>{1, 1, 1}));
}

}  // namespace
