#include "decode/SerialMidiDecoder.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace serialmidi {

namespace {

// Eleven bit times: longer than any active stretch a byte can make (start
// bit and eight 0 bits), so a stretch this long at one level is the idle line.
constexpr double kRestBits = 11.0;
constexpr double kPendingSeconds = 10.0;
constexpr double kLevelTimeConstant = 0.5;

}  // namespace

SerialMidiDecoder::SerialMidiDecoder(double sampleRate, DecoderOptions options)
    : sampleRate_(sampleRate), options_(options) {
    if (!(sampleRate >= kMinimumSampleRate) || !std::isfinite(sampleRate))
        throw std::invalid_argument(
            "sample rate below 31250 Hz: a MIDI bit needs a sample at least");
    if (!(options.threshold > 0.0) || !std::isfinite(options.threshold))
        throw std::invalid_argument("threshold must be a positive number");
    const double samplesPerBit = sampleRate / kMidiBaudRate;
    for (int i = 0; i < 10; ++i)
        centreOffsets_[i] = static_cast<std::int64_t>(std::floor((i + 0.5) * samplesPerBit));
    restNeeded_ = static_cast<std::int64_t>(std::ceil(kRestBits * samplesPerBit));
    pendingLimit_ = static_cast<std::int64_t>(kPendingSeconds * sampleRate);
    levelDecay_ = std::exp(-1.0 / (kLevelTimeConstant * sampleRate));
    reset();
}

void SerialMidiDecoder::reset() {
    fed_ = 0;
    position_ = 0;
    state_ = State::idle;
    byteStart_ = 0;
    nextBit_ = 0;
    idleKnown_ = options_.polarity != Polarity::automatic;
    idle_ = 0.0;
    direction_ = options_.polarity == Polarity::idleHigh ? -1 : 0;
    highSeen_ = false;
    pending_.clear();
    runLength_ = 0;
    level_ = 0.0;
    previousDeviation_ = 0.0;
    framingErrors_ = 0;
    bytes_.clear();
}

void SerialMidiDecoder::feed(const float* samples, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        ++fed_;
        if (idleKnown_) {
            processSample(samples[i]);
            continue;
        }
        pending_.push_back(samples[i]);
        learnRest(samples[i]);
        if (!idleKnown_ && static_cast<std::int64_t>(pending_.size()) >= pendingLimit_)
            settleIdle(0.0);
    }
}

void SerialMidiDecoder::finish() {
    if (!idleKnown_)
        settleIdle(0.0);
}

std::vector<DecodedByte> SerialMidiDecoder::takeBytes() {
    std::vector<DecodedByte> out;
    out.swap(bytes_);
    return out;
}

void SerialMidiDecoder::learnRest(float x) {
    const double v = x;
    if (!std::isfinite(v)) {
        runLength_ = 0;
        return;
    }
    if (runLength_ == 0 || std::max(runMax_, v) - std::min(runMin_, v) > options_.threshold) {
        runMin_ = runMax_ = v;
        runLength_ = 1;
    } else {
        runMin_ = std::min(runMin_, v);
        runMax_ = std::max(runMax_, v);
        ++runLength_;
    }
    if (runLength_ >= restNeeded_)
        settleIdle(0.5 * (runMin_ + runMax_));
}

void SerialMidiDecoder::settleIdle(double rest) {
    if (std::fabs(rest) <= options_.threshold) {
        idle_ = 0.0;
        direction_ = 0;
    } else {
        idle_ = rest;
        direction_ = rest > 0.0 ? -1 : 1;
    }
    idleKnown_ = true;
    std::vector<float> held;
    held.swap(pending_);
    for (float x : held)
        processSample(x);
}

// How far a sample is from idle towards the active side; never negative
// except on the idle side of a one-sided signal.
double SerialMidiDecoder::deviation(float x) {
    const double v = x;
    if (!std::isfinite(v))
        return std::numeric_limits<double>::infinity();
    if (options_.polarity == Polarity::idleHigh) {
        if (!highSeen_ || v > idle_) {
            idle_ = v;
            highSeen_ = true;
        }
    }
    switch (direction_) {
        case -1:
            return idle_ - v;
        case 1:
            return v - idle_;
        default:
            return std::fabs(v - idle_);
    }
}

void SerialMidiDecoder::processSample(float x) {
    const std::int64_t pos = position_++;
    const double d = deviation(x);

    if (options_.adaptive) {
        // Two samples in a row at a level: a single spike or the overshoot of
        // a smoothed edge does not count.
        const double held = std::min(d, previousDeviation_);
        level_ *= levelDecay_;
        if (std::isfinite(held) && held > level_)
            level_ = held;
    }
    previousDeviation_ = d;
    const double slice =
        options_.adaptive ? std::max(options_.threshold, 0.5 * level_) : options_.threshold;
    const bool active = d > slice;

    switch (state_) {
        case State::waitingForIdle:
            if (!active)
                state_ = State::idle;
            return;
        case State::idle:
            if (!active)
                return;
            state_ = State::receiving;
            byteStart_ = pos;
            nextBit_ = 0;
            break;
        case State::receiving:
            break;
    }

    while (nextBit_ < 10 && pos == byteStart_ + centreOffsets_[nextBit_]) {
        // A start bit that is gone by its centre was a glitch: keep looking.
        if (nextBit_ == 0 && !active) {
            state_ = State::idle;
            return;
        }
        centres_[nextBit_++] = d;
    }
    if (nextBit_ == 10)
        finishByte();
}

void SerialMidiDecoder::finishByte() {
    // Decided only now, so that the first byte of a signal is read with the
    // active level its own bits showed.
    const double slice =
        options_.adaptive ? std::max(options_.threshold, 0.5 * level_) : options_.threshold;
    unsigned value = 0;
    for (int bit = 0; bit < 8; ++bit) {
        if (!(centres_[bit + 1] > slice))
            value |= 1u << bit;
    }
    const bool framingError = centres_[9] > slice;
    bytes_.push_back({byteStart_, static_cast<std::uint8_t>(value), framingError});
    if (framingError) {
        ++framingErrors_;
        state_ = State::waitingForIdle;
    } else {
        state_ = State::idle;
    }
}

}  // namespace serialmidi
