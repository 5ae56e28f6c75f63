// MIDI input devices over the ALSA sequencer. A device is a readable,
// subscribable port of another client; its name is the port's name, as
// "aconnect -l" lists it under its client (a USB interface's port reads like
// "<interface name> MIDI 1"): that is what users see in every sequencer tool,
// and it tells the ports of one interface apart. The kernel's system client 0
// (timer, announcements) and our own client are left out. Each open device gets a sequencer client
// of its own with one input port subscribed to the device, and a reader thread that turns events
// back into the bytes a winmm driver would deliver.

#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <thread>
#include <vector>

#include "common/MidiInputAssembler.h"
#include "common/SystemServices.h"
#include "platform/MidiInput.h"
#include "platform/NumericLocale.h"
#include "platform/ThreadName.h"

namespace platform {
namespace {

const char* const kClientName = "tavro";
const char* const kPortName = "tavro MIDI input";

struct SequencerCloser {
    void operator()(snd_seq_t* seq) const { snd_seq_close(seq); }
};
using Sequencer = std::unique_ptr<snd_seq_t, SequencerCloser>;

// Null when there is no sequencer (no ALSA, or no /dev/snd/seq in a
// container): the system then simply has no devices.
Sequencer openSequencer() {
    // ALSA's sequencer is always the kernel's. Without its device the open
    // fails anyway, but only after ALSA has printed an error, once for every
    // look at the device list.
    if (access("/dev/snd/seq", F_OK) != 0) {
        return nullptr;
    }
    snd_seq_t* seq = nullptr;
    if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK) < 0) {
        return nullptr;
    }
    snd_seq_set_client_name(seq, kClientName);
    return Sequencer(seq);
}

struct PortAddress {
    int client = 0;
    int port = 0;
    std::string name;
};

std::vector<PortAddress> readablePorts(snd_seq_t* seq) {
    std::vector<PortAddress> ports;
    const int self = snd_seq_client_id(seq);
    snd_seq_client_info_t* client = nullptr;
    snd_seq_port_info_t* port = nullptr;
    snd_seq_client_info_alloca(&client);
    snd_seq_port_info_alloca(&port);
    constexpr unsigned kReadable = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;

    snd_seq_client_info_set_client(client, -1);
    while (snd_seq_query_next_client(seq, client) >= 0) {
        const int id = snd_seq_client_info_get_client(client);
        if (id == SND_SEQ_CLIENT_SYSTEM || id == self) {
            continue;
        }
        snd_seq_port_info_set_client(port, id);
        snd_seq_port_info_set_port(port, -1);
        while (snd_seq_query_next_port(seq, port) >= 0) {
            const unsigned caps = snd_seq_port_info_get_capability(port);
            if ((caps & kReadable) != kReadable || (caps & SND_SEQ_PORT_CAP_NO_EXPORT) != 0) {
                continue;
            }
            ports.push_back(PortAddress{id, snd_seq_port_info_get_port(port),
                                        snd_seq_port_info_get_name(port)});
        }
    }
    return ports;
}

class AlsaConnection final : public MidiInputConnection {
public:
    static std::unique_ptr<MidiInputConnection> open(int index, MidiInputListener& listener) {
        std::unique_ptr<AlsaConnection> connection(new AlsaConnection(listener));
        if (!connection->start(index)) {
            return nullptr;
        }
        return connection;
    }

    ~AlsaConnection() override {
        if (thread_.joinable()) {
            const char wake = 1;
            while (::write(wake_[1], &wake, 1) < 0 && errno == EINTR) {
            }
            thread_.join();
        }
        if (subscribed_) {
            snd_seq_disconnect_from(seq_.get(), port_, source_.client, source_.port);
        }
        if (port_ >= 0) {
            snd_seq_delete_simple_port(seq_.get(), port_);
        }
        seq_.reset();
        if (decoder_ != nullptr) {
            snd_midi_event_free(decoder_);
        }
        for (int fd : wake_) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }

private:
    explicit AlsaConnection(MidiInputListener& listener) : assembler_(listener) {}

