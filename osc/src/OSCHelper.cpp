// Life cycle of the OSC server: the two threads, the listening socket, port
// changes and the queue of parameter changes.

#include "osc/OSCHelper.h"

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <system_error>

#include <ip/TimerListener.h>
#include <ip/UdpSocket.h>
#include <osc/OscException.h>
#include <osc/OscOutboundPacketStream.h>

#include "platform/Diagnostics.h"
#include "platform/NumericLocale.h"
#include "platform/ThreadName.h"
#include "plugin/OscPort.h"
#include "plugin/Properties.h"
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
class OSCHelper::BreakWatch : public TimerListener {
public:
    BreakWatch(OSCHelper& helper, SocketReceiveMultiplexer& multiplexer, int port,
               std::uint32_t& handled)
        : helper_(helper), multiplexer_(multiplexer), port_(port), handled_(handled) {}
    void TimerExpired() override {
        if (helper_.receiveQuit_.load(std::memory_order_acquire)) {
            multiplexer_.Break();
            return;
        }
        const std::uint32_t requests = helper_.portRequests_.load(std::memory_order_acquire);
        if (requests == handled_)
            return;
        if (helper_.requestedPort_.load(std::memory_order_relaxed) == port_)
            handled_ = requests;
        else
            multiplexer_.Break();
    }

private:
    OSCHelper& helper_;
    SocketReceiveMultiplexer& multiplexer_;
    const int port_;
    std::uint32_t& handled_;
};

OSCHelper::OSCHelper(ZephCorvaneBase& owner, std::unique_ptr<OscLuaAccess> lua,
                     OscTransport* transport)
    : owner_(owner),
      lua_(std::move(lua)),
      transport_(transport ? transport : &udpOscTransport()),
      lookup_(*transport_) {}

OSCHelper::~OSCHelper() {
    StopTasks();
}

void OSCHelper::Initialise() {
    const char* family = nullptr;
    if (owner_.GetProperty(prop::kFamilyText, kAudioUnitScope_Global, 0, &family) == 0 && family)
        productName_ = family;
    std::int32_t count = 0;
    if (owner_.GetProperty(prop::kParameterCount, kAudioUnitScope_Global, 0, &count) == 0)
        parameterCount_ = count > 0 ? count : 0;
    ParameterDescriptor* table = nullptr;
    if (owner_.GetProperty(prop::kParameterTable, kAudioUnitScope_Global, 0, &table) == 0)
        table_ = table;
    if (!table_)
        parameterCount_ = 0;

    {
        std::lock_guard<std::mutex> guard(tablesMutex_);
        // Writers read the flags without a lock: they are allocated once and
        // published through their size.
        if (!registered_ && parameterCount_ > 0) {
            registered_.reset(new std::atomic<std::uint8_t>[parameterCount_]);
            for (int i = 0; i < parameterCount_; ++i)
                registered_[i].store(0, std::memory_order_relaxed);
            registeredSize_.store(parameterCount_, std::memory_order_release);
        }
        const int size = registeredSize_.load(std::memory_order_relaxed);
        for (int i = 0; i < size; ++i)
            registered_[i].store(updates_.count(i) ? 1 : 0, std::memory_order_relaxed);
    }

    if (lua_)
        lua_->luaState();
}

// ---- Threads --------------------------------------------------------------------------------

void OSCHelper::StartTasks() {
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
        receiveThread_ = std::thread(&OSCHelper::TaskMain, this);
    } catch (const std::system_error& e) {
        platform::reportf(platform::ReportLevel::kError, "failed to create OSC thread: %d",
                          e.code().value());
        std::fflush(stdout);
    }
    try {
        notifyThread_ = std::thread(&OSCHelper::NotifyTaskMain, this);
    } catch (const std::system_error& e) {
        platform::reportf(platform::ReportLevel::kError, "failed to create OSC notify thread: %d",
                          e.code().value());
        std::fflush(stdout);
    }
}

