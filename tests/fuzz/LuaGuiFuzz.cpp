// What a skin's scripts can do to the editor: the input is decoded into
// calls of the GUI functions and methods (every function the editor's state
// has beyond the standard library's, found at run time) with arguments of
// every Lua type, made while the scripts load (no editor yet), inside
// createUI, and once the editor is open, where nothing may be added to the
// layout any more. Lua errors are expected; a crash, a sanitizer report, an
// unbalanced stack or a layout that grows after the editor opened is a
// finding. No window and no GL: the layout tests build the tree the same way.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <lua.hpp>

#include "FuzzTarget.h"
#include "QuietPlugin.h"
#include "engine/ZephCorvane.h"
#include "gui/ALmanager.h"
#include "gui/Buttons.h"
#include "gui/Group.h"
#include "osc/OSCHelper.h"
#include "platform/Diagnostics.h"
#include "platform/MemoryMidiInput.h"
#include "platform/Preferences.h"
#include "platform/testing/TestAccess.h"
#include "script/PluginLuaGui.h"

namespace {

using fuzzplugin::BareLua;
using fuzzplugin::Helpers;
using fuzzplugin::hostCallback;
using fuzzplugin::NullTransport;
using fuzzplugin::QuietBoxes;
using fuzzplugin::QuietPreferences;

class QuietHost : public QX::ManagerHost {
public:
    void BeginEdit(int) override {}
    void EndEdit(int) override {}
    void Automate(int, float) override {}
    void SizeWindow(int, int) override {}
};

class QuietGui : public QX::PluginLuaGui {
public:
    using PluginLuaGui::PluginLuaGui;
    void writeDebugOutput(const char*) override {}
};

// ---- Decoding ------------------------------------------------------------------------

const double kInf = std::numeric_limits<double>::infinity();
const double kNumbers[] = {0,
                           1,
                           -1,
                           0.5,
                           2,
                           10,
                           27,
                           28,
                           100,
                           1000,
                           32767,
                           65535,
                           1e9,
                           -1e9,
                           1e300,
                           -1e300,
                           1e-300,
                           kInf,
                           -kInf,
                           std::nan(""),
                           2147483648.0,
                           -2147483649.0,
                           9.2e18,
                           16,
                           33,
                           64007,
                           64008,
                           64012,
                           64094,
                           64100,
                           64101,
                           64140,
                           4294967295.0,
                           4294967296.0};
const char* const kWords[] = {"",
                              "Swing",
                              "Clock",
                              "Output Level",
                              "MIDI Channel",
                              "Nope",
                              "h",
                              "v",
                              "horizontal",
                              "vertical",
                              "diagonal",
                              "toggle",
                              "indicator",
                              "momentary",
                              "none",
                              "full",
                              "n",
                              "left",
                              "right",
                              "centre",
                              "tile",
                              "stretch",
                              "buttons.png",
                              "gui.lua",
                              "missing.png",
                              "Prefs",
                              "Nowhere",
                              "%5.1f",
                              "%s%n%s",
                              "%999999999.999999999f",
                              "%%",
                              "osc.udp://127.0.0.1:9000",
                              "127.0.0.1",
                              "/ping",
                              "/a/b",
                              ",ifsb",
                              "ifsTFNI",
                              "iiii",
                              "DejaVuSans.ttf",
                              "Verdana",
                              "theKnobRenderer",
                              "theSliderRenderer",
                              "createUI",
                              "getWindowSize",
                              "getFont",
                              "getLabelFont",
                              "getTextFieldFont",
                              "testButton",
                              "toggleTest",
                              "\xC3\xA9\xff\x80"};

template <typename T, std::size_t N>
constexpr std::size_t count(const T (&)[N]) {
    return N;
}

constexpr std::uint8_t kEndOfPhase = 0xFF;
constexpr int kPoolSize = 64;
constexpr int kMaxDepth = 6;
const char* const kPoolKey = "fuzz.pool";
char gLongText[16384];

struct Fuzz {
    Fuzz(const std::uint8_t* bytes, std::size_t length) : data(bytes), size(length) {}
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
    lua_State* L = nullptr;
    std::vector<std::string> functions, methods;
    int depth = 0;
    int stored = 0;

