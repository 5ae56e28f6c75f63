// The plug-in with the tests' editor layout, built like the product (same
// entry point and helpers) and advertising its editor.

#include "TestLayout.h"
#include "engine/ZephCorvane.h"
#include "gui/EditorHelpers.h"

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
    static const QX::EditorHelpers helpers(
        [](ZephCorvaneBase&) { return std::make_unique<editortest::TestLayout>(); }, true);
    return new QX4Controller::ZephCorvane(audioMaster, &helpers);
}
