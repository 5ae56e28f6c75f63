#pragma once
// The Lua 5.1 environment in which a plug-in instance's MIDI scripts run:
// the built-in or the user's "midi.lua" and every other script of the user's
// Scripts folder. Scripts subscribe to incoming MIDI, read and set parameters
// (also other instances'), start timers, send OSC and bind OSC addresses
// through the OSC server, and keep eight indicator flags.
//
// Who enters the Lua state, always holding luaLock():
//   - the thread that first calls GetLuaState() (the scripts' top level);
//   - the audio thread, while a script's MIDI callback runs;
//   - the timer thread, while a timer callback runs;
//   - the OSC receive thread ("/exec", "/call", function paths).
// Script code therefore never runs on two threads at once. The timer lock is
// never held while the Lua lock is taken, and no thread that holds the
// instance registry's lock takes the Lua lock.

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "plugin/MidiScripting.h"
#include "script/CallbackErrorMailbox.h"
#include "script/LuaRuntime.h"

struct lua_Debug;
struct lua_State;
struct ParameterDescriptor;
class ZephCorvaneBase;

namespace QX {

class OSCScriptInterface;
class TimerService;
struct LuaMIDILibrary;

class LuaMIDIHelper : public MidiScripting {
public:
    static constexpr const char* kRefconKey = "QX::LuaMIDIHelper::kRefcon";
    static constexpr const char* kParamLookupKey = "QX::LuaMIDIHelper::kParamLookup";
    // A set (function -> true) of the standard libraries' global functions,
    // which remote peers may not call.
    static constexpr const char* kLibraryFunctionsKey = "QX::LuaMIDIHelper::kLibraryFunctions";
    static constexpr const char* kTimerMetatable = "QX::LuaMIDIHelper::Timer";
    static constexpr int kIndicatorCount = 8;
    // Display name -> index; the state's registry holds a pointer to it.
    using ParameterLookup = std::map<std::string, int, std::less<>>;

    explicit LuaMIDIHelper(ZephCorvaneBase& plugin);
    // Stops the timers (waiting for a running callback), then closes the
    // state. [main-thread; the audio and OSC threads no longer call in]
    ~LuaMIDIHelper() override;
    LuaMIDIHelper(const LuaMIDIHelper&) = delete;
    LuaMIDIHelper& operator=(const LuaMIDIHelper&) = delete;

    // ---- Set-up ------------------------------------------------------------------------
    // [main-thread] Set by the factory once the OSC server exists; may stay
    // null (sendOSC and the registerOSCPath functions then do nothing). Takes
    // the Lua lock, so the OSC server must call SetOSCInterface(nullptr)
    // before it goes: that waits for a script call running on another thread.
    void SetOSCInterface(OSCScriptInterface* osc);
    // [main-thread] At the instance's open: the parameter count and table
    // (properties 64007 and 64010).
    void Initialise() override;

    // ---- The Lua state -------------------------------------------------------------------
    // [any-thread except audio] The state, created on first use with the
    // scripts loaded (which runs script code on the calling thread). Null
    // only when Lua runs out of memory building it. Takes the Lua lock; callers that
    // then run script code hold luaLock() around it themselves.
    lua_State* GetLuaState();
    // Recursive. Held around every call into script code.
    std::recursive_mutex& luaLock() { return luaLock_; }
    // The helper that owns `L`, from its registry entry.
    static LuaMIDIHelper* FromState(lua_State* L);
    // [Lua lock held; inside a lua_CFunction of a helper's state] The
    // parameter rule of the Lua API: a number (or numeric string) is an
    // index that must be in range, any other string a display name; raises
    // the Lua errors "parameter out of range: %d", "parameter not found:
    // '%s'" or a standard argument error.
    static int CheckParameter(lua_State* L, int arg);
    // The display name at `arg` looked up: its index, or the Lua error
    // "parameter not found: '<name>'"; a non-string is an argument error.
    static int ParameterByName(lua_State* L, int arg);

    // [main-thread] Stops the timers for good and waits for a running timer
    // callback. Timer callbacks reach the plug-in (setParameter, the OSC
    // server), so the plug-in calls this before it takes its helpers apart;
    // a subclass whose overrides a timer callback may reach calls it first
    // thing in its destructor. Idempotent; the destructor calls it too.
    void StopTimers();
    // [any-thread] From now on every script that runs, on any thread, ends
    // with the error "interrupted: the plug-in is closing" within a
    // thousand Lua instructions (at once after the first such error): a
    // count hook checks the flag. Script code blocked inside a C function
    // (a read from a pipe) is not reached until that function returns.
    void Interrupt();
    // Interrupt, then StopTimers.
    void StopTasks() override;
    // [any-thread except audio; one caller at a time] Says what the MIDI
    // callbacks raised since the last call: one report for the musician
    // with the first error's script and line and how many more there were.
    void reportDeferredDiagnostics() override;

    // ---- MIDI ------------------------------------------------------------------------------
    // [audio-thread] Routes one item of the host event queue. Takes the Lua
    // lock only while a script's callback runs; does nothing, and takes no
    // lock, when no script asked for that message. Allocates only through
    // Lua (the callbacks' own work).
    void HandleMIDIMessage(const MessageQueueItem& item) override;

