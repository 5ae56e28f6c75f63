#include "decode/SerialMidiDecoder.h"

#include "ReferenceEncoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <stdexcept>

namespace {

using serialmidi::DecodedByte;
using serialmidi::DecoderOptions;
using serialmidi::Polarity;
using serialmidi::SerialMidiDecoder;
using Bytes = std::vector<std::uint8_t>;

std::vector<DecodedByte> decodeAll(double rate, const std::vector<float>& signal,
                                   DecoderOptions options = {}) {
    SerialMidiDecoder decoder(rate, options);
    decoder.feed(signal.data(), signal.size());
    decoder.finish();
    return decoder.takeBytes();
}

void expectExact(const testenc::Encoded& sent, const Bytes& values,
                 const std::vector<DecodedByte>& got, const std::string& where) {
    ASSERT_EQ(got.size(), values.size()) << where;
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].value, values[i]) << where << " byte " << i;
        EXPECT_EQ(got[i].startSample, sent.starts[i]) << where << " byte " << i;
        EXPECT_FALSE(got[i].framingError) << where << " byte " << i;
    }
}

Bytes everyValue() {
    Bytes values;
    for (int v = 0; v < 256; ++v)
        values.push_back(static_cast<std::uint8_t>(v));
    return values;
}

TEST(SerialMidiDecoder, EveryByteDecodesAtItsStartSampleAtEveryEncoderRate) {
    std::mt19937 random(7);
    for (double rate : testenc::encoderRates()) {
        const std::string where = std::to_string(static_cast<int>(rate)) + " Hz";
        // Every value back to back, then in reverse so that every value also
        // follows every kind of predecessor at full speed, then random values
        // after random gaps.
        Bytes values = everyValue();
        const Bytes forward = values;
        values.insert(values.end(), forward.rbegin(), forward.rend());
        testenc::Encoder enc(rate);
        enc.gap(40);
        enc.bytes(values);
        EXPECT_EQ(enc.result().starts[1] - enc.result().starts[0], testenc::byteLength(rate));
        for (int i = 0; i < 400; ++i) {
            values.push_back(static_cast<std::uint8_t>(random() & 0xFF));
            enc.byte(values.back());
            enc.gap(static_cast<int>(random() % 50));
        }
        enc.gap(5);
        expectExact(enc.result(), values, decodeAll(rate, enc.result().samples), where);
    }
}

TEST(SerialMidiDecoder, SplittingTheSignalAnywhereGivesTheSameBytes) {
    for (double rate : testenc::encoderRates()) {
        testenc::Encoder enc(rate);
        enc.gap(20);
        enc.bytes({0x90, 0x3C, 0x64});
        enc.gap(7);
        enc.bytes({0xF0, 0x00, 0x7F, 0x55, 0xAA, 0xF7});
        enc.gap(3);
        const auto& s = enc.result().samples;
        const auto whole = decodeAll(rate, s);
        ASSERT_EQ(whole.size(), 9u);
        for (std::size_t cut = 0; cut <= s.size(); ++cut) {
            SerialMidiDecoder decoder(rate);
            decoder.feed(s.data(), cut);
            decoder.feed(s.data() + cut, s.size() - cut);
            decoder.finish();
            const auto got = decoder.takeBytes();
            ASSERT_EQ(got.size(), whole.size()) << rate << " cut at " << cut;
            for (std::size_t i = 0; i < got.size(); ++i) {
                EXPECT_EQ(got[i].value, whole[i].value) << rate << " cut at " << cut;
                EXPECT_EQ(got[i].startSample, whole[i].startSample) << rate << " cut " << cut;
            }
        }
        SerialMidiDecoder oneByOne(rate);
        for (float x : s)
            oneByOne.feed(&x, 1);
        oneByOne.finish();
        EXPECT_EQ(oneByOne.takeBytes().size(), whole.size()) << rate;

        // Up to the centre of the second byte's stop bit: that byte is not
        // reported, even by finish(), until its stop bit arrives.
        const auto cut = static_cast<std::size_t>(enc.result().starts[1]) +
                         static_cast<std::size_t>(std::floor(9.5 * rate / 31250.0));
        SerialMidiDecoder decoder(rate);
        decoder.feed(s.data(), cut);
        decoder.finish();
        ASSERT_EQ(decoder.takeBytes().size(), 1u) << rate;
        EXPECT_TRUE(decoder.byteInProgress());
        decoder.feed(s.data() + cut, s.size() - cut);
        const auto rest = decoder.takeBytes();
        ASSERT_EQ(rest.size(), 8u) << rate;
        EXPECT_EQ(rest[0].value, 0x3C);
        EXPECT_EQ(rest[0].startSample, enc.result().starts[1]);
    }
}

