#pragma once
// The loop-back test's round-trip figures as the engine publishes them: the
// audio thread measures (engine/RoundTripMeter.h) and writes a summary once
// per block; the editor's render thread, a host asking through
// effVendorSpecific and tests read it, all without a lock.

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "vst/AEffect.h"

// kVendorRoundTripText: how a host asks for the round-trip line.
#include "plugin/VendorRequests.h"

struct RoundTripFigures {
    // Round trips kept for the figures (at most RoundTripSummary::kKept),
    // and measured since the test was enabled.
    std::uint32_t kept = 0;
    std::uint32_t measured = 0;
    // Over the kept ones, in milliseconds at the host's sample rate; 0
    // while none is kept.
    float minimumMs = 0.0f, medianMs = 0.0f, maximumMs = 0.0f;
    std::uint32_t late = 0;
    std::uint32_t lost = 0;
};

// "Round trip 3.1 / 3.4 / 4.0 ms (min / median / max), late 0, lost 0";
// dashes for the times while none was measured. Always a point before the
// tenths, whatever the locale. Returns `text`. [any-thread, no allocation]
const char* formatRoundTrip(const RoundTripFigures& figures, char* text, std::size_t capacity);

// One writer (the audio thread), any number of readers. A sequence count
// around the figures: odd while they are being written, so that a reader
// that saw the same even count before and after has a consistent copy.
class RoundTripSummary {
public:
    static constexpr std::uint32_t kKept = 64;

    // [audio-thread] No allocation, lock or system call.
    void publish(const RoundTripFigures& figures);
    // [any-thread, lock-free] False when the writer kept it busy for every
    // attempt (it writes once per block, so a retry nearly always wins);
    // `figures` then holds zeros.
    bool read(RoundTripFigures& figures) const;
    // Back to "nothing measured". [audio-thread, or before processing starts]
    void clear() { publish(RoundTripFigures{}); }

private:
    std::atomic<std::uint32_t> sequence_{0};
    std::atomic<std::uint32_t> kept_{0}, measured_{0}, late_{0}, lost_{0};
    std::atomic<float> minimumMs_{0.0f}, medianMs_{0.0f}, maximumMs_{0.0f};
};
