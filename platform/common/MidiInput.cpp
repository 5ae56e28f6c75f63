#include "platform/MidiInput.h"

#include <atomic>

#include "common/HostMidiInputSystem.h"
#include "common/SystemServices.h"

namespace platform {
namespace {

std::atomic<MidiInputSystem*> installedSystem{nullptr};

}  // namespace

MidiInputSystem& midiInputSystem() {
    if (MidiInputSystem* system = installedSystem.load(std::memory_order_acquire)) {
        return *system;
    }
    // Asked afresh each time: a host may offer its devices for one render
    // and not the next.
    if (MidiInputSystem* host = detail::hostMidiInputSystem(detail::hostMidiInputTable())) {
        return *host;
    }
    return detail::realMidiInputSystem();
}

void installMidiInputSystem(MidiInputSystem* system) {
    installedSystem.store(system, std::memory_order_release);
}

std::size_t shortMessageLength(std::uint8_t status) {
    if (status >= 0xF0) {
        switch (status) {
            case 0xF1:
            case 0xF3:
                return 2;
            case 0xF2:
                return 3;
            default:
                return 1;
        }
    }
    const std::uint8_t kind = status & 0xF0;
    if (kind == 0xC0 || kind == 0xD0) {
        return 2;
    }
    // Data bytes in the status position included: the driver packs three.
    return 3;
}

}  // namespace platform
