#pragma once
// X error handlers are process-wide and the default one ends the process,
// so a plug-in must not let errors of its own connections reach it, nor
// leave a handler of its own behind (the host and other plug-ins share it,
// and the plug-in's code may be unloaded). While any XErrorTrap lives, a
// handler of ours is installed that swallows and counts the errors of the
// connections under a trap and passes every other connection's errors to
// the handler it replaced; the last trap to go puts that one back.
//
// Because a host's toolkit may save our handler while a trap is up and put
// it back at any later time, the first trap pins the library that holds it
// for the rest of the process.
//
// Traps of different threads and connections overlap freely (no lock is
// held while a trap lives); traps of one connection may nest on one thread.

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
    // tells whether any error of this connection arrived since it was last
    // asked (or since the first trap of the connection was set).
    bool Failed();
    // The same without the round trip: only errors already received count.
    bool FailedSoFar();
    // The error code of the first error counted since it was last asked,
    // for messages.
    int ErrorCode() const;

private:
    Display* display_;
    int slot_;
};

}  // namespace x11
}  // namespace platform
