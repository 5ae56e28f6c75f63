#pragma once
// Process-wide copies of four preferences, one set per loaded library,
// initialised to their defaults before any instance exists. Read by other
// threads without a lock; relaxed atomics make that well-defined.

#include <atomic>

namespace platform {

struct ProcessSettings {
    std::atomic<int> oscBasePort{7000};
    std::atomic<bool> eyeCandy{true};
    std::atomic<bool> constantRedraw{true};
    std::atomic<bool> floatingTooltip{false};
};

ProcessSettings& processSettings();

inline constexpr int kDefaultOscBasePort = 7000;

}  // namespace platform
