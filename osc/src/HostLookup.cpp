#include "osc/HostLookup.h"

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

#include "osc/OscTransport.h"
#include "platform/Diagnostics.h"
#include "platform/NumericLocale.h"
#include "platform/SharedLibrary.h"
#include "platform/ThreadName.h"

namespace QX {

bool parseDottedAddress(const std::string& text, std::uint32_t& address) {
    std::uint32_t result = 0;
    int parts = 0;
    std::size_t i = 0;
    while (parts < 4) {
        std::uint32_t part = 0;
        std::size_t digits = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 4; ++i, ++digits)
            part = part * 10 + static_cast<std::uint32_t>(text[i] - '0');
        // Leading zeros would read as octal to the system's own parser.
        if (digits == 0 || digits > 3 || part > 255 || (digits > 1 && text[i - digits] == '0'))
            return false;
        result = result << 8 | part;
        if (++parts < 4) {
            if (i >= text.size() || text[i] != '.')
                return false;
            ++i;
        }
    }
    if (i != text.size())
        return false;
    address = result;
    return true;
}

struct HostLookup::Shared {
    using Clock = std::chrono::steady_clock;
    struct Waiting {
        std::string host;
        int port;
        std::string packet;
    };
    struct Known {
        std::uint32_t address;
        Clock::time_point until;
    };

    explicit Shared(OscTransport& t) : transport(t) {}

    // The cached address of `host`, if still fresh. Lock held.
    bool cached(const std::string& host, std::uint32_t& address) {
        const auto found = known.find(host);
        if (found == known.end() || found->second.until < Clock::now())
            return false;
        address = found->second.address;
        return true;
    }
    void remember(const std::string& host, std::uint32_t address) {
        known[host] =
            Known{address, Clock::now() + (address != 0 ? kFoundLifetime : kNotFoundLifetime)};
    }

    OscTransport& transport;
    mutable std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable finishedSignal;
    std::deque<Waiting> queue;
    // Datagrams per host queued or being sent by the lookup thread: later
    // ones to the same host wait behind them, even once the name is known.
    std::map<std::string, int, std::less<>> inFlight;
    std::map<std::string, Known, std::less<>> known;
    bool stopping = false;
    bool finished = false;
    std::uint64_t dropped = 0;
    std::uint64_t unreportedDrops = 0;
};

HostLookup::HostLookup(OscTransport& transport) : shared_(std::make_shared<Shared>(transport)) {}

HostLookup::~HostLookup() {
    stop(kStopWait);
}

void HostLookup::start() {
    std::lock_guard<std::mutex> guard(shared_->mutex);
    if (!shared_->stopping && !thread_.joinable())
        thread_ = std::thread(&HostLookup::run, shared_);
}

std::uint32_t HostLookup::resolve(const std::string& host) {
    std::uint32_t address = 0;
    if (parseDottedAddress(host, address))
        return address;
    {
        std::lock_guard<std::mutex> guard(shared_->mutex);
        if (shared_->cached(host, address))
            return address;
    }
    address = shared_->transport.resolveHost(host.c_str());
    std::lock_guard<std::mutex> guard(shared_->mutex);
    shared_->remember(host, address);
    return address;
}

bool HostLookup::send(const std::string& host, int port, const std::string& packet) {
    std::uint32_t address = 0;
    if (!parseDottedAddress(host, address)) {
        std::lock_guard<std::mutex> guard(shared_->mutex);
        Shared& s = *shared_;
        if (s.stopping) {
            ++s.dropped;
            return false;
        }
        if (s.inFlight.count(host) != 0 || !s.cached(host, address)) {
            if (s.queue.size() >= kMaxWaiting) {
                ++s.dropped;
                ++s.unreportedDrops;
                return false;
            }
            try {
                if (!thread_.joinable())
                    thread_ = std::thread(&HostLookup::run, shared_);
                s.queue.push_back({host, port, packet});
                ++s.inFlight[host];
            } catch (const std::exception&) {
                // No thread or no memory: the datagram is lost.
                ++s.dropped;
                return false;
            }
            s.wake.notify_one();
            return true;
        }
    }
    shared_->transport.send(IpEndpointName(address, port), {packet});
    return true;
}

void HostLookup::run(std::shared_ptr<Shared> shared) {
    platform::nameThisThread("tavro lookup");
    platform::useCNumbersOnThisThread();
    Shared& s = *shared;
    std::unique_lock<std::mutex> lock(s.mutex);
    for (;;) {
        s.wake.wait(lock, [&] { return s.stopping || !s.queue.empty(); });
        if (s.stopping)
            break;
        Shared::Waiting next = std::move(s.queue.front());
        s.queue.pop_front();
        std::uint32_t address = 0;
        if (!s.cached(next.host, address)) {
            lock.unlock();
            address = s.transport.resolveHost(next.host.c_str());
            lock.lock();
            // Left behind by stop(): the transport may be gone.
            if (s.stopping)
                break;
            s.remember(next.host, address);
        }
        const std::uint64_t drops = std::exchange(s.unreportedDrops, 0);
        lock.unlock();
        try {
            s.transport.send(IpEndpointName(address, next.port), {next.packet});
        } catch (const std::exception&) {
            // An unreachable peer misses this datagram, as with any send.
        }
        if (drops != 0) {
            platform::reportf(platform::ReportLevel::kWarning,
                              "@@@ sendOSC: %llu datagrams dropped while host names were looked up",
                              static_cast<unsigned long long>(drops));
        }
        lock.lock();
        if (--s.inFlight[next.host] <= 0)
            s.inFlight.erase(next.host);
    }
    s.finished = true;
    s.finishedSignal.notify_all();
}

void HostLookup::stop(std::chrono::milliseconds wait) {
    bool finished = true;
    {
        std::unique_lock<std::mutex> lock(shared_->mutex);
        shared_->stopping = true;
        shared_->dropped += shared_->queue.size();
        shared_->queue.clear();
        shared_->wake.notify_all();
        if (thread_.joinable())
            finished =
                shared_->finishedSignal.wait_for(lock, wait, [&] { return shared_->finished; });
    }
    if (!thread_.joinable())
        return;
    if (finished) {
        thread_.join();
        return;
    }
    // A lookup that does not end (an unreachable name server): the host
    // must get its effClose back all the same.
    thread_.detach();
    platform::keepThisLibraryLoaded();
}

std::size_t HostLookup::waiting() const {
    std::lock_guard<std::mutex> guard(shared_->mutex);
    return shared_->queue.size();
}

std::uint64_t HostLookup::dropped() const {
    std::lock_guard<std::mutex> guard(shared_->mutex);
    return shared_->dropped;
}

}  // namespace QX
