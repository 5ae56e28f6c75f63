#include "script/LuaRuntime.h"
#include "platform/Diagnostics.h"

#include <cstdio>
#include <cstdlib>

#include <lua.hpp>

namespace QX {

namespace {

// Lua instructions between two looks at the stop signal.
constexpr int kCheckInstructions = 1000;

std::int64_t steadyNs(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

// The standard allocator (realloc and free), with the stop signal as its
// user data: the hook finds it there without a lookup.
void* allocate(void* /*signal*/, void* block, std::size_t /*oldSize*/, std::size_t newSize) {
    if (newSize == 0) {
        std::free(block);
        return nullptr;
    }
    return std::realloc(block, newSize);
}

// As the standard state's: an error outside any protected call.
int panic(lua_State* L) {
    platform::reportf(platform::ReportLevel::kError,
                      "PANIC: unprotected error in call to Lua API (%s)",
                      lua_type(L, -1) == LUA_TSTRING ? lua_tostring(L, -1) : "?");
    return 0;
}

void stopHook(lua_State* L, lua_Debug* /*debug*/) {
    void* user = nullptr;
    lua_getallocf(L, &user);
    const auto* signal = static_cast<const LuaStopSignal*>(user);
    const char* reason = signal ? signal->Check() : nullptr;
    if (!reason) {
        // Back to the usual spacing once a deadline was lifted.
        if (lua_gethookcount(L) != kCheckInstructions)
            lua_sethook(L, stopHook, LUA_MASKCOUNT, kCheckInstructions);
        return;
    }
    // From now on at every instruction of this thread: a script that
    // catches the error with pcall in a loop meets it again at the loop's
    // next instruction.
    lua_sethook(L, stopHook, LUA_MASKCOUNT, 1);
    luaL_error(L, "%s", reason);
}

}  // namespace

void LuaStopSignal::SetDeadline(std::chrono::steady_clock::time_point deadline) {
    deadlineNs_.store(steadyNs(deadline), std::memory_order_release);
}

const char* LuaStopSignal::Check() const {
    if (Tripped())
        return reason_;
    const std::int64_t deadline = deadlineNs_.load(std::memory_order_acquire);
    if (deadline != 0 && steadyNs(std::chrono::steady_clock::now()) >= deadline)
        return "interrupted: the script ran too long";
    return nullptr;
}

lua_State* newLuaState(LuaStopSignal& signal) {
    lua_State* L = lua_newstate(allocate, &signal);
    if (!L)
        return nullptr;
    lua_atpanic(L, panic);
    // Every script, the scripts' top level included, can be stopped.
    // Coroutines inherit the hook.
    lua_sethook(L, stopHook, LUA_MASKCOUNT, kCheckInstructions);
    return L;
}

const char* luaErrorText(lua_State* L) {
    const char* text = lua_type(L, -1) == LUA_TSTRING ? lua_tostring(L, -1) : nullptr;
    return text ? text : "(error object is not a string)";
}

bool runLuaChunk(lua_State* L, int loadStatus, const char* format, LuaReportFunction write,
                 void* context) {
    // chunk (or error)
    int status = loadStatus;
    if (status == 0)
        status = lua_pcall(L, 0, 0, 0);  // (or error)
    if (status == 0)
        return true;
    char line[1024];
    std::snprintf(line, sizeof line, format, luaErrorText(L));
    write(context, line);
    lua_pop(L, 1);  //
    return false;
}

}  // namespace QX
