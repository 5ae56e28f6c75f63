// Compiled into the tests only while gui/src/Manager.cpp is still a
// placeholder (see CMakeLists.txt): the few Manager operations the elements
// call, as the editor's Manager performs them. Delete this file once the
// Manager is in.

#include <cstring>

#include "gui/Effect.h"
#include "gui/Group.h"
#include "gui/Manager.h"
#include "gui/StaticText.h"
#include "gui/Texture.h"
#include "platform/ManagerPlatformBridge.h"
#include "plugin/ZephCorvaneBase.h"

namespace QX {

LastTouched& lastTouched() {
    static LastTouched touched;
    return touched;
}

Manager::Manager(ZephCorvaneBase* owner) : plugin(owner) {
    std::int32_t count = 0;
    plugin->GetProperty(prop::kParameterCount, 0, 0, &count);
    const ParameterDescriptor* table = plugin->parameterDescriptors();
    for (int i = 0; i < count; ++i) {
        ParameterInfo info;
        info.index = i;
        std::strncpy(info.name, table[i].name, sizeof info.name - 1);
        info.type = table[i].unit;
        info.minimum = table[i].minimum;
        info.maximum = table[i].maximum;
        info.defaultValue = table[i].defaultNative();
        info.plugin = plugin;
        parameterInfo.push_back(info);
    }
    root = new Group(this);
    titleText = new StaticText(this, false);
    labelText = new StaticText(this, true);
}

Manager::~Manager() {
    for (UIElement* element : elements) {
        delete element;
    }
    for (Texture* texture : textures) {
        delete texture;
    }
    for (Effect* effect : effects) {
        delete effect;
    }
    for (Font* font : fonts) {
        delete font;
    }
}

void Manager::Idle() {}
void Manager::DrawUITexture() {}

void Manager::BeginParameterEdit(int index) {
    if (editId == index) {
        return;
    }
    if (editId >= 0 && host != nullptr) {
        host->EndEdit(editId);
    }
    editId = index;
    if (host != nullptr) {
        host->BeginEdit(index);
    }
    lastTouched().plugin = plugin;
    lastTouched().index = index;
}

void Manager::SetParameterFromEditor(int index, float plainValue) {
    plugin->setParameterNative(index, plainValue, false);
    if (host != nullptr) {
        host->Automate(index,
                       nativeToNormalized(plugin->parameterDescriptors()[index], plainValue));
    }
}

}  // namespace QX
