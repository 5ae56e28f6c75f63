// The plug-in object the entry point builds: the concrete plug-in with its
// real helpers (the Lua MIDI helper, the OSC server and the editor).

#include "engine/ZephCorvane.h"
#include "gui/EditorHelpers.h"

namespace {

// The editor's layout until the layout scripts arrive: the default window
// and no elements. Hosts are not told of it yet.
class DefaultLayout : public QX::GuiBuilder {
public:
    void GetWindowSize(int& width, int& height) override {
        width = QX::kDefaultEditorWidth;
        height = QX::kDefaultEditorHeight;
    }
    void CreateUI(QX::Manager& /*manager*/) override {}
};

}  // namespace

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
    // Stateless and shared by every instance; it lives as long as the
    // library, longer than any instance it helped build.
    static const QX::EditorHelpers helpers(
        [](ZephCorvaneBase&) { return std::make_unique<DefaultLayout>(); }, false);
    return new QX4Controller::ZephCorvane(audioMaster, &helpers);
}
