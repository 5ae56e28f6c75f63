#include "gui/Dialogs.h"

#include <cstdio>

#include "gui/DialogPanel.h"
#include "gui/DialogProcedures.h"
#include "gui/DialogTemplates.h"
#include "gui/Manager.h"
#include "platform/Diagnostics.h"
#include "platform/ManagerPlatformBridge.h"
#include "plugin/ZephCorvaneBase.h"

namespace QX {

namespace {

std::uintptr_t EditorWindow(Manager& manager) {
    ManagerPlatformBridge* bridge = manager.Bridge();
    return bridge ? bridge->NativeWindow() : 0;
}

}  // namespace

void RunDialog(Manager& manager, const DialogTemplate& dialog,
               std::unique_ptr<platform::DialogProcedure> procedure, std::uintptr_t /*owner*/) {
    // The gesture that opened the dialog ends here: its mouse-up goes to the
    // dialog (or, on Windows, to nobody while the editor is disabled).
    manager.CancelGesture();
    if (!platform::hasNativeDialogs()) {
        manager.OpenPanel(std::make_unique<DialogPanel>(dialog, std::move(procedure)));
        return;
    }
    auto request = std::make_shared<DialogRequest>();
    request->resourceId = dialog.resourceId;
    request->caption = dialog.caption;
    request->procedure = std::move(procedure);
    if (manager.host && manager.host->ShowDialog(request))
        return;
    RunNativeDialog(manager, *request, nullptr);
    manager.ReleaseRendering();
}

int RunNativeDialog(Manager& manager, DialogRequest& dialog, std::atomic<std::uintptr_t>* shown) {
    manager.HoldRendering();
    const int result = platform::runModalDialog(dialog.resourceId, EditorWindow(manager),
                                                *dialog.procedure, shown);
    if (result < 0) {
        platform::reportf(platform::ReportLevel::kError,
                          "failed to show the dialog \"%s\" (resource %d)", dialog.caption.c_str(),
                          dialog.resourceId);
    }
    return result;
}

void ShowAboutDialog(Manager& manager) {
    if (!manager.plugin)
        return;
    RunDialog(manager, AboutDialogTemplate(),
              std::make_unique<AboutProcedure>(AboutModel(*manager.plugin)), EditorWindow(manager));
}

void ShowPropertyDialog(Manager& manager, std::uint32_t propertyId, const std::string& prompt) {
    if (!manager.plugin)
        return;
    // Given the editor's child window, Windows makes its top-level window
    // (the host's window that holds the editor) the owner.
    RunDialog(manager, PropertyDialogTemplate(),
              std::make_unique<PropertyProcedure>(
                  PropertyDialogModel(*manager.plugin, propertyId, prompt)),
              EditorWindow(manager));
}

void ShowMidiBrowser(Manager& manager) {
    if (!manager.plugin)
        return;
    RunDialog(manager, MidiBrowserTemplate(),
              std::make_unique<MidiBrowserProcedure>(
                  MidiBrowserModel(*manager.plugin, prop::kMidiSourceName)),
              EditorWindow(manager));
}

}  // namespace QX
