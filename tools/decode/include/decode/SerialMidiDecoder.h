#pragma once
// Reads serial MIDI back out of an audio signal: one start bit, eight data
// bits least significant first, one stop bit at 31250 baud, each bit a run of
// samples. Bit i of a byte is read at the sample holding its centre,
// floor(start + (i + 0.5) × rate / 31250), which falls inside the bit at
// every rate the plug-in produces, 44100 Hz (one or two samples a bit)
// included. Any rate with at least one sample a bit is accepted; a signal
// recorded from a cable, whose edges fall between samples, wants two or
// more.
//
// The signal is fed block by block; a byte may span any number of blocks.
// Not for the audio thread: feed() appends to vectors.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace serialmidi {

constexpr double kMidiBaudRate = 31250.0;
// Below one sample a bit, bits fall between samples.
constexpr double kMinimumSampleRate = kMidiBaudRate;

enum class Polarity {
    // The idle level is the level the signal rests at: the first stretch of
    // eleven bit times in which the signal stays within `threshold` of one
    // value (a byte holds the line active for nine bit times at most, so such
    // a stretch is idle). A rest level within `threshold` of 0.0 then behaves
    // as idleLow; a higher one as idleHigh with that level as the high level;
    // a lower one mirrored (active above it). Samples are held back until the
    // rest level is known and then decoded from the first one, so a byte at
    // sample 0 is not lost. A signal that never rests in its first ten
    // seconds (or before finish()) is read as idleLow.
    automatic,
    // Idle is 0.0; a sample is active when it is away from 0.0 by more than
    // the slicing level, on either side. The plug-in's own output.
    idleLow,
    // A two-level signal resting at its high level: active when it is below
    // the highest sample seen so far by more than the slicing level.
    idleHigh,
};

struct DecoderOptions {
    // Deviation from the idle level beyond which a sample counts as active.
    double threshold = 0.1;
    // Slice halfway between idle and the active level once that level is
    // known, never below `threshold`. The active level is the deviation the
    // signal holds for two samples in a row, tracked with a time constant of
    // half a second so that a later change of level is followed. Needed for
    // smoothed signals (the plug-in's "Softly" filter at 44100 and 48000 Hz,
    // on by default) whose one-sample bits never reach the full level and
    // ring a quarter of it into the next sample. Off: `threshold` alone.
    bool adaptive = true;
    Polarity polarity = Polarity::automatic;
};

struct DecodedByte {
    // Absolute index of the first sample of the start bit.
    std::int64_t startSample;
    std::uint8_t value;
    // The stop bit was not idle. The byte is reported as read, and the
    // decoder waits for the line to go idle and then for the next idle ->
    // active edge before it reads another byte.
    bool framingError;
};

class SerialMidiDecoder {
public:
    // Throws std::invalid_argument when sampleRate is below kMinimumSampleRate
    // (or not finite) or the threshold is not a positive finite number.
    explicit SerialMidiDecoder(double sampleRate, DecoderOptions options = {});

    // Decodes the next `n` samples of the signal. Non-finite samples count as
    // active.
    void feed(const float* samples, std::size_t n);
    // End of the data: with automatic polarity and no rest level found yet,
    // decides on idleLow and decodes what was held back. A byte whose stop
    // bit was not fed stays unreported. Further feed() calls continue.
    void finish();
    // The bytes completed since the last call, in signal order.
    std::vector<DecodedByte> takeBytes();
    // Forgets everything, including the idle and active levels; sample
    // positions restart at 0.
    void reset();

    double sampleRate() const { return sampleRate_; }
    const DecoderOptions& options() const { return options_; }
    // Samples fed since construction or reset().
    std::int64_t samplesFed() const { return fed_; }
    // Framing errors seen since construction or reset().
    std::size_t framingErrors() const { return framingErrors_; }
    // A start bit has been seen but the byte's stop bit not yet.
    bool byteInProgress() const { return state_ == State::receiving; }
    // Whether the idle level is known (always for the fixed polarities).
    bool idleLevelKnown() const { return idleKnown_; }
    // The idle level in use: 0.0 for idleLow, the rest level for automatic
    // once known, the running maximum for idleHigh.
    double idleLevel() const { return idle_; }
    // The tracked active level (deviation from idle), 0 while unknown.
    double activeLevel() const { return level_; }

private:
    enum class State { waitingForIdle, idle, receiving };

    void learnRest(float x);
    void settleIdle(double rest);
    double deviation(float x);
    void processSample(float x);
    void finishByte();

    double sampleRate_;
    DecoderOptions options_;
    std::int64_t centreOffsets_[10];
    std::int64_t restNeeded_;
    std::int64_t pendingLimit_;
    double levelDecay_;

    std::int64_t fed_ = 0;
    std::int64_t position_ = 0;  // index of the next sample processSample sees
    State state_ = State::idle;
    std::int64_t byteStart_ = 0;
    int nextBit_ = 0;
    double centres_[10] = {};

    bool idleKnown_ = false;
    double idle_ = 0.0;
    int direction_ = 0;  // 0: either side of idle; -1: below idle; +1: above
    bool highSeen_ = false;
    std::vector<float> pending_;  // held back until the rest level is known
    double runMin_ = 0.0;
    double runMax_ = 0.0;
    std::int64_t runLength_ = 0;

    double level_ = 0.0;
    double previousDeviation_ = 0.0;

    std::size_t framingErrors_ = 0;
    std::vector<DecodedByte> bytes_;
};

}  // namespace serialmidi
