#include "render/MidiFile.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace render {

MidiFileError::MidiFileError(const std::string& what, std::size_t offset)
    : std::runtime_error(what), offset_(offset) {}

namespace {

std::string hex(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value & 0xFFu);
    return text;
}

std::string at(std::size_t offset) {
    return " at byte " + std::to_string(offset);
}

}  // namespace

// Reads one file; `pos_` is always an offset into the whole file, so that
// every message can name where it went wrong.
class MidiFile::Parser {
public:
    Parser(const std::uint8_t* data, std::size_t size, MidiFile& file)
        : data_(data), size_(size), file_(file) {}

    void run() {
        if (size_ < 4 || !tagIs(0, "MThd"))
            fail("not a Standard MIDI File (no MThd header)", 0);
        if (size_ < 14)
            fail("truncated header chunk", 0);
        const std::uint32_t headerLength = be32(4);
        if (headerLength < 6)
            fail("header chunk too short (" + std::to_string(headerLength) + " bytes)", 4);
        if (headerLength > size_ - 8)
            fail("header chunk length " + std::to_string(headerLength) +
                     " runs past the end of the file",
                 4);
        const unsigned format = be16(8);
        const unsigned declaredTracks = be16(10);
        const unsigned division = be16(12);
        if (format == 2)
            fail("format 2 (independent sequences) is not supported; use format 0 or 1", 8);
        if (format > 2)
            fail("unknown format " + std::to_string(format), 8);
        if ((division & 0x8000u) != 0)
            fail(
                "SMPTE time division is not supported; the file must count ticks per quarter "
                "note",
                12);
        if (division == 0)
            fail("time division of 0 ticks per quarter note", 12);
        if (declaredTracks == 0)
            fail("the header declares no tracks", 10);
        file_.format_ = static_cast<int>(format);
        file_.ticksPerQuarter_ = static_cast<int>(division);

        std::size_t pos = 8 + headerLength;
        int track = 0;
        while (pos < size_ && track < static_cast<int>(declaredTracks)) {
            if (size_ - pos < 8)
                fail("truncated chunk header", pos);
            const std::uint32_t length = be32(pos + 4);
            if (length > size_ - pos - 8)
                fail("chunk length " + std::to_string(length) + " runs past the end of the file (" +
                         std::to_string(size_ - pos - 8) + " bytes left)",
                     pos + 4);
            if (tagIs(pos, "MTrk"))
                readTrack(track++, pos + 8, pos + 8 + length);
            // Anything else is a chunk type of a later revision: skipped.
            pos += 8 + static_cast<std::size_t>(length);
        }
        if (track == 0)
            fail("no track chunk (MTrk) in the file", pos);
        if (track < static_cast<int>(declaredTracks))
            warn("the header declares " + std::to_string(declaredTracks) +
                 " tracks, the file holds " + std::to_string(track));
        if (format == 0 && track > 1)
            warn("format 0 file with " + std::to_string(track) + " tracks; all are played");
        file_.trackCount_ = track;
        finish();
    }

private:
    [[noreturn]] void fail(const std::string& what, std::size_t offset) {
        throw MidiFileError(what + at(offset), offset);
    }
    void warn(const std::string& what) { file_.warnings_.push_back(what); }

