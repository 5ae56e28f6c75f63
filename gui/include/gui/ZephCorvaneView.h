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
    // Runs no layout code: hosts create plug-ins while scanning, and a
    // skin's scripts may be slow, loop or call the host.
    ZephCorvaneView(ZephCorvaneBase* plugin, GuiBuilderFactory factory);

    // The first time a host asks before the editor opens, a temporary
    // builder answers within kWindowSizeBudget (the default size when it
    // cannot).
    bool getRect(ERect** rect) override;
    void createManager() override;
    void createGui() override;

    static constexpr std::chrono::milliseconds kWindowSizeBudget{2000};

private:
    ZephCorvaneBase* plugin_;
    bool sizeKnown_ = false;
    GuiBuilderFactory factory_;
};