TEST(SerialMidiDecoder, ReadsInvertedAndIdleHighSignals) {
    const Bytes values = {0x00, 0xFF, 0x90, 0x3C, 0x7F, 0xF8};
    struct Case {
        float level;
        float idle;
        Polarity polarity;
        int rest;  // 80 samples is eleven bit times at the highest rate
    };
    for (const Case c :
         {Case{-1.0f, 0.0f, Polarity::idleLow, 80}, Case{-1.0f, 0.0f, Polarity::automatic, 80},
          Case{0.0f, 1.0f, Polarity::idleHigh, 80}, Case{0.0f, 1.0f, Polarity::automatic, 80},
          Case{-0.5f, 0.5f, Polarity::automatic, 80}, Case{0.8f, -0.8f, Polarity::automatic, 80},
          Case{1.0f, 0.0f, Polarity::automatic, 0}}) {  // a byte on sample 0
        for (double rate : {44100.0, 192000.0}) {
            testenc::Encoder enc(rate, c.level, c.idle);
            enc.gap(c.rest);
            enc.bytes(values);
            enc.gap(2);
            DecoderOptions options;
            options.polarity = c.polarity;
            const std::string where = "level " + std::to_string(c.level) + " idle " +
                                      std::to_string(c.idle) + " at " + std::to_string(rate);
            expectExact(enc.result(), values, decodeAll(rate, enc.result().samples, options),
                        where);
        }
    }
}

TEST(SerialMidiDecoder, AFramingErrorIsReportedAndTheNextByteIsReadExactly) {
    for (double rate : testenc::encoderRates()) {
        testenc::Encoder enc(rate);
        enc.gap(80);
        enc.byte(0x90);
        enc.brokenByte(0x3C);
        enc.gap(10);  // the line goes idle again
        enc.bytes({0x80, 0x40});
        SerialMidiDecoder decoder(rate);
        const auto& s = enc.result().samples;
        decoder.feed(s.data(), s.size());
        const auto got = decoder.takeBytes();
        ASSERT_EQ(got.size(), 4u) << rate;
        EXPECT_FALSE(got[0].framingError);
        EXPECT_TRUE(got[1].framingError) << rate;
        EXPECT_EQ(got[1].value, 0x3C) << rate;
        EXPECT_EQ(got[2].value, 0x80) << rate;
        EXPECT_EQ(got[2].startSample, enc.result().starts[2]) << rate;
        EXPECT_FALSE(got[2].framingError);
        EXPECT_EQ(got[3].value, 0x40) << rate;
        EXPECT_EQ(decoder.framingErrors(), 1u);
    }
    // A line held active (a break) is one framing error, not a stream of
    // bytes.
    std::vector<float> s(100, 0.0f);
    s.insert(s.end(), 2000, 1.0f);
    testenc::Encoder enc(44100);
    enc.gap(5);
    enc.byte(0x42);
    s.insert(s.end(), enc.result().samples.begin(), enc.result().samples.end());
    const auto got = decodeAll(44100, s);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_TRUE(got[0].framingError);
    EXPECT_EQ(got[0].value, 0x00);
    EXPECT_EQ(got[1].value, 0x42);
    EXPECT_EQ(got[1].startSample, 100 + 2000 + 5);
}

