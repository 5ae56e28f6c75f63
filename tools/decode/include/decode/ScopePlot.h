#pragma once
// A picture of a serial MIDI recording as a scope would show it, written as
// SVG: the waveform over a time axis numbered in samples, each byte's frame
// (start bit, eight data bits, stop bit) marked over it, the decoded message
// named above its first byte, and framing errors in red.
//
// Fed in signal order alongside the decoder; keeps at most two values per
// pixel column of the waveform, so a long recording costs no more memory
// than a short one.

#include "decode/MidiMessageAssembler.h"
#include "decode/SerialMidiDecoder.h"

#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

namespace serialmidi {

class ScopePlot {
public:
    static constexpr int kWidth = 1600;
    static constexpr int kHeight = 420;
    static constexpr int kLeft = 70, kRight = 20, kTop = 70, kBottom = 50;

    // Shows samples [from, to) of a recording at `sampleRate`. Throws
    // std::invalid_argument unless 0 <= from < to and the rate is positive.
    ScopePlot(double sampleRate, std::int64_t from, std::int64_t to);

    // The next `n` samples of the signal.
    void addSamples(const float* samples, std::size_t n);
    void addBytes(const std::vector<DecodedByte>& bytes);
    void addMessages(const std::vector<DecodedMessage>& messages);

    // The picture, complete; call once all the data is in.
    void write(std::ostream& out) const;

    // Where sample `s` lies on the picture's x axis, in the picture's units.
    double xOf(double s) const;

private:
    // Zoomed in far enough, every sample is drawn as a step; further out,
    // each pixel column shows the lowest and highest sample that fell in it.
    bool keepsSamples() const { return to_ - from_ <= 4 * kPlotWidth; }
    static constexpr int kPlotWidth = kWidth - kLeft - kRight;

    struct Column {
        float low = std::numeric_limits<float>::max();
        float high = std::numeric_limits<float>::lowest();
    };
    struct Label {
        std::int64_t sample;
        std::string text;
        bool error;
    };

    bool inWindow(std::int64_t s) const { return s + byteSamples_ >= from_ && s < to_; }
    double yOf(double v) const;

    double rate_;
    std::int64_t from_, to_;
    std::int64_t fed_ = 0;
    double byteSamples_;  // ten bit times
    std::vector<Column> columns_;
    std::vector<float> samples_;
    float low_ = 0.0f, high_ = 0.0f;
    std::vector<DecodedByte> bytes_;
    std::vector<Label> labels_;
};

// "123" (samples) or "12.5ms" (milliseconds) at `rate`; false when neither.
bool parsePlotPosition(const std::string& text, double rate, std::int64_t& sample);

}  // namespace serialmidi
