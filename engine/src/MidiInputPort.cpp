#include "engine/MidiInputPort.h"

#include <algorithm>
#include <cstring>

#include "platform/Diagnostics.h"

namespace QX4Controller {
namespace {

constexpr std::size_t kHeader = 4;  // length of the message, little-endian

}  // namespace

MidiInputPort::MidiInputPort() : ring_(new std::uint8_t[kRingSize]) {}

MidiInputPort::~MidiInputPort() {
    close();
}

void MidiInputPort::close() {
    std::lock_guard<std::mutex> guard(openMutex_);
    // Destroying the connection stops the device and waits for a callback in
    // progress; no callback follows. The callback never takes this lock.
    connection_.reset();
}

bool MidiInputPort::isOpen() const {
    std::lock_guard<std::mutex> guard(openMutex_);
    return connection_ != nullptr;
}

bool MidiInputPort::openByName(const std::string& name) {
    bool found = false;
    bool failed = false;
    {
        std::lock_guard<std::mutex> guard(openMutex_);
        connection_.reset();
        platform::MidiInputSystem& system = platform::midiInputSystem();
        const int count = name.empty() ? 0 : system.deviceCount();
        for (int index = 0; index < count; ++index) {
            if (system.deviceName(index) != name)
                continue;
            found = true;
            connection_ = system.open(index, *this);
            failed = connection_ == nullptr;
            break;
        }
    }
    if (failed) {
        platform::showMessageBox(
            "Failed to open MIDI input",
            "Failed to open MIDI input.\nPlease be sure that no other application\n(including "
            "the DAW that is hosting the TAVRO plug-in)\nis using the specified MIDI input.");
    }
    return found;
}

void MidiInputPort::readRing(std::size_t from, std::uint8_t* out, std::size_t n) const {
    from %= kRingSize;
    const std::size_t first = std::min(n, kRingSize - from);
    std::memcpy(out, ring_.get() + from, first);
    std::memcpy(out + first, ring_.get(), n - first);
}

void MidiInputPort::writeRing(std::size_t to, const std::uint8_t* in, std::size_t n) {
    to %= kRingSize;
    const std::size_t first = std::min(n, kRingSize - to);
    std::memcpy(ring_.get() + to, in, first);
    std::memcpy(ring_.get(), in + first, n - first);
}

void MidiInputPort::midiInputReceived(const std::uint8_t* bytes, std::size_t length) {
    if (!bytes || length == 0)
        return;
    length = std::min(length, kMaxMessage);
    std::lock_guard<std::mutex> guard(listMutex_);
    if (kRingSize - used_ < kHeader + length) {
        ++dropped_;
        return;
    }
    const std::uint8_t header[kHeader] = {
        static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
        static_cast<std::uint8_t>(length >> 16), static_cast<std::uint8_t>(length >> 24)};
    const std::size_t end = readPos_ + used_;
    writeRing(end, header, kHeader);
    writeRing(end + kHeader, bytes, length);
    used_ += kHeader + length;
}

bool MidiInputPort::takeMessage(std::uint8_t* buffer, std::size_t& length) {
    std::lock_guard<std::mutex> guard(listMutex_);
    if (used_ == 0)
        return false;
    std::uint8_t header[kHeader];
    readRing(readPos_, header, kHeader);
    length = static_cast<std::size_t>(header[0]) | static_cast<std::size_t>(header[1]) << 8 |
             static_cast<std::size_t>(header[2]) << 16 | static_cast<std::size_t>(header[3]) << 24;
    readRing(readPos_ + kHeader, buffer, length);
    readPos_ = (readPos_ + kHeader + length) % kRingSize;
    used_ -= kHeader + length;
    return true;
}

std::size_t MidiInputPort::dropped() const {
    std::lock_guard<std::mutex> guard(listMutex_);
    return dropped_;
}

}  // namespace QX4Controller