// The plug-in smooths its output at 44100 and 48000 Hz by default: one-sample
// bits then reach only part of the level and ring into the next sample.
TEST(SerialMidiDecoder, ReadsThePlugInsSmoothedOutputWithDefaultOptions) {
    std::mt19937 random(3);
    for (double rate : {44100.0, 48000.0}) {
        for (float level : {1.0f, 0.5f, 0.25f}) {
            testenc::Encoder enc(rate, level);
            enc.gap(50);
            Bytes values = everyValue();
            for (int i = 0; i < 300; ++i)
                values.push_back(static_cast<std::uint8_t>(random() & 0xFF));
            for (std::uint8_t v : values) {
                enc.byte(v);
                enc.gap(static_cast<int>(random() % 4 == 0 ? random() % 30 : 0));
            }
            // Softness 0.77097505 -> cutoff 17000 Hz at 44100 Hz.
            const auto smoothed = testenc::softly(enc.result().samples, 0.5 * 0.77097505);
            expectExact(enc.result(), values, decodeAll(rate, smoothed),
                        "softly at " + std::to_string(rate) + " level " + std::to_string(level));
        }
    }
}

TEST(SerialMidiDecoder, FollowsALevelThatDropsLaterInTheSignal) {
    testenc::Encoder loud(96000, 1.0f);
    loud.gap(20);
    loud.bytes({0x90, 0x3C, 0x64});
    testenc::Encoder quiet(96000, 0.3f);
    quiet.gap(96000);  // a second of silence
    quiet.bytes({0x80, 0x3C, 0x00});
    std::vector<float> s = loud.result().samples;
    s.insert(s.end(), quiet.result().samples.begin(), quiet.result().samples.end());
    const auto got = decodeAll(96000, s);
    ASSERT_EQ(got.size(), 6u);
    EXPECT_EQ(got[3].value, 0x80);
    EXPECT_EQ(got[5].value, 0x00);
    EXPECT_FALSE(got[5].framingError);
}

TEST(SerialMidiDecoder, RejectsRatesBelowOneSampleABitAndBadThresholds) {
    EXPECT_THROW(SerialMidiDecoder(31249.0), std::invalid_argument);
    EXPECT_THROW(SerialMidiDecoder(std::nan("")), std::invalid_argument);
    EXPECT_NO_THROW(SerialMidiDecoder(31250.0));
    DecoderOptions bad;
    bad.threshold = 0.0;
    EXPECT_THROW(SerialMidiDecoder(44100.0, bad), std::invalid_argument);
}

TEST(SerialMidiDecoder, DecodesAtRatesTheEncoderDoesNotUse) {
    // A recording at another rate: each bit is rate / 31250 samples long,
    // sampled from an ideal waveform.
    const Bytes values = {0x00, 0xFF, 0x55, 0xAA, 0x90};
    for (double rate : {62500.0, 64000.0, 100000.0, 384000.0}) {
        std::vector<float> s(40, 0.0f);
        std::vector<std::int64_t> starts;
        double t = 40.0;
        for (std::uint8_t v : values) {
            starts.push_back(static_cast<std::int64_t>(std::ceil(t)));
            const double begin = t;
            t += 10.0 * rate / 31250.0 + 3.0;
            while (static_cast<double>(s.size()) < t) {
                const int bit =
                    static_cast<int>((static_cast<double>(s.size()) - begin) * 31250.0 / rate);
                s.push_back(bit == 0 || (bit <= 8 && ((v >> (bit - 1)) & 1) == 0) ? 1.0f : 0.0f);
            }
        }
        s.insert(s.end(), 10, 0.0f);
        expectExact({s, starts}, values, decodeAll(rate, s), std::to_string(rate));
    }
}

}  // namespace
