// The plug-in with the controls' test layout, built like the product (same
// entry point and helpers) with two properties of its own for the buttons
// and the property field, and a test failure count to show.

#include <atomic>
#include <cstring>
#include <string>

#include "ControlsLayout.h"
#include "engine/ZephCorvane.h"
#include "gui/EditorHelpers.h"
#include "plugin/MidiHistory.h"

namespace {

class ControlsPlugin : public QX4Controller::ZephCorvane {
public:
    explicit ControlsPlugin(audioMasterCallback audioMaster, const QX::PluginHelpers* helpers)
        : QX4Controller::ZephCorvane(audioMaster, helpers) {
        historyBlock()->testFailureCount = controlstest::kFailuresShown;
    }

    std::int32_t GetProperty(std::uint32_t id, std::uint32_t scope, std::uint32_t element,
                             void* data) override {
        if (id == controlstest::kSwitchProperty || id == controlstest::kOffProperty) {
            *static_cast<unsigned char*>(data) = switches_[id == controlstest::kOffProperty];
            return 0;
        }
        if (id == controlstest::kTextProperty) {
            std::memcpy(data, text_.c_str(), text_.size() + 1);
            return 0;
        }
        return ZephCorvane::GetProperty(id, scope, element, data);
    }
    std::int32_t GetPropertyInfo(std::uint32_t id, std::uint32_t scope, std::uint32_t element,
                                 std::uint32_t* size, bool* writable) override {
        if (id == controlstest::kSwitchProperty || id == controlstest::kOffProperty ||
            id == controlstest::kTextProperty) {
            if (size)
                *size = id != controlstest::kTextProperty
                            ? 1
                            : static_cast<std::uint32_t>(text_.size() + 1);
            if (writable)
                *writable = true;
            return 0;
        }
        return ZephCorvane::GetPropertyInfo(id, scope, element, size, writable);
    }
    std::int32_t SetProperty(std::uint32_t id, std::uint32_t scope, std::uint32_t element,
                             const void* data, std::uint32_t size) override {
        if ((id == controlstest::kSwitchProperty || id == controlstest::kOffProperty ||
             id == controlstest::kTextProperty) &&
            data && size > 0) {
            const char* bytes = static_cast<const char*>(data);
            if (id != controlstest::kTextProperty)
                switches_[id == controlstest::kOffProperty] = static_cast<unsigned char>(bytes[0]);
            else
                text_.assign(bytes, strnlen(bytes, size));
            return 0;
        }
        return ZephCorvane::SetProperty(id, scope, element, data, size);
    }

private:
    // Read by the editor's render thread, written by its input.
    std::atomic<unsigned char> switches_[2] = {{1}, {0}};
    std::string text_ = "USB MIDI Interface";
};

}  // namespace

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
    static const QX::EditorHelpers helpers(
        [](ZephCorvaneBase&) { return std::make_unique<controlstest::ControlsLayout>(); }, true);
    return new ControlsPlugin(audioMaster, &helpers);
}
