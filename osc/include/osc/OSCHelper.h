#pragma once
// The OSC server of one plug-in instance: a UDP receive thread that reads,
// sets and watches the instance's parameters, runs functions of its Lua MIDI
// script and sets parameters of other instances ("/zeph/..."), and a notify
// thread that tells registered peers of parameter changes. Scripts use the
// same object to send OSC and to bind their own addresses.
//
// Threads and locks:
//   - receive thread: every received datagram (handlePacket), parameter sets;
//     takes the tables lock briefly, the Lua lock around script calls and
//     the registry lock around "/zeph/" targets, never two of them at once;
//   - notify thread: drains the SetParamQueue and sends notifications;
//   - any thread, the audio thread included: parameterChanged and
//     portChanged, both lock-free (atomics and a wake signal);
//   - Lua callers (holding the Lua lock): the script functions, which take
//     the tables lock.
// The tables lock is never held while a script runs, a parameter is set or a
// datagram is sent.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <osc/OscPacketListener.h>

#include "osc/HostLookup.h"
#include "osc/OscLuaAccess.h"
#include "osc/OscTransport.h"
#include "osc/SetParamQueue.h"
#include "platform/WakeSignal.h"
#include "plugin/OscServerControl.h"
#include "script/OSCScriptInterface.h"

class SocketReceiveMultiplexer;
class ZephCorvaneBase;
struct ParameterDescriptor;

