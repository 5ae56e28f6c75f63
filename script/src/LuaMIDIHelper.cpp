#include "script/LuaMIDIHelper.h"

#include <cstdio>
#include <cstdlib>
#include <exception>

#include <lua.hpp>

#include "LuaMIDILibrary.h"
#include "ScriptGlobals.h"
#include "TimerService.h"
#include "platform/BuiltinResources.h"
#include "platform/Diagnostics.h"
#include "platform/Folders.h"
#include "plugin/ParameterTable.h"
#include "plugin/Properties.h"
#include "plugin/ZephCorvaneBase.h"
#include "script/LuaRuntime.h"

namespace QX {
namespace {

constexpr int kBuiltinMidiScriptId = 136;
const char* const kMidiScriptName = "midi.lua";

// Builds everything but the scripts, inside lua_cpcall so that running out of
// memory on the way is an error we can report instead of a panic.
int setUpState(lua_State* L) {
    auto* helper = static_cast<LuaMIDIHelper*>(lua_touserdata(L, 1));
    lua_settop(L, 0);
    luaL_openlibs(L);
    // The functions of Lua's own libraries, by value: peers reach scripts'
    // functions by name over the network ("/exec", "/call"), and dofile,
    // loadfile, require and the like must not be among them.
    lua_newtable(L);  // library functions
    for (lua_pushnil(L); lua_next(L, LUA_GLOBALSINDEX) != 0; lua_pop(L, 1)) {
        if (lua_type(L, -1) != LUA_TFUNCTION)
            continue;
        lua_pushvalue(L, -1);   // ..., key, f, f
        lua_pushboolean(L, 1);  // ..., key, f, f, true
        lua_rawset(L, -5);      // ..., key, f
    }
    lua_setfield(L, LUA_REGISTRYINDEX, LuaMIDIHelper::kLibraryFunctionsKey);  //
    luaopen_midihelper(L);
    LuaMIDILibrary::registerExtraFunctions(*helper, L);

    lua_pushlightuserdata(L, helper);                                               // helper
    lua_setfield(L, LUA_REGISTRYINDEX, LuaMIDIHelper::kRefconKey);                  //
    lua_pushlightuserdata(L, LuaMIDILibrary::parameterLookup(*helper));             // lookup
    lua_setfield(L, LUA_REGISTRYINDEX, LuaMIDIHelper::kParamLookupKey);             //
    lua_newtable(L);                                                                // functions
    LuaMIDILibrary::setTimerFunctionsRef(*helper, luaL_ref(L, LUA_REGISTRYINDEX));  //

    setProductGlobals(L);
    return 0;
}

}  // namespace

// ---- Construction ------------------------------------------------------------------------

LuaMIDIHelper::LuaMIDIHelper(ZephCorvaneBase& plugin)
    : plugin_(plugin),
      timers_(std::make_unique<TimerService>(
          [this](std::uint64_t id, bool oneShot) { timerExpired(id, oneShot); })) {}

LuaMIDIHelper::~LuaMIDIHelper() {
    StopTasks();
    std::lock_guard<std::recursive_mutex> guard(luaLock_);
    if (L_) {
        lua_close(L_);
        L_ = nullptr;
    }
}

void LuaMIDIHelper::StopTimers() {
    timers_->stop();
}

void LuaMIDIHelper::Interrupt() {
    stop_.Trip();
}

void LuaMIDIHelper::StopTasks() {
    // Before waiting for the timer thread: its callback may be the script
    // that never returns, or may wait for the Lua lock held by one.
    Interrupt();
    StopTimers();
}

void LuaMIDIHelper::SetOSCInterface(OSCScriptInterface* osc) {
    std::lock_guard<std::recursive_mutex> guard(luaLock_);
    osc_ = osc;
}

void LuaMIDIHelper::Initialise() {
    std::int32_t count = 0;
    ParameterDescriptor* table = nullptr;
    if (plugin_.getPropertyForView(prop::kParameterCount, 0, &count) == 0 &&
        plugin_.getPropertyForView(prop::kParameterTable, 0, &table) == 0 && table && count > 0) {
        std::lock_guard<std::recursive_mutex> guard(luaLock_);
        parameterCount_ = count;
        parameterTable_ = table;
    }
}

LuaMIDIHelper* LuaMIDIHelper::FromState(lua_State* L) {
    lua_getfield(L, LUA_REGISTRYINDEX, kRefconKey);  // helper
    auto* helper = static_cast<LuaMIDIHelper*>(lua_touserdata(L, -1));
    lua_pop(L, 1);  //
    return helper;
}

bool LuaMIDIHelper::IsParameterUsed(int /*index*/) {
    return true;
}

void LuaMIDIHelper::RegisterExtraFunctions(lua_State* /*L*/) {}

void LuaMIDIHelper::writeDebugOutput(const char* text) {
    platform::debugOutput(text);
}

// ---- The state and the scripts ------------------------------------------------------------

lua_State* LuaMIDIHelper::GetLuaState() {
    std::lock_guard<std::recursive_mutex> guard(luaLock_);
    if (!L_) {
        if (!parameterTable_)
            Initialise();
        L_ = createState();
        // Published before the scripts run: their top-level code may reach
        // code (the OSC server's) that asks for the state again.
        if (L_)
            loadScripts(L_);
    }
    return L_;
}

lua_State* LuaMIDIHelper::createState() {
    try {
        parameterLookup_.clear();
        for (int i = 0; i < parameterCount_; ++i)
            if (parameterTable_[i].name)
                parameterLookup_.emplace(parameterTable_[i].name, i);
    } catch (const std::exception&) {
        writeDebugOutput("@@@ failed to create the Lua state: not enough memory\n");
        return nullptr;
    }
    // Every script, the scripts' top level included, can be interrupted
    // when the plug-in closes.
    lua_State* L = newLuaState(stop_);
    if (!L) {
        writeDebugOutput("@@@ failed to create the Lua state: not enough memory\n");
        return nullptr;
    }
    if (lua_cpcall(L, setUpState, this) != 0) {
        reportError(L, "@@@ failed to create the Lua state: %s\n");
        lua_close(L);
        return nullptr;
    }
    return L;
}

void LuaMIDIHelper::loadScripts(lua_State* L) {
    std::vector<std::string> scripts;
    const char* family = nullptr;
    try {
        if (plugin_.getPropertyForView(prop::kFamilyText, 0, &family) == 0 && family)
            scripts = platform::listUserScripts(family);
    } catch (const std::exception&) {
        scripts.clear();
    }

    bool userMidiScript = false;
    for (const std::string& path : scripts) {
        const std::size_t slash = path.find_last_of("/\\");
        const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
        if (path.compare(start, 8, kMidiScriptName) == 0)
            userMidiScript = true;
    }

    if (!userMidiScript) {
        const platform::ResourceBlob builtin =
            platform::findBuiltinResource(platform::kResourceTypeScript, kBuiltinMidiScriptId);
        if (!builtin) {
            writeDebugOutput("@@@ failed to run buffer: the built-in midi.lua is missing\n");
        } else {
            runChunk(L,
                     luaL_loadbuffer(L, reinterpret_cast<const char*>(builtin.data), builtin.size,
                                     kMidiScriptName),
                     "@@@ failed to run buffer: %s\n");
        }
    }
    for (const std::string& path : scripts) {
        int status = luaL_loadfile(L, path.c_str());  // chunk (or error)
        if (status == 0)
            status = lua_pcall(L, 0, 0, 0);  // (or error)
        if (status == 0)
            continue;
        const std::string error = luaErrorText(L);
        lua_pop(L, 1);  //
        char line[1024];
        std::snprintf(line, sizeof line, "@@@ failed to run file: %s\n", error.c_str());
        writeDebugOutput(line);
        // The musician sees no debugger output: a script that did not run
        // is said where the editor shows it.
        std::string where, what;
        splitScriptError(error, where, what);
        if (where.empty()) {
            const std::size_t slash = path.find_last_of("/\\");
            where = slash == std::string::npos ? path : path.substr(slash + 1);
        }
        platform::report(
            platform::ReportLevel::kError,
            "MIDI script " + where + " did not load; correct it and reload the plug-in: " + what,
            &plugin_);
    }
}

bool LuaMIDIHelper::runChunk(lua_State* L, int loadStatus, const char* format) {
    return runLuaChunk(
        L, loadStatus, format,
        [](void* helper, const char* line) {
            static_cast<LuaMIDIHelper*>(helper)->writeDebugOutput(line);
        },
        this);
}

void LuaMIDIHelper::reportError(lua_State* L, const char* format) {
    // A fixed buffer: this also runs on the audio thread, where only Lua may
    // allocate. A very long message is cut short.
    char line[1024];
    std::snprintf(line, sizeof line, format, luaErrorText(L));
    writeDebugOutput(line);
    lua_pop(L, 1);  // (error popped)
}

// ---- MIDI dispatch --------------------------------------------------------------------------

bool LuaMIDIHelper::KeyedCallbacks::wants(int key) const {
    if (all.any.load(std::memory_order_acquire))
        return true;
    if (key < 0 || key >= keyCount)
        return false;
    const std::uint64_t bit = std::uint64_t{1} << (key & 63);
    return (bits[static_cast<std::size_t>(key >> 6)].load(std::memory_order_acquire) & bit) != 0;
}

void LuaMIDIHelper::KeyedCallbacks::mark(int key) {
    if (key < 0 || key >= keyCount)
        return;
    const std::uint64_t bit = std::uint64_t{1} << (key & 63);
    bits[static_cast<std::size_t>(key >> 6)].fetch_or(bit, std::memory_order_release);
}

void LuaMIDIHelper::HandleMIDIMessage(const MessageQueueItem& item) {
    if (item.kind != MessageQueueItem::kMidi)
        return;
    const int channel = item.channel & 0x0F;
    const int data1 = item.data1;
    const int data2 = item.data2;
    switch (item.status & 0xF0) {
        case 0x90:
            if (data2 > 0)
                NoteOn(channel, data1, data2);
            else
                NoteOff(channel, data1, data2);
            break;
        case 0x80:
            NoteOff(channel, data1, data2);
            break;
        case 0xA0: {
            const int args[] = {channel + 1, data1, data2};
            dispatch(polyPressure_, data1, args, 3);
            break;
        }
        case 0xB0:
            ControlChange(channel, data1, data2);
            break;
        case 0xC0: {
            const int args[] = {channel + 1, data1};
            dispatch(programChange_, data1, args, 2);
            break;
        }
        case 0xD0: {
            const int args[] = {channel + 1, data1};
            dispatch(channelPressure_, args, 2);
            break;
        }
        case 0xE0:
            PitchWheel(channel, data1, data2);
            break;
        default:
            break;
    }
}

void LuaMIDIHelper::NoteOn(int channel, int note, int velocity) {
    dispatchNoteOn(channel, note, velocity);
}

void LuaMIDIHelper::NoteOff(int channel, int note, int velocity) {
    dispatchNoteOff(channel, note, velocity);
}

void LuaMIDIHelper::ControlChange(int channel, int controller, int value) {
    dispatchControlChange(channel, controller, value);
}

void LuaMIDIHelper::PitchWheel(int channel, int lsb, int msb) {
    dispatchPitchWheel(channel, lsb, msb);
}

void LuaMIDIHelper::dispatchNoteOn(int channel, int note, int velocity) {
    const int args[] = {channel + 1, note, velocity};
    dispatch(noteOn_, note, args, 3);
}

void LuaMIDIHelper::dispatchNoteOff(int channel, int note, int velocity) {
    const int args[] = {channel + 1, note, velocity};
    dispatch(noteOff_, note, args, 3);
}

void LuaMIDIHelper::dispatchControlChange(int channel, int controller, int value) {
    switch (controller) {
        case 99:
            nrpnState_.parameterMsb = value;
            break;
        case 98:
            nrpnState_.parameterLsb = value;
            break;
        case 38:
            nrpnState_.dataLsb = value;
            break;
        case 6:
            nrpnState_.dataMsb = value;
            break;
        default:
            break;
    }
    if (controller == 6 || controller == 38) {
        const int parameter = nrpnState_.parameterMsb * 128 + nrpnState_.parameterLsb;
        const int args[] = {channel + 1, parameter, nrpnState_.dataMsb * 128 + nrpnState_.dataLsb};
        dispatch(nrpn_, parameter, args, 3);
    }
    const int args[] = {channel + 1, controller, value};
    dispatch(controlChange_, controller, args, 3);
}

void LuaMIDIHelper::dispatchPitchWheel(int channel, int lsb, int msb) {
    const int args[] = {channel + 1, msb * 128 + lsb};
    dispatch(pitchWheel_, args, 2);
}

void LuaMIDIHelper::dispatch(KeyedCallbacks& callbacks, int key, const int* args, int count) {
    if (!callbacks.wants(key))
        return;
    std::lock_guard<std::recursive_mutex> guard(luaLock_);
    if (!L_)
        return;
    callEach(L_, callbacks.all.refs, args, count);
    const auto keyed = callbacks.byKey.find(key);
    if (keyed != callbacks.byKey.end())
        callEach(L_, keyed->second, args, count);
}

void LuaMIDIHelper::dispatch(CallbackList& list, const int* args, int count) {
    if (!list.any.load(std::memory_order_acquire))
        return;
    std::lock_guard<std::recursive_mutex> guard(luaLock_);
    if (L_)
        callEach(L_, list.refs, args, count);
}

void LuaMIDIHelper::callEach(lua_State* L, const std::vector<int>& refs, const int* args,
                             int count) {
    // A callback may register further callbacks (growing `refs`); they run
    // from the next message on. Indices, not iterators: the vector may move.
    const std::size_t registered = refs.size();
    for (std::size_t i = 0; i < registered; ++i) {
        lua_rawgeti(L, LUA_REGISTRYINDEX, refs[i]);  // f
        for (int a = 0; a < count; ++a)
            lua_pushinteger(L, args[a]);  // f, args...
        if (lua_pcall(L, count, 0, 0) != 0) {
            // Swallowed: the audio thread prints nothing (the debugger output
            // locks and is slow); the count tells that it happened.
            callbackErrorMail_.record(luaErrorText(L));
            lua_pop(L, 1);  //
            callbackErrors_.fetch_add(1, std::memory_order_relaxed);
        }
    }
}

void LuaMIDIHelper::reportDeferredDiagnostics() {
    std::string first;
    long count = 0;
    if (!callbackErrorMail_.take(first, count))
        return;
    std::string where, what;
    splitScriptError(first, where, what);
    // The count goes before the message, which may be cut short on screen.
    const std::string times = count > 1 ? " (" + std::to_string(count) + " errors)" : "";
    const std::string line = "MIDI script " + (where.empty() ? std::string() : where + " ") +
                             "failed in a MIDI callback" + times +
                             "; correct it and reload the plug-in: " +
                             (what.empty() ? std::string("(its message was not kept)") : what);
    platform::report(platform::ReportLevel::kError, line, &plugin_);
}

// ---- Timers -----------------------------------------------------------------------------------

void LuaMIDIHelper::timerExpired(std::uint64_t id, bool oneShot) {
    std::lock_guard<std::recursive_mutex> guard(luaLock_);
    lua_State* L = L_;
    if (!L)
        return;
    const int top = lua_gettop(L);
    lua_rawgeti(L, LUA_REGISTRYINDEX, timerFunctionsRef_);  // functions
    lua_pushnumber(L, static_cast<lua_Number>(id));         // functions, id
    lua_rawget(L, -2);                                      // functions, f
    if (lua_isfunction(L, -1)) {
        if (oneShot) {
            lua_pushnumber(L, static_cast<lua_Number>(id));  // functions, f, id
            lua_pushnil(L);                                  // functions, f, id, nil
            lua_rawset(L, -4);                               // functions, f
        }
        if (lua_pcall(L, 0, 0, 0) != 0)  // functions (, error)
            reportError(L, "@@@ %s\n");  // functions
    }
    lua_settop(L, top);  //
}

// ---- LuaMIDILibrary -------------------------------------------------------------------------

namespace {

bool append(std::vector<int>& refs, std::atomic<bool>& any, int ref) noexcept {
    try {
        refs.push_back(ref);
    } catch (...) {
        return false;
    }
    any.store(true, std::memory_order_release);
    return true;
}

}  // namespace

LuaMIDIHelper::KeyedCallbacks& LuaMIDILibrary::keyed(LuaMIDIHelper& helper, Keyed which) {
    switch (which) {
        case kNoteOn:
            return helper.noteOn_;
        case kNoteOff:
            return helper.noteOff_;
        case kControlChange:
            return helper.controlChange_;
        case kNrpn:
            return helper.nrpn_;
        case kProgramChange:
            return helper.programChange_;
        case kPolyPressure:
        default:
            return helper.polyPressure_;
    }
}

bool LuaMIDILibrary::addAll(LuaMIDIHelper& helper, Keyed which, int ref) noexcept {
    auto& callbacks = keyed(helper, which);
    return append(callbacks.all.refs, callbacks.all.any, ref);
}

bool LuaMIDILibrary::addKeyed(LuaMIDIHelper& helper, Keyed which, int key, int ref) noexcept {
    auto& callbacks = keyed(helper, which);
    try {
        callbacks.byKey[key].push_back(ref);
    } catch (...) {
        return false;
    }
    callbacks.mark(key);
    return true;
}

bool LuaMIDILibrary::addListed(LuaMIDIHelper& helper, Listed which, int ref) noexcept {
    auto& list = which == kPitchWheel ? helper.pitchWheel_ : helper.channelPressure_;
    return append(list.refs, list.any, ref);
}

void LuaMIDILibrary::pushTimerFunctions(lua_State* L, LuaMIDIHelper& helper) {
    lua_rawgeti(L, LUA_REGISTRYINDEX, helper.timerFunctionsRef_);  // functions
}

bool LuaMIDILibrary::startTimer(LuaMIDIHelper& helper, std::uint64_t id, std::int64_t milliseconds,
                                bool periodic) noexcept {
    return helper.timers_->start(id, std::chrono::milliseconds(milliseconds), periodic);
}

void LuaMIDILibrary::cancelTimer(LuaMIDIHelper& helper, std::uint64_t id) noexcept {
    helper.timers_->cancel(id);
}

void LuaMIDILibrary::registerExtraFunctions(LuaMIDIHelper& helper, lua_State* L) {
    helper.RegisterExtraFunctions(L);
}

void* LuaMIDILibrary::parameterLookup(LuaMIDIHelper& helper) {
    return &helper.parameterLookup_;
}

void LuaMIDILibrary::setTimerFunctionsRef(LuaMIDIHelper& helper, int ref) {
    helper.timerFunctionsRef_ = ref;
}

}  // namespace QX
