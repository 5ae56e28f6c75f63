// The plug-in object the entry point builds: the concrete plug-in with its
// real helpers (the Lua MIDI helper, the OSC server and the editor, laid out
// by the built-in Lua scripts or the user's skin).

#include "engine/ZephCorvane.h"
#include "gui/EditorHelpers.h"
#include "script/PluginLuaGui.h"

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
    // Stateless and shared by every instance; it lives as long as the
    // library, longer than any instance it helped build.
    static const QX::EditorHelpers helpers(
        [](ZephCorvaneBase& plugin) { return std::make_unique<QX::PluginLuaGui>(plugin); }, true);
    return new QX4Controller::ZephCorvane(audioMaster, &helpers);
}
