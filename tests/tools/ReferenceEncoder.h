#pragma once
// A serial MIDI encoder for the tests, written from the plug-in's bit
// schedule: at each supported rate a byte is a fixed pattern of samples per
// bit (start, eight data bits least significant first, stop) and completes
// on one more idle sample, so back-to-back bytes take 15, 16, 29, 31, 58 and
// 62 samples. Active (0 bits and the start bit) is `level`, idle is `idle`.

#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace testenc {

inline const std::vector<double>& encoderRates() {
    static const std::vector<double> rates = {44100, 48000, 88200, 96000, 176400, 192000};
    return rates;
}

// Bit index (0 start, 1..8 data, 9 stop, >= 10 done) of the p-th sample of a
// byte, p from 1.
inline int bitIndexForPhase(double rate, int p) {
    const int q = p - 1;
    if (rate == 44100) {
        static const int kTable[14] = {0, 1, 1, 2, 3, 3, 4, 5, 5, 6, 7, 8, 8, 9};
        return q < 14 ? kTable[q] : 10;
    }
    if (rate == 48000)
        return 2 * (q / 3) + (q % 3 >= 2 ? 1 : 0);
    if (rate == 88200)
        return q < 11 ? q / 3 : q < 25 ? (q - 11) / 3 + 4 : (q - 25) / 3 + 9;
    if (rate == 96000)
        return q / 3;
    if (rate == 176400) {
        if (q < 11)
            return q / 6;
        if (q < 28)
            return (q - 11) / 6 + 2;
        if (q < 39)
            return (q - 28) / 6 + 5;
        return (q - 39) / 6 + 7;
    }
    if (rate == 192000)
        return q < 19 ? q / 6 : (q - 19) / 6 + 3;
    throw std::invalid_argument("not an encoder rate");
}

// Samples a byte takes, the completing idle sample included.
inline int byteLength(double rate) {
    int p = 1;
    while (bitIndexForPhase(rate, p) < 10)
        ++p;
    return p;
}

struct Encoded {
    std::vector<float> samples;
    std::vector<std::int64_t> starts;  // start sample of each byte
};

class Encoder {
public:
    explicit Encoder(double rate, float level = 1.0f, float idle = 0.0f)
        : rate_(rate), level_(level), idle_(idle) {}

    void gap(int samples) { out_.samples.insert(out_.samples.end(), samples, idle_); }

    void byte(std::uint8_t value) {
        out_.starts.push_back(static_cast<std::int64_t>(out_.samples.size()));
        for (int p = 1;; ++p) {
            const int bit = bitIndexForPhase(rate_, p);
            const bool active =
                bit == 0 || (bit >= 1 && bit <= 8 && ((value >> (bit - 1)) & 1) == 0);
            out_.samples.push_back(active ? level_ : idle_);
            if (bit >= 10)
                break;
        }
    }

    void bytes(const std::vector<std::uint8_t>& values) {
        for (std::uint8_t v : values)
            byte(v);
    }

    // A byte whose stop bit is held active: what a receiver sees as a
    // framing error. Its completing sample is active too.
    void brokenByte(std::uint8_t value) {
        const std::size_t first = out_.samples.size();
        byte(value);
        for (std::size_t i = first; i < out_.samples.size(); ++i) {
            const int bit = bitIndexForPhase(rate_, static_cast<int>(i - first) + 1);
            if (bit >= 9)
                out_.samples[i] = level_;
        }
    }

    const Encoded& result() const { return out_; }

private:
    double rate_;
    float level_;
    float idle_;
    Encoded out_;
};

// The plug-in's smoothing: first-order low-pass by the bilinear transform,
// cutoff as a fraction of the rate.
inline std::vector<float> softly(const std::vector<float>& x, double cutoff) {
    const double k = std::tan(3.14159265358979323846 * cutoff);
    const float b = static_cast<float>(k / (1 + k));
    const float a1 = static_cast<float>((1 - k) / (1 + k));
    std::vector<float> y(x.size());
    float xPrevious = 0.0f;
    float yPrevious = 0.0f;
    for (std::size_t i = 0; i < x.size(); ++i) {
        yPrevious = b * xPrevious + b * x[i] + a1 * yPrevious;
        xPrevious = x[i];
        y[i] = yPrevious;
    }
    return y;
}

}  // namespace testenc
