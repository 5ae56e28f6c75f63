// The host program's MIDI input devices through the C table it exports: the
// adapter, and how midiInputSystem() finds the table in this executable,
// which exports tavro_host_midi_input as a rendering host does.

#include "platform/HostMidiInput.h"

#include <gtest/gtest.h>
#include <algorithm>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/HostMidiInputSystem.h"
#include "platform/MemoryMidiInput.h"

namespace {

std::atomic<const TavroHostMidiInput*> gExported{nullptr};

}  // namespace

// What this test program offers plug-ins: nothing unless a test says so.
extern "C" TAVRO_HOST_MIDI_INPUT_EXPORT const TavroHostMidiInput* tavro_host_midi_input(void) {
    return gExported.load();
}

namespace {

using namespace platform;
using Bytes = std::vector<std::uint8_t>;

// A host's side, written as a host in C would: a memory system behind the
// table's functions.
struct HostSide {
    MemoryMidiInputSystem devices;
    int closes = 0;

    struct Listener : MidiInputListener {
        Listener(TavroHostMidiReceive r, void* l) : receive(r), listener(l) {}
        void midiInputReceived(const std::uint8_t* bytes, std::size_t length) override {
            receive(listener, bytes, length);
        }
        TavroHostMidiReceive receive;
        void* listener;
    };
    struct Handle {
        std::unique_ptr<Listener> listener;
        std::unique_ptr<MidiInputConnection> connection;
    };

    static HostSide& of(void* context) { return *static_cast<HostSide*>(context); }
    static int32_t count(void* context) { return of(context).devices.deviceCount(); }
    static int32_t name(void* context, int32_t index, char* buffer, size_t capacity) {
        if (index < 0 || index >= count(context))
            return -1;
        const std::string text = of(context).devices.deviceName(index);
        const std::size_t n = std::min(text.size(), capacity - 1);
        text.copy(buffer, n);
        buffer[n] = '\0';
        return static_cast<int32_t>(text.size());
    }
    static void* open(void* context, int32_t index, TavroHostMidiReceive receive, void* listener) {
        auto handle = std::make_unique<Handle>();
        handle->listener = std::make_unique<Listener>(receive, listener);
        handle->connection = of(context).devices.open(index, *handle->listener);
        return handle->connection ? handle.release() : nullptr;
    }
    static void close(void* context, void* handle) {
        ++of(context).closes;
        delete static_cast<Handle*>(handle);
    }

    TavroHostMidiInput table{TAVRO_HOST_MIDI_INPUT_VERSION, this, &count, &name, &open, &close};
};

struct Recorder : MidiInputListener {
    void midiInputReceived(const std::uint8_t* bytes, std::size_t length) override {
        messages.emplace_back(bytes, bytes + length);
    }
    std::vector<Bytes> messages;
};

// Offers a table from this program while it lives.
struct Offer {
    explicit Offer(const TavroHostMidiInput* table) { gExported.store(table); }
    ~Offer() { gExported.store(nullptr); }
};

TEST(HostMidiInput, TheProgramsExportedTableReplacesTheSystemsDevices) {
    MidiInputSystem& real = midiInputSystem();
    HostSide host;
    host.devices.addDevice("Rendering host");
    const std::string longName(300, 'x');  // longer than the first buffer
    host.devices.addDevice(longName);
    Offer offer(&host.table);
    MidiInputSystem& offered = midiInputSystem();
    EXPECT_NE(&offered, &real);
    // One adapter per table, kept.
    EXPECT_EQ(&midiInputSystem(), &offered);
    ASSERT_EQ(offered.deviceCount(), 2);
    EXPECT_EQ(offered.deviceName(0), "Rendering host");
    EXPECT_EQ(offered.deviceName(1), longName);
    EXPECT_EQ(offered.deviceName(2), "");
    EXPECT_EQ(offered.deviceName(-1), "");

    Recorder recorder;
    auto connection = offered.open(0, recorder);
    ASSERT_NE(connection, nullptr);
    EXPECT_TRUE(host.devices.isOpen(0));
    const std::uint8_t start = 0xFA;
    host.devices.send(0, &start, 1);
    EXPECT_EQ(recorder.messages, (std::vector<Bytes>{{0xFA}}));

    // Busy or missing devices do not open; the listener is not kept.
    Recorder other;
    EXPECT_EQ(offered.open(0, other), nullptr);
    EXPECT_EQ(offered.open(5, other), nullptr);
    EXPECT_EQ(offered.open(-1, other), nullptr);

    connection.reset();
    EXPECT_EQ(host.closes, 1);
    EXPECT_FALSE(host.devices.isOpen(0));
    EXPECT_FALSE(host.devices.send(0, &start, 1));
    EXPECT_EQ(recorder.messages.size(), 1u);

    // A system a test installs still comes first.
    MemoryMidiInputSystem installed;
    installMidiInputSystem(&installed);
    EXPECT_EQ(&midiInputSystem(), &installed);
    installMidiInputSystem(nullptr);

    // A table of another version is ignored, and so is an incomplete one or
    // no table.
    TavroHostMidiInput future = host.table;
    future.version = TAVRO_HOST_MIDI_INPUT_VERSION + 1;
    TavroHostMidiInput incomplete = host.table;
    incomplete.close = nullptr;
    for (const TavroHostMidiInput* table : {&future, &incomplete}) {
        Offer unusable(table);
        EXPECT_EQ(&midiInputSystem(), &real);
    }
    EXPECT_EQ(&midiInputSystem(), &real);
}

TEST(HostMidiInput, LongSysexArrivesInPiecesAndNothingThrownReachesTheHost) {
    HostSide host;
    host.devices.addDevice("Cable");
    detail::HostMidiInputSystem system(host.table);
    Recorder recorder;
    auto connection = system.open(0, recorder);
    ASSERT_NE(connection, nullptr);
    Bytes sysex(kMidiInputSysexBufferSize + 10, 0x11);
    sysex.front() = 0xF0;
    sysex.back() = 0xF7;
    host.devices.send(0, sysex.data(), sysex.size());
    ASSERT_EQ(recorder.messages.size(), 2u);
    EXPECT_EQ(recorder.messages[0].size(), kMidiInputSysexBufferSize);
    EXPECT_EQ(recorder.messages[1].size(), 10u);
    EXPECT_EQ(recorder.messages[1].back(), 0xF7);
    connection.reset();

    struct Throwing : MidiInputListener {
        void midiInputReceived(const std::uint8_t*, std::size_t) override {
            throw std::runtime_error("listener failed");
        }
    } throwing;
    connection = system.open(0, throwing);
    ASSERT_NE(connection, nullptr);
    const std::uint8_t clock = 0xF8;
    EXPECT_NO_THROW(host.devices.send(0, &clock, 1));
}

}  // namespace
