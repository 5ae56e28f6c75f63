#include "gui/ZephCorvaneView.h"

#include "gui/EditorHelpers.h"
#include "plugin/ZephCorvaneBase.h"

ZephCorvaneView::ZephCorvaneView(ZephCorvaneBase* plugin, GuiBuilderFactory factory)
    : QX::CarbonVSTEditor(plugin), plugin_(plugin), factory_(std::move(factory)) {
    SetDefaultSize(QX::kDefaultEditorWidth, QX::kDefaultEditorHeight);
}

bool ZephCorvaneView::getRect(ERect** out) {
    if (!sizeKnown_ && !manager()) {
        sizeKnown_ = true;
        createGui();
        int width = 0, height = 0;
        if (gui_)
            gui_->GetWindowSizeWithin(kWindowSizeBudget, width, height);
        if (width > 0 && height > 0)
            SetDefaultSize(width, height);
        gui_.reset();
    }
    return CarbonVSTEditor::getRect(out);
}

void ZephCorvaneView::createGui() {
    gui_ = factory_ ? factory_(*plugin_) : nullptr;
}

void ZephCorvaneView::createManager() {
    createGui();
    sizeKnown_ = true;
    manager_ = std::make_unique<ALmanager>(plugin_);
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (gui_)
        gui_->GetWindowSize(width, height);
    manager_->width = width;
    manager_->height = height;
    if (gui_)
        gui_->CreateUI(*manager_);
}
