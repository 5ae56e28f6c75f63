#include "platform/MemoryMidiInput.h"

namespace platform {

class MemoryMidiInputSystem::Connection final : public MidiInputConnection {
public:
    Connection(MemoryMidiInputSystem& system, std::size_t index) : system_(system), index_(index) {}

    ~Connection() override {
        // Taking the delivery lock first waits for a listener call on another
        // thread to finish.
        std::lock_guard<std::recursive_mutex> delivering(system_.deliveryMutex_);
        std::lock_guard<std::mutex> lock(system_.mutex_);
        system_.devices_[index_].listener = nullptr;
    }

private:
    MemoryMidiInputSystem& system_;
    std::size_t index_;
};

int MemoryMidiInputSystem::addDevice(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    devices_.push_back(Device{name});
    return static_cast<int>(devices_.size() - 1);
}

void MemoryMidiInputSystem::setBusy(int index, bool busy) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index >= 0 && static_cast<std::size_t>(index) < devices_.size()) {
        devices_[static_cast<std::size_t>(index)].busy = busy;
    }
}

bool MemoryMidiInputSystem::isOpen(int index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return index >= 0 && static_cast<std::size_t>(index) < devices_.size() &&
           devices_[static_cast<std::size_t>(index)].listener != nullptr;
}

bool MemoryMidiInputSystem::send(int index, const std::uint8_t* bytes, std::size_t length) {
    std::lock_guard<std::recursive_mutex> delivering(deliveryMutex_);
    MidiInputListener* listener = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (index >= 0 && static_cast<std::size_t>(index) < devices_.size()) {
            listener = devices_[static_cast<std::size_t>(index)].listener;
        }
    }
    if (listener == nullptr) {
        return false;
    }
    // The device lock is released: the listener may call back into the system.
    listener->midiInputReceived(bytes, length);
    return true;
}

int MemoryMidiInputSystem::deviceCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(devices_.size());
}

std::string MemoryMidiInputSystem::deviceName(int index) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index < 0 || static_cast<std::size_t>(index) >= devices_.size()) {
        return std::string();
    }
    return devices_[static_cast<std::size_t>(index)].name;
}

std::unique_ptr<MidiInputConnection> MemoryMidiInputSystem::open(int index,
                                                                 MidiInputListener& listener) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index < 0 || static_cast<std::size_t>(index) >= devices_.size()) {
        return nullptr;
    }
    Device& device = devices_[static_cast<std::size_t>(index)];
    // Like a real driver, a device serves one client at a time.
    if (device.busy || device.listener != nullptr) {
        return nullptr;
    }
    device.listener = &listener;
    return std::make_unique<Connection>(*this, static_cast<std::size_t>(index));
}

}  // namespace platform
