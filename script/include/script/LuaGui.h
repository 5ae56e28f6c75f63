#pragma once
// The Lua 5.1 state in which the editor's layout is built: one per open
// editor (and one short-lived per plug-in instance, which only answers the
// window size). It registers the functions through which scripts make
// groups, controls, labels, textures and fonts in the editor's Manager, runs
// the layout scripts (the user's skin first, then the built-in ones, each
// definition made only where none exists yet), and calls the script's
// createUI. The element objects belong to the Manager; the userdata that
// name them in Lua own nothing.
//
// Every call into the scripts runs under a time budget (kCallBudget): the
// state's count hook ends a script that overruns it, as it ends every script
// once the editor is closing (Interrupt). So a script that never returns
// costs the thread that called it a bounded wait, never the host's close.
//
// Who enters the Lua state (never two threads at once, so there is no lock):
//   - the host's user-interface thread: construction, the scripts, fonts,
//     createUI and the window size, all before the editor's render thread
//     starts;
//   - the editor's render thread, while a Lua button's function runs (it
//     handles all input). The editor stops its render thread before it
//     deletes this object.
// Lua errors unwind with longjmp: no C++ object with a destructor lives in a
// frame that a Lua error can leave.

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "gui/Buttons.h"
#include "script/LuaRuntime.h"

struct lua_State;
class ZephCorvaneBase;

namespace QX {

class Manager;
class UIElement;
class Font;
struct FontCandidate;
struct LuaGuiLibrary;

// An entry of the named-button table handed to CreateUI: what a layout's
// button(name, ...) makes.
struct NamedButton {
    int tag;  // the button's information id (banner text)
    ButtonAction action;
    void* context;
};
using ButtonLookup = std::map<std::string, NamedButton, std::less<>>;

class LuaGui {
public:
    // Registry entries.
    static constexpr const char* kViewRefconKey = "QXgui::kViewRefcon";
    static constexpr const char* kParamLookupKey = "QXgui::kParamLookup";
    static constexpr const char* kButtonLookupKey = "QXgui::kButtonLookup";
    // Metatables (the spelling of the property text field's is the one
    // scripts know).
    static constexpr const char* kGroupMetatable = "QXgui.Group";
    static constexpr const char* kElementMetatable = "QXgui.Element";
    static constexpr const char* kLabelMetatable = "QXgui.Label";
    static constexpr const char* kTextFieldMetatable = "QXgui.TextField";
    static constexpr const char* kPropertyTextFieldMetatable = "QXgui.PropertyTextFied";
    static constexpr const char* kTextureMetatable = "QXgui.Texture";
    static constexpr const char* kFontMetatable = "QXgui.Font";

    using ParameterLookup = std::map<std::string, int, std::less<>>;

    // The longest one call into the scripts may run: one script, the fonts,
    // the window size, createUI or a Lua button's function.
    static constexpr std::chrono::milliseconds kCallBudget{2000};

    // `plugin` answers the properties (parameter table, layout script name,
    // product tag) and takes the parameter and property writes. The skin
    // comes from the "Skin" preference. [main-thread]
    explicit LuaGui(ZephCorvaneBase& plugin);
    // Closes the state; the elements stay with the Manager.
    virtual ~LuaGui();
    LuaGui(const LuaGui&) = delete;
    LuaGui& operator=(const LuaGui&) = delete;

    // ---- Slots ------------------------------------------------------------------------
    // Called once the state is open, before anything is registered.
    virtual void StateCreated(lua_State* /*L*/) {}
    // The element factories: what the generic functions knob, slider,
    // button, luaButton, propertyTriggerButton, propertyButton and dropDown
    // make. Called inside the Lua function with its arguments on the stack;
    // they may raise Lua errors (so they keep no C++ object alive) and
    // return null only when memory ran out.
    virtual UIElement* MakeKnob(lua_State* L, int parameter, float x, float y, float size) = 0;
    // `first` is the stack index of the slider's first argument.
    virtual UIElement* MakeSlider(lua_State* L, int parameter, float x, float y, float width,
                                  float height, int horizontal) = 0;
    virtual UIElement* MakeButton(lua_State* L, const NamedButton& entry, const char* caption,
                                  float x, float y, float width, float height) = 0;
    virtual UIElement* MakeLuaButton(lua_State* L, const char* caption, ButtonAction action,
                                     void* context, float x, float y, float width, float height,
                                     int infoId, bool toggle) = 0;
    virtual UIElement* MakePropertyTriggerButton(lua_State* L, const char* caption,
                                                 ButtonAction action, void* context, float x,
                                                 float y, float width, float height,
                                                 int infoId) = 0;
    virtual UIElement* MakePropertyButton(lua_State* L, const char* caption,
                                          std::uint32_t propertyId, float x, float y, float width,
                                          float height, int infoId, int mode) = 0;
    virtual UIElement* MakeDropDown(lua_State* L, int parameter, float x, float y, float width,
                                    float height) = 0;
    // Adds the subclass's globals and metatables (inside a protected call).
    virtual void RegisterExtraFunctions(lua_State* /*L*/) {}

