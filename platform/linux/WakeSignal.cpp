#include "platform/WakeSignal.h"

#include <errno.h>
#include <semaphore.h>
#include <time.h>

namespace platform {

struct WakeSignal::Impl {
    sem_t semaphore;
};

WakeSignal::WakeSignal() : impl_(new Impl) {
    sem_init(&impl_->semaphore, 0, 0);
}

WakeSignal::~WakeSignal() {
    sem_destroy(&impl_->semaphore);
}

void WakeSignal::signal() {
    sem_post(&impl_->semaphore);
}

bool WakeSignal::waitFor(int milliseconds) {
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += milliseconds / 1000;
    deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_nsec -= 1000000000L;
        ++deadline.tv_sec;
    }
    for (;;) {
        if (sem_clockwait(&impl_->semaphore, CLOCK_MONOTONIC, &deadline) == 0) {
            // One wake-up stands for every signal given before it, as an
            // auto-reset event does: signals must not pile up for later
            // waits that have nothing to do.
            while (sem_trywait(&impl_->semaphore) == 0) {
            }
            return true;
        }
        if (errno != EINTR)
            return false;
    }
}

}  // namespace platform
