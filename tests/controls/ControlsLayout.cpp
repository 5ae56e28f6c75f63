#include "ControlsLayout.h"

#include <cstdio>
#include <vector>

#include "gui/Buttons.h"
#include "gui/DropDown.h"
#include "gui/Font.h"
#include "gui/Group.h"
#include "gui/InfoDisplay.h"
#include "gui/Knob.h"
#include "gui/KnobRenderers.h"
#include "gui/Label.h"
#include "gui/Slider.h"
#include "gui/TextField.h"
#include "gui/Texture.h"
#include "plugin/ParameterTable.h"

namespace controlstest {

namespace {

std::vector<QX::FontCandidate> fontCandidates(int size) {
    // A fresh Wine prefix has no fonts of its own: the Linux one by its
    // path on Wine's drive for the Unix root.
    return {{"verdana.ttf", size},
            {"DejaVuSans.ttf", size},
            {"Z:\\usr\\share\\fonts\\truetype\\dejavu\\DejaVuSans.ttf", size}};
}

// Prints each press, so a person running the viewer sees the actions.
void announce(QX::Button* button, void*) {
    std::printf("button \"%s\" state %d\n", button->caption.c_str(), button->GetState() ? 1 : 0);
    std::fflush(stdout);
}

void colourLabel(QX::Label* label) {
    const float background[4] = {0.1f, 0.1f, 0.15f, 0.3f};
    const float foreground[4] = {0.9f, 0.9f, 0.9f, 1.0f};
    for (int i = 0; i < 4; ++i) {
        label->backgroundColour[i] = background[i];
        label->foregroundColour[i] = foreground[i];
    }
}

}  // namespace

void ControlsLayout::GetWindowSize(int& width, int& height) {
    width = kWidth;
    height = kHeight;
}

void ControlsLayout::CreateUI(QX::Manager& m) {
    QX::Manager* manager = &m;
    m.mainFont = QX::CreateFont(fontCandidates(13)).release();
    m.labelFont = QX::CreateFont(fontCandidates(11)).release();
    m.textFieldFont = QX::CreateFont(fontCandidates(11)).release();
    for (int i = 0; i < 3; ++i)
        m.clearColour[i] = kBackground[i];
    const float banner[4] = {0.1f, 0.1f, 0.15f, 0.3f};
    for (int i = 0; i < 4; ++i)
        m.bannerColour[i] = banner[i];
    const float bannerText[4] = {0.9f, 0.9f, 0.9f, 1.0f};
    for (int i = 0; i < 4; ++i)
        m.bannerTextColour[i] = bannerText[i];
    const float active[4] = {0.7f, 0.7f, 0.7f, 1.0f}, inactive[4] = {0.6f, 0.6f, 0.6f, 1.0f};
    for (int i = 0; i < 4; ++i) {
        m.groupActiveColour[i] = active[i];
        m.groupInactiveColour[i] = inactive[i];
    }
    m.drawOverlays = true;
    m.AddDefaultInfoTexts();
    m.SetBannerPosition(static_cast<float>(kHeight) - 28);

    // The atlas as the built-in layout cuts it, and a slider thumb.
    auto* atlas = new QX::Texture(manager, "", 120);
    auto* thumb = new QX::Texture(manager, "", 121);
    auto* thumbNormals = new QX::Texture(manager, "", 122);
    auto* tiny = new QX::ArcKnobRenderer(manager, atlas, 2, 128 - 100 - 26, 26, 32, 128 - 100 - 26);
    auto* small = new QX::ArcKnobRenderer(manager, atlas, 2, 128 - 2 - 34, 34, 2, 128 - 42 - 34);
    auto* big = new QX::ArcKnobRenderer(manager, atlas, 52, 128 - 2 - 92, 92, 162, 128 - 2 - 92);
    auto* spin = new QX::TexturedKnobRenderer(manager, atlas, 64, 1, 32);
    auto* sliders = new QX::TexturedSliderRenderer(manager, thumb, thumbNormals);

    const float margins[4] = {12, 10, 10, 10};
    auto* knobs = new QX::NamedGroup(manager, "Knobs", margins);
    knobs->Add(
        new QX::ArcKnob(manager, big, kParamOutputLevel, kBigKnob.x, kBigKnob.y, kBigKnob.w));
    const int smallParams[3] = {kParamSwing, kParamClockOffset, kParamTestInterval};
    for (int i = 0; i < 3; ++i) {
        const Place& p = kSmallKnobs[i];
        knobs->Add(new QX::ArcKnob(manager, small, smallParams[i], p.x, p.y, p.w));
    }
    const int tinyParams[4] = {kParamMessageByte1, kParamMessageByte2, kParamMessageByte3,
                               kParamPhaseInvert};
    for (int i = 0; i < 4; ++i) {
        const Place& p = kTinyKnobs[i];
        knobs->Add(new QX::ArcKnob(manager, tiny, tinyParams[i], p.x, p.y, p.w));
    }
    knobs->Add(
        new QX::PlexKnob(manager, spin, kParamBalance, kPlexKnob.x, kPlexKnob.y, kPlexKnob.w));
    for (const auto& [place, param, format] :
         {std::tuple{kSwingField, int{kParamSwing}, ""},
          std::tuple{kOffsetField, int{kParamClockOffset}, ""},
          std::tuple{kLevelField, int{kParamOutputLevel}, "%.2f"}}) {
        knobs->Add(new QX::TextField(manager, param, place.x, place.y, place.w, place.h, format));
    }
    const char* const names[4] = {"Level", "Swing", "Offset", "Softness"};
    const Place under[4] = {kLevelField, kSwingField, kOffsetField, kSlider};
    for (int i = 0; i < 4; ++i) {
        auto* label = new QX::Label(manager, names[i], under[i].cx(), under[i].y - 3, 0, 0, 0);
        colourLabel(label);
        knobs->Add(label);
    }
    knobs->Add(new QX::TexturedSlider(manager, sliders, 16, 16, 7, 12, kParamSoftness, kSlider.x,
                                      kSlider.y, kSlider.w, kSlider.h, 1));
    knobs->Add(new QX::TexturedSlider(manager, sliders, 48, 16, 12, 7, kParamBalance,
                                      kVerticalSlider.x, kVerticalSlider.y, kVerticalSlider.w,
                                      kVerticalSlider.h, 0));
    m.root->Add(knobs);

    auto* buttons = new QX::NamedGroup(manager, "Buttons", margins);
    const int tipId = m.AddInfoText("Announces itself on standard output");
    buttons->Add(new QX::PlexButton(manager, "Action", announce, nullptr, kPlainButton.x,
                                    kPlainButton.y, kPlainButton.w, kPlainButton.h, tipId));
    auto* toggleOn = new QX::PlexStatefulButton(manager, "Toggle", announce, nullptr, kToggleOn.x,
                                                kToggleOn.y, kToggleOn.w, kToggleOn.h, -1, 1);
    toggleOn->SetState(true);
    buttons->Add(toggleOn);
    buttons->Add(new QX::PlexStatefulButton(manager, "Momentary", announce, nullptr, kToggleOff.x,
                                            kToggleOff.y, kToggleOff.w, kToggleOff.h, -1, 0));
    buttons->Add(new QX::PlexPropertyButton(manager, "Indicator", kSwitchProperty, kIndicator.x,
                                            kIndicator.y, kIndicator.w, kIndicator.h, -1,
                                            QX::PlexPropertyButton::kIndicator));
    buttons->Add(new QX::PlexPropertyButton(manager, "Switch", kOffProperty, kPropertyToggle.x,
                                            kPropertyToggle.y, kPropertyToggle.w, kPropertyToggle.h,
                                            -1, QX::PlexPropertyButton::kToggle));
    buttons->Add(new QX::PlexPropertyButton(manager, "Trigger", kSwitchProperty, kTrigger.x,
                                            kTrigger.y, kTrigger.w, kTrigger.h, -3,
                                            QX::PlexPropertyButton::kTrigger));
    buttons->Add(new QX::CrvnButton(manager, "Clock", kClockButton.x, kClockButton.y,
                                    kClockButton.w, kClockButton.h, kParamClock));
    buttons->Add(new QX::CrvnButton(manager, "Use SPP", kSppButton.x, kSppButton.y, kSppButton.w,
                                    kSppButton.h, kParamUseMidiSpp));
    m.root->Add(buttons);

    auto* lists = new QX::NamedGroup(manager, "Lists", margins);
    lists->Add(new QX::ALDropDown(manager, kParamChannelise, kChannelise.x, kChannelise.y,
                                  kChannelise.w, kChannelise.h));
    lists->Add(new QX::ALDropDown(manager, kParamTestType, kTestType.x, kTestType.y, kTestType.w,
                                  kTestType.h));
    auto* channelise =
        new QX::Label(manager, "Channelise", kChannelise.x - 5, kChannelise.y, 2, 0, kChannelise.h);
    auto* type = new QX::Label(manager, "Type", kTestType.x - 5, kTestType.y, 2, 0, kTestType.h);
    lists->Add(new QX::PropertyTextField(manager, kTextProperty, "Enter MIDI source",
                                         kPropertyField.x, kPropertyField.y, kPropertyField.w,
                                         kPropertyField.h));
    auto* failures = new QX::Label(manager, "Test Failures:", kInfoDisplay.x - 5, kInfoDisplay.y, 2,
                                   0, kInfoDisplay.h);
    for (QX::Label* label : {channelise, type, failures}) {
        colourLabel(label);
        lists->Add(label);
    }
    lists->Add(new QX::InfoDisplay(manager, kInfoDisplay.x, kInfoDisplay.y, kInfoDisplay.w,
                                   kInfoDisplay.h, m.midiHistory));
    m.root->Add(lists);
}

}  // namespace controlstest
