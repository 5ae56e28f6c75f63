#include "script/LuaGui.h"

#include <cstdio>
#include <exception>

#include <lua.hpp>

#include "LuaGuiLibrary.h"
#include "gui/Blobs.h"
#include "gui/Font.h"
#include "gui/Manager.h"
#include "platform/Diagnostics.h"
#include "platform/Folders.h"
#include "platform/Preferences.h"
#include "plugin/Properties.h"
#include "plugin/ZephCorvaneBase.h"
#include "script/CallbackErrorMailbox.h"

namespace QX {

namespace {

const char* const kCommonScript = "gui.lua";

// Built inside lua_cpcall, so that running out of memory on the way is an
// error we can report instead of a panic.
int setUpState(lua_State* L) {
    return luaopen_qxgui(L);
}

struct FontSlots {
    LuaGui* gui;
    Font* fonts[3];
};

// Calls getFont, getLabelFont and getTextFieldFont and makes the first
// loadable font of each list. [protected call]
int loadFontsProtected(lua_State* L) {
    auto* slots = static_cast<FontSlots*>(lua_touserdata(L, 1));
    const char* const functions[3] = {"getFont", "getLabelFont", "getTextFieldFont"};
    for (int i = 0; i < 3; ++i) {
        lua_settop(L, 1);
        lua_getfield(L, LUA_GLOBALSINDEX, functions[i]);  // f
        if (!lua_isfunction(L, -1))
            continue;
        lua_call(L, 0, 1);  // list
        RawFontList list;
        LuaGuiLibrary::readFontList(L, 2, list);
        slots->fonts[i] = LuaGuiLibrary::makeFont(*slots->gui, list);
    }
    return 0;
}

struct CreateCall {
    const ButtonLookup* buttons;
};

// Makes the named buttons available for the length of createUI. [protected
// call]
int createUIProtected(lua_State* L) {
    auto* call = static_cast<CreateCall*>(lua_touserdata(L, 1));
    lua_pushlightuserdata(L, const_cast<ButtonLookup*>(call->buttons));  // lookup
    lua_setfield(L, LUA_REGISTRYINDEX, LuaGui::kButtonLookupKey);        //
    lua_getfield(L, LUA_GLOBALSINDEX, "createUI");                       // createUI
    lua_call(L, 0, 0);                                                   //
    return 0;
}

int forgetButtonsProtected(lua_State* L) {
    lua_pushnil(L);                                                // nil
    lua_setfield(L, LUA_REGISTRYINDEX, LuaGui::kButtonLookupKey);  //
    return 0;
}

struct WindowSize {
    lua_Number width = 0, height = 0;
};

int windowSizeProtected(lua_State* L) {
    auto* size = static_cast<WindowSize*>(lua_touserdata(L, 1));
    lua_getfield(L, LUA_GLOBALSINDEX, "getWindowSize");  // f
    lua_call(L, 0, 2);                                   // width, height
    // Anything but numbers counts as 0.
    size->width = lua_type(L, -2) == LUA_TNUMBER ? lua_tonumber(L, -2) : 0;
    size->height = lua_type(L, -1) == LUA_TNUMBER ? lua_tonumber(L, -1) : 0;
    return 0;
}

int toWindowUnits(lua_Number value) {
    // The host's rectangle is 16-bit.
    if (!(value > 0))
        return 0;
    return value > 32767 ? 32767 : static_cast<int>(value);
}

}  // namespace

// ---- Construction ---------------------------------------------------------------------------

LuaGui::LuaGui(ZephCorvaneBase& plugin) : plugin_(plugin) {
    elementKinds_ = {kElementMetatable, kLabelMetatable, kTextFieldMetatable,
                     kPropertyTextFieldMetatable};
    std::string skin;
    platform::readSkinPreference(skin);
    const char* product = nullptr;
    if (!skin.empty() &&
        plugin_.GetProperty(prop::kProductTag, kAudioUnitScope_Global, 0, &product) == 0 &&
        product) {
        skinFolder_ = platform::skinPath(skin, product);
        skinSelected_ = !skinFolder_.empty();
    }
}

LuaGui::~LuaGui() {
    if (L_) {
        lua_close(L_);
        L_ = nullptr;
    }
}

void LuaGui::AddResource(const char* name, int id) {
    resourceIds_[name] = id;
}

void LuaGui::AddElementKind(const char* metatable) {
    elementKinds_.emplace_back(metatable);
}

int LuaGui::ResourceId(const char* name) const {
    const auto found = resourceIds_.find(std::string_view(name));
    return found == resourceIds_.end() ? -1 : found->second;
}

std::string LuaGui::SkinFile(const char* name) const {
    const std::string separator = platform::pathSeparator();
    return skinFolder_ + separator + "Contents" + separator + "Resources" + separator + name;
}

void LuaGui::writeDebugOutput(const char* text) {
    platform::debugOutput(text);
}

LuaGui* LuaGui::FromState(lua_State* L) {
    lua_getfield(L, LUA_REGISTRYINDEX, kViewRefconKey);  // gui
    auto* gui = static_cast<LuaGui*>(lua_touserdata(L, -1));
    lua_pop(L, 1);  //
    return gui;
}

// ---- The state and the scripts -------------------------------------------------------------

bool LuaGui::Initialise() {
    if (initialised_)
        return L_ != nullptr;
    initialised_ = true;
    if (!CreateState())
        return false;
    // The layout script the plug-in names (property 64011).
    const char* layout = nullptr;
    if (plugin_.GetProperty(prop::kGuiScriptName, kAudioUnitScope_Global, 0, &layout) != 0)
        layout = nullptr;
    // Skin first: every definition is made only where none exists yet, so
    // what runs first wins.
    RunScript(kCommonScript, true);
    if (layout)
        RunScript(layout, true);
    RunScript(kCommonScript, false);
    if (layout)
        RunScript(layout, false);
    return true;
}

bool LuaGui::CreateState() {
    try {
        std::int32_t count = 0;
        ParameterDescriptor* table = nullptr;
        if (plugin_.getPropertyForView(prop::kParameterCount, 0, &count) == 0 &&
            plugin_.getPropertyForView(prop::kParameterTable, 0, &table) == 0 && table &&
            count > 0) {
            for (int i = 0; i < count; ++i)
                if (table[i].name)
                    parameterLookup_.emplace(table[i].name, i);
            parameterCount_ = count;
        }
    } catch (const std::exception&) {
        writeDebugOutput("@@@ failed to create the Lua state: not enough memory\n");
        return false;
    }
    lua_State* L = newLuaState(stop_);
    if (!L) {
        writeDebugOutput("@@@ failed to create the Lua state: not enough memory\n");
        return false;
    }
    if (lua_cpcall(L, setUpState, this) != 0) {
        char line[1024];
        std::snprintf(line, sizeof line, "@@@ failed to create the Lua state: %s\n",
                      luaErrorText(L));
        writeDebugOutput(line);
        lua_close(L);
        return false;
    }
    L_ = L;
    return true;
}

void LuaGui::RunScript(const char* name, bool fromSkin) {
    if (!L_)
        return;
    if (fromSkin) {
        if (!skinSelected_)
            return;
        // A skin need not have every script: a missing one is no error.
        const std::vector<std::uint8_t> bytes = LoadFileBlob(SkinFile(name));
        if (bytes.empty())
            return;
        std::string error;
        if (!RunLoaded(luaL_loadbuffer(L_, reinterpret_cast<const char*>(bytes.data()),
                                       bytes.size(), name),
                       &error)) {
            // The built-in scripts run next and fill in what the skin left
            // undefined: the musician sees another layout than chosen.
            std::string where, what;
            splitScriptError(error, where, what);
            const std::size_t slash = skinFolder_.find_last_of("/\\");
            const std::string skin =
                slash == std::string::npos ? skinFolder_ : skinFolder_.substr(slash + 1);
            platform::report(platform::ReportLevel::kWarning,
                             "Skin " + skin + " failed (" + (where.empty() ? name : where) + ": " +
                                 what +
                                 "); the built-in layout is shown. Correct the skin, or choose "
                                 "another in Prefs",
                             &plugin_);
        }
        return;
    }
    const int id = ResourceId(name);
    if (id < 0) {
        lua_pushliteral(L_, "failed to find gui.lua in resouce id lookup");  // error
        RunLoaded(LUA_ERRRUN);
        return;
    }
    const ResourceBytes blob = LoadResourceBlob(id);
    if (!blob.data)
        return;
    RunLoaded(luaL_loadbuffer(L_, reinterpret_cast<const char*>(blob.data), blob.size, name));
}

void LuaGui::StartCall() {
    auto deadline = std::chrono::steady_clock::now() + kCallBudget;
    if (limit_ && *limit_ < deadline)
        deadline = *limit_;
    stop_.SetDeadline(deadline);
}

bool LuaGui::RunLoaded(int loadStatus, std::string* error) {
    StartCall();
    if (!error) {
        return runLuaChunk(
            L_, loadStatus, "@@@ failed to run buffer: %s\n",
            [](void* gui, const char* line) { static_cast<LuaGui*>(gui)->writeDebugOutput(line); },
            this);
    }
    // Keeps Lua's message as well as printing it.
    struct Said {
        LuaGui* gui;
        std::string* error;
    } said{this, error};
    return runLuaChunk(
        L_, loadStatus, "%s",
        [](void* context, const char* message) {
            auto* s = static_cast<Said*>(context);
            *s->error = message;
            s->gui->writeDebugOutput(("@@@ failed to run buffer: " + *s->error + "\n").c_str());
        },
        &said);
}

// ---- Fonts, window size and the layout -----------------------------------------------------

void LuaGui::LoadFonts() {
    if (!L_ || !manager_)
        return;
    FontSlots slots{this, {nullptr, nullptr, nullptr}};
    StartCall();
    if (lua_cpcall(L_, loadFontsProtected, &slots) != 0) {
        char line[1024];
        std::snprintf(line, sizeof line, "@@@ failed to load the fonts: %s\n", luaErrorText(L_));
        writeDebugOutput(line);
        lua_pop(L_, 1);
    }
    manager_->mainFont = slots.fonts[0];
    manager_->labelFont = slots.fonts[1];
    manager_->textFieldFont = slots.fonts[2];
    if (!slots.fonts[0] && !slots.fonts[1] && !slots.fonts[2])
        platform::report(platform::ReportLevel::kError,
                         "No font was found for the editor's texts: install a TrueType font "
                         "such as Verdana, Arial or DejaVu Sans",
                         &plugin_);
}

void LuaGui::GetWindowSize(int& width, int& height) {
    width = 0;
    height = 0;
    if (!L_)
        return;
    WindowSize size;
    StartCall();
    if (lua_cpcall(L_, windowSizeProtected, &size) != 0) {
        char line[1024];
        std::snprintf(line, sizeof line, "@@@ getWindowSize failed: %s\n", luaErrorText(L_));
        writeDebugOutput(line);
        lua_pop(L_, 1);
        return;
    }
    width = toWindowUnits(size.width);
    height = toWindowUnits(size.height);
}

void LuaGui::CreateUI(const ButtonLookup& buttons) {
    if (!L_ || !manager_)
        return;
    int width = 0, height = 0;
    GetWindowSize(width, height);
    if (width > 0 && height > 0) {
        manager_->width = width;
        manager_->height = height;
    }
    CreateCall call{&buttons};
    StartCall();
    if (lua_cpcall(L_, createUIProtected, &call) != 0) {
        // The layout ends where the error was raised.
        char line[1024];
        std::snprintf(line, sizeof line, "@@@ failed to run buffer: %s\n", luaErrorText(L_));
        writeDebugOutput(line);
        lua_pop(L_, 1);
    }
    // The table lives only as long as this call.
    StartCall();
    if (lua_cpcall(L_, forgetButtonsProtected, nullptr) != 0)
        lua_pop(L_, 1);
}

// ---- Button actions (render thread) ---------------------------------------------------------

void LuaGui::LuaButtonPressed(Button* /*button*/, void* context) {
    const auto* record = static_cast<const LuaButtonRecord*>(context);
    lua_State* L = record->owner->L_;
    if (!L)
        return;
    record->owner->StartCall();
    lua_rawgeti(L, LUA_REGISTRYINDEX, record->reference);  // f
    if (lua_pcall(L, 0, 0, 0) != 0) {
        char line[1024];
        std::snprintf(line, sizeof line, "@@@ %s\n", luaErrorText(L));
        record->owner->writeDebugOutput(line);
        lua_pop(L, 1);  //
    }
}

void LuaGui::TriggerPressed(Button* /*button*/, void* context) {
    const auto* record = static_cast<const TriggerRecord*>(context);
    const unsigned char one = 1;
    record->owner->plugin_.setPropertyAndNotify(record->propertyId, &one, 1);
}

// ---- Helpers for the Lua functions ----------------------------------------------------------

void LuaGui::PushObject(lua_State* L, void* object, const char* metatable) {
    void** slot = static_cast<void**>(lua_newuserdata(L, sizeof(void*)));  // ud
    *slot = object;
    luaL_getmetatable(L, metatable);  // ud, mt
    lua_setmetatable(L, -2);          // ud
}

void* LuaGui::ToObject(lua_State* L, int arg, const char* metatable) {
    void** slot = static_cast<void**>(lua_touserdata(L, arg));
    if (!slot || lua_islightuserdata(L, arg) || !lua_getmetatable(L, arg))  // mt
        return nullptr;
    luaL_getmetatable(L, metatable);  // mt, wanted
    const bool same = lua_rawequal(L, -1, -2) != 0;
    lua_pop(L, 2);  //
    return same ? *slot : nullptr;
}

UIElement* LuaGui::CheckElement(lua_State* L, int arg) {
    LuaGui& gui = *FromState(L);
    if (lua_type(L, arg) == LUA_TUSERDATA) {
        for (const std::string& kind : gui.elementKinds_) {
            if (void* object = ToObject(L, arg, kind.c_str()))
                return static_cast<UIElement*>(object);
        }
    }
    luaL_typerror(L, arg, "element");
    return nullptr;
}

int LuaGui::CheckParameterName(lua_State* L, int arg) {
    std::size_t length = 0;
    const char* name = luaL_checklstring(L, arg, &length);
    LuaGui& gui = *FromState(L);
    int index = -1;
    try {
        const auto found = gui.parameterLookup_.find(std::string_view(name, length));
        if (found != gui.parameterLookup_.end())
            index = found->second;
    } catch (...) {
        index = -1;
    }
    if (index < 0)
        return luaL_error(L, "parameter not found: '%s'", name);
    return index;
}

Manager& LuaGui::CheckManager(lua_State* L) {
    Manager* manager = FromState(L)->manager_;
    if (!manager)
        luaL_error(L, "no editor");
    return *manager;
}

Manager& LuaGui::CheckLayoutManager(lua_State* L) {
    Manager& manager = CheckManager(L);
    if (manager.renderThreadRunning)
        luaL_error(L, "the editor is open: elements are made only while createUI runs");
    return manager;
}

}  // namespace QX
