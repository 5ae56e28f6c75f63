#include "render/HostMidiInputExport.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace render {

namespace {

std::atomic<const TavroHostMidiInput*> gOffered{nullptr};

platform::MidiInputSystem& systemOf(void* context) {
    return *static_cast<platform::MidiInputSystem*>(context);
}

// The plug-in's listener behind the C callback it gave.
class CallbackListener final : public platform::MidiInputListener {
public:
    CallbackListener(TavroHostMidiReceive receive, void* listener)
        : receive_(receive), listener_(listener) {}
    void midiInputReceived(const std::uint8_t* bytes, std::size_t length) override {
        receive_(listener_, bytes, length);
    }

private:
    TavroHostMidiReceive receive_;
    void* listener_;
};

struct Connection {
    Connection(TavroHostMidiReceive receive, void* plugInListener)
        : listener(receive, plugInListener) {}
    CallbackListener listener;
    std::unique_ptr<platform::MidiInputConnection> open;
};

// The functions of the table. The plug-in is on the other side of a C
// boundary: nothing may unwind into it.

std::int32_t hostDeviceCount(void* context) {
    try {
        return systemOf(context).deviceCount();
    } catch (...) {
        return 0;
    }
}

std::int32_t hostDeviceName(void* context, std::int32_t index, char* buffer, std::size_t capacity) {
    try {
        if (index < 0 || index >= systemOf(context).deviceCount())
            return -1;
        const std::string name = systemOf(context).deviceName(index);
        if (buffer != nullptr && capacity > 0) {
            const std::size_t n = std::min(name.size(), capacity - 1);
            std::memcpy(buffer, name.data(), n);
            buffer[n] = '\0';
        }
        return static_cast<std::int32_t>(std::min<std::size_t>(name.size(), INT32_MAX));
    } catch (...) {
        return -1;
    }
}

void* hostOpen(void* context, std::int32_t index, TavroHostMidiReceive receive, void* listener) {
    if (receive == nullptr)
        return nullptr;
    try {
        auto connection = std::make_unique<Connection>(receive, listener);
        connection->open = systemOf(context).open(index, connection->listener);
        return connection->open != nullptr ? connection.release() : nullptr;
    } catch (...) {
        return nullptr;
    }
}

void hostClose(void*, void* connection) {
    // Destroying the system's connection waits for a delivery in progress.
    delete static_cast<Connection*>(connection);
}

}  // namespace

HostMidiInputExport::HostMidiInputExport(platform::MidiInputSystem& system)
    : table_{TAVRO_HOST_MIDI_INPUT_VERSION,
             &system,
             &hostDeviceCount,
             &hostDeviceName,
             &hostOpen,
             &hostClose} {
    const TavroHostMidiInput* none = nullptr;
    if (!gOffered.compare_exchange_strong(none, &table_))
        throw std::logic_error("MIDI input devices are already offered to plug-ins");
}

HostMidiInputExport::~HostMidiInputExport() {
    gOffered.store(nullptr);
}

}  // namespace render

const TavroHostMidiInput* tavro_host_midi_input(void) {
    return render::gOffered.load();
}
