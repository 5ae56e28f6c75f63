#include "platform/NumericLocale.h"

#include <locale.h>

namespace platform {

namespace {

locale_t cNumbers() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
}

// Made as the library loads: no call of a host (the audio thread's
// included) is the first to make it.
[[maybe_unused]] const locale_t gMadeAtLoad = cNumbers();

}  // namespace

ScopedCNumbers::ScopedCNumbers() {
    // uselocale only swaps a per-thread pointer; a host thread keeps its
    // own locale outside our calls.
    if (const locale_t c = cNumbers())
        previous_ = uselocale(c);
}

ScopedCNumbers::~ScopedCNumbers() {
    if (previous_)
        uselocale(static_cast<locale_t>(previous_));
}

void useCNumbersOnThisThread() {
    if (const locale_t c = cNumbers())
        uselocale(c);
}

}  // namespace platform
