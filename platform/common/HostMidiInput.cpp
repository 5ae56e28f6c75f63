#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "common/HostMidiInputSystem.h"

namespace platform::detail {
namespace {

// Names of winmm devices have at most 31 characters; a host's may be longer,
// and one of absurd length is cut here.
constexpr std::size_t kNameBuffer = 256;
constexpr std::size_t kLongestName = 4096;

// Called by the host with what arrived; the listener is ours.
void receiveFromHost(void* listener, const std::uint8_t* bytes, std::size_t length) {
    if (listener == nullptr || bytes == nullptr) {
        return;
    }
    auto& target = *static_cast<MidiInputListener*>(listener);
    try {
        while (length > 0) {
            const std::size_t piece = std::min(length, kMidiInputSysexBufferSize);
            target.midiInputReceived(bytes, piece);
            bytes += piece;
            length -= piece;
        }
    } catch (...) {
        // The host is C: nothing may unwind into it. What did not arrive is
        // lost, as on a driver that overran.
    }
}

class HostConnection final : public MidiInputConnection {
public:
    HostConnection(const TavroHostMidiInput& table, void* handle)
        : table_(table), handle_(handle) {}
    ~HostConnection() override { table_.close(table_.context, handle_); }

private:
    const TavroHostMidiInput& table_;
    void* handle_;
};

}  // namespace

bool HostMidiInputSystem::usable(const TavroHostMidiInput* table) {
    return table != nullptr && table->version == TAVRO_HOST_MIDI_INPUT_VERSION &&
           table->deviceCount != nullptr && table->deviceName != nullptr &&
           table->open != nullptr && table->close != nullptr;
}

int HostMidiInputSystem::deviceCount() {
    return std::max<std::int32_t>(table_.deviceCount(table_.context), 0);
}

std::string HostMidiInputSystem::deviceName(int index) {
    if (index < 0) {
        return std::string();
    }
    std::vector<char> buffer(kNameBuffer, '\0');
    std::int32_t length = table_.deviceName(table_.context, index, buffer.data(), buffer.size());
    if (length < 0) {
        return std::string();
    }
    if (static_cast<std::size_t>(length) >= buffer.size()) {
        buffer.assign(std::min<std::size_t>(static_cast<std::size_t>(length), kLongestName) + 1,
                      '\0');
        length = table_.deviceName(table_.context, index, buffer.data(), buffer.size());
        if (length < 0) {
            return std::string();
        }
    }
    // Whatever the host wrote, nothing past the buffer is read.
    buffer.back() = '\0';
    return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

std::unique_ptr<MidiInputConnection> HostMidiInputSystem::open(int index,
                                                               MidiInputListener& listener) {
    if (index < 0) {
        return nullptr;
    }
    void* handle = table_.open(table_.context, index, &receiveFromHost, &listener);
    if (handle == nullptr) {
        return nullptr;
    }
    return std::make_unique<HostConnection>(table_, handle);
}

MidiInputSystem* hostMidiInputSystem(const TavroHostMidiInput* table) {
    if (!HostMidiInputSystem::usable(table)) {
        return nullptr;
    }
    // Kept until the library is unloaded: callers use the adapter only
    // while they open a device, and a connection refers to the host's table,
    // not to its adapter.
    static std::mutex mutex;
    static std::vector<std::unique_ptr<HostMidiInputSystem>> adapters;
    std::lock_guard<std::mutex> lock(mutex);
    for (const auto& adapter : adapters) {
        if (&adapter->table() == table) {
            return adapter.get();
        }
    }
    adapters.push_back(std::make_unique<HostMidiInputSystem>(*table));
    return adapters.back().get();
}

}  // namespace platform::detail
