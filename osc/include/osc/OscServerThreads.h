#pragma once
// The threads and the socket of the OSC server of one plug-in instance:
//   - the receive thread listens on the requested UDP port and hands every
//     datagram to the address space. Port 0 closes the socket, another port
//     closes it and listens on the new one, the port already listened on
//     keeps its socket; a request is acted on within kPortPollMs. A port
//     that cannot be bound is reported to the musician and left closed
//     until the next request.
//   - the notify thread drains the queue of parameter changes and sends the
//     address space's notifications to the registered peers. It also
//     carries the instance's deferred audio-thread diagnostics, OSC on or
//     off.
// start() also starts the host lookup's thread, for scripts that send to
// host names from the first moment.
//
// Threads:
//   - main thread: start, stop; stop waits for both threads, saying so when
//     one takes longer than kStopWaitMs;
//   - any thread, the audio thread included: requestPort and
//     parameterChanged, lock-free (atomics and a wake signal);
//   - any thread: the inspection functions.
//
// Owns the two threads, the listening socket (made and closed by the
// receive thread) and the queue of changes. Not owned: the plug-in, the
// address space, the transport of notifications and the host lookup.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "osc/SetParamQueue.h"
#include "platform/WakeSignal.h"

class SocketReceiveMultiplexer;
class ZephCorvaneBase;

namespace QX {

class HostLookup;
class OscAddressSpace;
class OscTransport;

class OscServerThreads {
public:
    static constexpr int kStopWaitMs = 5000;
    // How long a listening receive thread may take to notice a new port.
    static constexpr int kPortPollMs = 50;

    OscServerThreads(ZephCorvaneBase& owner, OscAddressSpace& addressSpace, OscTransport& transport,
                     HostLookup& lookup);
    // Stops both threads.
    ~OscServerThreads();
    OscServerThreads(const OscServerThreads&) = delete;
    OscServerThreads& operator=(const OscServerThreads&) = delete;

    // [main-thread] Starts the receive and notify threads; the receive
    // thread listens as soon as a non-zero port is requested. Refused, with
    // a warning, while they run.
    void start();
    // [main-thread] Stops both threads, waiting for each.
    void stop();
    // [any-thread, lock-free] The port to listen on; 0 for none.
    void requestPort(int port);
    // [any-thread, lock-free] Queues the change for the notify thread when a
    // peer registered for `index`. Never blocks; a full queue drops the
    // change.
    void parameterChanged(int index, float native);

    // ---- Inspection [any-thread] ----
    // The port the socket is bound to; 0 while none is open.
    int boundPort() const { return boundPort_.load(std::memory_order_acquire); }
    // Changes waiting for the notify thread, and changes dropped so far
    // because the queue was full.
    std::uint32_t pendingChanges() const { return queue_.size(); }
    std::uint64_t droppedChanges() const { return dropped_.load(std::memory_order_relaxed); }

private:
    class BreakWatch;
    class PacketsToAddressSpace;

    void receiveMain();
    void notifyMain();
    // Listens until the thread quits or another port is asked for; `handled`
    // is the count of port requests acted on, kept up to date.
    void listenOn(int port, std::uint32_t& handled);
    void breakListening();  // control lock held
    void wakeNotifier();
    void notifyChanges(std::vector<std::pair<std::int32_t, float>>& batch);
    static void waitForThread(std::thread& thread, std::mutex& mutex, std::condition_variable& done,
                              const bool& finished, const char* name);

    ZephCorvaneBase& owner_;
    OscAddressSpace& addressSpace_;
    OscTransport& transport_;
    HostLookup& lookup_;

    // Receive thread control. A port request is the port and a count of
    // requests, both atomic, and a wake-up: requestPort may run on the audio
    // thread. The control lock guards the thread's start and end and the
    // published multiplexer, which only stop() breaks from outside.
    std::mutex controlMutex_;
    std::condition_variable receiveDone_;
    std::thread receiveThread_;
    std::atomic<bool> receiveQuit_{false};
    bool receiveFinished_ = false;
    std::atomic<int> requestedPort_{0};
    std::atomic<std::uint32_t> portRequests_{0};
    platform::WakeSignal receiveSignal_;
    SocketReceiveMultiplexer* liveMultiplexer_ = nullptr;
    std::atomic<int> boundPort_{0};

    // Notify thread control.
    SetParamQueue queue_;
    std::atomic<std::uint64_t> dropped_{0};
    std::atomic<std::uint64_t> unreportedDrops_{0};
    std::atomic<bool> wakePending_{false};
    std::mutex notifyMutex_;
    platform::WakeSignal notifySignal_;
    std::condition_variable notifyDone_;
    std::thread notifyThread_;
    bool notifyQuit_ = false;
    bool notifyFinished_ = false;
};

}  // namespace QX
