#pragma once
// This plug-in's Lua GUI: the resources its scripts may load ("buttons.png",
// "gui.lua", "gui_qx4controller.lua"), the element class behind each generic
// function, its own functions (knob and slider renderers, parameter buttons,
// the MIDI browse button, the info display, the MIDI history displays) and
// the named "Prefs" button. It is also the GuiBuilder the plug-in's editor
// asks for its window size and its elements.
//
// Threads: as LuaGui.

#include "gui/CarbonVSTEditor.h"
#include "script/LuaGui.h"

namespace QX {

class PluginLuaGui : public LuaGui, public GuiBuilder {
public:
    static constexpr const char* kKnobRendererMetatable = "QXgui.KnobRenderer";
    static constexpr const char* kSliderRendererMetatable = "QXgui.SliderRenderer";
    // Resource ids of the built-in files.
    static constexpr int kButtonsImageId = 120;
    static constexpr int kCommonScriptId = 135;
    static constexpr int kLayoutScriptId = 155;

    explicit PluginLuaGui(ZephCorvaneBase& plugin);

    // ---- GuiBuilder [main-thread] ----------------------------------------------------------
    // The scripts' window size; the default editor size when they give none
    // a window can have.
    void GetWindowSize(int& width, int& height) override;
    // The whole layout: scripts, fonts, the named buttons, createUI.
    void CreateUI(Manager& manager) override;
    // GetWindowSize with every script it runs ending by the budget's end.
    void GetWindowSizeWithin(std::chrono::milliseconds budget, int& width, int& height) override;
    void Interrupt() override { LuaGui::Interrupt(); }

    // ---- Element factories ------------------------------------------------------------------
    UIElement* MakeKnob(lua_State* L, int parameter, float x, float y, float size) override;
    UIElement* MakeSlider(lua_State* L, int parameter, float x, float y, float width, float height,
                          int horizontal) override;
    UIElement* MakeButton(lua_State* L, const NamedButton& entry, const char* caption, float x,
                          float y, float width, float height) override;
    UIElement* MakeLuaButton(lua_State* L, const char* caption, ButtonAction action, void* context,
                             float x, float y, float width, float height, int infoId,
                             bool toggle) override;
    UIElement* MakePropertyTriggerButton(lua_State* L, const char* caption, ButtonAction action,
                                         void* context, float x, float y, float width, float height,
                                         int infoId) override;
    UIElement* MakePropertyButton(lua_State* L, const char* caption, std::uint32_t propertyId,
                                  float x, float y, float width, float height, int infoId,
                                  int mode) override;
    UIElement* MakeDropDown(lua_State* L, int parameter, float x, float y, float width,
                            float height) override;
    void RegisterExtraFunctions(lua_State* L) override;

    // The named buttons handed to createUI: "Prefs" opens the About dialog
    // with the preferences.
    static const ButtonLookup& NamedButtons();
};

}  // namespace QX
