#include "platform/MidiInput.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "common/MidiInputAssembler.h"
#include "platform/MemoryMidiInput.h"

namespace {

using namespace platform;
using Bytes = std::vector<std::uint8_t>;

struct RecordingListener : MidiInputListener {
    void midiInputReceived(const std::uint8_t* bytes, std::size_t length) override {
        messages.emplace_back(bytes, bytes + length);
    }
    std::vector<Bytes> messages;
};

const std::uint8_t kNoteOn[] = {0x90, 60, 100};

TEST(MemoryMidiInput, DeliversToTheOneOpenConnectionUntilItIsClosed) {
    MemoryMidiInputSystem system;
    EXPECT_EQ(system.addDevice("Loop A"), 0);
    EXPECT_EQ(system.addDevice("Loop B"), 1);
    EXPECT_EQ(system.deviceCount(), 2);
    EXPECT_EQ(system.deviceName(1), "Loop B");
    EXPECT_EQ(system.deviceName(2), "");

    RecordingListener listener;
    RecordingListener second;
    system.setBusy(0, true);
    EXPECT_EQ(system.open(0, listener), nullptr);
    system.setBusy(0, false);
    auto connection = system.open(0, listener);
    ASSERT_NE(connection, nullptr);
    EXPECT_EQ(system.open(0, second), nullptr);
    EXPECT_EQ(system.open(-1, second), nullptr);
    EXPECT_EQ(system.open(2, second), nullptr);
    EXPECT_TRUE(system.isOpen(0));
    EXPECT_FALSE(system.isOpen(1));

    EXPECT_TRUE(system.send(0, kNoteOn, 3));
    EXPECT_FALSE(system.send(1, kNoteOn, 3));
    connection.reset();
    EXPECT_FALSE(system.isOpen(0));
    EXPECT_FALSE(system.send(0, kNoteOn, 2));

    EXPECT_EQ(listener.messages, (std::vector<Bytes>{{0x90, 60, 100}}));
    EXPECT_TRUE(second.messages.empty());
}

TEST(MemoryMidiInput, NoDeliveryAfterTheConnectionIsDestroyed) {
    MemoryMidiInputSystem system;
    system.addDevice("Loop");

    class CheckingListener : public MidiInputListener {
    public:
        void midiInputReceived(const std::uint8_t*, std::size_t) override {
            if (closed.load()) {
                lateCalls.fetch_add(1);
            }
            received.fetch_add(1);
            // Widen the window in which a close could overtake a delivery.
            std::this_thread::yield();
        }
        std::atomic<bool> closed{false};
        std::atomic<int> lateCalls{0};
        std::atomic<int> received{0};
    } listener;

    auto connection = system.open(0, listener);
    std::atomic<bool> stop{false};
    std::atomic<long> sends{0};
    std::thread sender([&] {
        while (!stop.load()) {
            system.send(0, kNoteOn, 3);
            sends.fetch_add(1);
        }
    });
    // Close while deliveries are under way, then go on sending a while.
    auto waitFor = [](auto done) {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!done() && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::yield();
    };
    waitFor([&] { return listener.received.load() >= 100; });
    connection.reset();
    listener.closed.store(true);
    const long closedAt = sends.load();
    waitFor([&] { return sends.load() >= closedAt + 100; });
    stop.store(true);
    sender.join();
    EXPECT_EQ(listener.lateCalls.load(), 0);
}

TEST(MidiInputSystem, TheRealSystemServesUnlessAnotherIsInstalled) {
    MidiInputSystem& real = midiInputSystem();
    EXPECT_EQ(dynamic_cast<MemoryMidiInputSystem*>(&real), nullptr);
    EXPECT_EQ(&midiInputSystem(), &real);
    MemoryMidiInputSystem memory;
    installMidiInputSystem(&memory);
    EXPECT_EQ(&midiInputSystem(), &memory);
    installMidiInputSystem(nullptr);
    EXPECT_EQ(&midiInputSystem(), &real);

    // No MIDI hardware on a build machine; whatever there is, indices past
    // the end are no device and nothing crashes.
    const int count = real.deviceCount();
    ASSERT_GE(count, 0);
    RecordingListener listener;
    EXPECT_EQ(real.deviceName(-1), "");
    EXPECT_EQ(real.deviceName(count), "");
    EXPECT_EQ(real.open(-1, listener), nullptr);
    EXPECT_EQ(real.open(count, listener), nullptr);
}

// The assembler behind the ALSA sequencer input.
class Assembler : public ::testing::Test {
protected:
    void shortMessages(const Bytes& bytes) { assembler.shortMessages(bytes.data(), bytes.size()); }
    void sysex(const Bytes& bytes) { assembler.sysexChunk(bytes.data(), bytes.size()); }

    RecordingListener listener;
    detail::MidiInputAssembler assembler{listener};
};

TEST_F(Assembler, SplitsDecodedBytesIntoWholeMessages) {
    // A stray data byte is dropped, a truncated tail delivered as it is.
    shortMessages(
        {0x40, 0xB0, 0x63, 0x01, 0xB0, 0x62, 0x02, 0xC1, 0x05, 0xF8, 0xF2, 0x10, 0x20, 0x90, 0x3C});
    EXPECT_EQ(listener.messages, (std::vector<Bytes>{{0xB0, 0x63, 0x01},
                                                     {0xB0, 0x62, 0x02},
                                                     {0xC1, 0x05},
                                                     {0xF8},
                                                     {0xF2, 0x10, 0x20},
                                                     {0x90, 0x3C}}));
}

TEST_F(Assembler, JoinsSysexChunksAndANewStartDeliversTheUnfinishedMessageFirst) {
    sysex({0xF0, 0x7D, 0x01});
    sysex({0x02, 0x03});
    EXPECT_TRUE(listener.messages.empty());
    sysex({0x04, 0xF7, 0xF0, 0x01, 0x02, 0xF0, 0x03, 0xF7});
    EXPECT_EQ(listener.messages, (std::vector<Bytes>{{0xF0, 0x7D, 0x01, 0x02, 0x03, 0x04, 0xF7},
                                                     {0xF0, 0x01, 0x02},
                                                     {0xF0, 0x03, 0xF7}}));
}

TEST_F(Assembler, RealTimePassesAPendingSysexAndOtherStatusesEndIt) {
    sysex({0xF0, 0x01});
    shortMessages({0xF8});
    sysex({0x02});
    shortMessages({0x90, 0x3C, 0x40});
    EXPECT_EQ(listener.messages,
              (std::vector<Bytes>{{0xF8}, {0xF0, 0x01, 0x02}, {0x90, 0x3C, 0x40}}));
}

TEST_F(Assembler, LongSysexArrivesInBufferSizedPieces) {
    Bytes message(kMidiInputSysexBufferSize + 10, 0x11);
    message.front() = 0xF0;
    message.back() = 0xF7;
    // In chunks of 256, as the sequencer's rawmidi bridge sends them.
    for (std::size_t i = 0; i < message.size(); i += 256) {
        const std::size_t n = std::min<std::size_t>(256, message.size() - i);
        assembler.sysexChunk(message.data() + i, n);
    }
    const std::vector<Bytes> messages = listener.messages;
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], Bytes(message.begin(), message.begin() + kMidiInputSysexBufferSize));
    EXPECT_EQ(messages[1], Bytes(message.begin() + kMidiInputSysexBufferSize, message.end()));
}

}  // namespace
