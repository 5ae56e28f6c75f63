#include "plugin/RoundTrip.h"

#include <cmath>
#include <cstdio>

namespace {

// Tenths of a millisecond as text through integers: printf's %f would take
// the host's decimal comma.
void tenths(float ms, char* out, std::size_t capacity) {
    const double scaled = std::isfinite(ms) && ms > 0.0f ? std::round(ms * 10.0) : 0.0;
    const auto t = static_cast<unsigned>(std::fmin(scaled, 4.0e9));
    std::snprintf(out, capacity, "%u.%u", t / 10, t % 10);
}

}  // namespace

const char* formatRoundTrip(const RoundTripFigures& f, char* text, std::size_t capacity) {
    if (!text || capacity == 0)
        return text;
    char low[16] = "-", middle[16] = "-", high[16] = "-";
    if (f.kept > 0) {
        tenths(f.minimumMs, low, sizeof low);
        tenths(f.medianMs, middle, sizeof middle);
        tenths(f.maximumMs, high, sizeof high);
    }
    std::snprintf(text, capacity,
                  "Round trip %s / %s / %s ms (min / median / max), late %u, lost %u", low, middle,
                  high, static_cast<unsigned>(f.late), static_cast<unsigned>(f.lost));
    return text;
}

void RoundTripSummary::publish(const RoundTripFigures& f) {
    const std::uint32_t s = sequence_.load(std::memory_order_relaxed);
    sequence_.store(s + 1, std::memory_order_relaxed);
    // The odd count must be visible before any figure changes.
    std::atomic_thread_fence(std::memory_order_release);
    kept_.store(f.kept, std::memory_order_relaxed);
    measured_.store(f.measured, std::memory_order_relaxed);
    late_.store(f.late, std::memory_order_relaxed);
    lost_.store(f.lost, std::memory_order_relaxed);
    minimumMs_.store(f.minimumMs, std::memory_order_relaxed);
    medianMs_.store(f.medianMs, std::memory_order_relaxed);
    maximumMs_.store(f.maximumMs, std::memory_order_relaxed);
    sequence_.store(s + 2, std::memory_order_release);
}

bool RoundTripSummary::read(RoundTripFigures& f) const {
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::uint32_t before = sequence_.load(std::memory_order_acquire);
        if (before & 1u)
            continue;
        f.kept = kept_.load(std::memory_order_relaxed);
        f.measured = measured_.load(std::memory_order_relaxed);
        f.late = late_.load(std::memory_order_relaxed);
        f.lost = lost_.load(std::memory_order_relaxed);
        f.minimumMs = minimumMs_.load(std::memory_order_relaxed);
        f.medianMs = medianMs_.load(std::memory_order_relaxed);
        f.maximumMs = maximumMs_.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (sequence_.load(std::memory_order_relaxed) == before)
            return true;
    }
    f = RoundTripFigures{};
    return false;
}
