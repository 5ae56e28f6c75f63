#include "script/PluginLuaGui.h"

#include <lua.hpp>

#include "LuaGuiLibrary.h"
#include "gui/ALmanager.h"
#include "gui/Buttons.h"
#include "gui/Dialogs.h"
#include "gui/DropDown.h"
#include "gui/EditorHelpers.h"
#include "gui/InfoDisplay.h"
#include "gui/Knob.h"
#include "gui/KnobRenderers.h"
#include "gui/MIDIBrowseButton.h"
#include "gui/MIDIHistoryDisplay.h"
#include "gui/Manager.h"
#include "gui/RoundTripDisplay.h"
#include "gui/Slider.h"
#include "gui/Texture.h"

namespace QX {

namespace {

// Information id of the Prefs button: the preferences text among the
// Manager's default texts.
constexpr int kPrefsTag = -2;

void prefsPressed(Button* button, void* /*context*/) {
    ShowAboutDialog(*button->manager);
}

float checkFloat(lua_State* L, int arg) {
    return static_cast<float>(luaL_checknumber(L, arg));
}

Texture* checkTexture(lua_State* L, int arg) {
    auto* texture = static_cast<Texture*>(LuaGui::ToObject(L, arg, LuaGui::kTextureMetatable));
    luaL_argcheck(L, texture != nullptr, arg, "texture expected");
    return texture;
}

int pushCreated(lua_State* L, void* object, const char* metatable) {
    if (!object)
        return luaL_error(L, "not enough memory");
    LuaGui::PushObject(L, object, metatable);  // object
    return 1;
}

// ---- The plug-in's functions --------------------------------------------------------------

int plugin_setBackgroundTexture(lua_State* L) {
    Texture* texture = checkTexture(L, 1);
    const char* mode = luaL_optstring(L, 2, "tile");
    Manager& manager = LuaGui::CheckLayoutManager(L);
    if (auto* al = dynamic_cast<ALmanager*>(&manager))
        al->SetBackground(texture, mode);
    return 0;
}

int plugin_arcKnobRenderer(lua_State* L) {
    Texture* atlas = checkTexture(L, 1);
    float numbers[5];
    for (int i = 0; i < 5; ++i)
        numbers[i] = checkFloat(L, 2 + i);
    Manager& manager = LuaGui::CheckLayoutManager(L);
    return pushCreated(L,
                       makeObject<ArcKnobRenderer>(&manager, atlas, numbers[0], numbers[1],
                                                   numbers[2], numbers[3], numbers[4]),
                       PluginLuaGui::kKnobRendererMetatable);  // renderer
}

int plugin_spinKnobRenderer(lua_State* L) {
    Texture* texture = checkTexture(L, 1);
    const float a = checkFloat(L, 2);
    const float b = checkFloat(L, 3);
    const float c = checkFloat(L, 4);
    Manager& manager = LuaGui::CheckLayoutManager(L);
    return pushCreated(L, makeObject<TexturedKnobRenderer>(&manager, texture, a, b, c),
                       PluginLuaGui::kKnobRendererMetatable);  // renderer
}

int plugin_sliderRenderer(lua_State* L) {
    Texture* track = checkTexture(L, 1);
    Texture* handle = checkTexture(L, 2);
    Manager& manager = LuaGui::CheckLayoutManager(L);
    return pushCreated(L, makeObject<TexturedSliderRenderer>(&manager, track, handle),
                       PluginLuaGui::kSliderRendererMetatable);  // renderer
}

int plugin_paramButton(lua_State* L) {
    const int parameter = LuaGui::CheckParameterName(L, 1);
    const char* caption = luaL_checkstring(L, 2);
    float place[4];
    for (int i = 0; i < 4; ++i)
        place[i] = checkFloat(L, 3 + i);
    Manager& manager = LuaGui::CheckLayoutManager(L);
    return pushCreated(L,
                       makeObject<CrvnButton>(&manager, caption, place[0], place[1], place[2],
                                              place[3], parameter),
                       LuaGui::kElementMetatable);  // button
}

int addInfoText(Manager& manager, const char* text) noexcept {
    try {
        return manager.AddInfoText(text);
    } catch (...) {
        return -1;
    }
}

int plugin_midiBrowseButton(lua_State* L) {
    const char* caption = luaL_checkstring(L, 1);
    const char* tooltip = luaL_checkstring(L, 2);
    const auto propertyId = static_cast<std::uint32_t>(luaL_checkinteger(L, 3));
    float place[4];
    for (int i = 0; i < 4; ++i)
        place[i] = checkFloat(L, 4 + i);
    Manager& manager = LuaGui::CheckLayoutManager(L);
    const int infoId = addInfoText(manager, tooltip);
    return pushCreated(L,
                       makeObject<MIDIBrowseButton>(&manager, caption, propertyId, place[0],
                                                    place[1], place[2], place[3], infoId),
                       LuaGui::kElementMetatable);  // button
}

int plugin_infoDisplay(lua_State* L) {
    float place[4];
    for (int i = 0; i < 4; ++i)
        place[i] = checkFloat(L, 1 + i);
    Manager& manager = LuaGui::CheckLayoutManager(L);
    return pushCreated(L,
                       makeObject<InfoDisplay>(&manager, place[0], place[1], place[2], place[3],
                                               manager.midiHistory),
                       LuaGui::kElementMetatable);  // display
}

int plugin_roundTripDisplay(lua_State* L) {
    float place[4];
    for (int i = 0; i < 4; ++i)
        place[i] = checkFloat(L, 1 + i);
    Manager& manager = LuaGui::CheckManager(L);
    return pushCreated(L,
                       makeObject<RoundTripDisplay>(&manager, place[0], place[1], place[2],
                                                    place[3], manager.midiHistory),
                       LuaGui::kElementMetatable);  // display
}

int plugin_midiHistoryDisplay(lua_State* L) {
    float place[4];
    for (int i = 0; i < 4; ++i)
        place[i] = checkFloat(L, 1 + i);
    const lua_Integer which = luaL_checkinteger(L, 5);
    luaL_argcheck(L, which >= 0 && which < kHistoryKinds, 5, "which out of range");
    // A font object whose face failed to load holds no font: the display
    // then draws no text.
    const bool isFont = lua_type(L, 6) == LUA_TUSERDATA && lua_getmetatable(L, 6) != 0;
    bool fontKind = false;
    if (isFont) {
        luaL_getmetatable(L, LuaGui::kFontMetatable);  // mt, font mt
        fontKind = lua_rawequal(L, -1, -2) != 0;
        lua_pop(L, 2);  //
    }
    luaL_argcheck(L, fontKind, 6, "font expected");
    auto* font = static_cast<Font*>(*static_cast<void**>(lua_touserdata(L, 6)));
    Manager& manager = LuaGui::CheckLayoutManager(L);
    return pushCreated(
        L,
        makeObject<MIDIHistoryDisplay>(&manager, place[0], place[1], place[2], place[3],
                                       static_cast<int>(which), font, manager.midiHistory),
        LuaGui::kElementMetatable);  // display
}

const luaL_Reg kPluginFunctions[] = {
    {"setBackgroundTexture", plugin_setBackgroundTexture},
    {"arcKnobRenderer", plugin_arcKnobRenderer},
    {"spinKnobRenderer", plugin_spinKnobRenderer},
    {"sliderRenderer", plugin_sliderRenderer},
    {"paramButton", plugin_paramButton},
    {"midiBrowseButton", plugin_midiBrowseButton},
    {"infoDisplay", plugin_infoDisplay},
    {"roundTripDisplay", plugin_roundTripDisplay},
    {"midiHistoryDisplay", plugin_midiHistoryDisplay},
    {nullptr, nullptr},
};

// The renderer a layout installed in the global `name`, of the given
// metatable; null when there is none.
Effect* installedRenderer(lua_State* L, const char* name, const char* metatable) {
    lua_getfield(L, LUA_GLOBALSINDEX, name);  // renderer
    auto* renderer = static_cast<Effect*>(LuaGui::ToObject(L, -1, metatable));
    lua_pop(L, 1);  //
    return renderer;
}

}  // namespace

PluginLuaGui::PluginLuaGui(ZephCorvaneBase& plugin) : LuaGui(plugin) {
    AddResource("buttons.png", kButtonsImageId);
    AddResource("gui.lua", kCommonScriptId);
    AddResource("gui_qx4controller.lua", kLayoutScriptId);
    // Display kinds of the family's other products: accepted as elements,
    // never made here.
    AddElementKind("QXgui.EnvDisplay");
    AddElementKind("QXgui.CalibrationDisplay");
}

const ButtonLookup& PluginLuaGui::NamedButtons() {
    static const ButtonLookup buttons{{"Prefs", {kPrefsTag, &prefsPressed, nullptr}}};
    return buttons;
}

void PluginLuaGui::GetWindowSize(int& width, int& height) {
    Initialise();
    LuaGui::GetWindowSize(width, height);
    if (width <= 0 || height <= 0) {
        // A skin that breaks getWindowSize must not leave the host an
        // editor of no size.
        writeDebugOutput("@@@ getWindowSize gave no usable size; the default size is used\n");
        width = kDefaultEditorWidth;
        height = kDefaultEditorHeight;
    }
}

void PluginLuaGui::GetWindowSizeWithin(std::chrono::milliseconds budget, int& width, int& height) {
    LimitTime(std::chrono::steady_clock::now() + budget);
    GetWindowSize(width, height);
    ClearTimeLimit();
}

void PluginLuaGui::CreateUI(Manager& manager) {
    SetManager(&manager);
    Initialise();
    LoadFonts();
    manager.AddDefaultInfoTexts();
    // Drop-down lists are drawn in the overlay pass.
    manager.drawOverlays = true;
    LuaGui::CreateUI(NamedButtons());
}

void PluginLuaGui::RegisterExtraFunctions(lua_State* L) {
    for (const luaL_Reg* function = kPluginFunctions; function->name; ++function)
        lua_register(L, function->name, function->func);
    luaL_newmetatable(L, kKnobRendererMetatable);    // mt
    luaL_newmetatable(L, kSliderRendererMetatable);  // mt, mt
    lua_pop(L, 2);                                   //
}

// ---- Factories ---------------------------------------------------------------------------------

UIElement* PluginLuaGui::MakeKnob(lua_State* L, int parameter, float x, float y, float size) {
    Effect* renderer = installedRenderer(L, "theKnobRenderer", kKnobRendererMetatable);
    if (!renderer)
        luaL_error(L, "couldn't get theKnobRenderer");
    Manager& manager = CheckManager(L);
    if (auto* arc = dynamic_cast<ArcKnobRenderer*>(renderer))
        return makeObject<ArcKnob>(&manager, arc, parameter, x, y, size);
    if (auto* textured = dynamic_cast<TexturedKnobRenderer*>(renderer))
        return makeObject<PlexKnob>(&manager, textured, parameter, x, y, size);
    luaL_error(L, "couldn't get theKnobRenderer");
    return nullptr;
}

UIElement* PluginLuaGui::MakeSlider(lua_State* L, int parameter, float x, float y, float width,
                                    float height, int horizontal) {
    // The thumb's image centre and half size in the renderer's texture.
    float thumb[4];
    for (int i = 0; i < 4; ++i)
        thumb[i] = checkFloat(L, 7 + i);
    auto* renderer = dynamic_cast<TexturedSliderRenderer*>(
        installedRenderer(L, "theSliderRenderer", kSliderRendererMetatable));
    if (!renderer)
        luaL_error(L, "couldn't get theSliderRenderer");
    Manager& manager = CheckManager(L);
    return makeObject<TexturedSlider>(&manager, renderer, thumb[0], thumb[1], thumb[2], thumb[3],
                                      parameter, x, y, width, height, horizontal);
}

UIElement* PluginLuaGui::MakeButton(lua_State* L, const NamedButton& entry, const char* caption,
                                    float x, float y, float width, float height) {
    Manager& manager = CheckManager(L);
    return makeObject<PlexButton>(&manager, caption, entry.action, entry.context, x, y, width,
                                  height, entry.tag);
}

UIElement* PluginLuaGui::MakeLuaButton(lua_State* L, const char* caption, ButtonAction action,
                                       void* context, float x, float y, float width, float height,
                                       int infoId, bool toggle) {
    Manager& manager = CheckManager(L);
    return makeObject<PlexStatefulButton>(&manager, caption, action, context, x, y, width, height,
                                          infoId, toggle ? 1 : 0);
}

UIElement* PluginLuaGui::MakePropertyTriggerButton(lua_State* L, const char* caption,
                                                   ButtonAction action, void* context, float x,
                                                   float y, float width, float height, int infoId) {
    Manager& manager = CheckManager(L);
    return makeObject<PlexStatefulButton>(&manager, caption, action, context, x, y, width, height,
                                          infoId, 0);
}

UIElement* PluginLuaGui::MakePropertyButton(lua_State* L, const char* caption,
                                            std::uint32_t propertyId, float x, float y, float width,
                                            float height, int infoId, int mode) {
    Manager& manager = CheckManager(L);
    return makeObject<PlexPropertyButton>(&manager, caption, propertyId, x, y, width, height,
                                          infoId, mode);
}

UIElement* PluginLuaGui::MakeDropDown(lua_State* L, int parameter, float x, float y, float width,
                                      float height) {
    Manager& manager = CheckManager(L);
    return makeObject<ALDropDown>(&manager, parameter, x, y, width, height);
}

}  // namespace QX
