#pragma once
// A plug-in that writes every virtual call the dispatcher makes as one line
// of text ("getParameterName(3,P)"), and a host that records its requests.
// Pointer arguments print as P (the test's ptr), V (the pointer passed in
// `value`), 0 (null) or ? (anything else).

#include "vst/AudioEffectX.h"

#include <string>
#include <vector>

namespace vsttest {

inline char gPtrTarget[256];
inline char gValueTarget[256];
inline void* const kP = gPtrTarget;
inline void* const kV = gValueTarget;

struct HostRequest {
    AEffect* effect;
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    void* ptr;
    float opt;
};

// The host side: records every request and answers `gHostAnswer`.
inline std::vector<HostRequest> gHostRequests;
inline VstIntPtr gHostAnswer = 0;

// Every recorded call of every RecordingEffect, and "destroyed" when one
// goes: what outlives the object.
inline std::vector<std::string> gJournal;
VstIntPtr recordingHost(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                        void* ptr, float opt);

class RecordingEffect : public AudioEffectX {
public:
    static inline int destroyed = 0;
    bool throwOnClose = false;
    bool throwOnDispatch = false;

    explicit RecordingEffect(VstInt32 numPrograms = 1, VstInt32 numParams = 4)
        : AudioEffectX(recordingHost, numPrograms, numParams) {}
    ~RecordingEffect() override {
        ++destroyed;
        gJournal.push_back("destroyed");
    }

    std::vector<std::string> calls;

    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                         float opt) override;

    void open() override;
    void close() override;
    void suspend() override;
    void resume() override;
    void setSampleRate(float rate) override;
    void setBlockSize(VstInt32 size) override;
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;
    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;
    VstInt32 getProgram() override;
    void setProgram(VstInt32 program) override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    void getParameterLabel(VstInt32 index, char* label) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void getParameterName(VstInt32 index, char* text) override;
    VstInt32 getChunk(void** data, bool isPreset) override;
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) override;
    float getVu() override;

    bool canParameterBeAutomated(VstInt32 index) override;
    bool string2parameter(VstInt32 index, char* text) override;
    bool getParameterProperties(VstInt32 index, VstParameterProperties* p) override;
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;
    bool beginSetProgram() override;
    bool endSetProgram() override;
    VstInt32 beginLoadBank(VstPatchChunkInfo* info) override;
    VstInt32 beginLoadProgram(VstPatchChunkInfo* info) override;
    bool getInputProperties(VstInt32 index, VstPinProperties* properties) override;
    bool getOutputProperties(VstInt32 index, VstPinProperties* properties) override;
    bool setSpeakerArrangement(VstSpeakerArrangement* in, VstSpeakerArrangement* out) override;
    bool getSpeakerArrangement(VstSpeakerArrangement** in, VstSpeakerArrangement** out) override;
    bool setBypass(bool onOff) override;
    bool setPanLaw(VstInt32 type, float value) override;
    bool setProcessPrecision(VstInt32 precision) override;
    VstInt32 getNumMidiInputChannels() override;
    VstInt32 getNumMidiOutputChannels() override;
    VstInt32 processEvents(VstEvents* events) override;
    VstInt32 startProcess() override;
    VstInt32 stopProcess() override;
    bool processVariableIo(VstVariableIo* varIo) override;
    VstInt32 setTotalSampleToProcess(VstInt32 value) override;
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override;
    VstIntPtr vendorSpecific(VstInt32 arg1, VstIntPtr arg2, void* ptrArg, float f) override;
    VstInt32 canDo(char* text) override;
    VstInt32 getVstVersion() override;
    VstPlugCategory getPlugCategory() override;
    VstInt32 getMidiProgramName(VstInt32 channel, MidiProgramName* name) override;
    VstInt32 getCurrentMidiProgram(VstInt32 channel, MidiProgramName* current) override;
    VstInt32 getMidiProgramCategory(VstInt32 channel, MidiProgramCategory* category) override;
    bool hasMidiProgramsChanged(VstInt32 channel) override;
    bool getMidiKeyName(VstInt32 channel, MidiKeyName* keyName) override;
    VstInt32 getGetTailSize() override;
    VstInt32 getNextShellPlugin(char* name) override;
    void setBlockSizeAndSampleRate(VstInt32 size, float rate) override;
    bool getErrorText(char* text) override;
    void* getIcon() override;
    bool setViewPosition(VstInt32 x, VstInt32 y) override;
    VstInt32 fxIdle() override;
    bool keysRequired() override;
    VstInt32 reportCurrentPosition() override;
    float* reportDestinationBuffer() override;
    bool copyProgram(VstInt32 destination) override;
    VstInt32 getNumCategories() override;
    bool offlineNotify(VstAudioFile* file, VstInt32 numFiles, bool start) override;
    bool offlinePrepare(VstOfflineTask* tasks, VstInt32 count) override;
    bool offlineRun(VstOfflineTask* tasks, VstInt32 count) override;
    void inputConnected(VstInt32 index, bool state) override;
    void outputConnected(VstInt32 index, bool state) override;

private:
    void record(const std::string& name, std::initializer_list<std::string> args = {});
};

std::string argP(const void* p);
std::string argI(long long v);
std::string argF(float f);

}  // namespace vsttest
