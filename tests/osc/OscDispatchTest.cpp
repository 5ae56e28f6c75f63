// The OSC address space without sockets: datagrams go straight to the
// packet handler of a real plug-in's server, replies land in a recording
// transport, failures are read from standard output.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <limits>
#include <thread>

#include "OscTestSupport.h"
#include "osc/OscPacketCheck.h"
#include "platform/Settings.h"
#include "platform/testing/CapturedReports.h"
#include "plugin/InstanceRegistry.h"
#include "tavro/Version.h"

namespace {

using osctest::bundle;
using osctest::bytes;
using osctest::Message;
using osctest::refused;

using osctest::kUrl;

class OscDispatch : public osctest::RecordedServer {
protected:
    float value(int index) { return plugin_->getParameterNative(index); }
    // Waits (bounded) until the transport has recorded `count` sends.
    bool waitForSends(std::size_t count) {
        for (int i = 0; i < 400 && transport_.sent().size() < count; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return transport_.sent().size() >= count;
    }
};

// ---- /set, /get and queries ------------------------------------------------------------------

TEST_F(OscDispatch, SetTakesAnIntIndexAndANativeValueOnly) {
    EXPECT_EQ(send(Message("/set").f(4).f(70)), refused("/set", "wrong argument type"));
    EXPECT_EQ(send(Message("/set").i(4)), refused("/set", "missing argument"));
    EXPECT_EQ(send(Message("/set").i(4).f(70).f(1)), refused("/set", "too many arguments"));
    for (int index : {28, -1})
        EXPECT_EQ(send(Message("/set").i(index).f(1)),
                  refused("/set", "parameter id out of range in set"));
    EXPECT_EQ(value(4), 50.0f);

    EXPECT_EQ(send(bytes("/set\0\0\0\0,if\0\0\0\0\x04\x42\x8c\0\0")), "");  // 4, 70.0
    EXPECT_EQ(value(4), 70.0f);
    EXPECT_TRUE(transport_.sent().empty());
}

TEST_F(OscDispatch, SetRefusesWhatNoParameterCanHoldAndClampsTheRest) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(send(Message("/set").i(19).f(nan)),
              refused("/set", "value refused in set: not a finite number"));
    EXPECT_EQ(value(19), 0.0f);
    platform::processSettings().oscBasePort.store(65500);
    EXPECT_EQ(send(Message("/set").i(15).f(36)),
              refused("/set",
                      "value refused in set: OSC Base Port + OSC Port Offset is above "
                      "65535"));
    platform::processSettings().oscBasePort.store(7000);
    EXPECT_EQ(value(15), 0.0f);
    const struct {
        int index;
        float sent, kept;
    } clamped[] = {{13, 1.5e20f, 1}, {17, -2.5e30f, 0}, {19, 35, 5}, {19, -5, 0}, {2, 1e9f, 17}};
    for (const auto& c : clamped) {
        EXPECT_EQ(send(Message("/set").i(c.index).f(c.sent)), "") << c.index;
        EXPECT_EQ(value(c.index), c.kept) << c.index;
    }
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
              refused("/get", "parameter id out of range in get"));
    // A reply path too long for the buffer fails the message.
    EXPECT_EQ(send(Message("/get").i(4).s(kUrl).s("/" + std::string(1100, 'p'))),
              refused("/get", "out of buffer memory"));
    EXPECT_EQ(transport_.sent().size(), 1u);
}

TEST_F(OscDispatch, QueriesDescribeCountAndPing) {
    send(Message("/getInfo").i(15).s(kUrl).s("/info"));
    send(Message("/getNumParameters").s(kUrl).s("/n"));
    send(Message("/isParameterUsed").i(6).s(kUrl).s("/u"));
    // No socket is open here: port 0. The socket tests see the real one.
    send(Message("/ping").s(kUrl).s("/pong"));
    EXPECT_EQ(transport_.replies(),
              (std::vector<std::string>{"/info ,ifffsi 15 0 100 0 \"OSC Port Offset\" 1",
                                        "/n ,i 28", "/u ,iT 6 true",
                                        "/pong ,ss \"osc.udp://127.0.0.1:0\" \"tavro " +
                                            std::string(tavro::kVersionText) + "\""}));
    EXPECT_EQ(transport_.sent().back().to.port, 9000);
    EXPECT_EQ(send(Message("/getInfo").i(28).s(kUrl).s("/info")),
              refused("/getInfo", "parameter id out of range in getInfo"));
    EXPECT_EQ(send(Message("/isParameterUsed").i(99).s(kUrl).s("/u")),
              refused("/isParameterUsed", "parameter id out of range in isParameterUsed"));

    transport_.clear();
    send(Message("/getAll").s(kUrl).s("/all"));
    const auto sent = transport_.sent();
    ASSERT_EQ(sent.size(), 1u);  // one socket for all of them
    ASSERT_EQ(sent[0].packets.size(), 28u);
    EXPECT_EQ(osctest::describeReply(sent[0].packets[18]), "/all ,if 18 125");
}

