#include "render/TempoMap.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace render {

namespace {

// Positions computed from sample numbers land a hair before a bar line that
// sits exactly on a sample; a bar starting within this much counts as begun.
constexpr double kPpqTolerance = 1e-9;

}  // namespace

TempoMap::TempoMap(const MidiFile& file, Defaults defaults)
    : TempoMap(file.ticksPerQuarter(), file.tempoChanges(), file.timeSignatures(), defaults) {}

TempoMap::TempoMap(int ticksPerQuarter, const std::vector<TempoChange>& tempos,
                   const std::vector<TimeSignatureChange>& signatures, Defaults defaults)
    : ticksPerQuarter_(ticksPerQuarter) {
    if (ticksPerQuarter <= 0)
        throw std::invalid_argument("ticks per quarter note must be positive");
    if (!(defaults.tempoBpm > 0.0) || !std::isfinite(defaults.tempoBpm))
        throw std::invalid_argument("tempo must be a positive number of beats per minute");
    if (defaults.numerator <= 0 || defaults.denominator <= 0)
        throw std::invalid_argument("time signature must be positive");

    const double tpq = ticksPerQuarter;
    tempos_.push_back({0.0, 0.0, 60.0 / defaults.tempoBpm});
    for (const TempoChange& change : tempos) {
        const double ppq = static_cast<double>(change.tick) / tpq;
        const double secondsPerQuarter = change.microsecondsPerQuarter * 1e-6;
        TempoSegment& last = tempos_.back();
        if (ppq <= last.ppq) {
            // Same position: the later change wins.
            last.secondsPerQuarter = secondsPerQuarter;
            continue;
        }
        const double seconds = last.seconds + (ppq - last.ppq) * last.secondsPerQuarter;
        tempos_.push_back({ppq, seconds, secondsPerQuarter});
    }

    meters_.push_back({0.0, defaults.numerator * 4.0 / defaults.denominator, defaults.numerator,
                       defaults.denominator});
    for (const TimeSignatureChange& change : signatures) {
        const double ppq = static_cast<double>(change.tick) / tpq;
        const MeterSegment segment{ppq, change.numerator * 4.0 / change.denominator,
                                   change.numerator, change.denominator};
        if (ppq <= meters_.back().ppq)
            meters_.back() = segment;
        else
            meters_.push_back(segment);
    }
}

const TempoMap::TempoSegment& TempoMap::tempoAtPpq(double ppq) const {
    auto it = std::upper_bound(tempos_.begin(), tempos_.end(), ppq,
                               [](double p, const TempoSegment& s) { return p < s.ppq; });
    return it == tempos_.begin() ? tempos_.front() : *(it - 1);
}

const TempoMap::TempoSegment& TempoMap::tempoAtSeconds(double seconds) const {
    auto it = std::upper_bound(tempos_.begin(), tempos_.end(), seconds,
                               [](double t, const TempoSegment& s) { return t < s.seconds; });
    return it == tempos_.begin() ? tempos_.front() : *(it - 1);
}

double TempoMap::ticksToSeconds(std::int64_t tick) const {
    return ppqToSeconds(static_cast<double>(tick) / ticksPerQuarter_);
}

double TempoMap::ppqToSeconds(double ppq) const {
    const TempoSegment& s = tempoAtPpq(ppq);
    return s.seconds + (ppq - s.ppq) * s.secondsPerQuarter;
}

std::int64_t TempoMap::tickToSample(std::int64_t tick, double sampleRate) const {
    return std::llround(ticksToSeconds(tick) * sampleRate);
}

double TempoMap::secondsToPpq(double seconds) const {
    const TempoSegment& s = tempoAtSeconds(seconds);
    return s.ppq + (seconds - s.seconds) / s.secondsPerQuarter;
}

MusicalPosition TempoMap::positionAtSeconds(double seconds) const {
    MusicalPosition p{};
    p.ppq = secondsToPpq(seconds);
    p.tempo = 60.0 / tempoAtSeconds(seconds).secondsPerQuarter;

    auto it = std::upper_bound(meters_.begin(), meters_.end(), p.ppq + kPpqTolerance,
                               [](double q, const MeterSegment& s) { return q < s.ppq; });
    const MeterSegment& m = it == meters_.begin() ? meters_.front() : *(it - 1);
    // A time signature change starts a new bar, wherever it falls.
    const double bars = std::floor((p.ppq - m.ppq) / m.barLength + kPpqTolerance);
    p.barStartPpq = m.ppq + bars * m.barLength;
    p.numerator = m.numerator;
    p.denominator = m.denominator;
    return p;
}

MusicalPosition TempoMap::positionAtSample(std::int64_t sample, double sampleRate) const {
    return positionAtSeconds(static_cast<double>(sample) / sampleRate);
}

}  // namespace render
