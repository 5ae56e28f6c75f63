#pragma once
// The concrete plug-in: the MIDI signal engine on top of the product-family
// layer.

#include <mutex>
#include <string>

#include "plugin/ZephCorvaneBase.h"

namespace QX4Controller {

class ZephCorvane : public ZephCorvaneBase {
public:
    explicit ZephCorvane(audioMasterCallback audioMaster);
    ~ZephCorvane() override;

    // ---- VST overrides ------------------------------------------------------------
    // Pins 0..7 (inputs) and 0..1 (outputs) are described although the
    // plug-in declares no input and one output: hosts that ask get answers.
    bool getInputProperties(VstInt32 index, VstPinProperties* properties) override;
    bool getOutputProperties(VstInt32 index, VstPinProperties* properties) override;
    bool getEffectName(char* name) override;
    bool getProductString(char* text) override;

    // ---- Properties: the MIDI source of the test input -------------------------------
    std::int32_t GetProperty(std::uint32_t id, std::uint32_t scope, std::uint32_t element,
                             void* data) override;
    std::int32_t GetPropertyInfo(std::uint32_t id, std::uint32_t scope, std::uint32_t element,
                                 std::uint32_t* size, bool* writable) override;
    std::int32_t SetProperty(std::uint32_t id, std::uint32_t scope, std::uint32_t element,
                             const void* data, std::uint32_t size) override;

    // ---- Added slots ------------------------------------------------------------------
    void initialise() override;
    // Releases an optional device object this plug-in never creates; the
    // OSC server keeps running until destruction, which follows at once.
    void closeHook() override {}
    const char* familyText() override { return "tavro"; }
    const char* guiScriptName() override { return "gui_qx4controller.lua"; }

    // [any-thread] A copy of the MIDI source name.
    std::string midiSourceName() const;

private:
    bool describePin(VstInt32 index, VstInt32 count, VstPinProperties* properties);

    mutable std::mutex sourceNameMutex_;
    std::string midiSourceName_;
};

}  // namespace QX4Controller