TEST_F(OscDispatch, UnknownAddressesAreIgnoredAndStartNoteReachesTheNoteHook) {
    EXPECT_EQ(send(Message("/nothing").i(1)), "");
    EXPECT_EQ(send(bytes("\0\0\0\x07,i\0\0\0\0\0\x01")), "");  // integer address pattern
    EXPECT_TRUE(transport_.sent().empty());
    send(Message("/startNote").i(60).f(0.5f));
    EXPECT_EQ(lua_.lastNote, (std::vector<int>{1, 60, 63}));
}

// ---- Bundles ----------------------------------------------------------------------------------

TEST_F(OscDispatch, BundlesAreWalkedInOrderMalformedOnesNotAtAll) {
    send(bundle({Message("/set").i(4).f(10),
                 bundle({Message("/set").i(4).f(20), bundle({Message("/set").i(10).f(-5)})}),
                 Message("/set").i(23).f(3)}));
    EXPECT_EQ(value(4), 20.0f);
    EXPECT_EQ(value(10), -5.0f);
    EXPECT_EQ(value(23), 3.0f);

    // The second element's blob claims more than the datagram holds: the
    // first, well-formed element is not applied either.
    const std::string packet =
        bundle({Message("/set").i(4).f(10),
                Message("/set").raw('b', bytes("\x7f\xff\xff\xf0")).i(4).f(30)});
    EXPECT_EQ(send(packet), refused("arguments exceed message size"));
    EXPECT_EQ(value(4), 20.0f);

    std::string deep = Message("/set").i(4).f(1);
    for (int i = 0; i <= QX::kMaxBundleDepth; ++i)
        deep = bundle({deep});
    EXPECT_EQ(send(deep), refused("bundles nested too deeply"));
    EXPECT_EQ(value(4), 20.0f);
}

TEST_F(OscDispatch, ATouchFrameIsConsumedAndNeverDispatched) {
    const std::string touch = Message("/t3d/tch1").f(0.1f).f(0.2f).f(0.3f).f(0.4f);
    EXPECT_EQ(send(bundle({Message("/t3d/frm").i(1).i(1), touch, Message("/set").i(4).f(90)})), "");
    EXPECT_EQ(value(4), 50.0f);

    // A touch with the wrong arguments ends the frame with the reason.
    EXPECT_EQ(send(bundle({Message("/t3d/frm"), Message("/t3d/tch16").i(1).i(2).i(3).i(4),
                           Message("/set").i(4).f(90)})),
              refused("wrong argument type"));
    EXPECT_EQ(value(4), 50.0f);
    // Outside 1..16 a "/t3d/tch" message is not a touch and is not checked.
    EXPECT_EQ(send(bundle({Message("/t3d/frm"), Message("/t3d/tch17").i(1)})), "");
}

// ---- Update registrations ---------------------------------------------------------------------

TEST_F(OscDispatch, ARegistrationIsMadeOnceAndNotifiesOncePerChange) {
    const std::string reg = Message("/registerUpdate").i(4).s(kUrl).s("/swing");
    send(reg);
    send(reg);
    EXPECT_EQ(helper_.addressSpace().updateRegistrationCount(), 1u);
    EXPECT_TRUE(helper_.addressSpace().isRegisteredForUpdates(4));

    // The notify thread sends the changes in order: a duplicate of the
    // first would come before the second.
    plugin_->setParameterNative(4, 33.0f, false);
    ASSERT_TRUE(waitForSends(1));
    plugin_->setParameterNative(4, 34.0f, false);
    ASSERT_TRUE(waitForSends(2));
    EXPECT_EQ(transport_.replies(),
              (std::vector<std::string>{"/swing ,if 4 33", "/swing ,if 4 34"}));
    EXPECT_EQ(transport_.sent()[0].to.port, 9000);

    transport_.clear();
    send(Message("/getAllRegistered"));
    EXPECT_EQ(transport_.replies(), std::vector<std::string>{"/swing ,if 4 34"});

    transport_.clear();
    send(Message("/unregisterUpdate").i(4).s(kUrl).s("/swing"));
    EXPECT_EQ(helper_.addressSpace().updateRegistrationCount(), 0u);
    // Nothing queues the change, and nothing would be sent for it.
    EXPECT_FALSE(helper_.addressSpace().isRegisteredForUpdates(4));
    EXPECT_TRUE(helper_.addressSpace().notificationsFor(4, 35.0f).empty());

    // Registrations differing in path or port are kept apart; removing one
    // leaves the flag while others remain.
    send(Message("/registerUpdate").i(4).s(kUrl).s("/a"));
    send(Message("/registerUpdate").i(4).s(kUrl).s("/b"));
    send(Message("/registerUpdate").i(4).s("osc.udp://127.0.0.1:9001").s("/a"));
    EXPECT_EQ(helper_.addressSpace().updateRegistrationCount(), 3u);
    send(Message("/unregisterUpdate").i(4).s(kUrl).s("/b"));
    EXPECT_TRUE(helper_.addressSpace().isRegisteredForUpdates(4));
    EXPECT_EQ(helper_.addressSpace().updateRegistrationCount(), 2u);
    EXPECT_EQ(send(Message("/registerUpdate").i(28).s(kUrl).s("/a")),
              refused("/registerUpdate", "parameter id out of range in registerUpdate"));
}

