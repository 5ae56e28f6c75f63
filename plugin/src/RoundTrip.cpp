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

// A sequence lock made of sequentially consistent operations only: one
// total order puts the odd count before every figure written and the even
// one after them, without fences (which the thread sanitizer cannot follow).
void RoundTripSummary::publish(const RoundTripFigures& f) {
    const std::uint32_t s = sequence_.load(std::memory_order_relaxed);
    sequence_.store(s + 1);
    kept_.store(f.kept);
    measured_.store(f.measured);
    late_.store(f.late);
    lost_.store(f.lost);
    minimumMs_.store(f.minimumMs);
    medianMs_.store(f.medianMs);
    maximumMs_.store(f.maximumMs);
    sequence_.store(s + 2);
}

bool RoundTripSummary::read(RoundTripFigures& f) const {
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::uint32_t before = sequence_.load();
        if (before & 1u)
            continue;
        f.kept = kept_.load();
        f.measured = measured_.load();
        f.late = late_.load();
        f.lost = lost_.load();
        f.minimumMs = minimumMs_.load();
        f.medianMs = medianMs_.load();
        f.maximumMs = maximumMs_.load();
        if (sequence_.load() == before)
            return true;
    }
    f = RoundTripFigures{};
    return false;
}