namespace QX {

class OSCHelper : public osc::OscPacketListener,
                  public OscServerControl,
                  public OSCScriptInterface {
public:
    static constexpr std::size_t kPacketBufferSize = 1024;
    static constexpr int kStopWaitMs = 5000;
    // How long a listening receive thread may take to notice a new port.
    static constexpr int kPortPollMs = 50;

    struct UpdateRegistration {
        std::uint32_t address;  // IPv4, host byte order
        std::int32_t port;
        std::string path;
        bool operator==(const UpdateRegistration& o) const {
            return address == o.address && port == o.port && path == o.path;
        }
    };
    struct ParamPathBinding {
        std::int32_t index;
        float offset;
        float scale;
    };

    // `lua` may be null: no Lua support ("/exec", "/call" and function
    // paths fail). `transport` (not owned) null means UDP. [main-thread]
    OSCHelper(ZephCorvaneBase& owner, std::unique_ptr<OscLuaAccess> lua = nullptr,
              OscTransport* transport = nullptr);
    // Stops both threads.
    ~OSCHelper() override;
    OSCHelper(const OSCHelper&) = delete;
    OSCHelper& operator=(const OSCHelper&) = delete;

    // ---- OscServerControl ------------------------------------------------------------
    // [main-thread] Product name, parameter count and table from the owner's
    // properties; creates the Lua state (running the MIDI scripts).
    void Initialise() override;
    // [main-thread] Starts the receive and notify threads; the receive thread
    // listens as soon as a non-zero port is requested.
    void StartTasks() override;
    // [main-thread] Stops both threads, waiting for each.
    void StopTasks() override;
    // [any-thread, lock-free] 0 closes the socket; another port closes it
    // and listens on the new one; the port already listened on keeps its
    // socket. The receive thread acts on it within kPortPollMs.
    void portChanged(int port) override;
    // [any-thread, lock-free] SetParamQueue::Write: queues the change for the
    // notify thread when a peer registered for `index`. Never blocks; a full
    // queue drops the change.
    void parameterChanged(int index, float native) override;

    // ---- OSCScriptInterface [Lua lock held, inside a lua_CFunction] ----------------------
    // Never looks a host name up while the caller holds the Lua lock: a
    // name not known yet is resolved, and the datagram sent, by the lookup
    // thread (HostLookup).
    int SendOSCFromLua(lua_State* L) override;
    int RegisterOSCPathForParameter(lua_State* L, bool normalised) override;
    int RegisterOSCPathForFunction(lua_State* L) override;

    // ---- Packets ---------------------------------------------------------------------
    // oscpack's entry: the receive thread's datagrams.
    void ProcessPacket(const char* data, int size, const IpEndpointName& remoteEndpoint) override;
    // One received datagram, checked whole before anything is read; failures
    // are printed, never thrown. [receive thread; tests and the fuzz target
    // call it directly]
    void handlePacket(const char* data, std::size_t size, const IpEndpointName& remoteEndpoint);

    // ---- Inspection [any-thread] ------------------------------------------------------------
    // The port the socket is bound to; 0 while none is open.
    int boundPort() const { return boundPort_.load(std::memory_order_acquire); }
    std::size_t updateRegistrationCount() const;
    bool isRegisteredForUpdates(int index) const;
    // Changes waiting for the notify thread, and changes dropped so far
    // because the queue was full.
    std::uint32_t pendingChanges() const { return queue_.size(); }
    std::uint64_t droppedChanges() const { return dropped_.load(std::memory_order_relaxed); }
    HostLookup& hostLookup() { return lookup_; }

protected:
    // A touch frame is consumed whole; every other bundle is walked in
    // order, nested bundles included.
    void ProcessBundle(const osc::ReceivedBundle& bundle,
                       const IpEndpointName& remoteEndpoint) override;
    // The dispatcher: catches every failure of the message and prints it.
    void ProcessMessage(const osc::ReceivedMessage& message,
                        const IpEndpointName& remoteEndpoint) override;
    // A message that matches nothing. The base ignores it.
    virtual void HandleUnknownMessage(const char* addressString,
                                      const osc::ReceivedMessage& message,
                                      const IpEndpointName& remoteEndpoint);
    // Whether "/getAll" reports the parameter and "/getInfo" describes it.
    // The base counts every parameter as used.
    virtual bool IsParameterUsed(int index);

private:
    class BreakWatch;
    using Handler = void (OSCHelper::*)(const osc::ReceivedMessage&, const IpEndpointName&);
    struct BuiltIn {
        const char* address;
        Handler handler;
    };
    static const BuiltIn kBuiltIns[];

    // ---- Dispatch ----
    void processBundle(const osc::ReceivedBundle& bundle, const IpEndpointName& remoteEndpoint,
                       int depth);
    void consumeTouchFrame(const osc::ReceivedBundle& bundle);
    void dispatch(const osc::ReceivedMessage& message, const IpEndpointName& remoteEndpoint);
    bool dispatchParameterPath(const osc::ReceivedMessage& message);
    bool dispatchFunctionPath(const osc::ReceivedMessage& message);
    void applyZephTargets(const osc::ReceivedMessage& message);
    void checkIndex(int index, const char* failure) const;
    IpEndpointName replyTo(const char* url);

    void ping(const osc::ReceivedMessage& message, const IpEndpointName& remoteEndpoint);
    void set(const osc::ReceivedMessage& message, const IpEndpointName& remoteEndpoint);
    void get(const osc::ReceivedMessage& message, const IpEndpointName& remoteEndpoint);
    void getAll(const osc::ReceivedMessage& message, const IpEndpointName& remoteEndpoint);
    void getAllRegistered(const osc::ReceivedMessage& message,
                          const IpEndpointName& remoteEndpoint);
    void getNumParameters(const osc::ReceivedMessage& message,
                          const IpEndpointName& remoteEndpoint);
    void isParameterUsed(const osc::ReceivedMessage& message, const IpEndpointName& remoteEndpoint);
    void getInfo(const osc::ReceivedMessage& message, const IpEndpointName& remoteEndpoint);
    void registerUpdate(const osc::ReceivedMessage& message, const IpEndpointName& remoteEndpoint);
    void unregisterUpdate(const osc::ReceivedMessage& message,
                          const IpEndpointName& remoteEndpoint);
    void exec(const osc::ReceivedMessage& message, const IpEndpointName& remoteEndpoint);
    void call(const osc::ReceivedMessage& message, const IpEndpointName& remoteEndpoint);
    void startNote(const osc::ReceivedMessage& message, const IpEndpointName& remoteEndpoint);
    void stopNote(const osc::ReceivedMessage& message, const IpEndpointName& remoteEndpoint);

    // ---- Lua ----
    // Calls the global function `name` with the arguments from `first` on,
    // keeping `results` results on the stack for `useResults`.
    template <typename UseResults>
    void callGlobal(const char* name, osc::ReceivedMessageArgumentIterator first,
                    osc::ReceivedMessageArgumentIterator end, int results, UseResults&& useResults);
    bool buildLuaMessage(lua_State* L, const char* url, const char* path, const char* format,
                         int valuesIndex, char* error, std::size_t errorSize) noexcept;
    enum class ParameterCheck { Ok, OutOfRange, NotFound, WrongType };
    ParameterCheck checkParameter(lua_State* L, int index, int& parameter) const;
    int raiseParameterError(lua_State* L, ParameterCheck check, int stackIndex, int parameter);
    bool addParameterPathFromLua(lua_State* L, const char* path, bool many, int count,
                                 bool normalised, bool& inconsistent) noexcept;
    bool addFunctionPath(const char* path, int reference) noexcept;

    // ---- Threads ----
    void TaskMain();
    void NotifyTaskMain();
    // Listens until the thread quits or another port is asked for; `handled`
    // is the count of port requests acted on, kept up to date.
    void listenOn(int port, std::uint32_t& handled);
    void breakListening();  // control lock held
    void wakeNotifier();
    void notifyChanges(std::vector<std::pair<std::int32_t, float>>& batch);
    static void waitForThread(std::thread& thread, std::mutex& mutex, std::condition_variable& done,
                              const bool& finished, const char* name);

    ZephCorvaneBase& owner_;
    std::unique_ptr<OscLuaAccess> lua_;
    OscTransport* transport_;
    // Reply and script hosts by name; sendOSC never waits for a lookup.
    HostLookup lookup_;

    // Read from the owner at Initialise, before the threads start.
    std::string productName_;
    int parameterCount_ = 0;
    const ParameterDescriptor* table_ = nullptr;

    // One byte per parameter, 1 while a peer is registered for it; read by
    // parameterChanged without a lock. Allocated once, at Initialise.
    std::unique_ptr<std::atomic<std::uint8_t>[]> registered_;
    std::atomic<int> registeredSize_{0};

    // The registration tables. A lock of their own keeps them consistent
    // between the receive thread, the notify thread and script calls.
    mutable std::mutex tablesMutex_;
    std::multimap<std::int32_t, UpdateRegistration> updates_;
    std::multimap<std::string, std::vector<ParamPathBinding>, std::less<>> parameterPaths_;
    std::multimap<std::string, int, std::less<>> functionPaths_;

    // Receive thread control. A port request is the port and a count of
    // requests, both atomic, and a wake-up: portChanged may run on the audio
    // thread. The control lock guards the thread's start and end and the
    // published multiplexer, which only StopTasks breaks from outside.
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
