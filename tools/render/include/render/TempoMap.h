#pragma once
// The musical time of a MIDI file: ticks to seconds through its tempo
// changes, and the bar structure from its time signatures, for the host
// transport the renderer hands to the plug-in.

#include "render/MidiFile.h"

#include <cstdint>
#include <vector>

namespace render {

struct MusicalPosition {
    double ppq;          // quarter notes from the start of the song
    double tempo;        // beats per minute in effect there
    double barStartPpq;  // ppq of the start of the bar holding `ppq`
    int numerator;       // time signature in effect there
    int denominator;
};

class TempoMap {
public:
    // Tempo and time signature before the file's first change of either
    // (the file's own changes at tick 0 replace them).
    struct Defaults {
        double tempoBpm = 120.0;
        int numerator = 4;
        int denominator = 4;
    };

    TempoMap(int ticksPerQuarter, const std::vector<TempoChange>& tempos,
             const std::vector<TimeSignatureChange>& signatures, Defaults defaults);
    TempoMap(const MidiFile& file, Defaults defaults);
    explicit TempoMap(const MidiFile& file) : TempoMap(file, Defaults()) {}

    double ticksToSeconds(std::int64_t tick) const;
    // Seconds from the start to a position in quarter notes (at or after 0).
    double ppqToSeconds(double ppq) const;
    // The sample an event at `tick` sounds on: round(seconds × rate).
    std::int64_t tickToSample(std::int64_t tick, double sampleRate) const;
    // Quarter notes at a time from the start (the inverse of ticksToSeconds).
    double secondsToPpq(double seconds) const;
    MusicalPosition positionAtSeconds(double seconds) const;
    MusicalPosition positionAtSample(std::int64_t sample, double sampleRate) const;

    int ticksPerQuarter() const { return ticksPerQuarter_; }

private:
    struct TempoSegment {
        double ppq;
        double seconds;
        double secondsPerQuarter;
    };
    struct MeterSegment {
        double ppq;
        double barLength;  // quarter notes
        int numerator;
        int denominator;
    };

    const TempoSegment& tempoAtPpq(double ppq) const;
    const TempoSegment& tempoAtSeconds(double seconds) const;

    int ticksPerQuarter_;
    std::vector<TempoSegment> tempos_;
    std::vector<MeterSegment> meters_;
};

}  // namespace render
