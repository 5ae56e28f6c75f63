#pragma once
// A plug-in that writes the virtual calls the tests watch as one line of
// text ("setParameter(2,0.5)"), and a host that records its requests.

#include "vst/AudioEffectX.h"

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace vsttest {

inline char gPtrTarget[256];
inline void* const kP = gPtrTarget;

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

inline VstIntPtr recordingHost(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                               void* ptr, float opt) {
    gHostRequests.push_back({effect, opcode, index, value, ptr, opt});
    return gHostAnswer;
}

inline std::string argF(float f) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(f));
    return text;
}

class RecordingEffect : public AudioEffectX {
public:
    static inline int destroyed = 0;
    bool throwOnClose = false;
    bool throwOnDispatch = false;
    std::vector<std::string> calls;

    explicit RecordingEffect(VstInt32 numPrograms = 1, VstInt32 numParams = 4)
        : AudioEffectX(recordingHost, numPrograms, numParams) {}
    ~RecordingEffect() override {
        ++destroyed;
        gJournal.push_back("destroyed");
    }

    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                         float opt) override {
        if (throwOnDispatch) {
            throw std::runtime_error("dispatch");
        }
        return AudioEffectX::dispatcher(opcode, index, value, ptr, opt);
    }
    void close() override {
        record("close()");
        if (throwOnClose) {
            throw std::runtime_error("close");
        }
    }
    void processReplacing(float**, float** outputs, VstInt32 sampleFrames) override {
        if (throwOnDispatch) {
            throw std::runtime_error("process");
        }
        record("processReplacing(" + std::to_string(sampleFrames) + ")");
        outputs[0][0] = 1.0f;
    }
    void setParameter(VstInt32 index, float value) override {
        record("setParameter(" + std::to_string(index) + "," + argF(value) + ")");
    }
    float getParameter(VstInt32 index) override {
        record("getParameter(" + std::to_string(index) + ")");
        return 0.25f;
    }
    void setProgram(VstInt32) override { record("setProgram"); }

    // Every virtual that is handed the host's pointer: a null or an index
    // outside the tables must never get this far.
    void setProgramName(char*) override { record("setProgramName"); }
    void getProgramName(char*) override { record("getProgramName"); }
    void getParameterLabel(VstInt32, char*) override { record("getParameterLabel"); }
    void getParameterDisplay(VstInt32, char*) override { record("getParameterDisplay"); }
    void getParameterName(VstInt32, char*) override { record("getParameterName"); }
    VstInt32 getChunk(void**, bool) override { return record("getChunk"); }
    VstInt32 setChunk(void*, VstInt32, bool) override { return record("setChunk"); }
    VstInt32 processEvents(VstEvents*) override { return record("processEvents"); }
    bool string2parameter(VstInt32, char*) override { return record("string2parameter"); }
    bool getProgramNameIndexed(VstInt32, VstInt32, char*) override {
        return record("getProgramNameIndexed");
    }
    bool getInputProperties(VstInt32, VstPinProperties*) override {
        return record("getInputProperties");
    }
    bool getOutputProperties(VstInt32, VstPinProperties*) override {
        return record("getOutputProperties");
    }
    bool getEffectName(char*) override { return record("getEffectName"); }
    bool getErrorText(char*) override { return record("getErrorText"); }
    bool getVendorString(char*) override { return record("getVendorString"); }
    bool getProductString(char*) override { return record("getProductString"); }
    VstInt32 canDo(char*) override { return record("canDo"); }
    bool getParameterProperties(VstInt32, VstParameterProperties*) override {
        return record("getParameterProperties");
    }
    VstInt32 getNextShellPlugin(char*) override { return record("getNextShellPlugin"); }

private:
    bool record(const std::string& line) {
        calls.push_back(line);
        gJournal.push_back(line);
        return true;
    }
};

}  // namespace vsttest
