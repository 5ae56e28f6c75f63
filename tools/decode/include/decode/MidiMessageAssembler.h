#pragma once
// Groups decoded serial MIDI bytes into MIDI messages the way a receiving
// instrument does: running status, system real-time bytes taken out wherever
// they occur (inside other messages and system exclusive too), system common
// messages, system exclusive of any length.

#include "decode/SerialMidiDecoder.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace serialmidi {

struct DecodedMessage {
    // Start sample of the message's first byte on the wire (for a
    // running-status message, its first data byte).
    std::int64_t startSample = 0;
    // The message; a running-status message gets its status byte put back in
    // front. System exclusive runs from 0xF0 to its 0xF7.
    std::vector<std::uint8_t> bytes;
    // Start sample of each byte in `bytes`; -1 for a status byte put back.
    std::vector<std::int64_t> byteStarts;
    // The status byte was not sent (running status).
    bool runningStatus = false;
    // Cut short by the next status byte, a framing error or the end of the
    // data (system exclusive without its 0xF7 included).
    bool incomplete = false;
    // Bytes that belong to no message: data without a status, 0xF7 outside
    // system exclusive, a byte read with a framing error.
    bool stray = false;
    bool framingError = false;
};

class MidiMessageAssembler {
public:
    // Adds bytes; the messages they complete become available from
    // takeMessages(). A byte with a framing error ends the message in
    // progress (reported incomplete), clears running status and is reported
    // on its own, flagged stray and framingError.
    void push(const DecodedByte& byte);
    void push(const std::vector<DecodedByte>& bytes);
    // End of the data: reports a message in progress as incomplete.
    void flush();
    // The messages completed since the last call, in the order they were
    // completed: a real-time byte inside a message comes before that message.
    std::vector<DecodedMessage> takeMessages();
    void reset();

private:
    void startMessage(const DecodedByte& byte, std::size_t dataBytes);
    void completeIfFull();
    void cutShort();
    void emitSingle(const DecodedByte& byte, bool stray, bool framingError);

    std::uint8_t runningStatus_ = 0;
    DecodedMessage current_;
    bool inProgress_ = false;
    bool inSysex_ = false;
    std::size_t expected_ = 0;  // total length of the message in progress
    std::vector<DecodedMessage> messages_;
};

// Data bytes after a status byte: 0, 1 or 2; -1 for 0xF0 (until 0xF7) and for
// data bytes (no status).
int midiDataLength(std::uint8_t status);

// "Note On", "Control Change", "Timing Clock", "System Exclusive", ... after
// the first byte; a Note On with velocity 0 is still "Note On". "Undefined"
// for 0xF4, 0xF5, 0xF9, 0xFD; "End of Exclusive" for a lone 0xF7; "Data" for
// a message starting with a data byte; "" for none.
std::string midiMessageName(const std::vector<std::uint8_t>& bytes);

}  // namespace serialmidi