TEST_F(OscDispatch, TheSixtyFourthUndrainedChangeOverflows) {
    helper_.StopTasks();  // nobody drains
    send(Message("/registerUpdate").i(4).s(kUrl).s("/swing"));
    for (int i = 0; i < 64; ++i)
        plugin_->setParameterNative(4, static_cast<float>(i), false);
    EXPECT_EQ(helper_.threads().pendingChanges(), 63u);
    EXPECT_EQ(helper_.threads().droppedChanges(), 1u);
    // Unregistered parameters never enter the queue.
    plugin_->setParameterNative(5, 1.0f, false);
    EXPECT_EQ(helper_.threads().pendingChanges(), 63u);

    platform::testing::CapturedReports said;
    helper_.StartTasks();
    ASSERT_TRUE(waitForSends(63));
    helper_.StopTasks();
    EXPECT_EQ(said.Text(), "OSCHelper::SetParamQueue::Write() overflow\n");
    const auto replies = transport_.replies();
    ASSERT_EQ(replies.size(), 63u);
    EXPECT_EQ(replies.front(), "/swing ,if 4 0");
    EXPECT_EQ(replies.back(), "/swing ,if 4 62");
}

TEST_F(OscDispatch, StartingTheTasksTwiceIsRefusedUntilTheyStop) {
    platform::testing::CapturedReports said;
    helper_.StartTasks();
    EXPECT_EQ(said.Take(), "Warning: Attempt to recreate OSC task\n");
    helper_.StopTasks();
    helper_.StartTasks();
    EXPECT_EQ(said.Take(), "");
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
    // The instance's id as address text: global, or local within the family.
    std::string id(int instance, bool global = true) {
        std::uint32_t local = 0, globalId = 0;
        InstanceRegistry::ids(all()[instance], local, globalId);
        return std::to_string(global ? globalId : local);
    }
    // Parameter `index` of the three instances.
    void expectValues(int index, const std::vector<float>& expected) {
        std::vector<float> out;
        for (ZephCorvaneBase* p : all())
            out.push_back(p->getParameterNative(index));
        EXPECT_THAT(out, ::testing::Pointwise(::testing::FloatEq(), expected)) << index;
    }

    std::vector<std::unique_ptr<QX4Controller::ZephCorvane>> others_;
    std::string key_;
};

TEST_F(OscInstanceAddressing, SetsTheNamedInstancesParameters) {
    EXPECT_EQ(send(Message("/zeph/" + id(1) + "/0").f(0.25f)), "");
    expectValues(0, {1, 0.25f, 1});
    send(Message("/zeph/" + key_ + "/" + id(2, false) + "/Swing").f(30));
    expectValues(4, {50, 50, 30});
    send(Message("/zeph/" + key_ + "/*/3").f(1));
    expectValues(3, {1, 1, 1});
    send(Message("/zeph/+multi1/" + id(1) + "/20/3").f(100));
    expectValues(22, {64, 100, 64});
    send(Message("/zeph/" + id(0) + "/0/" + id(2) + "/1").f(0.5f).f(1));
    expectValues(0, {0.5f, 0.25f, 1});
    expectValues(1, {0, 0, 1});
}

TEST_F(OscInstanceAddressing, MalformedAndUnknownTargetsSetNothing) {
    EXPECT_EQ(send(Message("/zeph/+multi2/1/0").f(1)),
              refused("/zeph/+multi2/1/0", "/zeph/+multi2/1/0"));
    EXPECT_EQ(send(Message("/zeph/1").f(1)), refused("/zeph/1", "/zeph/1"));
    EXPECT_EQ(send(Message("/zeph/1/0").i(1)), refused("/zeph/1/0", "wrong argument type"));
    // Nothing of a message applies when a later target is malformed.
    EXPECT_EQ(send(Message("/zeph/1/0/2x/1").f(0.1f).f(0.2f)),
              refused("/zeph/1/0/2x/1", "/zeph/1/0/2x/1"));

    EXPECT_EQ(send(Message("/zeph/" + id(0) + "/NoSuchName").f(1)), "");
    // In multi mode an unknown name must not turn into "offset - 1".
    EXPECT_EQ(send(Message("/zeph/+multi1/" + id(0) + "/NoSuchName/5").f(1)), "");
    EXPECT_EQ(send(Message("/zeph/" + id(0) + "/28").f(1)), "");
    EXPECT_EQ(send(Message("/zeph/999/0").f(0)), "");
    expectValues(3, {0, 0, 0});
    expectValues(0, {1, 1, 1});
}

}  // namespace
