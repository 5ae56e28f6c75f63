#include "gui/Manager.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <system_error>

#include "GL.h"
#include "PngImage.h"
#include "gui/DialogPanel.h"
#include "gui/Effect.h"
#include "gui/Font.h"
#include "gui/Group.h"
#include "gui/StaticText.h"
#include "gui/StatusLine.h"
#include "gui/Texture.h"
#include "gui/UIElement.h"
#include "platform/Diagnostics.h"
#include "platform/ManagerPlatformBridge.h"
#include "platform/NumericLocale.h"
#include "platform/Preferences.h"
#include "platform/Settings.h"
#include "platform/ThreadName.h"
#include "plugin/Properties.h"
#include "plugin/ZephCorvaneBase.h"
#include "tavro/Version.h"

namespace QX {

namespace {

std::atomic<std::uint32_t> managerCount{0};

// The built-in information texts, ids -2, -3, ... in this order.
const char* const kDefaultInfoTexts[] = {
    "About tavro and preferences",
    "Save calibration data",
    "Load calibration data",
    "Load calibration data",
    "Import settings from another product",
};

}  // namespace

LastTouched& lastTouched() {
    static LastTouched touched;
    return touched;
}

// ---- Construction ----------------------------------------------------------------

Manager::Manager(ZephCorvaneBase* owner)
    : plugin(owner),
      statusLine_(std::make_unique<StatusLine>(
          owner, owner ? owner->reportsBefore() : platform::lastReportSerial())) {
    serial = managerCount.fetch_add(1);
    auto& settings = platform::processSettings();
    settings.eyeCandy = platform::readIntPreference(platform::kPrefEyeCandy, 1) != 0;
    settings.constantRedraw = platform::readIntPreference(platform::kPrefConstantRedraw, 1) != 0;
    settings.floatingTooltip = platform::readIntPreference(platform::kPrefFloatingTooltip, 0) != 0;

    std::int32_t count = 0;
    if (plugin && plugin->GetProperty(prop::kParameterCount, 0, 0, &count) == 0 && count > 0) {
        const ParameterDescriptor* table = plugin->parameterDescriptors();
        parameterInfo.resize(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            ParameterInfo& info = parameterInfo[static_cast<std::size_t>(i)];
            info.index = i;
            std::snprintf(info.name, sizeof info.name, "%s", table[i].name);
            info.type = table[i].unit;
            info.minimum = table[i].minimum;
            info.maximum = table[i].maximum;
            info.defaultValue = table[i].defaultNative();
            info.plugin = plugin;
        }
    }
    drawnParameters_.assign(parameterInfo.size(), std::nanf(""));

    root = new Group(this);
    titleText = new StaticText(this, false);
    labelText = new StaticText(this, true);
    if (plugin)
        midiHistory = plugin->historyBlock();
}

Manager::~Manager() {
    StopRenderTask();
    // A panel still open goes with its procedure, whatever it would have
    // written: the editor closed under it, as a dialog cancelled.
    panel_.reset();
    parameterInfo.clear();
    for (UIElement* element : elements)
        delete element;
    elements.clear();
    for (Texture* texture : textures)
        delete texture;
    textures.clear();
    for (Effect* effect : effects)
        delete effect;
    effects.clear();
    // A font may sit in several slots and in the list; each goes once.
    std::set<Font*> allFonts(fonts.begin(), fonts.end());
    allFonts.insert({mainFont, labelFont, textFieldFont});
    allFonts.erase(nullptr);
    for (Font* font : allFonts)
        delete font;
    fonts.clear();
    mainFont = labelFont = textFieldFont = nullptr;
    delete shutdowner;
    bridge.reset();
}

void Manager::Idle() {
    root->Idle();
    for (Effect* effect : effects)
        effect->Idle();
}

void Manager::UpdateLayout() {
    char title[64];
    std::snprintf(title, sizeof title, "%sTAVRO %s", bannerMode == 0 ? "vantrell : " : "",
                  tavro::kVersionText);
    if (mainFont && bannerMode != 2) {
        const float y = bannerBox.minY - mainFont->Descender();
        if (titleIndex < 0)
            titleIndex = titleText->AddText(title, titleX, y, bannerTextColour);
        else
            titleText->SetText(titleIndex, title, titleX, y);
    }
    const float w = static_cast<float>(width.load());
    const float h = static_cast<float>(height.load());
    aspect = w / h;
    xScale = 2 / w;
    yScale = 2 / h;
    fieldOfView = 65;
    eyeDistance = 1 / (yScale * 0.63707024f);
    eyeX = w / 2;
    eyeY = h / 2;
    lightTarget = {w / 2, h / 2};
    editorRect[0] = 0;
    editorRect[1] = 0;
    editorRect[2] = static_cast<std::int16_t>(height.load());
    editorRect[3] = static_cast<std::int16_t>(width.load());
}

// ---- Texts ----------------------------------------------------------------------------------

void Manager::AddDefaultInfoTexts() {
    int id = -2;
    for (const char* text : kDefaultInfoTexts)
        infoTexts[id--] = text;
}

int Manager::AddInfoText(const std::string& text) {
    for (const auto& entry : infoTexts) {
        if (entry.second == text)
            return entry.first;
    }
    int id = -2;
    for (const auto& entry : infoTexts) {
        if (entry.first <= id)
            id = entry.first - 1;
    }
    infoTexts[id] = text;
    return id;
}

const std::string* Manager::InfoText(int id) const {
    auto it = infoTexts.find(id);
    return it == infoTexts.end() ? nullptr : &it->second;
}

void Manager::SetBannerPosition(float y) {
    const float lineHeight = mainFont ? mainFont->LineHeight() : 5.0f;
    bannerBox = Box::Make(20, y, static_cast<float>(width) - 20, y + lineHeight);
}

}  // namespace QX
