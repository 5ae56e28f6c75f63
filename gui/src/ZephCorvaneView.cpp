#include "gui/ZephCorvaneView.h"

#include "plugin/ZephCorvaneBase.h"

ZephCorvaneView::ZephCorvaneView(ZephCorvaneBase* plugin, GuiBuilderFactory factory)
    : QX::CarbonVSTEditor(plugin), plugin_(plugin), factory_(std::move(factory)) {
    // The host may ask for the rectangle before the editor opens: a
    // temporary layout object reports the size.
    createGui();
    int width = 0, height = 0;
    if (gui_)
        gui_->GetWindowSize(width, height);
    SetDefaultSize(width, height);
    gui_.reset();
}

void ZephCorvaneView::createGui() {
    gui_ = factory_ ? factory_(*plugin_) : nullptr;
}

void ZephCorvaneView::createManager() {
    createGui();
    manager_ = std::make_unique<ALmanager>(plugin_);
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (gui_)
        gui_->GetWindowSize(width, height);
    manager_->width = width;
    manager_->height = height;
    if (gui_)
        gui_->CreateUI(*manager_);
}
