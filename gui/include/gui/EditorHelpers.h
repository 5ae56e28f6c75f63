#pragma once
// The plug-in's helpers with an editor: the Lua MIDI helper and the OSC
// server of the product, and a ZephCorvaneView whose layout comes from the
// given factory.

#include "gui/ZephCorvaneView.h"
#include "osc/ProductHelpers.h"

namespace QX {

class EditorHelpers : public ProductHelpers {
public:
    // `advertise`: whether hosts are told the plug-in has an editor.
    EditorHelpers(GuiBuilderFactory factory, bool advertise)
        : factory_(std::move(factory)), advertise_(advertise) {}

    AEffEditor* createEditor(ZephCorvaneBase& plugin, bool& advertise) const override {
        advertise = advertise_;
        return new ZephCorvaneView(&plugin, factory_);
    }

private:
    GuiBuilderFactory factory_;
    bool advertise_;
};

// The window size of the editor until its layout script says otherwise.
inline constexpr int kDefaultEditorWidth = 1000;
inline constexpr int kDefaultEditorHeight = 450;

}  // namespace QX
