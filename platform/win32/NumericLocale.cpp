#include "platform/NumericLocale.h"

namespace platform {

// The DLL's C library is its own copy of msvcrt, whose locale no host's
// setlocale reaches (a host's runtime is another library with a locale of
// its own), and nothing in tavro calls setlocale: numbers there are always
// in the "C" conventions, and switching per call would only cost time.

ScopedCNumbers::ScopedCNumbers() = default;
ScopedCNumbers::~ScopedCNumbers() = default;

void useCNumbersOnThisThread() {}

}  // namespace platform
