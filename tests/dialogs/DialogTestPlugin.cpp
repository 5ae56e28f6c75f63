// The plug-in with the dialog tests' editor, built like the product (same
// entry point, engine and helpers), with two questions the tests may ask.

#include <algorithm>
#include <cstring>
#include <string>

#include "DialogTestLayout.h"
#include "engine/ZephCorvane.h"
#include "gui/DialogPanel.h"
#include "gui/EditorHelpers.h"
#include "gui/Manager.h"

namespace dialogtest {
std::string SourceFieldText(QX::Manager& manager);
}

namespace {

void answer(const std::string& text, VstIntPtr capacity, void* ptr) {
    if (!ptr || capacity <= 0)
        return;
    const std::size_t n = std::min(text.size(), static_cast<std::size_t>(capacity) - 1);
    std::memcpy(ptr, text.data(), n);
    static_cast<char*>(ptr)[n] = '\0';
}

class DialogTestPlugin : public QX4Controller::ZephCorvane {
public:
    using QX4Controller::ZephCorvane::ZephCorvane;

    VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) override {
        auto* view = dynamic_cast<QX::CarbonVSTEditor*>(editor);
        QX::Manager* manager = view ? view->manager() : nullptr;
        if (index == dialogtest::kVendorDescribePanel) {
            bool open = false;
            if (manager) {
                manager->WithPanel([&](QX::DialogPanel* panel) {
                    if (panel) {
                        open = true;
                        answer(panel->Describe(), value, ptr);
                    }
                });
            }
            return open ? 1 : 0;
        }
        if (index == dialogtest::kVendorSourceField) {
            answer(manager ? dialogtest::SourceFieldText(*manager) : "(closed)", value, ptr);
            return 1;
        }
        return QX4Controller::ZephCorvane::vendorSpecific(index, value, ptr, opt);
    }
};

}  // namespace

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
    static const QX::EditorHelpers helpers(
        [](ZephCorvaneBase&) { return std::make_unique<dialogtest::DialogTestLayout>(); }, true);
    return new DialogTestPlugin(audioMaster, &helpers);
}
