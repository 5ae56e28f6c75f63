#include "linux/XErrorTrap.h"

#include <dlfcn.h>

#include <atomic>
#include <mutex>

namespace platform {
namespace x11 {

namespace {

// One slot per trapped connection. The handler runs on whichever thread
// reads a connection and finds an error; it only reads `display` and counts
// into the atomics, so it takes no lock. Slots change under setupMutex().
struct Slot {
    std::atomic<Display*> display{nullptr};
    std::atomic<int> errors{0};
    std::atomic<int> firstError{0};
    int depth = 0;  // traps of this connection alive (setupMutex())
};

constexpr int kSlots = 64;
Slot gSlots[kSlots];
std::atomic<XErrorHandler> gPrevious{nullptr};
int gTraps = 0;  // setupMutex()

std::mutex& setupMutex() {
    static std::mutex mutex;
    return mutex;
}

int trapHandler(Display* display, XErrorEvent* event) {
    for (Slot& slot : gSlots) {
        if (slot.display.load() == display) {
            if (slot.errors.fetch_add(1) == 0) {
                slot.firstError.store(event->error_code);
            }
            return 0;
        }
    }
    XErrorHandler previous = gPrevious.load();
    return previous != nullptr ? previous(display, event) : 0;
}

// Once our handler has been installed, anyone may have saved it: a toolkit
// that keeps the handler it found while our trap was up (GTK's trap push and
// pop do) puts it back long after our last trap went. The library that
// holds the handler therefore stays loaded for the life of the process,
// whatever the host unloads. [setupMutex() held]
void pinThisLibrary() {
    static bool pinned = false;
    if (pinned)
        return;
    pinned = true;
    Dl_info self{};
    if (dladdr(reinterpret_cast<void*>(&trapHandler), &self) != 0 && self.dli_fname) {
        // The reference is never given back: the library is marked never
        // to be unloaded.
        dlopen(self.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    }
}

}  // namespace

XErrorTrap::XErrorTrap(Display* display) : display_(display), slot_(-1) {
    std::lock_guard<std::mutex> lock(setupMutex());
    int freeSlot = -1;
    for (int i = 0; i < kSlots && slot_ < 0; ++i) {
        if (gSlots[i].display.load() == display) {
            slot_ = i;
        } else if (freeSlot < 0 && gSlots[i].display.load() == nullptr) {
            freeSlot = i;
        }
    }
    if (slot_ < 0 && freeSlot >= 0) {
        slot_ = freeSlot;
        Slot& slot = gSlots[slot_];
        slot.errors.store(0);
        slot.firstError.store(0);
        slot.display.store(display);
    }
    // With every slot taken the connection's errors go to the previous
    // handler; sixty-four editors open at once is far beyond any host.
    if (slot_ >= 0) {
        ++gSlots[slot_].depth;
    }
    if (gTraps++ == 0) {
        pinThisLibrary();
        gPrevious.store(XSetErrorHandler(trapHandler));
    }
}

XErrorTrap::~XErrorTrap() {
    std::lock_guard<std::mutex> lock(setupMutex());
    if (slot_ >= 0 && --gSlots[slot_].depth == 0) {
        // Errors of requests still in flight are read by whoever reads the
        // connection next; its owner syncs first where that matters.
        gSlots[slot_].display.store(nullptr);
    }
    if (--gTraps == 0) {
        XErrorHandler current = XSetErrorHandler(gPrevious.load());
        if (current != trapHandler) {
            // Someone installed a handler of their own meanwhile: keep theirs.
            XSetErrorHandler(current);
        }
    }
}

bool XErrorTrap::Failed() {
    XSync(display_, False);
    return FailedSoFar();
}

bool XErrorTrap::FailedSoFar() {
    return slot_ >= 0 && gSlots[slot_].errors.exchange(0) > 0;
}

int XErrorTrap::ErrorCode() const {
    return slot_ >= 0 ? gSlots[slot_].firstError.load() : 0;
}

}  // namespace x11
}  // namespace platform
