#include "engine/HistoryWriter.h"

#include "platform/SystemTime.h"

namespace QX4Controller {

void HistoryWriter::add(HistoryKind kind, std::uint32_t length, std::uint8_t byte0,
                        std::uint8_t byte1, std::uint8_t byte2, const std::uint8_t* /*bytes*/) {
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
    entry.result = 0;
    ring.writeIndex.store(slot, std::memory_order_release);
}

}  // namespace QX4Controller
