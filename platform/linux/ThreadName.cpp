#include "platform/ThreadName.h"

#include <pthread.h>

#include <cstring>

namespace platform {

void nameThisThread(const char* name) {
    // Longer names are refused whole: keep what fits.
    char shortName[16] = {};
    std::strncpy(shortName, name, sizeof shortName - 1);
    pthread_setname_np(pthread_self(), shortName);
}

}  // namespace platform
