#pragma once
// The product-family layer of the plug-in: the queues that carry work to the
// audio thread, the OSC server, the MIDI history, the per-block driver, the
// instance registry entry and the property table.

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "plugin/InstanceRegistry.h"
#include "plugin/MessageQueue.h"
#include "plugin/MidiHistory.h"
#include "plugin/OscServerControl.h"
#include "plugin/PluginHelpers.h"
#include "plugin/StateChunk.h"
#include "plugin/ZephAuBase.h"
#include "tavro/Version.h"

class ZephCorvaneBase : public ZephAuBase, public RegisteredInstance {
public:
    static constexpr VstInt32 kUniqueId = 0x51587476;  // 'QXtv'
    static constexpr VstInt32 kVendorVersion = tavro::kVendorVersion;
    static constexpr int kIndicatorCount = 8;
    // Sysex storage of the host event queue: every dump the encoder can
    // carry fits (its ring holds 524288 bytes: F0 and 524287 more), and a
    // longer one is dropped whole.
    static constexpr std::size_t kHostSysExBytes = 524287;

    // `helpers` (may be null) builds the Lua MIDI helper and the OSC server.
    ZephCorvaneBase(audioMasterCallback audioMaster, const QX::PluginHelpers* helpers);
    ~ZephCorvaneBase() override;

    // ---- VST overrides --------------------------------------------------------
    void close() override;
    void resume() override;
    // [main-thread & !processing] Reallocates the silent input buffer.
    void setBlockSize(VstInt32 size) override;
    // [audio-thread] Allocates nothing; the pointer lists live on the stack.
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;
    void setParameter(VstInt32 index, float normalized) override;
    // The base's refusal, and an OSC Port Offset that would put the port
    // past 65535 with the current OSC Base Port.
    const char* parameterValueRefusal(int index, float native) const override;
    void setProgram(VstInt32 program) override;
    // [audio-thread] Host MIDI and sysex into the host event queue; answers
    // 0 when a dump was dropped (no room in the queue, or longer than its
    // storage). Allocates and prints nothing: drops are counted and
    // reported later by reportDeferredDiagnostics.
    VstInt32 processEvents(VstEvents* events) override;
    // [main-thread] The saved state. The buffer stays valid until a later
    // call has replaced it (the last few are kept).
    VstInt32 getChunk(void** data, bool isPreset = false) override;
    // [main-thread] Restores what it recognises; always answers 1.
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset = false) override;
    VstInt32 getVendorVersion() override { return kVendorVersion; }
    VstPlugCategory getPlugCategory() override;
    // kVendorWriteEditorFrame, kVendorEditorFramesDrawn and
    // kVendorRoundTripText (plugin/VendorRequests.h); 0 for anything else.
    VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) override;
    VstInt32 canDo(char* text) override;

    // ---- Properties -------------------------------------------------------------
    std::int32_t GetParameterValueStrings(std::uint32_t scope, std::int32_t index,
                                          std::shared_ptr<const ValueStringList>* out) override;
    std::int32_t GetProperty(std::uint32_t id, std::uint32_t scope, std::uint32_t element,
                             void* data) override;
    std::int32_t GetPropertyInfo(std::uint32_t id, std::uint32_t scope, std::uint32_t element,
                                 std::uint32_t* size, bool* writable) override;
    std::int32_t SetProperty(std::uint32_t id, std::uint32_t scope, std::uint32_t element,
                             const void* data, std::uint32_t size) override;

    // ---- Added slots ------------------------------------------------------------
    virtual MidiHistory* historyBlock() { return &history_; }
    // Completes construction; the concrete plug-in runs its own part first.
    // The instance joins the registry here, once it is whole: other
    // instances' threads (scripts, OSC instance addressing) call into what
    // they find there.
    virtual void initialise();
    // Runs at effClose; the base stops the OSC server.
    virtual void closeHook();
    virtual VstInt32 secondVendorVersion() { return kVendorVersion; }
    virtual void resizeSilentInput();
    // [audio-thread] Reads the host transport at the start of a block.
    virtual void beginBlock(VstInt32 /*frames*/) {}
    virtual void updateEngineParameters() {}
    virtual void endBlock(VstInt32 /*frames*/) {}
    // [audio-thread] Renders the block; the base writes silence.
    virtual void renderBlock(float** inputs, float** outputs, VstInt32 frames);
    // [audio-thread] A control item popped at the start of a block.
    virtual void handleControlMessage(QX::MessageQueueItem& /*item*/) {}
    // What the Lua MIDI helper forwards to; this family does nothing.
    virtual void scriptNoteOn(int /*channel*/, int /*note*/, int /*velocity*/) {}
    virtual void scriptNoteOff(int /*channel*/, int /*note*/, int /*velocity*/) {}
    virtual void scriptController(int /*channel*/, int /*number*/, int /*value*/) {}
    virtual void scriptPitchBend(int /*channel*/, int /*value*/) {}
    virtual void scriptSetScale(const char* /*name*/, int /*degreeMask*/) {}
    virtual const char* productTag() { return "tavro"; }
    virtual const char* familyText() { return nullptr; }
    virtual const char* guiScriptName() { return nullptr; }
    // Entries of the concrete plug-in in the saved state.
    virtual void saveExtraChunkEntries(state::StateChunkWriter& /*writer*/) {}
    virtual void restoreExtraChunkEntries(const state::StateChunkReader& /*reader*/) {}

    // ---- RegisteredInstance -------------------------------------------------------
    std::string registryFamilyKey() override;
    bool registryReportsLinking() override { return false; }

    // ---- For the other layers -----------------------------------------------------
    QX::MessageQueue& hostEventQueue() { return hostEventQueue_; }
    // [any-thread except audio; one caller at a time] Prints what the audio
    // thread only counted: one overflow line per message dropped by either
    // queue since the last call. The OSC server's notify thread calls it
    // every few tens of milliseconds (it runs whether or not OSC is on),
    // and the instance once more as it goes.
    void reportDeferredDiagnostics();
    QX::MessageQueue& controlQueue() { return controlQueue_; }
    // The serial of the last report said before this instance existed: an
    // editor shows only later ones, since an instance gone before may have
    // had this one's address.
    std::uint64_t reportsBefore() const { return reportsBefore_; }
    QX::OscServerControl& oscServer() { return *oscServer_; }
    // Null when the instance was built without scripting.
    QX::MidiScripting* midiScripting() { return scripting_.get(); }
    // [any-thread] The port the OSC server should listen on; 0 = off.
    int oscPort() const { return oscPort_.load(std::memory_order_relaxed); }
    std::atomic<std::uint8_t>& indicatorFlag(int index) { return indicators_[index & 7]; }
    std::size_t silentInputSamples() const { return silentInput_.size(); }

