#pragma once
// A small scriptable VST 2.4 host: loads a plug-in library through its real
// entry point, answers the plug-in's requests the way a DAW does and records
// them, and drives the plug-in with helpers. One VstHost is one plug-in
// instance; several may live at once, also of the same library.
//
// Requests may arrive on any thread (the plug-in's own threads automate
// too); the records are guarded by a mutex. The getters return copies.

#include "vst/AEffect.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform {
class SharedLibrary;
}

namespace host {

// One request the host has no special handling for.
struct HostRequest {
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    float opt;
};

// audioMasterAutomate, audioMasterBeginEdit or audioMasterEndEdit.
struct AutomationRecord {
    enum Kind { Automate, BeginEdit, EndEdit };
    Kind kind;
    VstInt32 index;
    float value;  // Automate only
};

// One event to deliver with effProcessEvents: MIDI (1 to 3 bytes) unless the
// bytes start with 0xF0, then system exclusive.
struct HostEvent {
    VstInt32 deltaFrames;
    std::vector<std::uint8_t> bytes;
};

class VstHost {
public:
    VstHost();
    // Closes the plug-in (effClose) if it is open, then unloads the library.
    ~VstHost();
    VstHost(const VstHost&) = delete;
    VstHost& operator=(const VstHost&) = delete;

    // ---- Scripting the host's answers (set before load) ---------------------
    void setVersionAnswer(VstIntPtr version);
    // The record handed out for audioMasterGetTime; `available` false answers
    // null as a host without a transport does.
    void setTimeInfo(const VstTimeInfo& info, bool available = true);
    // Answer for a request without special handling (default 0).
    void setAnswer(VstInt32 opcode, VstIntPtr answer);
    // Called for audioMasterSizeWindow (which is still recorded among the
    // other requests) on the thread the plug-in asks from; its result is the
    // answer (a host that resized answers 1). It must not call the host.
    using SizeWindowHandler = std::function<bool(int width, int height)>;
    void setSizeWindowHandler(SizeWindowHandler handler);

    // ---- Loading -------------------------------------------------------------
    // Loads the library, calls VSTPluginMain (or `main`) with this host's
    // callback and checks the record. False with a reason in `error` when the
    // library or its entry is missing, the entry returns null or the record
    // has no VST magic.
    bool load(const std::string& path, std::string& error);
    // The same for a plug-in linked into this program: `entry` is called as
    // the library's VSTPluginMain would be. For tests that reach into the
    // plug-in object (AEffect::object) while the host drives it.
    using EntryFunction = AEffect* (*)(audioMasterCallback);
    bool attach(EntryFunction entry, std::string& error);
    AEffect* effect() const { return effect_; }

    // ---- Driving the plug-in ------------------------------------------------
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);
    // A text answer (names, vendor, labels) read into a zeroed buffer large
    // enough for every published length.
    std::string dispatchText(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0);
    void setParameter(VstInt32 index, float value);
    float getParameter(VstInt32 index);
    // effGetParamName, effGetParamLabel and effGetParamDisplay.
    std::string parameterName(VstInt32 index);
    std::string parameterLabel(VstInt32 index);
    std::string parameterDisplay(VstInt32 index);
    // effString2Parameter: true when the plug-in took `text` as the
    // parameter's value (it then has set it).
    bool setParameterText(VstInt32 index, const std::string& text);
    // effGetChunk, copied out of the plug-in's buffer; empty when it gives
    // no state.
    std::vector<std::uint8_t> getChunk();
    // effSetChunk; the plug-in's answer.
    VstIntPtr setChunk(const std::vector<std::uint8_t>& chunk);
    // effVendorSpecific `index` that answers a text into a buffer (value its
    // capacity): true, with the text in `text`, when the plug-in answers 1.
    bool vendorText(VstInt32 index, std::string& text);
    // effMainsChanged 1 / 0.
    void resume();
    void suspend();
    // Builds a VstEvents list (kept alive until the next call) and delivers
    // it; the plug-in's answer.
    VstIntPtr sendEvents(const std::vector<HostEvent>& events);
    // Runs processReplacing over `frames` samples into the owned output
    // buffers, which are cleared to `fill` first; inputs are silent.
    void processReplacing(VstInt32 frames, float fill = 0.0f);
    // Channel `channel` of the last processReplacing, `frames` samples.
    const std::vector<float>& output(int channel) const;
    // effClose; the plug-in is gone afterwards. Returns the dispatcher's
    // answer, 0 when nothing was open.
    VstIntPtr close();

    // ---- What the plug-in asked ------------------------------------------------
    int versionRequests() const;
    int timeRequests() const;
    VstInt32 lastTimeFilter() const;
    int wantMidiRequests() const;
    std::vector<AutomationRecord> automation() const;
    std::vector<HostRequest> otherRequests() const;
    void clearRecords();

private:
    static VstIntPtr callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                              void* ptr, float opt);
    VstIntPtr answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
    // Calls the entry, checks its record and registers it; `what` names the
    // plug-in in errors.
    bool start(EntryFunction entry, const std::string& what, std::string& error);
    void forget();

    std::unique_ptr<platform::SharedLibrary> library_;
    AEffect* effect_ = nullptr;

    mutable std::mutex mutex_;
    VstIntPtr versionAnswer_ = 2400;
    VstTimeInfo timeInfo_{};
    bool timeAvailable_ = true;
    std::vector<std::pair<VstInt32, VstIntPtr>> answers_;
    SizeWindowHandler sizeWindowHandler_;
    int versionRequests_ = 0;
    int timeRequests_ = 0;
    VstInt32 lastTimeFilter_ = 0;
    int wantMidiRequests_ = 0;
    std::vector<AutomationRecord> automation_;
    std::vector<HostRequest> otherRequests_;

    std::vector<std::vector<float>> outputs_;
    std::vector<std::vector<float>> inputs_;
    std::vector<float*> outputPointers_;
    std::vector<float*> inputPointers_;
    std::vector<unsigned char> eventStorage_;
    std::vector<VstMidiEvent> midiEvents_;
    std::vector<VstMidiSysexEvent> sysexEvents_;
    std::vector<std::vector<char>> sysexData_;
};

// "QXtv" from 0x51587476; non-printable characters as '.'.
std::string fourCharText(VstInt32 code);

}  // namespace host
