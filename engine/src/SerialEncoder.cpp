#include "engine/SerialEncoder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace QX4Controller {
namespace {

// The longest byte (192000 Hz) completes on its 62nd sample.
constexpr int kMaxPhase = 64;

// Highest Softly cutoff, as a fraction of the sample rate.
constexpr float kMaxCutoff = 0.49f;

// bitIndexForPhase for phases 1..kMaxPhase of every rate code, and for
// every byte value the samples of its bits (1 active, 0 idle) from its first
// sample up to the one before the completing sample: computed once, so that
// the loop only looks bits up and whole bytes are copied as runs.
struct BitTables {
    std::int8_t bits[7][kMaxPhase + 1];
    int length[7];  // phase of the completing sample
    std::uint8_t active[7][256][kMaxPhase];
    BitTables() {
        for (int code = 0; code < 7; ++code) {
            length[code] = kMaxPhase;
            for (int p = 1; p <= kMaxPhase; ++p) {
                bits[code][p] = static_cast<std::int8_t>(std::min(bitIndexForPhase(code, p), 10));
                if (code != 0 && bits[code][p] >= 10 && length[code] == kMaxPhase)
                    length[code] = p;
            }
            bits[code][0] = bits[code][1];
            for (int byte = 0; byte < 256; ++byte) {
                for (int p = 1; p <= kMaxPhase; ++p) {
                    const int bit = bits[code][p];
                    active[code][byte][p - 1] =
                        bit == 0 || (bit >= 1 && bit <= 8 && ((byte >> (bit - 1)) & 1) == 0);
                }
            }
        }
    }
};

const BitTables& bitTables() {
    static const BitTables tables;
    return tables;
}

}  // namespace

int sampleRateCode(float sampleRate) {
    if (sampleRate == 44100.0f)
        return 1;
    if (sampleRate == 48000.0f)
        return 2;
    if (sampleRate == 88200.0f)
        return 3;
    if (sampleRate == 96000.0f)
        return 4;
    if (sampleRate == 176400.0f)
        return 5;
    if (sampleRate == 192000.0f)
        return 6;
    return 0;
}

int bitIndexForPhase(int code, int phase) {
    const int q = phase - 1;
    switch (code) {
        case 1: {
            static const int kBits[14] = {0, 1, 1, 2, 3, 3, 4, 5, 5, 6, 7, 8, 8, 9};
            return phase >= 1 && phase <= 14 ? kBits[phase - 1] : 10;
        }
        case 2:
            return 2 * (q / 3) + (q % 3 >= 2 ? 1 : 0);
        case 3:
            return q < 11 ? q / 3 : q < 25 ? (q - 11) / 3 + 4 : (q - 25) / 3 + 9;
        case 4:
            return q / 3;
        case 5:
            return q < 11   ? q / 6
                   : q < 28 ? (q - 11) / 6 + 2
                   : q < 39 ? (q - 28) / 6 + 5
                            : (q - 39) / 6 + 7;
        case 6:
            return q < 19 ? q / 6 : (q - 19) / 6 + 3;
        default:
            return -1;
    }
}

SerialEncoder::SerialEncoder(HistoryWriter& history)
    : history_(history), ring_(new std::uint8_t[kQueueSize]()), patterns_(new PatternCache[256]) {
    update(EncoderParameters{});
}

SerialEncoder::~SerialEncoder() = default;

void SerialEncoder::update(const EncoderParameters& p) {
    const BitTables& tables = bitTables();
    rateCode_ = sampleRateCode(p.sampleRate);
    bitTable_ = tables.bits[rateCode_];
    byteSamples_ = &tables.active[rateCode_][0][0];
    bitTableLength_ = tables.length[rateCode_];
    // A restored state can hold anything; a non-number must not reach the
    // sound card.
    level_ = std::isfinite(p.outputLevel) ? p.outputLevel : 0.0f;
    space_ = std::isfinite(p.space) ? static_cast<int>(std::clamp(p.space, -1e6f, 1e6f)) : 0;
    if (p.balance < 1.0f) {
        // Refreshed before every stretch: the exponential only when Balance
        // or the rate moved.
        if (p.balance != coefficientBalance_ || p.sampleRate != coefficientRate_) {
            balanceCoefficient_ = std::exp(-5.2f / (p.balance * p.sampleRate));
            if (!std::isfinite(balanceCoefficient_))
                balanceCoefficient_ = 0.0f;
            coefficientBalance_ = p.balance;
            coefficientRate_ = p.sampleRate;
        }
    } else {
        coefficientBalance_ = 1.0f;
        balanceCoefficient_ = 1.0f;
        activityLevel_ = 0.0f;
    }
    softlyOn_ = p.softly == 0.0f ? p.sampleRate <= 48000.0f : p.softly == 1.0f;
    // The cutoff is a fraction of the sample rate: at 0.5 and above (a
    // Softness of 1 or more, possible through the host, OSC or a saved
    // state) the bilinear design turns unstable and the output runs off to
    // infinity, so it stays just below the Nyquist frequency.
    float cutoff = std::max(std::min(0.5f * p.softness, kMaxCutoff), 0.068f);
    if (!std::isfinite(cutoff))
        cutoff = 0.5f * 0.77097505f;
    if (!filterDesigned_ || cutoff != filterCutoff_)
        designFilter(cutoff);
}

