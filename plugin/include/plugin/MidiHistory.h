#pragma once
// The last sixteen messages of each of four MIDI streams, for the editor's
// history displays and the loop-back check. Written only on the audio
// thread; readers (render thread) read without a lock and tolerate an entry
// being rewritten while they look, which the next frame corrects.

#include <atomic>
#include <cstdint>

#include "plugin/RoundTrip.h"

enum HistoryKind : std::int32_t {
    kHistoryReceivedPluginInput = 0,  // "Received (Plug-In Input)"
    kHistorySentTest = 1,             // "Sent (Test)"
    kHistoryReceivedTestInput = 2,    // "Received (Test Input)"
    kHistorySentPluginOutput = 3,     // "Sent (Plug-In Output)"
};

inline constexpr int kHistoryKinds = 4;
inline constexpr int kHistoryRingSize = 16;

// UTC wall-clock time of an entry, in the fields of a Windows SYSTEMTIME.
struct HistoryTime {
    std::uint16_t year, month, dayOfWeek, day, hour, minute, second, milliseconds;
};

struct MidiHistoryEntry {
    HistoryTime time;
    std::uint32_t length;  // 0 marks a slot never written
    std::uint8_t byte0, byte1, byte2;
    std::uint32_t result;  // 0 not checked, 1 matched, 2 not matched
};

struct MidiHistory {
    struct Ring {
        MidiHistoryEntry entries[kHistoryRingSize];
        // The slot written last; moves only after the slot is filled.
        std::atomic<std::int32_t> writeIndex;
    };
    Ring rings[kHistoryKinds];
    std::atomic<std::uint32_t> testFailureCount;
    std::int32_t expectedTestIndex;
    // How long test messages take to come back, shown under the failure
    // count.
    RoundTripSummary roundTrip;

    // All slots empty, every ring's first entry going to slot 1.
    void clear();
};
