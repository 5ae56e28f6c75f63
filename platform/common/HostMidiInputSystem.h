#pragma once
// The devices of a host's TavroHostMidiInput table (platform/HostMidiInput.h)
// as a MidiInputSystem.

#include "platform/HostMidiInput.h"
#include "platform/MidiInput.h"

namespace platform::detail {

class HostMidiInputSystem final : public MidiInputSystem {
public:
    // Whether `table` is one this adapter can use: of our version, with
    // every function present.
    static bool usable(const TavroHostMidiInput* table);

    // [main-thread] `table` must be usable and outlive the connections.
    explicit HostMidiInputSystem(const TavroHostMidiInput& table) : table_(table) {}

    int deviceCount() override;
    std::string deviceName(int index) override;
    // Messages longer than a system-exclusive buffer reach the listener in
    // buffer-sized pieces, as from a driver; nothing the listener throws
    // goes back into the host.
    std::unique_ptr<MidiInputConnection> open(int index, MidiInputListener& listener) override;

    const TavroHostMidiInput& table() const { return table_; }

private:
    const TavroHostMidiInput& table_;
};

// [main-thread] The adapter for `table`, made on first use and kept (the
// system is asked for on every open); null when `table` is null or not
// usable.
MidiInputSystem* hostMidiInputSystem(const TavroHostMidiInput* table);

}  // namespace platform::detail