    bool empty() const { return at >= size; }
    std::uint8_t next() { return at < size ? data[at++] : 0; }
};

Fuzz* gFuzz = nullptr;

void runOne(Fuzz& f);

// A function a script hands over (to font, luaButton) that makes the next
// decoded call when it is called.
int fuzzStep(lua_State*) {
    runOne(*gFuzz);
    return 0;
}

int fuzzCreateUI(lua_State*) {
    Fuzz& f = *gFuzz;
    // Called again by a script: one more call, as any function.
    if (f.depth > 0) {
        runOne(f);
        return 0;
    }
    while (!f.empty() && f.data[f.at] != kEndOfPhase)
        runOne(f);
    f.next();
    return 0;
}

void pushPoolValue(lua_State* L, std::uint8_t index) {
    lua_getfield(L, LUA_REGISTRYINDEX, kPoolKey);  // pool
    lua_rawgeti(L, -1, index % kPoolSize + 1);     // pool, value
    lua_remove(L, -2);                             // value
}

void pushArgument(Fuzz& f) {
    lua_State* L = f.L;
    const std::uint8_t kind = f.next(), b = f.next();
    switch (kind % 16) {
        case 0:
            lua_pushnil(L);
            break;
        case 1:
            lua_pushboolean(L, b & 1);
            break;
        case 2:
        case 3:
        case 4:
            lua_pushnumber(L, kNumbers[b % count(kNumbers)]);
            break;
        case 5:
            lua_pushnumber(L, static_cast<std::int8_t>(b));
            break;
        case 6:
        case 7:
            lua_pushstring(L, kWords[b % count(kWords)]);
            break;
        case 8:
            lua_pushlstring(L, gLongText, (b + 1) * 64u);
            break;
        case 9: {  // raw bytes of the input
            const std::size_t n = std::min<std::size_t>(b % 32, f.size - f.at);
            lua_pushlstring(L, reinterpret_cast<const char*>(f.data + f.at), n);
            f.at += n;
            break;
        }
        case 10: {  // numbers in a table: margins, colours
            lua_newtable(L);
            for (int i = 1; i <= b % 6; ++i) {
                lua_pushnumber(L, kNumbers[f.next() % count(kNumbers)]);
                lua_rawseti(L, -2, i);
            }
            break;
        }
        case 11: {  // a font list, entries of any shape
            lua_newtable(L);
            for (int i = 1; i <= b % 4; ++i) {
                lua_newtable(L);
                lua_pushstring(L, kWords[f.next() % count(kWords)]);
                lua_setfield(L, -2, "name");
                lua_pushnumber(L, kNumbers[f.next() % count(kNumbers)]);
                lua_setfield(L, -2, "size");
                lua_rawseti(L, -2, i);
            }
            break;
        }
        case 12:
            lua_pushcfunction(L, fuzzStep);
            break;
        case 13:
            lua_getglobal(L, "fuzzFails");
            break;
        default:
            pushPoolValue(L, b);
            break;
    }
}

// One decoded call, inside lua_pcall: a global function, a method of a
// value made before (or with some other value as its self), or a global
// set to a value. Its results go to the pool for later calls.
int doCall(lua_State* L) {
    Fuzz& f = *gFuzz;
    const std::uint8_t op = f.next();
    const int arguments = f.next() % 8;
    const int base = lua_gettop(L);
    switch (op % 8) {
        case 6:  // method
        case 7: {
            pushPoolValue(L, f.next());                                           // self
            lua_getfield(L, -1, f.methods[f.next() % f.methods.size()].c_str());  // self, m
            lua_insert(L, -2);                                                    // m, self
            if (op & 0x80) {
                lua_pop(L, 1);    // m
                pushArgument(f);  // m, other
            }
            for (int i = 0; i < arguments; ++i)
                pushArgument(f);
            lua_call(L, arguments + 1, LUA_MULTRET);
            break;
        }
        case 5:  // a global the layout reads
            if (op & 0x40) {
                pushArgument(f);
                lua_setglobal(L, kWords[f.next() % count(kWords)]);
                break;
            }
            [[fallthrough]];
        default:
            lua_getglobal(L, f.functions[f.next() % f.functions.size()].c_str());
            for (int i = 0; i < arguments; ++i)
                pushArgument(f);
            lua_call(L, arguments, LUA_MULTRET);
            break;
    }
    lua_getfield(L, LUA_REGISTRYINDEX, kPoolKey);  // results..., pool
    for (int i = base + 1; i < lua_gettop(L); ++i) {
        lua_pushvalue(L, i);                             // results..., pool, result
        lua_rawseti(L, -2, f.stored++ % kPoolSize + 1);  // results..., pool
    }
    return 0;
}

void runOne(Fuzz& f) {
    if (f.empty() || f.depth >= kMaxDepth)
        return;
    ++f.depth;
    lua_State* L = f.L;
    const int top = lua_gettop(L);
    lua_pushcfunction(L, doCall);
    if (lua_pcall(L, 0, 0, 0) != 0)
        lua_pop(L, 1);
    if (lua_gettop(L) != top) {
        std::fprintf(stderr, "fuzz: a call left %d values on the stack\n", lua_gettop(L) - top);
        std::abort();
    }
    --f.depth;
}

// The functions of the editor's state that the standard library does not
// have, and the methods of its metatables.
void listFunctions(Fuzz& f) {
    std::set<std::string> standard;
    lua_State* plain = luaL_newstate();
    luaL_openlibs(plain);
    lua_pushnil(plain);
    while (lua_next(plain, LUA_GLOBALSINDEX)) {
        if (lua_type(plain, -2) == LUA_TSTRING)
            standard.insert(lua_tostring(plain, -2));
        lua_pop(plain, 1);
    }
    lua_close(plain);
    lua_State* L = f.L;
    std::set<std::string> functions, methods;
    lua_pushnil(L);
    while (lua_next(L, LUA_GLOBALSINDEX)) {
        if (lua_type(L, -2) == LUA_TSTRING && lua_isfunction(L, -1) &&
            !standard.count(lua_tostring(L, -2)))
            functions.insert(lua_tostring(L, -2));
        lua_pop(L, 1);
    }
    lua_pushnil(L);
    while (lua_next(L, LUA_REGISTRYINDEX)) {
        if (lua_type(L, -2) == LUA_TSTRING && lua_istable(L, -1) &&
            std::string(lua_tostring(L, -2)).rfind("QXgui.", 0) == 0) {
            lua_pushnil(L);
            while (lua_next(L, -2)) {
                if (lua_type(L, -2) == LUA_TSTRING && lua_isfunction(L, -1))
                    methods.insert(lua_tostring(L, -2));
                lua_pop(L, 1);
            }
        }
        lua_pop(L, 1);
    }
    f.functions.assign(functions.begin(), functions.end());
    f.methods.assign(methods.begin(), methods.end());
}

struct Fixture {
    Fixture() {
        // Parameter writes with no audio thread to take them fill the
        // plug-in's queue, which says so on standard output every time.
        // Faults go to standard error.
        if (!std::freopen("/dev/null", "w", stdout))
            std::fprintf(stderr, "fuzz: standard output stays open\n");
        std::fill(std::begin(gLongText), std::end(gLongText), 'W');
        const auto folder = std::filesystem::temp_directory_path() / "tavro-fuzz-lua-gui";
        std::filesystem::create_directories(folder);
        platform::testsupport::setEnvironmentVariable("APPDATA", folder.string().c_str());
        platform::testsupport::setEnvironmentVariable("XDG_DATA_HOME", folder.string().c_str());
        platform::installPreferenceStore(&preferences);
        platform::installMessageBoxSink(&boxes);
        platform::installMidiInputSystem(&devices);
        devices.addDevice("Fuzz In");
        plugin = std::make_unique<QX4Controller::ZephCorvane>(hostCallback, &helpers);
        // The plug-in started its server: no socket, no receive thread here.
        helpers.server->StopTasks();
    }
    QuietPreferences preferences;
    QuietBoxes boxes;
    platform::MemoryMidiInputSystem devices;
    Helpers helpers;
    QuietHost host;
    std::unique_ptr<QX4Controller::ZephCorvane> plugin;
};

struct LayoutSize {
    std::size_t elements, textures, effects, fonts, children;
};

LayoutSize sizeOf(const ALmanager& manager) {
    return {manager.elements.size(), manager.textures.size(), manager.effects.size(),
            manager.fonts.size(), manager.root->children.size()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Fixture fixture;
    Fuzz f{data, size};
    gFuzz = &f;

    auto gui = std::make_unique<QuietGui>(*fixture.plugin);
    int width = 0, height = 0;
    gui->GetWindowSize(width, height);  // runs the scripts: no editor yet
    f.L = gui->state();
    lua_State* L = f.L;
    lua_newtable(L);
    lua_setfield(L, LUA_REGISTRYINDEX, kPoolKey);
    luaL_dostring(L,
                  "function fuzzFails() error('from a script') end\n"
                  "builtInCreateUI = createUI");
    listFunctions(f);

    // As a skin's gui.lua runs: every element function finds no editor.
    while (!f.empty() && f.data[f.at] != kEndOfPhase)
        runOne(f);
    f.next();

    // Inside createUI, the named buttons at hand.
    auto manager = std::make_unique<ALmanager>(fixture.plugin.get());
    manager->width = width;
    manager->height = height;
    manager->host = &fixture.host;
    lua_register(L, "createUI", fuzzCreateUI);
    gui->CreateUI(*manager);

    // The editor is open: its render thread would own the tree. What a Lua
    // button's function does then may fail, but must add nothing.
    manager->renderThreadRunning = true;
    const LayoutSize before = sizeOf(*manager);
    while (!f.empty())
        runOne(f);
    for (QX::UIElement* element : std::vector<QX::UIElement*>(manager->elements))
        if (auto* button = dynamic_cast<QX::PlexStatefulButton*>(element))
            button->MouseDown(QX::Point{0, 0}, 0, 1);
    const LayoutSize after = sizeOf(*manager);
    if (after.elements != before.elements || after.textures != before.textures ||
        after.effects != before.effects || after.fonts != before.fonts ||
        after.children != before.children) {
        std::fprintf(stderr, "fuzz: the layout grew after the editor opened\n");
        std::abort();
    }
    manager->renderThreadRunning = false;

    // As the editor closes: the Lua state first, then the elements.
    gui.reset();
    manager.reset();
    gFuzz = nullptr;
    return 0;
}