    bool tagIs(std::size_t pos, const char* tag) const {
        return std::equal(tag, tag + 4, data_ + pos,
                          [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
    }
    std::uint32_t be32(std::size_t pos) const {
        return (std::uint32_t{data_[pos]} << 24) | (std::uint32_t{data_[pos + 1]} << 16) |
               (std::uint32_t{data_[pos + 2]} << 8) | std::uint32_t{data_[pos + 3]};
    }
    unsigned be16(std::size_t pos) const { return (unsigned{data_[pos]} << 8) | data_[pos + 1]; }

    std::uint8_t byte(std::size_t& pos, std::size_t end, const char* what) {
        if (pos >= end)
            fail(std::string("track ends inside ") + what, pos);
        return data_[pos++];
    }

    // Variable-length quantity: at most four bytes (28 bits).
    std::uint32_t vlq(std::size_t& pos, std::size_t end, const char* what) {
        const std::size_t start = pos;
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const std::uint8_t b = byte(pos, end, what);
            value = (value << 7) | (b & 0x7Fu);
            if ((b & 0x80u) == 0)
                return value;
        }
        fail(std::string(what) + " longer than four bytes", start);
    }

    // `length` bytes from pos, checked against the chunk.
    const std::uint8_t* take(std::size_t& pos, std::size_t end, std::uint32_t length,
                             const char* what, std::size_t lengthOffset) {
        if (length > end - pos)
            fail(std::string(what) + " length " + std::to_string(length) +
                     " runs past the end of the track (" + std::to_string(end - pos) +
                     " bytes left)",
                 lengthOffset);
        const std::uint8_t* p = data_ + pos;
        pos += length;
        return p;
    }

    void readTrack(int track, std::size_t pos, std::size_t end) {
        std::int64_t tick = 0;
        std::uint8_t running = 0;
        bool ended = false;
        // A system exclusive message sent in packets: index into events_.
        std::size_t openSysex = 0;
        bool sysexOpen = false;

        while (pos < end) {
            tick += vlq(pos, end, "delta time");
            const std::size_t eventOffset = pos;
            std::uint8_t status = byte(pos, end, "an event");
            if (status < 0x80) {
                if (running == 0)
                    fail("data byte " + hex(status) + " without a status byte (no running status)",
                         eventOffset);
                status = running;
                --pos;
            }
            if (status < 0xF0) {
                running = status;
                const int kind = status & 0xF0;
                const int length = kind == 0xC0 || kind == 0xD0 ? 1 : 2;
                MidiEvent e{tick, track, MidiEvent::Kind::channel, {status}};
                for (int i = 0; i < length; ++i) {
                    const std::size_t dataOffset = pos;
                    const std::uint8_t d = byte(pos, end, "a channel message");
                    if (d >= 0x80)
                        fail("status byte " + hex(d) + " where a data byte of " + hex(status) +
                                 " was expected",
                             dataOffset);
                    e.bytes.push_back(d);
                }
                file_.events_.push_back(std::move(e));
                file_.endTick_ = std::max(file_.endTick_, tick);
                continue;
            }
            if (status == 0xFF) {
                const std::uint8_t type = byte(pos, end, "a meta event");
                const std::size_t lengthOffset = pos;
                const std::uint32_t length = vlq(pos, end, "meta event length");
                const std::uint8_t* d = take(pos, end, length, "meta event", lengthOffset);
                file_.endTick_ = std::max(file_.endTick_, tick);
                if (type == 0x2F) {
                    ended = true;
                    break;
                }
                meta(type, d, length, tick, eventOffset);
                continue;
            }
            if (status == 0xF0 || status == 0xF7) {
                const std::size_t lengthOffset = pos;
                const std::uint32_t length = vlq(pos, end, "system exclusive length");
                const std::uint8_t* d = take(pos, end, length, "system exclusive", lengthOffset);
                file_.endTick_ = std::max(file_.endTick_, tick);
                if (status == 0xF0) {
                    MidiEvent e{tick, track, MidiEvent::Kind::sysex, {0xF0}};
                    e.bytes.insert(e.bytes.end(), d, d + length);
                    sysexOpen = length == 0 || d[length - 1] != 0xF7;
                    openSysex = file_.events_.size();
                    file_.events_.push_back(std::move(e));
                } else if (sysexOpen) {
                    // A continuation packet: the host takes system exclusive
                    // whole, so it joins the message it continues.
                    auto& bytes = file_.events_[openSysex].bytes;
                    bytes.insert(bytes.end(), d, d + length);
                    sysexOpen = length == 0 || d[length - 1] != 0xF7;
                } else if (length > 0) {
                    file_.events_.push_back(MidiEvent{tick, track, MidiEvent::Kind::escape,
                                                      std::vector<std::uint8_t>(d, d + length)});
                }
                continue;
            }
            fail("status byte " + hex(status) + " cannot appear in a MIDI file track", eventOffset);
        }
        if (sysexOpen)
            warn("track " + std::to_string(track + 1) +
                 ": system exclusive message without its final 0xF7");
        if (!ended)
            warn("track " + std::to_string(track + 1) + " has no End of Track event");
    }

    void meta(std::uint8_t type, const std::uint8_t* d, std::uint32_t length, std::int64_t tick,
              std::size_t offset) {
        if (type == 0x51) {
            const std::uint32_t micros =
                length >= 3 ? (std::uint32_t{d[0]} << 16) | (std::uint32_t{d[1]} << 8) | d[2] : 0;
            if (length != 3 || micros == 0) {
                warn("unusable tempo event" + at(offset) + " ignored");
                return;
            }
            file_.tempos_.push_back({tick, micros});
        } else if (type == 0x58) {
            // Denominators beyond 1/256 are not music anyone writes.
            if (length != 4 || d[0] == 0 || d[1] > 8) {
                warn("unusable time signature event" + at(offset) + " ignored");
                return;
            }
            file_.timeSignatures_.push_back({tick, d[0], 1 << d[1]});
        }
    }

    void finish() {
        auto byTick = [](const auto& a, const auto& b) { return a.tick < b.tick; };
        // Tracks were read one after the other, so a stable sort by tick
        // keeps track order, then file order, at the same tick.
        std::stable_sort(file_.events_.begin(), file_.events_.end(), byTick);
        std::stable_sort(file_.tempos_.begin(), file_.tempos_.end(), byTick);
        std::stable_sort(file_.timeSignatures_.begin(), file_.timeSignatures_.end(), byTick);
    }

    const std::uint8_t* data_;
    std::size_t size_;
    MidiFile& file_;
};

MidiFile MidiFile::parse(const std::uint8_t* data, std::size_t size) {
    MidiFile file;
    if (data == nullptr)
        size = 0;
    Parser(data, size, file).run();
    return file;
}

MidiFile MidiFile::load(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        throw MidiFileError("'" + path + "' is a directory", 0);
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw MidiFileError("cannot open '" + path + "'", 0);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    if (in.bad())
        throw MidiFileError("cannot read '" + path + "'", 0);
    return parse(bytes.data(), bytes.size());
}

}  // namespace render