    // The hooks HandleMIDIMessage calls (channel 0..15). The base dispatches
    // to the scripts; the OSC server calls NoteOn/NoteOff for "/startNote"
    // and "/stopNote". [audio-thread or OSC thread]
    virtual void NoteOn(int channel, int note, int velocity);
    virtual void NoteOff(int channel, int note, int velocity);
    // Tracks NRPN numbers and values, then runs the NRPN and control-change
    // callbacks.
    virtual void ControlChange(int channel, int controller, int value);
    virtual void PitchWheel(int channel, int lsb, int msb);

    virtual bool IsParameterUsed(int index);
    // The eight indicator flags (id 0..7, checked by the caller).
    // [any-thread, lock-free] Must not take the Lua lock.
    virtual void SetGUIBoolValue(int id, bool value) = 0;
    virtual bool GetGUIBoolValue(int id) = 0;

    // ---- For subclasses and the script functions ---------------------------------------------
    ZephCorvaneBase& plugin() { return plugin_; }
    int parameterCount() const { return parameterCount_; }
    // MIDI callbacks that raised an error (swallowed on the audio thread).
    long callbackErrors() const { return callbackErrors_.load(std::memory_order_relaxed); }
    const ParameterDescriptor* parameterTable() const { return parameterTable_; }

protected:
    // [Lua lock held] Called while the state is built, after the common
    // functions; registers the plug-in's own globals. The base adds none.
    virtual void RegisterExtraFunctions(lua_State* L);
    // Where Lua's print and the "@@@ " diagnostics go; the debugger output.
    // [any-thread]
    virtual void writeDebugOutput(const char* text);

    // The base behaviour of the four hooks.
    void dispatchNoteOn(int channel, int note, int velocity);
    void dispatchNoteOff(int channel, int note, int velocity);
    void dispatchControlChange(int channel, int controller, int value);
    void dispatchPitchWheel(int channel, int lsb, int msb);

private:
    friend struct LuaMIDILibrary;

    // Registry references of Lua functions, in registration order. The flag
    // lets the audio thread see without a lock that the list is empty.
    struct CallbackList {
        std::vector<int> refs;
        std::atomic<bool> any{false};
    };
    // An "all" list plus lists by key (note, controller, program, NRPN
    // number). One bit per possible key tells the audio thread, without a
    // lock, whether a message has a callback; keys outside 0..keyCount-1 are
    // kept but can never match.
    struct KeyedCallbacks {
        static constexpr int kMaxKeys = 16384;
        explicit KeyedCallbacks(int keys) : keyCount(keys) {}

        bool wants(int key) const;
        void mark(int key);

        const int keyCount;
        CallbackList all;
        std::map<int, std::vector<int>> byKey;
        std::array<std::atomic<std::uint64_t>, kMaxKeys / 64> bits{};
    };
    struct NrpnState {
        int parameterLsb = 0;
        int parameterMsb = 0;
        int dataLsb = 0;
        int dataMsb = 0;
    };

    lua_State* createState();
    void loadScripts(lua_State* L);
    bool runChunk(lua_State* L, int loadStatus, const char* format);
    // [Lua lock held] Calls every function of `refs` present when the call
    // began with the `count` integers of `args`; errors are reported, not
    // raised.
    void callEach(lua_State* L, const std::vector<int>& refs, const int* args, int count);
    void dispatch(KeyedCallbacks& callbacks, int key, const int* args, int count);
    void dispatch(CallbackList& list, const int* args, int count);
    void reportError(lua_State* L, const char* context);
    // Timer thread: runs the timer's function unless it was cancelled.
    void timerExpired(std::uint64_t id, bool oneShot);

    ZephCorvaneBase& plugin_;
    OSCScriptInterface* osc_ = nullptr;
    int parameterCount_ = 0;
    const ParameterDescriptor* parameterTable_ = nullptr;

    std::recursive_mutex luaLock_;
    lua_State* L_ = nullptr;
    // Read by the state's count hook on whichever thread runs a script.
    LuaStopSignal stop_{"interrupted: the plug-in is closing"};
    ParameterLookup parameterLookup_;

    KeyedCallbacks noteOn_{128};
    KeyedCallbacks noteOff_{128};
    KeyedCallbacks controlChange_{128};
    KeyedCallbacks nrpn_{KeyedCallbacks::kMaxKeys};
    KeyedCallbacks programChange_{128};
    KeyedCallbacks polyPressure_{128};
    CallbackList pitchWheel_;
    CallbackList channelPressure_;
    // Audio thread only (ControlChange); one set for all channels.
    NrpnState nrpnState_;

    // Timer callbacks live in a registry table keyed by timer id, so that a
    // cancelled timer's expiry already on its way finds nothing to call, and
    // an id is never reused. Ids are taken under the Lua lock.
    int timerFunctionsRef_ = -1;
    std::uint64_t nextTimerId_ = 0;
    std::unique_ptr<TimerService> timers_;
    std::atomic<long> callbackErrors_{0};
    // The same errors, with the first one's text, for reportDeferredDiagnostics.
    CallbackErrorMailbox callbackErrorMail_;
};

}  // namespace QX
