#include "platform/SystemTime.h"

#include <time.h>

namespace platform {

UtcTime currentUtcTime() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return utcTimeFromUnixMilliseconds(static_cast<std::int64_t>(now.tv_sec) * 1000 +
                                       now.tv_nsec / 1000000);
}

}  // namespace platform
