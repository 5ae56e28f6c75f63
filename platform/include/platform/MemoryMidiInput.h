#pragma once
// An in-memory MIDI input system for tests and the software loop-back:
// devices are added by name; bytes "sent" to a device reach its open
// connection's listener on the calling thread. Never used by the product
// unless installed with installMidiInputSystem.
//
// [any-thread] Deliveries are serialised across the whole system, and
// destroying a connection waits for a delivery in progress, so a listener is
// never called once its connection is gone. A listener may send again or
// destroy its own connection; a thread must not destroy a connection while
// holding a lock that the connection's listener takes. The system must
// outlive its connections.

#include "platform/MidiInput.h"

#include <mutex>
#include <vector>

namespace platform {

class MemoryMidiInputSystem : public MidiInputSystem {
public:
    // Returns the new device's index.
    int addDevice(const std::string& name);
    // While busy, opening this index fails (a device another program holds).
    void setBusy(int index, bool busy);
    bool isOpen(int index) const;
    // Delivers one message to the open connection of `index`, if any.
    // Returns whether a listener took it.
    bool send(int index, const std::uint8_t* bytes, std::size_t length);

    int deviceCount() override;
    std::string deviceName(int index) override;
    std::unique_ptr<MidiInputConnection> open(int index, MidiInputListener& listener) override;

private:
    class Connection;
    struct Device {
        std::string name;
        bool busy = false;
        MidiInputListener* listener = nullptr;
    };
    mutable std::mutex mutex_;  // guards devices_
    // Held while a listener runs; recursive so that a listener may send or
    // close its own connection.
    std::recursive_mutex deliveryMutex_;
    std::vector<Device> devices_;
};

}  // namespace platform