void OSCHelper::StopTasks() {
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

void OSCHelper::waitForThread(std::thread& thread, std::mutex& mutex, std::condition_variable& done,
                              const bool& finished, const char* name) {
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

void OSCHelper::portChanged(int port) {
    // The port before the count: the receive thread reads the count first
    // and so never acts on a request without its port.
    requestedPort_.store(port, std::memory_order_relaxed);
    portRequests_.fetch_add(1, std::memory_order_release);
    receiveSignal_.signal();
}

void OSCHelper::breakListening() {
    // Faster than the loop's own poll, which still covers a break that
    // oscpack loses because the loop had not started yet.
    if (liveMultiplexer_)
        liveMultiplexer_->AsynchronousBreak();
}

void OSCHelper::TaskMain() {
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

void OSCHelper::listenOn(int port, std::uint32_t& handled) {
    // Unpublishes the socket before it goes, however the loop ends: another
    // thread must never break a loop that no longer exists.
    struct Published {
        OSCHelper& helper;
        ~Published() {
            std::lock_guard<std::mutex> guard(helper.controlMutex_);
            helper.liveMultiplexer_ = nullptr;
            helper.boundPort_.store(0, std::memory_order_release);
        }
    };
    bool opened = false;
    try {
        UdpReceiveSocket socket(IpEndpointName(IpEndpointName::ANY_ADDRESS, port));
        opened = true;
        SocketReceiveMultiplexer multiplexer;
        BreakWatch watch(*this, multiplexer, port, handled);
        multiplexer.AttachSocketListener(&socket, this);
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

void OSCHelper::parameterChanged(int index, float native) {
    const int size = registeredSize_.load(std::memory_order_acquire);
    if (index < 0 || index >= size || registered_[index].load(std::memory_order_relaxed) == 0)
        return;
    if (!queue_.push(index, native)) {
        // Counted here and reported by the notify thread: the writer may be
        // the audio thread, which must not print.
        dropped_.fetch_add(1, std::memory_order_relaxed);
        unreportedDrops_.fetch_add(1, std::memory_order_relaxed);
    }
    wakeNotifier();
}

void OSCHelper::wakeNotifier() {
    // Only the first writer after a drain pays for the wake-up, and it is a
    // platform signal that neither locks nor waits: the writer may be the
    // audio thread (host automation, a script's MIDI callback).
    if (!wakePending_.exchange(true, std::memory_order_acq_rel))
        notifySignal_.signal();
}

void OSCHelper::NotifyTaskMain() {
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

void OSCHelper::notifyChanges(std::vector<std::pair<std::int32_t, float>>& batch) {
    batch.clear();
    std::int32_t index;
    float value;
    while (queue_.pop(index, value))
        batch.emplace_back(index, value);
    for (std::uint64_t n = unreportedDrops_.exchange(0); n > 0; --n)
        platform::report(platform::ReportLevel::kInfo,
                         "OSCHelper::SetParamQueue::Write() overflow");

    std::vector<UpdateRegistration> targets;
    for (const auto& [changed, native] : batch) {
        targets.clear();
        {
            std::lock_guard<std::mutex> guard(tablesMutex_);
            auto range = updates_.equal_range(changed);
            for (auto i = range.first; i != range.second; ++i)
                targets.push_back(i->second);
        }
        for (const UpdateRegistration& target : targets) {
            try {
                char buffer[kPacketBufferSize];
                osc::OutboundPacketStream packet(buffer, sizeof buffer);
                packet << osc::BeginBundleImmediate << osc::BeginMessage(target.path.c_str())
                       << static_cast<osc::int32>(changed) << native << osc::EndMessage
                       << osc::EndBundle;
                transport_->send(IpEndpointName(target.address, target.port),
                                 {std::string(packet.Data(), packet.Size())});
            } catch (const std::exception&) {
                // A peer that cannot be reached misses this change; the next
                // one is tried again.
            }
        }
    }
}

// ---- Inspection -----------------------------------------------------------------------------

std::size_t OSCHelper::updateRegistrationCount() const {
    std::lock_guard<std::mutex> guard(tablesMutex_);
    return updates_.size();
}

bool OSCHelper::isRegisteredForUpdates(int index) const {
    const int size = registeredSize_.load(std::memory_order_acquire);
    return index >= 0 && index < size && registered_[index].load(std::memory_order_relaxed) != 0;
}

}  // namespace QX
