#pragma once
// The three dialogs' procedures: each fills its dialog from its model when
// it opens and turns the dialog's commands into the model's. The same
// procedure runs in the Windows dialog and in the editor's own panel.

#include <cstdint>
#include <string>

#include "gui/AboutModel.h"
#include "gui/MidiBrowserModel.h"
#include "gui/PropertyDialogModel.h"
#include "platform/Dialogs.h"

namespace QX {

class AboutProcedure : public platform::DialogProcedure {
public:
    explicit AboutProcedure(AboutModel model) : model_(std::move(model)) {}
    void Init(platform::DialogWindow& window) override;
    bool Command(platform::DialogWindow& window, int id, platform::DialogEvent event) override;
    AboutModel& model() { return model_; }

private:
    AboutModel model_;
};

class PropertyProcedure : public platform::DialogProcedure {
public:
    explicit PropertyProcedure(PropertyDialogModel model) : model_(std::move(model)) {}
    void Init(platform::DialogWindow& window) override;
    bool Command(platform::DialogWindow& window, int id, platform::DialogEvent event) override;

private:
    PropertyDialogModel model_;
};

class MidiBrowserProcedure : public platform::DialogProcedure {
public:
    explicit MidiBrowserProcedure(MidiBrowserModel model) : model_(std::move(model)) {}
    void Init(platform::DialogWindow& window) override;
    bool Command(platform::DialogWindow& window, int id, platform::DialogEvent event) override;

private:
    MidiBrowserModel model_;
};

}  // namespace QX
