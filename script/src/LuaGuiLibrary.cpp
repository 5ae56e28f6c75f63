// The global functions and metatables through which the layout scripts
// build the editor. Each runs inside the editor's Lua state and finds its
// LuaGui through the registry. Lua errors unwind with longjmp: every check
// that can raise comes before any C++ object is made, and the C++ work is
// done in noexcept helpers that return before the next Lua call.

#include "LuaGuiLibrary.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include <lua.hpp>

#include "ScriptGlobals.h"
#include "gui/Font.h"
#include "gui/Group.h"
#include "gui/Label.h"
#include "gui/Manager.h"
#include "gui/TextField.h"
#include "gui/Texture.h"
#include "plugin/OscServerControl.h"
#include "plugin/Properties.h"
#include "plugin/PropertyReads.h"
#include "plugin/ZephCorvaneBase.h"
#include "script/OSCScriptInterface.h"

namespace QX {
namespace {

LuaGui& guiOf(lua_State* L) {
    return *LuaGui::FromState(L);
}

float checkFloat(lua_State* L, int arg) {
    return static_cast<float>(luaL_checknumber(L, arg));
}

// Reads `count` numbers ending at the last argument (scripts may pass
// something before them); a missing one is an argument error.
void readLastNumbers(lua_State* L, int count, float* out) {
    const int top = lua_gettop(L);
    const int first = top - count + 1 > 1 ? top - count + 1 : 1;
    float values[4];
    for (int i = 0; i < count; ++i)
        values[i] = checkFloat(L, first + i);
    for (int i = 0; i < count; ++i)
        out[i] = values[i];
}

void readNumbers(lua_State* L, int first, int count, float* out) {
    float values[4];
    for (int i = 0; i < count; ++i)
        values[i] = checkFloat(L, first + i);
    for (int i = 0; i < count; ++i)
        out[i] = values[i];
}

int raiseOutOfMemory(lua_State* L) {
    return luaL_error(L, "not enough memory");
}

// ---- noexcept helpers (C++ work between Lua calls) --------------------------------------

bool addToGroup(Group* group, UIElement* element) noexcept {
    try {
        group->Add(element);
        return true;
    } catch (...) {
        return false;
    }
}

int addInfoText(Manager& manager, const char* text) noexcept {
    try {
        return manager.AddInfoText(text);
    } catch (...) {
        return -1;
    }
}

bool fileReadable(const std::string& path) noexcept {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    std::fclose(file);
    return true;
}

// A texture from the skin when it has the file, else from the resources;
// `missing` is set when the name is in neither.
Texture* makeTexture(LuaGui& gui, Manager& manager, const char* name, bool& missing) noexcept {
    missing = false;
    try {
        if (gui.skinSelected()) {
            const std::string path = gui.SkinFile(name);
            if (fileReadable(path))
                return new Texture(&manager, path, 0);
        }
        const int id = gui.ResourceId(name);
        if (id < 0) {
            missing = true;
            return nullptr;
        }
        return new Texture(&manager, std::string(), id);
    } catch (...) {
        return nullptr;
    }
}

bool boolProperty(ZephCorvaneBase& plugin, std::uint32_t id) noexcept {
    try {
        if (id == prop::kParameterValueStrings) {
            std::shared_ptr<const ValueStringList> list;
            plugin.getPropertyForView(id, 0, &list);
            return list != nullptr;
        }
        return prop::readFlag(plugin, id);
    } catch (...) {
        return false;
    }
}

// ---- Argument checks -------------------------------------------------------------------

Group* checkGroup(lua_State* L, int arg) {
    auto* group = static_cast<Group*>(LuaGui::ToObject(L, arg, LuaGui::kGroupMetatable));
    luaL_argcheck(L, group != nullptr, arg, "group expected");
    return group;
}

Label* checkLabel(lua_State* L, int arg) {
    auto* label = static_cast<Label*>(LuaGui::ToObject(L, arg, LuaGui::kLabelMetatable));
    luaL_argcheck(L, label != nullptr, arg, "label expected");
    return label;
}

TextField* checkTextField(lua_State* L, int arg) {
    auto* field = static_cast<TextField*>(LuaGui::ToObject(L, arg, LuaGui::kTextFieldMetatable));
    luaL_argcheck(L, field != nullptr, arg, "textfield expected");
    return field;
}

PropertyTextField* checkPropertyTextField(lua_State* L, int arg) {
    auto* field = static_cast<PropertyTextField*>(
        LuaGui::ToObject(L, arg, LuaGui::kPropertyTextFieldMetatable));
    luaL_argcheck(L, field != nullptr, arg, "textfield expected");
    return field;
}

// A parameter by display name, or by index for the functions that take
// either; an index must lie inside the parameter table.
int checkParameterOrIndex(lua_State* L, int arg) {
    if (lua_type(L, arg) == LUA_TNUMBER) {
        const lua_Number number = lua_tonumber(L, arg);
        const int count = LuaGuiLibrary::parameterCount(guiOf(L));
        if (!(number >= 0 && number < count))
            return luaL_error(L, "parameter out of range: %d", truncateToInt(number));
        return static_cast<int>(number);
    }
    return LuaGui::CheckParameterName(L, arg);
}

void pushElement(lua_State* L, UIElement* element, const char* metatable) {
    if (!element)
        raiseOutOfMemory(L);
    LuaGui::PushObject(L, element, metatable);  // element
}

// ---- Group methods ---------------------------------------------------------------------

int group_add(lua_State* L) {
    Group* group = checkGroup(L, 1);
    UIElement* element = LuaGui::CheckElement(L, 2);
    LuaGui::CheckLayoutManager(L);
    if (!addToGroup(group, element))
        return raiseOutOfMemory(L);
    return 0;
}

int group_setPosition(lua_State* L) {
    Group* group = checkGroup(L, 1);
    float x = checkFloat(L, 2);
    float y = checkFloat(L, 3);
    if (lua_toboolean(L, 4)) {
        // The drawn box (children, margins) starts at (x, y), wherever the
        // group was placed before.
        Box bounds;
        group->UnionBounds(bounds);
        if (!bounds.Empty()) {
            x -= bounds.minX - group->offset[0];
            y -= bounds.minY - group->offset[1];
        }
    }
    group->SetPosition(x, y);
    return 0;
}

Box boundsOf(Group* group) {
    Box bounds;
    group->UnionBounds(bounds);
    return bounds;
}

int group_width(lua_State* L) {
    const Box bounds = boundsOf(checkGroup(L, 1));
    lua_pushnumber(L, bounds.Empty() ? 0 : bounds.Width());  // width
    return 1;
}

int group_height(lua_State* L) {
    const Box bounds = boundsOf(checkGroup(L, 1));
    lua_pushnumber(L, bounds.Empty() ? 0 : bounds.Height());  // height
    return 1;
}

int group_bounds(lua_State* L) {
    const Box b = boundsOf(checkGroup(L, 1));
    lua_pushnumber(L, b.minX);  // left
    lua_pushnumber(L, b.minY);  // left, bottom
    lua_pushnumber(L, b.maxX);  // left, bottom, right
    lua_pushnumber(L, b.maxY);  // left, bottom, right, top
    return 4;
}

int group_setVisible(lua_State* L) {
    checkGroup(L, 1)->SetVisible(lua_toboolean(L, 2) != 0);
    return 0;
}

int group_isVisible(lua_State* L) {
    lua_pushboolean(L, checkGroup(L, 1)->visible);  // visible
    return 1;
}

const luaL_Reg kGroupMethods[] = {
    {"add", group_add},
    {"setPosition", group_setPosition},
    {"width", group_width},
    {"height", group_height},
    {"bounds", group_bounds},
    {"setVisible", group_setVisible},
    {"isVisible", group_isVisible},
    {nullptr, nullptr},
};

// ---- Element methods -------------------------------------------------------------------

int element_setVisible(lua_State* L) {
    UIElement* element = LuaGui::CheckElement(L, 1);
    element->SetVisible(lua_toboolean(L, 2) != 0);
    return 0;
}

int element_isVisible(lua_State* L) {
    lua_pushboolean(L, LuaGui::CheckElement(L, 1)->visible);  // visible
    return 1;
}

int element_setState(lua_State* L) {
    UIElement* element = LuaGui::CheckElement(L, 1);
    if (auto* button = dynamic_cast<Button*>(element))
        button->SetState(lua_toboolean(L, 2) != 0);
    return 0;
}

int element_getState(lua_State* L) {
    UIElement* element = LuaGui::CheckElement(L, 1);
    auto* button = dynamic_cast<Button*>(element);
    lua_pushboolean(L, button && button->GetState());  // state
    return 1;
}

const luaL_Reg kElementMethods[] = {
    {"setVisible", element_setVisible},
    {"isVisible", element_isVisible},
    {"setState", element_setState},
    {"getState", element_getState},
    {nullptr, nullptr},
};

// ---- Label, text field and property text field methods --------------------------------

int label_setBackgroundColour(lua_State* L) {
    Label* label = checkLabel(L, 1);
    readNumbers(L, 2, 4, label->backgroundColour);
    return 0;
}

int label_setForegroundColour(lua_State* L) {
    Label* label = checkLabel(L, 1);
    readNumbers(L, 2, 4, label->foregroundColour);
    return 0;
}

const luaL_Reg kLabelMethods[] = {
    {"setBackgroundColour", label_setBackgroundColour},
    {"setForegroundColour", label_setForegroundColour},
    {nullptr, nullptr},
};

int textField_setBackgroundColour(lua_State* L) {
    TextField* field = checkTextField(L, 1);
    readNumbers(L, 2, 3, field->fieldColour);
    return 0;
}

int textField_setActiveColour(lua_State* L) {
    TextField* field = checkTextField(L, 1);
    readNumbers(L, 2, 3, field->focusColour);
    return 0;
}

int textField_setChangedColour(lua_State* L) {
    TextField* field = checkTextField(L, 1);
    readNumbers(L, 2, 3, field->editColour);
    return 0;
}

int textField_setTextColour(lua_State* L) {
    TextField* field = checkTextField(L, 1);
    readNumbers(L, 2, 3, field->textColour);
    return 0;
}

const luaL_Reg kTextFieldMethods[] = {
    {"setBackgroundColour", textField_setBackgroundColour},
    {"setActiveColour", textField_setActiveColour},
    {"setChangedColour", textField_setChangedColour},
    {"setTextColour", textField_setTextColour},
    {nullptr, nullptr},
};

int propertyTextField_setEditable(lua_State* L) {
    checkPropertyTextField(L, 1)->editable = lua_toboolean(L, 2) != 0;
    return 0;
}

const luaL_Reg kPropertyTextFieldMethods[] = {
    {"setEditable", propertyTextField_setEditable},
    {nullptr, nullptr},
};

const luaL_Reg kNoMethods[] = {
    {nullptr, nullptr},
};

// ---- Global functions --------------------------------------------------------------------

// The colour setters below belong to the editor being built. The state that
// only answers the window size has none: they do nothing there, so that a
// skin setting colours at its top level still reaches its getWindowSize.
int gui_setGroupActiveColour(lua_State* L) {
    float colour[4];
    readLastNumbers(L, 4, colour);
    if (Manager* manager = guiOf(L).manager())
        std::copy(colour, colour + 4, manager->groupActiveColour);
    return 0;
}

int gui_setGroupInactiveColour(lua_State* L) {
    float colour[4];
    readLastNumbers(L, 4, colour);
    if (Manager* manager = guiOf(L).manager())
        std::copy(colour, colour + 4, manager->groupInactiveColour);
    return 0;
}

int gui_group(lua_State* L) {
    const char* name = luaL_checkstring(L, 1);
    float margins[4] = {10, 10, 10, 10};  // top, bottom, left, right
    if (lua_type(L, 2) == LUA_TNUMBER) {
        const float all = checkFloat(L, 2);
        for (float& margin : margins)
            margin = all;
    } else if (lua_type(L, 2) == LUA_TTABLE) {
        for (int i = 0; i < 4; ++i) {
            lua_rawgeti(L, 2, i + 1);  // margin
            margins[i] = static_cast<float>(lua_tonumber(L, -1));
            lua_pop(L, 1);  //
        }
    }
    Manager& manager = LuaGui::CheckLayoutManager(L);
    auto* group = makeObject<NamedGroup>(&manager, name, margins);
    if (!group || !addToGroup(manager.root, group))
        return raiseOutOfMemory(L);
    LuaGui::PushObject(L, group, LuaGui::kGroupMetatable);  // group
    return 1;
}

int gui_knob(lua_State* L) {
    const int parameter = LuaGui::CheckParameterName(L, 1);
    // knob(param, x, y, size) or knob(param, anything, x, y, size).
    const int first = lua_type(L, 2) == LUA_TNUMBER ? 2 : 3;
    float place[3];
    readNumbers(L, first, 3, place);
    LuaGui::CheckLayoutManager(L);
    pushElement(L, guiOf(L).MakeKnob(L, parameter, place[0], place[1], place[2]),
                LuaGui::kElementMetatable);  // knob
    return 1;
}

int gui_slider(lua_State* L) {
    const int parameter = LuaGui::CheckParameterName(L, 1);
    float place[4];
    readNumbers(L, 2, 4, place);
    const char* orientation = luaL_checkstring(L, 6);
    int horizontal = 0;
    if (orientation[0] == 'h')
        horizontal = 1;
    else if (orientation[0] != 'v')
        return luaL_error(L, "unknown slider orientation: %s", orientation);
    LuaGui::CheckLayoutManager(L);
    pushElement(
        L, guiOf(L).MakeSlider(L, parameter, place[0], place[1], place[2], place[3], horizontal),
        LuaGui::kElementMetatable);  // slider
    return 1;
}

int gui_button(lua_State* L) {
    const char* name = luaL_checkstring(L, 1);
    const char* caption = luaL_checkstring(L, 2);
    float place[4];
    readNumbers(L, 3, 4, place);
    lua_getfield(L, LUA_REGISTRYINDEX, LuaGui::kButtonLookupKey);  // lookup
    const auto* lookup = static_cast<const ButtonLookup*>(lua_touserdata(L, -1));
    lua_pop(L, 1);  //
    if (!lookup)
        return luaL_error(L, "no button lookup table");
    const NamedButton* entry = nullptr;
    try {
        const auto found = lookup->find(std::string_view(name));
        if (found != lookup->end())
            entry = &found->second;
    } catch (...) {
        entry = nullptr;
    }
    if (!entry)
        return luaL_error(L, "button not found: %s", name);
    LuaGui::CheckLayoutManager(L);
    pushElement(L, guiOf(L).MakeButton(L, *entry, caption, place[0], place[1], place[2], place[3]),
                LuaGui::kElementMetatable);  // button
    return 1;
}

int gui_luaButton(lua_State* L) {
    if (!lua_isfunction(L, 1))
        return luaL_error(L, "first argument to luaButton() is not a function");
    const char* caption = luaL_checkstring(L, 2);
    const char* tooltip = luaL_checkstring(L, 3);
    const char* style = luaL_checkstring(L, 4);
    float place[4];
    readNumbers(L, 5, 4, place);
    Manager& manager = LuaGui::CheckLayoutManager(L);
    LuaGui& gui = guiOf(L);
    lua_pushvalue(L, 1);                                   // function
    const int reference = luaL_ref(L, LUA_REGISTRYINDEX);  //
    void* record = LuaGuiLibrary::addLuaButton(gui, reference);
    if (!record)
        return raiseOutOfMemory(L);
    const int infoId = addInfoText(manager, tooltip);
    pushElement(L,
                gui.MakeLuaButton(L, caption, LuaGuiLibrary::luaButtonAction(), record, place[0],
                                  place[1], place[2], place[3], infoId, style[0] == 't'),
                LuaGui::kElementMetatable);  // button
    return 1;
}

int gui_propertyTriggerButton(lua_State* L) {
    const auto propertyId = static_cast<std::uint32_t>(luaL_checkinteger(L, 1));
    const char* caption = luaL_checkstring(L, 2);
    const char* tooltip = luaL_checkstring(L, 3);
    float place[4];
    readNumbers(L, 4, 4, place);
    Manager& manager = LuaGui::CheckLayoutManager(L);
    LuaGui& gui = guiOf(L);
    void* record = LuaGuiLibrary::addTrigger(gui, propertyId);
    if (!record)
        return raiseOutOfMemory(L);
    const int infoId = addInfoText(manager, tooltip);
    pushElement(L,
                gui.MakePropertyTriggerButton(L, caption, LuaGuiLibrary::triggerAction(), record,
                                              place[0], place[1], place[2], place[3], infoId),
                LuaGui::kElementMetatable);  // button
    return 1;
}

int gui_propertyButton(lua_State* L) {
    const auto propertyId = static_cast<std::uint32_t>(luaL_checkinteger(L, 1));
    const char* caption = luaL_checkstring(L, 2);
    const char* tooltip = luaL_checkstring(L, 3);
    const char* style = luaL_checkstring(L, 4);
    float place[4];
    readNumbers(L, 5, 4, place);
    Manager& manager = LuaGui::CheckLayoutManager(L);
    const int mode = style[0] == 't' ? 1 : style[0] == 'i' ? 2 : 0;
    const int infoId = addInfoText(manager, tooltip);
    pushElement(L,
                guiOf(L).MakePropertyButton(L, caption, propertyId, place[0], place[1], place[2],
                                            place[3], infoId, mode),
                LuaGui::kElementMetatable);  // button
    return 1;
}

int gui_texture(lua_State* L) {
    const char* name = luaL_checkstring(L, 1);
    Manager& manager = LuaGui::CheckLayoutManager(L);
    bool missing = false;
    Texture* texture = makeTexture(guiOf(L), manager, name, missing);
    if (missing)
        return luaL_error(L, "failed to find texture in resouce id lookup");
    if (!texture)
        return raiseOutOfMemory(L);
    LuaGui::PushObject(L, texture, LuaGui::kTextureMetatable);  // texture
    return 1;
}

int gui_font(lua_State* L) {
    if (!lua_isfunction(L, 1))
        return luaL_error(L, "first argument to luaButton() is not a function");
    // A font made once the editor is open would never be scaled for the
    // window. A state without an editor makes fonts that nothing keeps.
    if (guiOf(L).manager())
        LuaGui::CheckLayoutManager(L);
    lua_settop(L, 1);
    lua_call(L, 0, 1);  // list
    RawFontList list;
    LuaGuiLibrary::readFontList(L, 1, list);
    // A font that failed still gives a font object (of no face): elements
    // made with it draw no text, as with a missing font slot.
    Font* font = LuaGuiLibrary::makeFont(guiOf(L), list);
    LuaGui::PushObject(L, font, LuaGui::kFontMetatable);  // list, font
    return 1;
}

int gui_dropDown(lua_State* L) {
    const int parameter = LuaGui::CheckParameterName(L, 1);
    float place[4];
    readNumbers(L, 2, 4, place);
    LuaGui::CheckLayoutManager(L);
    pushElement(L, guiOf(L).MakeDropDown(L, parameter, place[0], place[1], place[2], place[3]),
                LuaGui::kElementMetatable);  // drop-down
    return 1;
}

int gui_label(lua_State* L) {
    const char* text = luaL_checkstring(L, 1);
    const float x = checkFloat(L, 2);
    const float y = checkFloat(L, 3);
    const char* align = luaL_optstring(L, 4, "");
    const float width = static_cast<float>(luaL_optnumber(L, 5, 0));
    const float height = static_cast<float>(luaL_optnumber(L, 6, 0));
    const int alignment = align[0] == 'l' ? 1 : align[0] == 'r' ? 2 : 0;
    Manager& manager = LuaGui::CheckLayoutManager(L);
    pushElement(L, makeObject<Label>(&manager, text, x, y, alignment, width, height),
                LuaGui::kLabelMetatable);  // label
    return 1;
}

int gui_textField(lua_State* L) {
    const int parameter = LuaGui::CheckParameterName(L, 1);
    float place[4];
    readNumbers(L, 2, 4, place);
    const char* format = luaL_optstring(L, 6, "");
    Manager& manager = LuaGui::CheckLayoutManager(L);
    pushElement(
        L,
        makeObject<TextField>(&manager, parameter, place[0], place[1], place[2], place[3], format),
        LuaGui::kTextFieldMetatable);  // field
    return 1;
}

int gui_propertyTextField(lua_State* L) {
    const auto propertyId = static_cast<std::uint32_t>(luaL_checkinteger(L, 1));
    const char* prompt = luaL_checkstring(L, 2);
    float place[4];
    readNumbers(L, 3, 4, place);
    Manager& manager = LuaGui::CheckLayoutManager(L);
    pushElement(L,
                makeObject<PropertyTextField>(&manager, propertyId, prompt, place[0], place[1],
                                              place[2], place[3]),
                LuaGui::kPropertyTextFieldMetatable);  // field
    return 1;
}

int gui_add(lua_State* L) {
    UIElement* element = LuaGui::CheckElement(L, 1);
    Manager& manager = LuaGui::CheckLayoutManager(L);
    if (!addToGroup(manager.root, element))
        return raiseOutOfMemory(L);
    return 0;
}

int gui_setBackgroundColour(lua_State* L) {
    float colour[3];
    readLastNumbers(L, 3, colour);
    Manager& manager = LuaGui::CheckManager(L);
    for (int i = 0; i < 3; ++i)
        manager.clearColour[i] = colour[i];
    return 0;
}

int gui_setBannerColour(lua_State* L) {
    float colour[4];
    readNumbers(L, 1, 4, colour);
    Manager& manager = LuaGui::CheckManager(L);
    for (int i = 0; i < 4; ++i)
        manager.bannerColour[i] = colour[i];
    return 0;
}

int gui_setBannerTextColour(lua_State* L) {
    float colour[4];
    readNumbers(L, 1, 4, colour);
    if (Manager* manager = guiOf(L).manager())
        std::copy(colour, colour + 4, manager->bannerTextColour);
    return 0;
}

int gui_setBannerPosition(lua_State* L) {
    const float y = checkFloat(L, 1);
    const bool explicitFalse = lua_type(L, 2) == LUA_TBOOLEAN && !lua_toboolean(L, 2);
    Manager& manager = LuaGui::CheckManager(L);
    manager.SetBannerPosition(y);
    manager.bannerMode = explicitFalse ? 2 : 0;
    return 0;
}

int gui_setBannerBounds(lua_State* L) {
    float bounds[4];  // left, bottom, right, top
    readNumbers(L, 1, 4, bounds);
    LuaGui::CheckManager(L).bannerBox = Box::Make(bounds[0], bounds[1], bounds[2], bounds[3]);
    return 0;
}

int gui_setBannerContent(lua_State* L) {
    const char* mode = luaL_checkstring(L, 1);
    const float titleX = static_cast<float>(luaL_optnumber(L, 2, 60));
    const float infoX = static_cast<float>(luaL_optnumber(L, 3, -1));
    Manager& manager = LuaGui::CheckManager(L);
    manager.bannerMode = std::strcmp(mode, "none") == 0 ? 2 : mode[0] == 'n' ? 1 : 0;
    manager.titleX = titleX;
    manager.infoX = infoX;
    return 0;
}

int gui_redrawLabels(lua_State* L) {
    LuaGui::CheckManager(L).Redraw();
    return 0;
}

int gui_setParameter(lua_State* L) {
    const int index = checkParameterOrIndex(L, 1);
    const float value = checkFloat(L, 2);
    const char* refusal = guiOf(L).plugin().parameterValueRefusal(index, value);
    luaL_argcheck(L, refusal == nullptr, 2, refusal);
    const bool automate = lua_isnoneornil(L, 3) || lua_toboolean(L, 3);
    Manager* manager = guiOf(L).manager();
    if (!automate || !manager) {
        guiOf(L).plugin().setParameterNative(index, value, automate);
        return 0;
    }
    // One host gesture around the change, as a control makes it.
    manager->BeginParameterEdit(index);
    manager->SetParameterFromEditor(index, value);
    int pending = index;
    if (manager->editId.compare_exchange_strong(pending, -1) && manager->host)
        manager->host->EndEdit(index);
    return 0;
}

int gui_getParameter(lua_State* L) {
    const int index = checkParameterOrIndex(L, 1);
    lua_pushnumber(L, guiOf(L).plugin().getParameterNative(index));  // value
    return 1;
}

int gui_getParameterID(lua_State* L) {
    lua_pushinteger(L, LuaGui::CheckParameterName(L, 1));  // index
    return 1;
}

int gui_sendOSC(lua_State* L) {
    // The plug-in's OSC server builds and sends the message; this state is
    // the editor's own, so no lock of the MIDI scripts is held while it
    // resolves the host name.
    void* server = nullptr;
    if (guiOf(L).plugin().GetProperty(prop::kOscHelper, kAudioUnitScope_Global, 0, &server) != 0 ||
        !server)
        return 0;
    auto* osc = dynamic_cast<OSCScriptInterface*>(static_cast<OscServerControl*>(server));
    return osc ? osc->SendOSCFromLua(L) : 0;
}

int gui_getChannelCount(lua_State* L) {
    lua_pushinteger(L, 2);  // count
    return 1;
}

int gui_getBooleanProperty(lua_State* L) {
    const auto id = static_cast<std::uint32_t>(luaL_checkinteger(L, 1));
    lua_pushboolean(L, boolProperty(guiOf(L).plugin(), id));  // value
    return 1;
}

int gui_setStringProperty(lua_State* L) {
    const auto id = static_cast<std::uint32_t>(luaL_checkinteger(L, 1));
    std::size_t length = 0;
    const char* text = luaL_checklstring(L, 2, &length);
    // With its terminator; listeners (a property text field) hear of it.
    guiOf(L).plugin().setPropertyAndNotify(id, text, static_cast<std::uint32_t>(length + 1));
    return 0;
}

int gui_print(lua_State* L) {
    // Written to the debugger output in one piece.
    pushPrintLine(L);  // args..., tostring, line
    guiOf(L).writeDebugOutput(lua_tostring(L, -1));
    return 0;
}

const luaL_Reg kFunctions[] = {
    {"setGroupActiveColour", gui_setGroupActiveColour},
    {"setGroupInactiveColour", gui_setGroupInactiveColour},
    {"group", gui_group},
    {"knob", gui_knob},
    {"slider", gui_slider},
    {"button", gui_button},
    {"luaButton", gui_luaButton},
    {"propertyTriggerButton", gui_propertyTriggerButton},
    {"propertyButton", gui_propertyButton},
    {"texture", gui_texture},
    {"font", gui_font},
    {"dropDown", gui_dropDown},
    {"label", gui_label},
    {"textField", gui_textField},
    {"propertyTextField", gui_propertyTextField},
    {"add", gui_add},
    {"setBackgroundColour", gui_setBackgroundColour},
    {"setBannerColour", gui_setBannerColour},
    {"setBannerTextColour", gui_setBannerTextColour},
    {"setBannerPosition", gui_setBannerPosition},
    {"setBannerBounds", gui_setBannerBounds},
    {"setBannerContent", gui_setBannerContent},
    {"redrawLabels", gui_redrawLabels},
    {"setParameter", gui_setParameter},
    {"getParameter", gui_getParameter},
    {"getParameterID", gui_getParameterID},
    {"sendOSC", gui_sendOSC},
    {"getChannelCount", gui_getChannelCount},
    {"getBooleanProperty", gui_getBooleanProperty},
    {"setStringProperty", gui_setStringProperty},
    {"elementSetVisible", element_setVisible},
    {"elementIsVisible", element_isVisible},
    {nullptr, nullptr},
};

// A metatable that is its own __index, with its methods.
void newMetatable(lua_State* L, const char* name, const luaL_Reg* methods) {
    luaL_newmetatable(L, name);      // mt
    lua_pushvalue(L, -1);            // mt, mt
    lua_setfield(L, -2, "__index");  // mt
    for (const luaL_Reg* method = methods; method->name; ++method) {
        lua_pushcfunction(L, method->func);  // mt, f
        lua_setfield(L, -2, method->name);   // mt
    }
    lua_pop(L, 1);  //
}

}  // namespace

void LuaGuiLibrary::readFontList(lua_State* L, int index, RawFontList& list) {
    list.count = 0;
    if (lua_type(L, index) != LUA_TTABLE)
        return;
    const int length = static_cast<int>(lua_objlen(L, index));
    for (int i = 1; i <= length && list.count < RawFontList::kMaxCandidates; ++i) {
        lua_rawgeti(L, index, i);  // entry
        if (lua_type(L, -1) == LUA_TTABLE) {
            lua_pushliteral(L, "name");  // entry, "name"
            lua_rawget(L, -2);           // entry, name
            lua_pushliteral(L, "size");  // entry, name, "size"
            lua_rawget(L, -3);           // entry, name, size
            // The name string stays alive: the entry is held by the list,
            // which stays on the stack while the names are used.
            if (lua_type(L, -2) == LUA_TSTRING) {
                list.entries[list.count].name = lua_tostring(L, -2);
                list.entries[list.count].size = static_cast<int>(lua_tonumber(L, -1));
                ++list.count;
            }
            lua_pop(L, 2);  // entry
        }
        lua_pop(L, 1);  //
    }
}

Font* LuaGuiLibrary::makeFont(LuaGui& gui, const RawFontList& list) noexcept {
    try {
        std::vector<FontCandidate> candidates;
        for (int i = 0; i < list.count; ++i)
            candidates.push_back({list.entries[i].name, list.entries[i].size});
        std::unique_ptr<Font> font = CreateFont(candidates);
        if (font && gui.manager()) {
            gui.manager()->fonts.push_back(font.get());
            return font.release();
        }
        return nullptr;
    } catch (...) {
        return nullptr;
    }
}

void* LuaGuiLibrary::addLuaButton(LuaGui& gui, int reference) noexcept {
    try {
        gui.luaButtons_.push_back({&gui, reference});
        return &gui.luaButtons_.back();
    } catch (...) {
        return nullptr;
    }
}

void* LuaGuiLibrary::addTrigger(LuaGui& gui, std::uint32_t propertyId) noexcept {
    try {
        gui.triggers_.push_back({&gui, propertyId});
        return &gui.triggers_.back();
    } catch (...) {
        return nullptr;
    }
}

int luaopen_qxgui(lua_State* L) {
    auto* gui = static_cast<LuaGui*>(lua_touserdata(L, 1));
    lua_settop(L, 0);
    luaL_openlibs(L);
    gui->StateCreated(L);

    newMetatable(L, LuaGui::kGroupMetatable, kGroupMethods);
    newMetatable(L, LuaGui::kElementMetatable, kElementMethods);
    lua_register(L, "elementSetVisible", element_setVisible);
    lua_register(L, "elementIsVisible", element_isVisible);
    newMetatable(L, LuaGui::kTextureMetatable, kNoMethods);
    newMetatable(L, LuaGui::kFontMetatable, kNoMethods);
    newMetatable(L, LuaGui::kLabelMetatable, kLabelMethods);
    newMetatable(L, LuaGui::kTextFieldMetatable, kTextFieldMethods);
    newMetatable(L, LuaGui::kPropertyTextFieldMetatable, kPropertyTextFieldMethods);

    for (const luaL_Reg* function = kFunctions; function->name; ++function)
        lua_register(L, function->name, function->func);
    lua_register(L, "print", gui_print);

    lua_pushlightuserdata(L, gui);                                    // gui
    lua_setfield(L, LUA_REGISTRYINDEX, LuaGui::kViewRefconKey);       //
    lua_pushlightuserdata(L, &LuaGuiLibrary::parameterLookup(*gui));  // lookup
    lua_setfield(L, LUA_REGISTRYINDEX, LuaGui::kParamLookupKey);      //
    gui->RegisterExtraFunctions(L);

    setProductGlobals(L);
    return 0;
}

}  // namespace QX