protected:
    // The OSC port from the current program's OSC Port Offset and the
    // process-wide base port; wakes the server when the port changed.
    // [any-thread, lock-free]
    void deriveOscPort();
    // OSC Port Offset truncated, within 0..100.
    int oscPortOffset() const;
    // Stops and destroys the OSC server and the scripting while the whole
    // object still exists: their threads call into it. [main-thread]
    void destroyHelpers();
    const std::string& familyKey();
    const std::array<std::string, kNumParameters>& parameterNamesWithoutSpaces();
    bool parameterStringFromValue(int index, float native, std::string& text) override;

    QX::MessageQueue hostEventQueue_{kHostSysExBytes};
    QX::MessageQueue controlQueue_;
    // The editor and the OSC server may both trigger Don't Panic; the queue
    // takes one writer at a time.
    std::mutex controlWriteMutex_;
    // Declared before the OSC server, which uses it: destroyed after it.
    const QX::PluginHelpers* helpers_ = nullptr;
    std::uint64_t reportsBefore_ = 0;
    std::unique_ptr<QX::MidiScripting> scripting_;
    std::unique_ptr<QX::OscServerControl> oscServer_;
    std::atomic<int> oscPort_{0};
    // base * 1000 + offset of a port refused on a thread that must not
    // print; 0 when none waits to be reported.
    std::atomic<int> unreportedPortRefusal_{0};
    int realInputCount_ = 0;
    int internalInputCount_ = 2;
    int outputCount_ = 1;
    MidiHistory history_;
    std::vector<float> silentInput_;
    // Buffers handed to the host by getChunk, newest last.
    std::vector<std::vector<std::uint8_t>> chunks_;
    std::once_flag familyKeyOnce_;
    std::string familyKey_;
    std::once_flag namesOnce_;
    std::array<std::string, kNumParameters> namesWithoutSpaces_;
    std::array<std::atomic<std::uint8_t>, kIndicatorCount> indicators_{};
};
