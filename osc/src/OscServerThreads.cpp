// The OSC server's receive and notify threads, the listening socket, port
// changes and the queue of parameter changes.

#include "osc/OscServerThreads.h"

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <system_error>

#include <ip/PacketListener.h>
#include <ip/TimerListener.h>
#include <ip/UdpSocket.h>
#include <osc/OscException.h>

#include "osc/HostLookup.h"
#include "osc/OscAddressSpace.h"
#include "osc/OscTransport.h"
#include "platform/Diagnostics.h"
#include "platform/NumericLocale.h"
#include "platform/ThreadName.h"
#include "plugin/OscPort.h"
#include "plugin/ZephCorvaneBase.h"

namespace QX {

namespace {

// The notify thread also looks at the queue this often, so that a wake-up
// lost between its check and its wait delays a notification, never loses it.
constexpr auto kNotifyPoll = std::chrono::milliseconds(50);

}  // namespace

// Looks from inside the receive loop, every kPortPollMs, whether the loop
// must end: the thread quits, or another port was asked for. A request for
// the port already listened on is taken as done.
class OscServerThreads::BreakWatch : public TimerListener {
public:
    BreakWatch(OscServerThreads& threads, SocketReceiveMultiplexer& multiplexer, int port,
               std::uint32_t& handled)
        : threads_(threads), multiplexer_(multiplexer), port_(port), handled_(handled) {}
    void TimerExpired() override {
        if (threads_.receiveQuit_.load(std::memory_order_acquire)) {
            multiplexer_.Break();
            return;
        }
        const std::uint32_t requests = threads_.portRequests_.load(std::memory_order_acquire);
        if (requests == handled_)
            return;
        if (threads_.requestedPort_.load(std::memory_order_relaxed) == port_)
            handled_ = requests;
        else
            multiplexer_.Break();
    }

private:
    OscServerThreads& threads_;
    SocketReceiveMultiplexer& multiplexer_;
    const int port_;
    std::uint32_t& handled_;
};

// Every datagram of the socket, with the port it arrived on.
class OscServerThreads::PacketsToAddressSpace : public PacketListener {
public:
    PacketsToAddressSpace(OscAddressSpace& addressSpace, int port)
        : addressSpace_(addressSpace), port_(port) {}
    void ProcessPacket(const char* data, int size, const IpEndpointName& from) override {
        addressSpace_.handlePacket(data, size > 0 ? static_cast<std::size_t>(size) : 0, from,
                                   port_);
    }

private:
    OscAddressSpace& addressSpace_;
    const int port_;
};

OscServerThreads::OscServerThreads(ZephCorvaneBase& owner, OscAddressSpace& addressSpace,
                                   OscTransport& transport, HostLookup& lookup)
    : owner_(owner), addressSpace_(addressSpace), transport_(transport), lookup_(lookup) {}

OscServerThreads::~OscServerThreads() {
    stop();
}

// ---- Threads --------------------------------------------------------------------------------

void OscServerThreads::start() {
    {
        std::lock_guard<std::mutex> guard(controlMutex_);
        if (receiveThread_.joinable()) {
            platform::report(platform::ReportLevel::kInfo, "Warning: Attempt to recreate OSC task");
            std::fflush(stdout);
            return;
        }
        receiveQuit_.store(false, std::memory_order_release);
        receiveFinished_ = false;
    }
    {
        std::lock_guard<std::mutex> guard(notifyMutex_);
        notifyQuit_ = false;
        notifyFinished_ = false;
    }
    try {
        // Scripts may send to host names from the start; the lookup thread
        // is not theirs to start under the Lua lock.
        lookup_.start();
    } catch (const std::system_error&) {
        // It starts with the first name to look up, then.
    }
    try {
        receiveThread_ = std::thread(&OscServerThreads::receiveMain, this);
    } catch (const std::system_error& e) {
        platform::reportf(platform::ReportLevel::kError, "failed to create OSC thread: %d",
                          e.code().value());
        std::fflush(stdout);
    }
    try {
        notifyThread_ = std::thread(&OscServerThreads::notifyMain, this);
    } catch (const std::system_error& e) {
        platform::reportf(platform::ReportLevel::kError, "failed to create OSC notify thread: %d",
                          e.code().value());
        std::fflush(stdout);
    }
}

void OscServerThreads::stop() {
    receiveQuit_.store(true, std::memory_order_release);
    {
        std::lock_guard<std::mutex> guard(controlMutex_);
        breakListening();
    }
    receiveSignal_.signal();
    {
        std::lock_guard<std::mutex> guard(notifyMutex_);
        notifyQuit_ = true;
    }
    notifySignal_.signal();
    waitForThread(receiveThread_, controlMutex_, receiveDone_, receiveFinished_, "OSC");
    waitForThread(notifyThread_, notifyMutex_, notifyDone_, notifyFinished_, "OSC notify");
}

void OscServerThreads::waitForThread(std::thread& thread, std::mutex& mutex,
                                     std::condition_variable& done, const bool& finished,
                                     const char* name) {
    if (!thread.joinable())
        return;
    bool ended;
    {
        std::unique_lock<std::mutex> lock(mutex);
        ended =
            done.wait_for(lock, std::chrono::milliseconds(kStopWaitMs), [&] { return finished; });
    }
    if (!ended) {
        // A thread cannot be ended from outside without leaving its locks
        // (the Lua lock among them) held for ever: say so and keep waiting.
        platform::reportf(platform::ReportLevel::kInfo,
                          "%s thread did not end within %d ms; waiting for it", name, kStopWaitMs);
        std::fflush(stdout);
    }
    thread.join();
}

void OscServerThreads::requestPort(int port) {
    // The port before the count: the receive thread reads the count first
    // and so never acts on a request without its port.
    requestedPort_.store(port, std::memory_order_relaxed);
    portRequests_.fetch_add(1, std::memory_order_release);
    receiveSignal_.signal();
}

void OscServerThreads::breakListening() {
    // Faster than the loop's own poll, which still covers a break that
    // oscpack loses because the loop had not started yet.
    if (liveMultiplexer_)
        liveMultiplexer_->AsynchronousBreak();
}

void OscServerThreads::receiveMain() {
    platform::nameThisThread("tavro osc");
    platform::useCNumbersOnThisThread();
    // A port asked for before the thread ran is still the plug-in's wish.
    std::uint32_t handled = portRequests_.load(std::memory_order_acquire) - 1u;
    while (!receiveQuit_.load(std::memory_order_acquire)) {
        const std::uint32_t requests = portRequests_.load(std::memory_order_acquire);
        if (requests == handled) {
            // Woken by a request or the quit (the signal keeps wake-ups
            // given before the wait); the timeout is only a safety net.
            receiveSignal_.waitFor(kStopWaitMs);
            continue;
        }
        handled = requests;
        const int port = requestedPort_.load(std::memory_order_relaxed);
        if (port > 0)
            listenOn(port, handled);
    }
    std::lock_guard<std::mutex> guard(controlMutex_);
    receiveFinished_ = true;
    receiveDone_.notify_all();
}

void OscServerThreads::listenOn(int port, std::uint32_t& handled) {
    // Unpublishes the socket before it goes, however the loop ends: another
    // thread must never break a loop that no longer exists.
    struct Published {
        OscServerThreads& threads;
        ~Published() {
            std::lock_guard<std::mutex> guard(threads.controlMutex_);
            threads.liveMultiplexer_ = nullptr;
            threads.boundPort_.store(0, std::memory_order_release);
        }
    };
    bool opened = false;
    try {
        UdpReceiveSocket socket(IpEndpointName(IpEndpointName::ANY_ADDRESS, port));
        opened = true;
        SocketReceiveMultiplexer multiplexer;
        BreakWatch watch(*this, multiplexer, port, handled);
        PacketsToAddressSpace packets(addressSpace_, port);
        multiplexer.AttachSocketListener(&socket, &packets);
        multiplexer.AttachPeriodicTimerListener(kPortPollMs, &watch);
        Published published{*this};
        {
            std::lock_guard<std::mutex> guard(controlMutex_);
            // Quit, or a newer port asked for while the socket was made.
            if (receiveQuit_.load(std::memory_order_acquire) ||
                (portRequests_.load(std::memory_order_acquire) != handled &&
                 requestedPort_.load(std::memory_order_relaxed) != port))
                return;
            liveMultiplexer_ = &multiplexer;
            boundPort_.store(port, std::memory_order_release);
        }
        platform::resolve(osc_port::kReportTopic, &owner_);
        multiplexer.Run();
    } catch (const osc::Exception& e) {
        // The texts keep the names they always had: logs are searched for
        // them.
        const std::string text = std::string("osc::Exception in TaskMain(): ") + e.what();
        platform::report(platform::ReportLevel::kInfo, text);
    } catch (const std::runtime_error& e) {
        const std::string text = std::string("std::runtime_error in TaskMain(): ") + e.what();
        platform::report(platform::ReportLevel::kInfo, text);
        // A socket that could not be bound: nearly always another program,
        // or another instance, on the port. The musician must act.
        if (!opened)
            platform::report(platform::ReportLevel::kError,
                             "OSC port " + std::to_string(port) +
                                 " is in use by another program or cannot be opened: choose "
                                 "another OSC Port Offset, or another OSC Base Port in Prefs",
                             &owner_, osc_port::kReportTopic);
    }
}

// ---- Parameter changes ----------------------------------------------------------------------

void OscServerThreads::parameterChanged(int index, float native) {
    if (!addressSpace_.isRegisteredForUpdates(index))
        return;
    if (!queue_.push(index, native)) {
        // Counted here and reported by the notify thread: the writer may be
        // the audio thread, which must not print.
        dropped_.fetch_add(1, std::memory_order_relaxed);
        unreportedDrops_.fetch_add(1, std::memory_order_relaxed);
    }
    wakeNotifier();
}

void OscServerThreads::wakeNotifier() {
    // Only the first writer after a drain pays for the wake-up, and it is a
    // platform signal that neither locks nor waits: the writer may be the
    // audio thread (host automation, a script's MIDI callback).
    if (!wakePending_.exchange(true, std::memory_order_acq_rel))
        notifySignal_.signal();
}

void OscServerThreads::notifyMain() {
    platform::nameThisThread("tavro notify");
    platform::useCNumbersOnThisThread();
    std::vector<std::pair<std::int32_t, float>> batch;
    batch.reserve(SetParamQueue::kSlots);
    const int pollMs = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(kNotifyPoll).count());
    for (;;) {
        // The poll covers a wake-up given between a drain and the flag reset.
        notifySignal_.waitFor(pollMs);
        {
            std::lock_guard<std::mutex> guard(notifyMutex_);
            if (notifyQuit_)
                break;
        }
        wakePending_.store(false, std::memory_order_release);
        notifyChanges(batch);
        // The instance's own audio-thread diagnostics ride on this thread's
        // poll: it runs whether or not OSC is on.
        owner_.reportDeferredDiagnostics();
    }
    {
        std::lock_guard<std::mutex> guard(notifyMutex_);
        notifyFinished_ = true;
    }
    notifyDone_.notify_all();
}

void OscServerThreads::notifyChanges(std::vector<std::pair<std::int32_t, float>>& batch) {
    batch.clear();
    std::int32_t index;
    float value;
    while (queue_.pop(index, value))
        batch.emplace_back(index, value);
    // The text keeps the name it always had: logs are searched for it.
    for (std::uint64_t n = unreportedDrops_.exchange(0); n > 0; --n)
        platform::report(platform::ReportLevel::kInfo,
                         "OSCHelper::SetParamQueue::Write() overflow");

    for (const auto& [changed, native] : batch) {
        for (const OscAddressSpace::Datagram& notification :
             addressSpace_.notificationsFor(changed, native)) {
            try {
                transport_.send(notification.to, {notification.packet});
            } catch (const std::exception&) {
                // A peer that cannot be reached misses this change; the next
                // one is tried again.
            }
        }
    }
}

}  // namespace QX