    // ---- The editor's calls [main-thread] -----------------------------------------------
    // [any-thread] Ends the script running now, if any, and every later
    // call at once: the editor is closing.
    void Interrupt() { stop_.Trip(); }
    // Until ClearTimeLimit, every call into the scripts ends by `deadline`
    // at the latest, whatever is left of its own budget.
    void LimitTime(std::chrono::steady_clock::time_point deadline) { limit_ = deadline; }
    void ClearTimeLimit() { limit_.reset(); }

    // The Manager the elements go into; may stay null for an object that
    // only answers the window size.
    void SetManager(Manager* manager) { manager_ = manager; }
    Manager* manager() const { return manager_; }
    // Creates the state, registers everything and runs the scripts: the
    // skin's "gui.lua" and layout script, then the built-in ones. False when
    // the state could not be made (out of memory). Runs once.
    bool Initialise();
    // The three font slots from getFont, getLabelFont and getTextFieldFont.
    void LoadFonts();
    // Hands the window size to the Manager and runs createUI with the
    // named buttons available to button().
    void CreateUI(const ButtonLookup& buttons);
    // getWindowSize(); (0, 0) when the script gives nothing usable.
    void GetWindowSize(int& width, int& height);
    // One script: from the skin's Contents/Resources folder, or built in
    // (by the resource-id lookup). Errors are printed ("@@@ failed to run
    // buffer: ...") and end only that script.
    void RunScript(const char* name, bool fromSkin);

    // ---- For the Lua functions and tests ------------------------------------------------
    lua_State* state() const { return L_; }
    static LuaGui* FromState(lua_State* L);
    ZephCorvaneBase& plugin() { return plugin_; }
    bool skinSelected() const { return skinSelected_; }
    const std::string& skinFolder() const { return skinFolder_; }
    // skin folder + "/Contents/Resources/" + name (the system's separator).
    std::string SkinFile(const char* name) const;
    // The resource id of a built-in script or image; -1 when not listed.
    int ResourceId(const char* name) const;
    const std::vector<std::string>& elementKinds() const { return elementKinds_; }
    // Where the "@@@ " diagnostics and print go: the debugger output.
    virtual void writeDebugOutput(const char* text);

    // The element at `arg`, or the argument error "element expected, got
    // <type>". [inside a Lua function]
    static UIElement* CheckElement(lua_State* L, int arg);
    // The object at `arg` when it is a userdata of that metatable; null
    // otherwise. [inside a Lua function]
    static void* ToObject(lua_State* L, int arg, const char* metatable);
    // Pushes a new userdata of one pointer with the named metatable.
    static void PushObject(lua_State* L, void* object, const char* metatable);
    // A parameter display name at `arg`: its index, or the Lua error
    // "parameter not found: '<name>'".
    static int CheckParameterName(lua_State* L, int arg);
    // The Manager, or the Lua error "no editor" for a state that builds
    // nothing.
    static Manager& CheckManager(lua_State* L);
    // The Manager while elements may still be added to it: as CheckManager,
    // and the Lua error "the editor is open: ..." once its render thread
    // runs. That thread owns the tree from then on and has laid it out and
    // loaded its textures and renderers once; a Lua button's function may
    // show, hide and recolour what is there, but not add to it.
    static Manager& CheckLayoutManager(lua_State* L);

protected:
    // The subclass names its resources here (name -> id; scripts are of
    // type 256, images of type 257) and its element kinds.
    void AddResource(const char* name, int id);
    void AddElementKind(const char* metatable);
    // Runs a loaded chunk (or reports the load error), printing failures;
    // `error` (when given) receives Lua's message of a failure.
    bool RunLoaded(int loadStatus, std::string* error = nullptr);
    // Calls `function` (pushed) with no arguments and one result kept on
    // the stack (nil on failure); errors are printed.
    bool CallGlobal(const char* name, int results);

private:
    friend struct LuaGuiLibrary;

    // What a Lua button calls, and what a property trigger button writes.
    struct LuaButtonRecord {
        LuaGui* owner;
        int reference;
    };
    struct TriggerRecord {
        LuaGui* owner;
        std::uint32_t propertyId;
    };
    static void LuaButtonPressed(Button* button, void* context);
    static void TriggerPressed(Button* button, void* context);

    bool CreateState();
    // Sets the deadline of the call about to be made into the state.
    void StartCall();
    // The first font of the list `function` returns that loads (pushed
    // function on top, popped); null when none does.
    Font* FontFromList(const char* function);
    std::vector<FontCandidate> ReadFontList(int tableIndex);

    ZephCorvaneBase& plugin_;
    Manager* manager_ = nullptr;
    std::string skinFolder_;
    bool skinSelected_ = false;
    // Declared before the state, which uses it until it is closed.
    LuaStopSignal stop_{"interrupted: the editor is closing"};
    std::optional<std::chrono::steady_clock::time_point> limit_;
    lua_State* L_ = nullptr;
    bool initialised_ = false;
    std::vector<std::string> elementKinds_;
    std::map<std::string, int, std::less<>> resourceIds_;
    ParameterLookup parameterLookup_;
    int parameterCount_ = 0;
    // Deques: the buttons keep the records' addresses.
    std::deque<LuaButtonRecord> luaButtons_;
    std::deque<TriggerRecord> triggers_;
};

}  // namespace QX
