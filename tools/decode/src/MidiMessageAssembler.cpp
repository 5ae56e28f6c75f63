#include "decode/MidiMessageAssembler.h"

namespace serialmidi {

int midiDataLength(std::uint8_t status) {
    if (status < 0x80)
        return -1;
    if (status < 0xF0) {
        const int kind = status & 0xF0;
        return kind == 0xC0 || kind == 0xD0 ? 1 : 2;
    }
    switch (status) {
        case 0xF0:
            return -1;
        case 0xF1:
        case 0xF3:
            return 1;
        case 0xF2:
            return 2;
        default:
            return 0;
    }
}

std::string midiMessageName(const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty())
        return "";
    const std::uint8_t status = bytes[0];
    if (status < 0x80)
        return "Data";
    switch (status & 0xF0) {
        case 0x80:
            return "Note Off";
        case 0x90:
            return "Note On";
        case 0xA0:
            return "Poly Pressure";
        case 0xB0:
            return "Control Change";
        case 0xC0:
            return "Program Change";
        case 0xD0:
            return "Channel Pressure";
        case 0xE0:
            return "Pitch Bend";
        default:
            break;
    }
    switch (status) {
        case 0xF0:
            return "System Exclusive";
        case 0xF1:
            return "MTC Quarter Frame";
        case 0xF2:
            return "Song Position Pointer";
        case 0xF3:
            return "Song Select";
        case 0xF6:
            return "Tune Request";
        case 0xF7:
            return "End of Exclusive";
        case 0xF8:
            return "Timing Clock";
        case 0xFA:
            return "Start";
        case 0xFB:
            return "Continue";
        case 0xFC:
            return "Stop";
        case 0xFE:
            return "Active Sensing";
        case 0xFF:
            return "System Reset";
        default:
            return "Undefined";
    }
}

void MidiMessageAssembler::push(const std::vector<DecodedByte>& bytes) {
    for (const DecodedByte& b : bytes)
        push(b);
}

void MidiMessageAssembler::push(const DecodedByte& byte) {
    const std::uint8_t v = byte.value;
    if (byte.framingError) {
        // What the receiver read is not trustworthy: neither is the state it
        // would have left behind.
        cutShort();
        runningStatus_ = 0;
        emitSingle(byte, true, true);
        return;
    }
    if (v >= 0xF8) {
        // Real-time bytes may sit anywhere and change nothing around them.
        emitSingle(byte, false, false);
        return;
    }
    if (v == 0xF7) {
        if (inSysex_) {
            current_.bytes.push_back(v);
            current_.byteStarts.push_back(byte.startSample);
            messages_.push_back(std::move(current_));
            current_ = DecodedMessage();
            inProgress_ = inSysex_ = false;
        } else {
            cutShort();
            emitSingle(byte, true, false);
        }
        runningStatus_ = 0;
        return;
    }
    if (v >= 0x80) {
        cutShort();
        const int length = midiDataLength(v);
        runningStatus_ = v < 0xF0 ? v : 0;
        if (length < 0) {
            startMessage(byte, 0);
            inSysex_ = true;
        } else {
            startMessage(byte, 1 + static_cast<std::size_t>(length));
            completeIfFull();
        }
        return;
    }
    if (inProgress_) {
        current_.bytes.push_back(v);
        current_.byteStarts.push_back(byte.startSample);
        if (!inSysex_)
            completeIfFull();
        return;
    }
    if (runningStatus_ != 0) {
        current_ = DecodedMessage();
        current_.startSample = byte.startSample;
        current_.bytes = {runningStatus_, v};
        current_.byteStarts = {-1, byte.startSample};
        current_.runningStatus = true;
        inProgress_ = true;
        expected_ = 1 + static_cast<std::size_t>(midiDataLength(runningStatus_));
        completeIfFull();
        return;
    }
    emitSingle(byte, true, false);
}

void MidiMessageAssembler::startMessage(const DecodedByte& byte, std::size_t length) {
    current_ = DecodedMessage();
    current_.startSample = byte.startSample;
    current_.bytes.push_back(byte.value);
    current_.byteStarts.push_back(byte.startSample);
    inProgress_ = true;
    inSysex_ = false;
    expected_ = length;
}

void MidiMessageAssembler::completeIfFull() {
    if (inProgress_ && !inSysex_ && current_.bytes.size() >= expected_) {
        messages_.push_back(std::move(current_));
        current_ = DecodedMessage();
        inProgress_ = false;
    }
}

void MidiMessageAssembler::cutShort() {
    if (!inProgress_)
        return;
    current_.incomplete = true;
    messages_.push_back(std::move(current_));
    current_ = DecodedMessage();
    inProgress_ = inSysex_ = false;
}

void MidiMessageAssembler::emitSingle(const DecodedByte& byte, bool stray, bool framingError) {
    DecodedMessage m;
    m.startSample = byte.startSample;
    m.bytes = {byte.value};
    m.byteStarts = {byte.startSample};
    m.stray = stray;
    m.framingError = framingError;
    messages_.push_back(std::move(m));
}

void MidiMessageAssembler::flush() {
    cutShort();
}

std::vector<DecodedMessage> MidiMessageAssembler::takeMessages() {
    std::vector<DecodedMessage> out;
    out.swap(messages_);
    return out;
}

void MidiMessageAssembler::reset() {
    runningStatus_ = 0;
    current_ = DecodedMessage();
    inProgress_ = inSysex_ = false;
    expected_ = 0;
    messages_.clear();
}

}  // namespace serialmidi
