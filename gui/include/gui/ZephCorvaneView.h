#pragma once
// The plug-in's editor: its layout comes from a GuiBuilder made by the
// factory it was given (the layout scripts in the product, a fixed layout in
// tests).

#include <functional>
#include <memory>

#include "gui/ALmanager.h"
#include "gui/CarbonVSTEditor.h"

class ZephCorvaneBase;

using GuiBuilderFactory = std::function<std::unique_ptr<QX::GuiBuilder>(ZephCorvaneBase&)>;

class ZephCorvaneView : public QX::CarbonVSTEditor {
public:
    // Asks a temporary builder for the window size, so that the host can
    // have the rectangle before the editor opens.
    ZephCorvaneView(ZephCorvaneBase* plugin, GuiBuilderFactory factory);

    void createManager() override;
    void createGui() override;

private:
    ZephCorvaneBase* plugin_;
    GuiBuilderFactory factory_;
};
