#include "platform/WakeSignal.h"

#include <windows.h>

namespace platform {

struct WakeSignal::Impl {
    HANDLE event;
};

// Auto-reset: one waiting thread is released and the event resets itself.
WakeSignal::WakeSignal() : impl_(new Impl{CreateEventA(nullptr, FALSE, FALSE, nullptr)}) {}

WakeSignal::~WakeSignal() {
    if (impl_->event)
        CloseHandle(impl_->event);
}

void WakeSignal::signal() {
    if (impl_->event)
        SetEvent(impl_->event);
}

bool WakeSignal::waitFor(int milliseconds) {
    if (!impl_->event) {
        Sleep(static_cast<DWORD>(milliseconds));
        return false;
    }
    return WaitForSingleObject(impl_->event, static_cast<DWORD>(milliseconds)) == WAIT_OBJECT_0;
}

}  // namespace platform
