#include "engine/HistoryWriter.h"

#include <cstring>

#include "platform/SystemTime.h"

namespace QX4Controller {

void HistoryWriter::add(HistoryKind kind, std::uint32_t length, std::uint8_t byte0,
                        std::uint8_t byte1, std::uint8_t byte2, const std::uint8_t* bytes) {
    if (kind < 0 || kind >= kHistoryKinds)
        return;
    MidiHistory::Ring& ring = history_.rings[kind];
    const std::int32_t slot =
        (ring.writeIndex.load(std::memory_order_relaxed) + 1) % kHistoryRingSize;
    MidiHistoryEntry& entry = ring.entries[slot];
    const platform::UtcTime now = platform::currentUtcTime();
    entry.time = HistoryTime{now.year, now.month,  now.dayOfWeek, now.day,
                             now.hour, now.minute, now.second,    now.milliseconds};
    entry.length = length;
    entry.byte0 = byte0;
    entry.byte1 = byte1;
    entry.byte2 = byte2;
    entry.result =
        kind == kHistoryReceivedTestInput ? checkReceived(length, byte0, byte1, byte2, bytes) : 0;
    ring.writeIndex.store(slot, std::memory_order_release);
}

std::uint32_t HistoryWriter::checkReceived(std::uint32_t length, std::uint8_t r0, std::uint8_t r1,
                                           std::uint8_t r2, const std::uint8_t* bytes) {
    const std::int32_t expected = history_.expectedTestIndex;
    const MidiHistoryEntry& e =
        history_.rings[kHistorySentTest]
            .entries[(expected % kHistoryRingSize + kHistoryRingSize) % kHistoryRingSize];
    bool match = length == e.length && (length < 1 || r0 == e.byte0) &&
                 (length < 2 || r1 == e.byte1) && (length < 3 || r2 == e.byte2);
    if (match && r0 == 0xF0 && bytes) {
        // The second byte says how long the test message was; a length the
        // reference cannot hold is no test message of ours.
        const std::size_t claimed = static_cast<std::size_t>(r1) * 1024;
        match = claimed >= 1021 && length == claimed - 1021 && reference_ &&
                length <= referenceSize_ && bytes[length - 1] == 0xF7 &&
                (length < 4 || std::memcmp(bytes + 2, reference_ + 2, length - 3) == 0);
    }
    history_.expectedTestIndex = (expected + 1) % kHistoryRingSize;
    if (!match)
        history_.testFailureCount.fetch_add(1, std::memory_order_relaxed);
    return match ? 1 : 2;
}

}  // namespace QX4Controller