void SerialEncoder::designFilter(float cutoff) {
    // First-order Butterworth low-pass by the bilinear transform, the
    // analogue prototype pre-warped; unity gain at DC.
    const double k = std::tan(3.14159265358979323846 * static_cast<double>(cutoff));
    b0_ = b1_ = static_cast<float>(k / (1.0 + k));
    a1_ = static_cast<float>((1.0 - k) / (1.0 + k));
    filterCutoff_ = cutoff;
    filterDesigned_ = true;
}

bool SerialEncoder::fits(std::size_t length) const {
    return length <= static_cast<std::size_t>(kQueueSize - count_);
}

void SerialEncoder::push(std::uint8_t byte) {
    ring_[static_cast<std::size_t>((head_ + count_) % kQueueSize)] = byte;
    ++count_;
    ++bytesQueued_;
    if (phase_ == 0)
        phase_ = 1;
}

bool SerialEncoder::sendMidi1(std::uint8_t b0) {
    if (!fits(1))
        return false;
    push(b0);
    history_.add(kHistorySentPluginOutput, 1, b0, 0, 0);
    return true;
}

bool SerialEncoder::sendMidi2(std::uint8_t b0, std::uint8_t b1) {
    if (!fits(2))
        return false;
    push(b0);
    push(b1);
    history_.add(kHistorySentPluginOutput, 2, b0, b1, 0);
    return true;
}

bool SerialEncoder::sendMidi3(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2) {
    if (!fits(3))
        return false;
    push(b0);
    push(b1);
    push(b2);
    history_.add(kHistorySentPluginOutput, 3, b0, b1, b2);
    return true;
}

bool SerialEncoder::sendRawBytes(const std::uint8_t* bytes, std::size_t length) {
    if (!fits(length) || (length && !bytes))
        return false;
    // In at most two pieces: up to the end of the ring, then from its start.
    const std::size_t tail = static_cast<std::size_t>((head_ + count_) % kQueueSize);
    const std::size_t first = std::min(length, static_cast<std::size_t>(kQueueSize) - tail);
    if (first)
        std::memcpy(&ring_[tail], bytes, first);
    if (length > first)
        std::memcpy(&ring_[0], bytes + first, length - first);
    count_ += static_cast<std::int32_t>(length);
    bytesQueued_ += length;
    if (phase_ == 0 && count_ > 0)
        phase_ = 1;
    return true;
}

bool SerialEncoder::sendSysex(const std::uint8_t* bytes, std::size_t length) {
    return sendSysex(bytes, length, nullptr, 0);
}

bool SerialEncoder::sendSysex(const std::uint8_t* first, std::size_t firstLength,
                              const std::uint8_t* second, std::size_t secondLength) {
    const std::size_t length = firstLength + secondLength;
    if ((firstLength && !first) || (secondLength && !second) ||
        length >= static_cast<std::size_t>(kQueueSize) || !fits(length + 1))
        return false;
    push(0xF0);
    if (firstLength)
        sendRawBytes(first, firstLength);
    if (secondLength)
        sendRawBytes(second, secondLength);
    return true;
}

void SerialEncoder::completeByte() {
    head_ = (head_ + 1) & (kQueueSize - 1);
    --count_;
    phase_ = count_ != 0 ? 1 : 0;
    activityLevel_ *= balanceCoefficient_;
    spaceCountdown_ = space_ > 0 ? space_ + 1 : 0;
}

float SerialEncoder::nextLineSample(int i) {
    const float k = balanceCoefficient_;
    if (phase_ < 1 || (phase_ == 1 && activityLevel_ > 0.1f)) {
        // Idle, or the start of a byte held back by the Balance limiter.
        activityLevel_ *= k;
        return 0.0f;
    }
    if (rateCode_ == 0) {
        // No bit exists at this rate. The phase is held so that it neither
        // overflows nor skips the byte at head when a supported rate
        // returns: sending then resumes where it stopped.
        activityLevel_ *= k;
        return 0.0f;
    }
    const int p = phase_;
    phase_ = p + 1;
    if (p == 1)
        startingByte(i);
    const int bit = p <= bitTableLength_ ? bitTable_[p] : 10;
    if (spaceCountdown_ != 0 && bit >= 10) {
        if (--spaceCountdown_ == 0)
            completeByte();
        else
            activityLevel_ *= k;
        return 0.0f;
    }
    if (bit == 0 || (bit >= 1 && bit <= 8 && ((ring_[head_] >> (bit - 1)) & 1) == 0)) {
        activityLevel_ = (activityLevel_ - 1.0f) * k + 1.0f;
        return level_;
    }
    if (bit >= 10) {
        completeByte();
        return 0.0f;
    }
    activityLevel_ *= k;
    return 0.0f;
}

