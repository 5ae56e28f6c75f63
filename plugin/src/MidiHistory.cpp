#include "plugin/MidiHistory.h"

void MidiHistory::clear() {
    for (auto& ring : rings) {
        for (auto& entry : ring.entries)
            entry = MidiHistoryEntry{};
        ring.writeIndex.store(0, std::memory_order_relaxed);
    }
    testFailureCount.store(0, std::memory_order_relaxed);
    expectedTestIndex = 0;
    roundTrip.clear();
}
