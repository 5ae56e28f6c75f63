#include "linux/XErrorTrap.h"

#include <mutex>

namespace platform {
namespace x11 {

namespace {

// Guarded by trapMutex() while a trap lives; the handler runs on the thread
// that holds the trap whenever the trapped connection reports an error, and
// on other threads for other connections (then only `previous` is read,
// which stays fixed while the trap lives).
struct TrapState {
    Display* display = nullptr;
    XErrorHandler previous = nullptr;
    int errors = 0;
    int firstError = 0;
    int firstRequest = 0;
};

std::mutex& trapMutex() {
    static std::mutex mutex;
    return mutex;
}

TrapState& state() {
    static TrapState s;
    return s;
}

int trapHandler(Display* display, XErrorEvent* event) {
    TrapState& s = state();
    if (display != s.display) {
        return s.previous != nullptr ? s.previous(display, event) : 0;
    }
    if (s.errors++ == 0) {
        s.firstError = event->error_code;
        s.firstRequest = event->request_code;
    }
    return 0;
}

}  // namespace

XErrorTrap::XErrorTrap(Display* display) : display_(display) {
    trapMutex().lock();
    TrapState& s = state();
    s.display = display;
    s.errors = 0;
    s.firstError = 0;
    s.firstRequest = 0;
    s.previous = XSetErrorHandler(trapHandler);
}

XErrorTrap::~XErrorTrap() {
    TrapState& s = state();
    // Errors of requests still in flight are read later by whoever reads the
    // connection next; the owner of the connection syncs before it lets go
    // where that matters (Failed()).
    XErrorHandler current = XSetErrorHandler(s.previous);
    if (current != trapHandler) {
        // Someone installed a handler of their own meanwhile: keep theirs.
        XSetErrorHandler(current);
    }
    s.display = nullptr;
    s.previous = nullptr;
    trapMutex().unlock();
}

bool XErrorTrap::Failed() {
    XSync(display_, False);
    return FailedSoFar();
}

bool XErrorTrap::FailedSoFar() {
    TrapState& s = state();
    bool failed = s.errors > 0;
    s.errors = 0;
    return failed;
}

int XErrorTrap::ErrorCode() const {
    return state().firstError;
}

int XErrorTrap::RequestCode() const {
    return state().firstRequest;
}

}  // namespace x11
}  // namespace platform