    bool start(int index) {
        seq_ = openSequencer();
        if (!seq_) {
            return false;
        }
        const std::vector<PortAddress> ports = readablePorts(seq_.get());
        if (index < 0 || static_cast<std::size_t>(index) >= ports.size()) {
            return false;
        }
        source_ = ports[static_cast<std::size_t>(index)];
        port_ = snd_seq_create_simple_port(
            seq_.get(), kPortName,
            SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT,
            SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
        if (port_ < 0) {
            return false;
        }
        if (snd_midi_event_new(16, &decoder_) < 0) {
            decoder_ = nullptr;
            return false;
        }
        // Every message complete with its status byte, as winmm delivers.
        snd_midi_event_no_status(decoder_, 1);
        if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
            wake_[0] = wake_[1] = -1;
            return false;
        }
        if (snd_seq_connect_from(seq_.get(), port_, source_.client, source_.port) < 0) {
            return false;
        }
        subscribed_ = true;
        try {
            thread_ = std::thread([this] { run(); });
        } catch (const std::system_error&) {
            return false;
        }
        return true;
    }

    void run() {
        nameThisThread("tavro midi in");
        useCNumbersOnThisThread();
        const int count = snd_seq_poll_descriptors_count(seq_.get(), POLLIN);
        std::vector<pollfd> fds(static_cast<std::size_t>(count > 0 ? count : 0) + 1);
        if (count > 0) {
            snd_seq_poll_descriptors(seq_.get(), fds.data(), static_cast<unsigned>(count), POLLIN);
        }
        pollfd& wake = fds.back();
        wake = pollfd{wake_[0], POLLIN, 0};
        for (;;) {
            if (poll(fds.data(), fds.size(), -1) < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return;
            }
            if (wake.revents != 0) {
                return;
            }
            for (std::size_t i = 0; i + 1 < fds.size(); ++i) {
                // A sequencer that failed stays silent; without this the
                // loop would spin until the connection is closed.
                if ((fds[i].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
                    fds[i].fd = -1;
                }
            }
            readEvents();
        }
    }

    void readEvents() {
        for (;;) {
            snd_seq_event_t* event = nullptr;
            const int result = snd_seq_event_input(seq_.get(), &event);
            if (result == -ENOSPC) {
                // Our queue overran and events were lost; carry on with what
                // follows, as a driver does.
                continue;
            }
            if (result < 0 || event == nullptr) {
                return;
            }
            handle(*event);
        }
    }

    void handle(const snd_seq_event_t& event) {
        if (event.type == SND_SEQ_EVENT_SYSEX) {
            if (event.data.ext.len > 0 && event.data.ext.ptr != nullptr) {
                assembler_.sysexChunk(static_cast<const std::uint8_t*>(event.data.ext.ptr),
                                      event.data.ext.len);
            }
            return;
        }
        // Large enough for the longest expansion (a 14-bit parameter number
        // and value become four controller messages).
        unsigned char bytes[64];
        const long length = snd_midi_event_decode(decoder_, bytes, sizeof bytes, &event);
        if (length > 0) {
            assembler_.shortMessages(bytes, static_cast<std::size_t>(length));
        }
    }

    Sequencer seq_;
    PortAddress source_;
    int port_ = -1;
    bool subscribed_ = false;
    snd_midi_event_t* decoder_ = nullptr;
    int wake_[2] = {-1, -1};
    detail::MidiInputAssembler assembler_;
    std::thread thread_;
};

class AlsaMidiInputSystem final : public MidiInputSystem {
public:
    // Each call looks at the sequencer afresh: devices come and go, and a
    // name chosen from the list is what counts, not an index kept from an
    // earlier look.
    int deviceCount() override {
        const Sequencer seq = openSequencer();
        return seq ? static_cast<int>(readablePorts(seq.get()).size()) : 0;
    }

    std::string deviceName(int index) override {
        if (index < 0) {
            return std::string();
        }
        const Sequencer seq = openSequencer();
        if (!seq) {
            return std::string();
        }
        const std::vector<PortAddress> ports = readablePorts(seq.get());
        if (static_cast<std::size_t>(index) >= ports.size()) {
            return std::string();
        }
        return ports[static_cast<std::size_t>(index)].name;
    }

    std::unique_ptr<MidiInputConnection> open(int index, MidiInputListener& listener) override {
        return AlsaConnection::open(index, listener);
    }
};

}  // namespace

MidiInputSystem& detail::realMidiInputSystem() {
    static AlsaMidiInputSystem system;  // destroyed at unload, see Preferences.cpp
    return system;
}

}  // namespace platform
