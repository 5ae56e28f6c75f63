#pragma once
// What every Lua state of the plug-in is made with, the MIDI scripts' and
// the editor's alike: the standard allocator, a panic handler that reports,
// and a count hook through which the state's owner ends a script that runs
// too long or must stop because its owner is going.

#include <atomic>
#include <chrono>
#include <cstdint>

struct lua_State;

namespace QX {

// The stop signal of one Lua state. Tripped, every script of the state ends
// with an error at its next look (and at every instruction after: a script
// that catches the error in a loop meets it again). A deadline ends only
// what runs past it. [any-thread, lock-free]
class LuaStopSignal {
public:
    // `reason` is the error scripts end with once tripped (a literal).
    explicit LuaStopSignal(const char* reason) : reason_(reason) {}

    void Trip() { tripped_.store(true, std::memory_order_release); }
    bool Tripped() const { return tripped_.load(std::memory_order_acquire); }
    // [the thread about to run the state] Scripts still running at
    // `deadline` end; ClearDeadline lifts it.
    void SetDeadline(std::chrono::steady_clock::time_point deadline);
    void ClearDeadline() { deadlineNs_.store(0, std::memory_order_release); }
    // The error a script meets now, or null to go on. Reads the clock only
    // while a deadline is set (the MIDI scripts run on the audio thread,
    // which sets none).
    const char* Check() const;

private:
    const char* reason_;
    std::atomic<bool> tripped_{false};
    std::atomic<std::int64_t> deadlineNs_{0};
};

// A new state whose allocator, panic handler and count hook serve `signal`,
// which must outlive it; null when out of memory.
lua_State* newLuaState(LuaStopSignal& signal);

// The error object on top of the stack as text, without allocating.
const char* luaErrorText(lua_State* L);

// Runs a chunk luaL_load* left on the stack (or reports its load error):
// false, with the error written through `write` formatted by `format` (one
// %s), when it fails. A fixed buffer: this also runs on the audio thread.
using LuaReportFunction = void (*)(void* context, const char* line);
bool runLuaChunk(lua_State* L, int loadStatus, const char* format, LuaReportFunction write,
                 void* context);

}  // namespace QX
