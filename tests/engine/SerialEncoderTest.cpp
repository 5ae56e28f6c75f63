#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "engine/SerialEncoder.h"

namespace QX4Controller {
namespace {

const float kRates[] = {44100, 48000, 88200, 96000, 176400, 192000};

class Encoder : public testing::Test {
protected:
    Encoder() : writer(history), encoder(writer) {
        history.clear();
        set(44100.0f);
    }
    void set(float rate, float softly = 2.0f, float space = 0.0f, float balance = 1.0f) {
        parameters.sampleRate = rate;
        parameters.softly = softly;
        parameters.space = space;
        parameters.balance = balance;
        encoder.update(parameters);
    }
    std::vector<float> render(int frames) {
        std::vector<float> out(static_cast<std::size_t>(frames), -1.0f);
        encoder.renderSamples(out.data(), frames);
        return out;
    }
    // Lengths of the runs of equal samples.
    static std::vector<int> runs(const std::vector<float>& samples) {
        std::vector<int> lengths;
        for (std::size_t i = 0; i < samples.size(); ++i) {
            if (i == 0 || samples[i] != samples[i - 1])
                lengths.push_back(1);
            else
                ++lengths.back();
        }
        return lengths;
    }

    MidiHistory history;
    HistoryWriter writer;
    SerialEncoder encoder;
    EncoderParameters parameters;
};

TEST_F(Encoder, NoteOnBytesSampleForSampleAt44100) {
    parameters.outputLevel = 0.5f;
    set(44100.0f);
    ASSERT_TRUE(encoder.sendMidi2(0x90, 0x3C));
    const float L = 0.5f;
    const std::vector<float> expected = {L, L, L, L, L, L, L, 0, 0, L, L, 0, 0, 0, 0, L};
    EXPECT_EQ(render(16), expected);
}

TEST_F(Encoder, EachRateHasItsBitSchedule) {
    struct Rate {
        float hz;
        std::vector<int> bits;
    };
    const Rate rates[] = {
        {44100, {1, 2, 1, 2, 1, 2, 1, 1, 2, 1}},  {48000, {2, 1, 2, 1, 2, 1, 2, 1, 2, 1}},
        {88200, {3, 3, 3, 2, 3, 3, 3, 3, 2, 3}},  {96000, {3, 3, 3, 3, 3, 3, 3, 3, 3, 3}},
        {176400, {6, 5, 6, 6, 5, 6, 5, 6, 6, 6}}, {192000, {6, 6, 6, 7, 6, 6, 6, 6, 6, 6}}};
    for (const Rate& rate : rates) {
        const int code = sampleRateCode(rate.hz);
        int phase = 1;
        for (int bit = 0; bit < 10; ++bit) {
            for (int n = 0; n < rate.bits[static_cast<std::size_t>(bit)]; ++n, ++phase)
                ASSERT_EQ(bitIndexForPhase(code, phase), bit) << rate.hz << " phase " << phase;
        }
        EXPECT_GE(bitIndexForPhase(code, phase), 10) << rate.hz;
    }
    EXPECT_EQ(sampleRateCode(32000.0f), 0);
    EXPECT_EQ(bitIndexForPhase(0, 5), -1);
}

TEST_F(Encoder, BackToBackBytesTakeTheirCompletingSample) {
    // A zero byte: start bit and eight data bits active, stop bit idle; the
    // second starts one byte period (15 samples at 44100) on.
    encoder.sendMidi2(0x00, 0x00);
    const std::vector<float> out = render(34);
    EXPECT_EQ(out[15], 1.0f);
    EXPECT_EQ(out[14], 0.0f);
    EXPECT_EQ(encoder.queuedBytes(), 0);
}

TEST_F(Encoder, SpaceAddsIdleSamplesFromTheSecondByteOn) {
    set(44100.0f, 2.0f, 2.0f);
    encoder.sendMidi3(0x00, 0x00, 0x00);
    const std::vector<float> out = render(60);
    // Three active runs of 9 samples (start + eight 0 bits); between them the
    // stop bit and completing sample (2), plus Space after the second byte.
    const std::vector<int> lengths = runs(out);
    ASSERT_GE(lengths.size(), 5u);
    EXPECT_EQ(lengths[0], 13);  // start + data bits of 0x00 at 44100: 1+2+1+2+1+2+1+1+2
    EXPECT_EQ(lengths[1], 2);   // first byte: stop bit and completing sample
    EXPECT_EQ(lengths[2], 13);
    EXPECT_EQ(lengths[3], 4);  // second byte: two more
    EXPECT_EQ(lengths[4], 13);
}

TEST_F(Encoder, BalanceThrottlesAndOneClearsTheTracker) {
    set(44100.0f, 2.0f, 0.0f, 0.5f);
    std::vector<std::uint8_t> zeros(4000, 0x00);
    encoder.sendRawBytes(zeros.data(), zeros.size());
    const std::vector<float> throttled = render(44100);
    int active = 0;
    for (float s : throttled)
        active += s != 0.0f;
    // Unthrottled, zero bytes keep 13 of every 15 samples active and 4000 of
    // them take 1.4 s; the limiter holds the tracked share near 0.1.
    EXPECT_GT(encoder.queuedBytes(), 2000);
    EXPECT_LT(active, 44100 * 15 / 100);
    EXPECT_GT(active, 44100 * 5 / 100);
    EXPECT_GT(encoder.activityLevel(), 0.0f);
    EXPECT_LE(encoder.activityLevel(), 1.0f);

    set(44100.0f, 2.0f, 0.0f, 1.0f);
    EXPECT_EQ(encoder.activityLevel(), 0.0f);
    const std::vector<float> free = render(15);
    EXPECT_EQ(free[0], 1.0f);  // the next byte starts at once
}

TEST_F(Encoder, SoftlyAutomaticDependsOnTheRate) {
    for (float rate : kRates) {
        set(rate, 0.0f);
        EXPECT_EQ(encoder.softlyOn(), rate < 50000.0f) << rate;
    }
    set(192000.0f, 1.0f);
    EXPECT_TRUE(encoder.softlyOn());
    set(44100.0f, 2.0f);
    EXPECT_FALSE(encoder.softlyOn());
}

TEST_F(Encoder, SoftlyIsAStableLowPassWithUnityGain) {
    set(44100.0f, 1.0f);
    std::vector<std::uint8_t> zeros(100, 0x00);
    encoder.sendRawBytes(zeros.data(), zeros.size());
    const std::vector<float> out = render(40);
    EXPECT_GT(out[0], 0.0f);
    EXPECT_LT(out[0], 1.0f);            // the first edge is smoothed
    EXPECT_NEAR(out[11], 1.0f, 0.05f);  // a long active run settles at the level

    // Softness above one must not make the filter ring up or diverge.
    for (float softness : {1.0f, 1.5f, 2.0f, 100.0f}) {
        parameters.softness = softness;
        set(44100.0f, 1.0f);
        std::vector<std::uint8_t> bytes(50, 0x55);
        encoder.sendRawBytes(bytes.data(), bytes.size());
        for (float s : render(2000))
            ASSERT_TRUE(std::isfinite(s) && std::fabs(s) < 2.0f) << softness;
    }
}

TEST_F(Encoder, AMessageThatDoesNotFitIsDroppedWhole) {
    std::vector<std::uint8_t> fill(SerialEncoder::kQueueSize - 2, 0xF8);
    ASSERT_TRUE(encoder.sendRawBytes(fill.data(), fill.size()));
    EXPECT_FALSE(encoder.sendMidi3(0x90, 60, 100));
    EXPECT_EQ(encoder.queuedBytes(), SerialEncoder::kQueueSize - 2);
    EXPECT_EQ(history.rings[kHistorySentPluginOutput].writeIndex.load(), 0);
    EXPECT_TRUE(encoder.sendMidi1(0xFE));
    EXPECT_EQ(history.rings[kHistorySentPluginOutput].writeIndex.load(), 1);
    EXPECT_EQ(history.rings[kHistorySentPluginOutput].entries[1].byte0, 0xFE);
    EXPECT_FALSE(encoder.sendSysex(fill.data(), 1));
    EXPECT_TRUE(encoder.sendRawBytes(fill.data(), 1));
    EXPECT_FALSE(encoder.sendRawBytes(fill.data(), 1));
}

TEST_F(Encoder, RawBytesWrapAroundTheRing) {
    std::vector<std::uint8_t> fill(SerialEncoder::kQueueSize - 1, 0x00);
    encoder.sendRawBytes(fill.data(), fill.size());
    // Consume three bytes so that the next write wraps.
    render(15 * 3);
    ASSERT_EQ(encoder.queuedBytes(), SerialEncoder::kQueueSize - 4);
    const std::uint8_t tail[] = {0x01, 0x02, 0x03, 0x04};
    EXPECT_TRUE(encoder.sendRawBytes(tail, 4));
    EXPECT_EQ(encoder.queuedBytes(), SerialEncoder::kQueueSize);
    EXPECT_FALSE(encoder.sendMidi1(0xF8));
}

TEST_F(Encoder, AnUnsupportedRateIsSilentAndKeepsTheQueue) {
    set(32000.0f);
    encoder.sendMidi3(0x90, 60, 100);
    const std::vector<float> out = render(1000);
    for (float s : out)
        ASSERT_EQ(s, 0.0f);
    EXPECT_EQ(encoder.queuedBytes(), 3);
    // Back at a supported rate the byte at head goes out whole.
    set(44100.0f);
    EXPECT_EQ(render(1)[0], 1.0f);
}

TEST_F(Encoder, NonNumbersNeverReachTheOutput) {
    parameters.outputLevel = std::numeric_limits<float>::quiet_NaN();
    parameters.softness = std::numeric_limits<float>::quiet_NaN();
    set(44100.0f, 1.0f);
    encoder.sendMidi3(0x90, 60, 100);
    for (float s : render(100))
        ASSERT_TRUE(std::isfinite(s));
}

}  // namespace
}  // namespace QX4Controller
