#pragma once
// X error handlers are process-wide and the default one ends the process,
// so a plug-in must never leave its own installed: the host and other
// plug-ins share it. An XErrorTrap installs a handler that swallows the
// errors of one connection for as long as the trap lives, passes errors of
// every other connection to the handler it replaced, and then puts that
// handler back. Traps of different threads take turns (a process-wide lock);
// a thread must not nest them.

#include <X11/Xlib.h>

namespace platform {
namespace x11 {

class XErrorTrap {
public:
    explicit XErrorTrap(Display* display);
    ~XErrorTrap();
    XErrorTrap(const XErrorTrap&) = delete;
    XErrorTrap& operator=(const XErrorTrap&) = delete;

    // Waits for the server to answer every request made so far (XSync) and
    // tells whether any of them failed since the trap was set or last asked.
    bool Failed();
    // The same without the round trip: only errors already received count.
    bool FailedSoFar();
    // The error code and request of the first error caught, for messages.
    int ErrorCode() const;
    int RequestCode() const;

private:
    Display* display_;
};

}  // namespace x11
}  // namespace platform
