#pragma once
// Standard MIDI File reader (formats 0 and 1, ticks per quarter note). The
// tracks are merged into one time-ordered list of events; tempo and time
// signature meta events are kept apart for the tempo map, every other meta
// event is skipped.
//
// The file is outside data: every length is checked against the data and a
// malformed file gives a MidiFileError naming the problem and its byte
// offset, never a crash or a hang.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace render {

class MidiFileError : public std::runtime_error {
public:
    // `offset` is the byte offset in the file the problem was found at.
    MidiFileError(const std::string& what, std::size_t offset);
    std::size_t offset() const { return offset_; }

private:
    std::size_t offset_;
};

struct MidiEvent {
    enum class Kind {
        // A channel message with its status byte (running status resolved).
        channel,
        // System exclusive from 0xF0, packets continued with 0xF7 escapes
        // joined into one message at the time of the first packet.
        sysex,
        // The bytes of an 0xF7 escape outside system exclusive, sent as they
        // are (real-time and other messages a track may not hold otherwise).
        escape,
    };
    std::int64_t tick;
    int track;
    Kind kind;
    std::vector<std::uint8_t> bytes;
};

struct TempoChange {
    std::int64_t tick;
    std::uint32_t microsecondsPerQuarter;
};

struct TimeSignatureChange {
    std::int64_t tick;
    int numerator;
    int denominator;  // a power of two: 1, 2, 4, 8, ...
};

class MidiFile {
public:
    // Throws MidiFileError.
    static MidiFile parse(const std::uint8_t* data, std::size_t size);
    // Reads the whole file first; a missing or unreadable file is a
    // MidiFileError at offset 0 too.
    static MidiFile load(const std::string& path);

    int format() const { return format_; }
    int ticksPerQuarter() const { return ticksPerQuarter_; }
    int trackCount() const { return trackCount_; }
    // Sorted by tick; at the same tick in track order, then file order.
    const std::vector<MidiEvent>& events() const { return events_; }
    // Sorted by tick (same-tick changes in track and file order: the last
    // one wins).
    const std::vector<TempoChange>& tempoChanges() const { return tempos_; }
    const std::vector<TimeSignatureChange>& timeSignatures() const { return timeSignatures_; }
    // The tick of the last event of any kind, End of Track included: where
    // the music ends.
    std::int64_t endTick() const { return endTick_; }
    // Problems that were tolerated: a track without End of Track, fewer
    // tracks than declared, bytes after the last track, meta events with
    // unusable values.
    const std::vector<std::string>& warnings() const { return warnings_; }

private:
    class Parser;

    int format_ = 0;
    int ticksPerQuarter_ = 0;
    int trackCount_ = 0;
    std::vector<MidiEvent> events_;
    std::vector<TempoChange> tempos_;
    std::vector<TimeSignatureChange> timeSignatures_;
    std::int64_t endTick_ = 0;
    std::vector<std::string> warnings_;
};

}  // namespace render
