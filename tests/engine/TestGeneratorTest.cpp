#include <gtest/gtest.h>

#include <vector>

#include "engine/TestGenerator.h"

namespace QX4Controller {
namespace {

struct Sent {
    std::uint32_t length;
    std::uint8_t b0, b1, b2;
    bool operator==(const Sent& o) const {
        return length == o.length && b0 == o.b0 && b1 == o.b1 && b2 == o.b2;
    }
};

class TestMode : public testing::Test {
protected:
    TestMode() : writer(history), encoder(writer), generator(encoder, writer, reference, &byte3) {
        history.clear();
        EncoderParameters e;
        e.sampleRate = 48000.0f;
        encoder.update(e);
        parameters.sampleRate = 48000.0f;
        parameters.enable = 1.0f;
        parameters.intervalMs = 1.0f;
    }

    // Steps the generator sample by sample, keeping every "Sent (Test)"
    // entry with the sample at which it was made.
    std::vector<Sent> run(int samples, std::vector<int>* at = nullptr) {
        std::vector<Sent> sent;
        const MidiHistory::Ring& ring = history.rings[kHistorySentTest];
        for (int i = 0; i < samples; ++i) {
            const int before = ring.writeIndex.load();
            generator.beforeSample();
            for (int slot = before; slot != ring.writeIndex.load();) {
                slot = (slot + 1) % kHistoryRingSize;
                const MidiHistoryEntry& e = ring.entries[slot];
                sent.push_back({e.length, e.byte0, e.byte1, e.byte2});
                if (at)
                    at->push_back(i);
            }
        }
        return sent;
    }

    // Messages one after the other, the interval out of the way.
    std::vector<Sent> next(int count) {
        std::vector<Sent> sent;
        while (static_cast<int>(sent.size()) < count) {
            auto more = run(static_cast<int>(generator.interval()) + 1);
            sent.insert(sent.end(), more.begin(), more.end());
        }
        return sent;
    }

    void refresh() { generator.refresh(parameters); }

    MidiHistory history;
    HistoryWriter writer;
    SerialEncoder encoder;
    TestSysexReference reference;
    std::atomic<float> byte3{64.0f};
    TestGenerator generator;
    TestParameters parameters;
};

TEST_F(TestMode, AMessageOfAlwaysThreeBytesEvery49SamplesAt48000) {
    parameters.type = kTestMessage;
    parameters.messageByte1 = 0xC0;
    parameters.messageByte2 = 5;
    parameters.messageByte3 = 64;
    refresh();
    EXPECT_EQ(generator.interval(), 48u);  // one millisecond
    std::vector<int> at;
    const auto sent = run(200, &at);
    EXPECT_EQ(at, (std::vector<int>{0, 49, 98, 147, 196}));
    EXPECT_EQ(sent[0], (Sent{3, 0xC0, 0x05, 0x40}));
    EXPECT_EQ(encoder.queuedBytes(), 5 * 3);
}

TEST_F(TestMode, ExhaustiveNotesCountVelocityFastest) {
    parameters.type = kTestNotesExhaustive;
    refresh();
    const auto sent = next(4);
    EXPECT_EQ(sent[0], (Sent{3, 0x90, 0, 0}));
    EXPECT_EQ(sent[1], (Sent{3, 0x80, 0, 0}));
    EXPECT_EQ(sent[2], (Sent{3, 0x90, 0, 1}));
    EXPECT_EQ(sent[3], (Sent{3, 0x80, 0, 1}));
    next(252);  // up to velocity 127
    EXPECT_EQ(next(1)[0], (Sent{3, 0x90, 1, 0}));
}

TEST_F(TestMode, RandomNotesBeginAsDocumented) {
    parameters.type = kTestNotesRandom;
    refresh();
    const std::vector<Sent> expected = {{3, 0x90, 0x00, 0x00}, {3, 0x80, 0x00, 0x00},
                                        {3, 0x9A, 0x42, 0x2D}, {3, 0x8A, 0x42, 0x2D},
                                        {3, 0x95, 0x04, 0x5A}, {3, 0x85, 0x04, 0x5A}};
    EXPECT_EQ(next(6), expected);
}

TEST_F(TestMode, ClocksAndSongPositionCycle) {
    parameters.type = kTestClocksAndSpp;
    refresh();
    const auto first = next(16);
    EXPECT_EQ(first[0].b0, 0xFA);
    for (int i = 1; i < 7; ++i)
        EXPECT_EQ(first[i].b0, 0xF8);
    EXPECT_EQ(first[7].b0, 0xFC);
    EXPECT_EQ(first[8], (Sent{3, 0xF2, 0, 0}));
    EXPECT_EQ(first[9], (Sent{1, 0xFB, 0, 0}));
    while (generator.counter() < 24)
        next(1);
    const auto spp = next(2);
    EXPECT_EQ(spp[0], (Sent{3, 0xF2, 0x01, 0x00}));
    EXPECT_EQ(spp[1], (Sent{1, 0xFB, 0, 0}));
}

TEST_F(TestMode, SysexLengthFollowsMessageByte3) {
    parameters.type = kTestSysex;
    byte3 = 70.0f;  // 70 & 63 = 6
    refresh();
    const auto sent = next(1);
    EXPECT_EQ(sent[0], (Sent{6147, 0xF0, 0x07, 0x2B}));
    EXPECT_EQ(encoder.queuedBytes(), 6147);
    // While the queue is busy, the sysex ticks send nothing.
    EXPECT_TRUE(run(static_cast<int>(generator.interval()) + 1).empty());
    // The reference keeps its data; only the length byte was set.
    const std::uint8_t start[] = {0x2B, 0x3A, 0x5D, 0x04, 0x5F, 0x5E, 0x31, 0x48};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(reference.data()[2 + i], start[i]);
    EXPECT_EQ(reference.data()[1], 7);
    EXPECT_EQ(reference.data()[TestSysexReference::kSize - 1], 0xF7);
}

TEST_F(TestMode, ReenablingContinuesTheSequenceAndClearsFailures) {
    parameters.type = kTestNotesExhaustive;
    refresh();
    next(3);
    history.testFailureCount = 5;
    parameters.enable = 0.0f;
    refresh();
    EXPECT_TRUE(run(500).empty());
    parameters.enable = 1.0f;
    refresh();
    EXPECT_EQ(history.testFailureCount.load(), 0u);
    EXPECT_EQ(history.expectedTestIndex, 4);  // the slot of the next entry
    EXPECT_EQ(next(1)[0], (Sent{3, 0x80, 0, 1}));
}

TEST_F(TestMode, ANewIntervalShortensButNeverLengthensTheCountdown) {
    parameters.type = kTestMessage;
    parameters.intervalMs = 100.0f;
    refresh();
    run(1);  // first message at once, then a countdown of 4800
    EXPECT_EQ(generator.countdown(), 4800u);
    parameters.intervalMs = 1.0f;
    refresh();
    EXPECT_EQ(generator.countdown(), 48u);
    parameters.intervalMs = 1000.0f;
    refresh();
    EXPECT_EQ(generator.countdown(), 48u);
}

TEST_F(TestMode, AFullEncoderStillLogsTheTestMessage) {
    std::vector<std::uint8_t> fill(SerialEncoder::kQueueSize, 0xF8);
    encoder.sendRawBytes(fill.data(), fill.size());
    parameters.type = kTestMessage;
    refresh();
    EXPECT_EQ(next(1).size(), 1u);
    EXPECT_EQ(history.rings[kHistorySentPluginOutput].writeIndex.load(), 0);
}

}  // namespace
}  // namespace QX4Controller