void SerialEncoder::renderSamples(float* output, int frames, SampleHook* hook) {
    if (hook) {
        // Whatever the hook queues may start on this very sample.
        for (int i = 0; i < frames; ++i) {
            hook->beforeSample();
            output[i] = nextLineSample(i);
        }
    } else {
        // An idle line into a filter at rest stays silence: nothing to filter.
        const bool silent = phase_ < 1 && xPrevious_ == 0.0f && yPrevious_ == 0.0f;
        renderLine(output, frames);
        if (silent) {
            position_ += static_cast<std::uint64_t>(frames);
            return;
        }
    }
    if (softlyOn_)
        filterInPlace(output, frames);
    position_ += static_cast<std::uint64_t>(frames);
}

void SerialEncoder::renderLine(float* output, int frames) {
    int i = 0;
    while (i < frames) {
        if (phase_ < 1) {
            // Nothing to send for the rest of the stretch.
            std::fill(output + i, output + frames, 0.0f);
            if (balanceCoefficient_ != 1.0f) {
                for (; i < frames; ++i)
                    activityLevel_ *= balanceCoefficient_;
            }
            return;
        }
        // Without the Balance limiter (coefficient 1, tracker at 0) a byte
        // that starts here is a fixed pattern of samples followed by its
        // idle tail: the completing sample, or Space extra ones.
        if (balanceCoefficient_ == 1.0f && phase_ == 1 && rateCode_ != 0) {
            const int bitSamples = bitTableLength_ - 1;
            const int tail = spaceCountdown_ != 0 ? spaceCountdown_ : 1;
            if (frames - i >= bitSamples + tail) {
                startingByte(i);
                const float* samples = bytePattern(ring_[head_]);
                // Whole 16-sample chunks where the stretch has room (the
                // samples past the byte are rewritten next), so that the copy
                // is a few fixed-size moves rather than a call.
                const int chunks = (bitSamples + 16) / 16;
                if (frames - i >= chunks * 16) {
                    for (int c = 0; c < chunks; ++c)
                        std::memcpy(output + i + 16 * c, samples + 16 * c, 16 * sizeof(float));
                } else {
                    std::memcpy(output + i, samples,
                                sizeof(float) * static_cast<std::size_t>(bitSamples + 1));
                }
                if (tail > 1)
                    std::fill(output + i + bitSamples + 1, output + i + bitSamples + tail, 0.0f);
                i += bitSamples + tail;
                completeByte();
                continue;
            }
        }
        output[i] = nextLineSample(i);
        ++i;
    }
}

const float* SerialEncoder::bytePattern(std::uint8_t byte) {
    // Built on first use for the current rate and level, so that neither an
    // automated level nor a rate change costs more than the bytes sent.
    PatternCache& cache = patterns_[byte];
    if (cache.rateCode != rateCode_ || cache.level != level_) {
        const std::uint8_t* active = byteSamples_ + byte * kMaxPhase;
        const int bitSamples = bitTableLength_ - 1;
        for (int j = 0; j < bitSamples; ++j)
            cache.samples[j] = active[j] ? level_ : 0.0f;
        cache.samples[bitSamples] = 0.0f;  // the completing sample
        cache.rateCode = rateCode_;
        cache.level = level_;
    }
    return cache.samples;
}

void SerialEncoder::filterInPlace(float* samples, int frames) {
    // Only y[n-1] -> y[n] is a dependency chain; the input terms are not.
    float x1 = xPrevious_, y = yPrevious_;
    const float b0 = b0_, b1 = b1_, a1 = a1_;
    for (int i = 0; i < frames; ++i) {
        const float x = samples[i];
        y = b0 * x1 + b1 * x + a1 * y;
        x1 = x;
        samples[i] = y;
    }
    // A decayed tail would otherwise linger as denormals, which are slow on
    // every following sample, and keep the filter from ever coming to rest.
    if (x1 == 0.0f && std::fabs(y) < 1e-20f)
        y = 0.0f;
    xPrevious_ = x1;
    yPrevious_ = y;
}

}  // namespace QX4Controller
