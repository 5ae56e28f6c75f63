#pragma once
// The concrete plug-in: the MIDI signal engine on top of the product-family
// layer. Host MIDI, clock and test messages go through one serial encoder
// into the single audio output.

#include <atomic>
#include <mutex>
#include <string>

#include "engine/HistoryWriter.h"
#include "engine/MidiClock.h"
#include "engine/MidiInputPort.h"
#include "engine/RoundTripMeter.h"
#include "engine/SerialEncoder.h"
#include "engine/TestGenerator.h"
#include "plugin/ZephCorvaneBase.h"

namespace QX4Controller {

class ZephCorvane : public ZephCorvaneBase {
public:
    // `helpers` (may be null) builds the Lua MIDI helper and the OSC server.
    explicit ZephCorvane(audioMasterCallback audioMaster,
                         const QX::PluginHelpers* helpers = nullptr);
    ~ZephCorvane() override;

    // ---- VST overrides ------------------------------------------------------------
    // Pins 0..7 (inputs) and 0..1 (outputs) are described although the
    // plug-in declares no input and one output: hosts that ask get answers.
    bool getInputProperties(VstInt32 index, VstPinProperties* properties) override;
    bool getOutputProperties(VstInt32 index, VstPinProperties* properties) override;
    bool getEffectName(char* name) override;
    bool getProductString(char* text) override;
    // Sets a parameter from a text as it shows its values
    // (parameterValueFromText); false, changing nothing, for a text it
    // does not read.
    bool string2parameter(VstInt32 index, char* text) override;

    // ---- Properties: the MIDI source of the test input -------------------------------
    std::int32_t GetProperty(std::uint32_t id, std::uint32_t scope, std::uint32_t element,
                             void* data) override;
    std::int32_t GetPropertyInfo(std::uint32_t id, std::uint32_t scope, std::uint32_t element,
                                 std::uint32_t* size, bool* writable) override;
    std::int32_t SetProperty(std::uint32_t id, std::uint32_t scope, std::uint32_t element,
                             const void* data, std::uint32_t size) override;
    // The name is sized and copied under one hold of its lock.
    std::int32_t GetPropertyBytes(std::uint32_t id, std::uint32_t scope, std::uint32_t element,
                                  void* data, std::uint32_t* size) override;

    // ---- Block processing [audio-thread] ------------------------------------------------
    void beginBlock(VstInt32 frames) override;
    void updateEngineParameters() override;
    void renderBlock(float** inputs, float** outputs, VstInt32 frames) override;
    void handleControlMessage(QX::MessageQueueItem& item) override;
    // Filters, re-channels, logs and queues one host message.
    void encodeHostMessage(const QX::MessageQueueItem& item);

    // ---- Added slots ------------------------------------------------------------------
    void initialise() override;
    // Releases an optional device object this plug-in never creates; the
    // OSC server keeps running until destruction, which follows at once.
    void closeHook() override {}
    const char* familyText() override { return "tavro"; }
    const char* guiScriptName() override { return "gui_qx4controller.lua"; }
    // The MIDI source name travels in the saved state.
    void saveExtraChunkEntries(state::StateChunkWriter& writer) override;
    void restoreExtraChunkEntries(const state::StateChunkReader& reader) override;

    // [any-thread] A copy of the MIDI source name.
    std::string midiSourceName() const;

    SerialEncoder& encoder() { return encoder_; }
    MidiClock& clock() { return clock_; }
    TestGenerator& testGenerator() { return test_; }
    RoundTripMeter& roundTripMeter() { return roundTrip_; }
    MidiInputPort& midiInputPort() { return inputPort_; }
    const TestSysexReference& testSysexReference() const { return testReference_; }

private:
    bool describePin(VstInt32 index, VstInt32 count, VstPinProperties* properties);
    void readChannelParameters();
    ClockParameters clockParameters() const;
    // [audio-thread] Moves what arrived on the test input into the history,
    // where each message is checked against the test message expected.
    void drainTestInput();

    HistoryWriter historyWriter_;
    SerialEncoder encoder_;
    MidiClock clock_;
    TestSysexReference testReference_;
    TestGenerator test_;
    RoundTripMeter roundTrip_;

    // Refreshed from the parameters.
    int midiChannel_ = 17;  // 0 Off, 1..16, 17 Omni
    int channelise_ = 0;    // 0 Off, 1..16

    mutable std::mutex sourceNameMutex_;
    std::string midiSourceName_;
    MidiInputPort inputPort_;
    // Whether the last name given had a device (an empty name has none).
    std::atomic<bool> sourceFound_{false};
    std::unique_ptr<std::uint8_t[]> received_;  // one drained message
};

}  // namespace QX4Controller
