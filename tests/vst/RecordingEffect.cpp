#include "RecordingEffect.h"

#include <cstdio>
#include <stdexcept>

namespace vsttest {

VstIntPtr recordingHost(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                        void* ptr, float opt) {
    gHostRequests.push_back({effect, opcode, index, value, ptr, opt});
    return gHostAnswer;
}

std::string argP(const void* p) {
    if (p == nullptr) {
        return "0";
    }
    return p == kP ? "P" : p == kV ? "V" : "?";
}

std::string argI(long long v) {
    return std::to_string(v);
}

std::string argF(float f) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(f));
    return text;
}

void RecordingEffect::record(const std::string& name, std::initializer_list<std::string> args) {
    std::string line = name + "(";
    const char* separator = "";
    for (const auto& a : args) {
        line += separator + a;
        separator = ",";
    }
    calls.push_back(line + ")");
    gJournal.push_back(calls.back());
}

VstIntPtr RecordingEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                      float opt) {
    if (throwOnDispatch) {
        throw std::runtime_error("dispatch");
    }
    return AudioEffectX::dispatcher(opcode, index, value, ptr, opt);
}

void RecordingEffect::open() {
    record("open");
}
void RecordingEffect::close() {
    record("close");
    if (throwOnClose) {
        throw std::runtime_error("close");
    }
}
void RecordingEffect::suspend() {
    record("suspend");
}
void RecordingEffect::resume() {
    record("resume");
}
void RecordingEffect::setSampleRate(float rate) {
    record("setSampleRate", {argF(rate)});
}
void RecordingEffect::setBlockSize(VstInt32 size) {
    record("setBlockSize", {argI(size)});
}
void RecordingEffect::processReplacing(float**, float** outputs, VstInt32 sampleFrames) {
    if (throwOnDispatch) {
        throw std::runtime_error("process");
    }
    record("processReplacing", {argI(sampleFrames)});
    outputs[0][0] = 1.0f;
}
void RecordingEffect::setParameter(VstInt32 index, float value) {
    record("setParameter", {argI(index), argF(value)});
}
float RecordingEffect::getParameter(VstInt32 index) {
    record("getParameter", {argI(index)});
    return 0.25f;
}
VstInt32 RecordingEffect::getProgram() {
    record("getProgram");
    return 5;
}
void RecordingEffect::setProgram(VstInt32 program) {
    record("setProgram", {argI(program)});
}
void RecordingEffect::setProgramName(char* name) {
    record("setProgramName", {argP(name)});
}
void RecordingEffect::getProgramName(char* name) {
    record("getProgramName", {argP(name)});
}
void RecordingEffect::getParameterLabel(VstInt32 index, char* label) {
    record("getParameterLabel", {argI(index), argP(label)});
}
void RecordingEffect::getParameterDisplay(VstInt32 index, char* text) {
    record("getParameterDisplay", {argI(index), argP(text)});
}
void RecordingEffect::getParameterName(VstInt32 index, char* text) {
    record("getParameterName", {argI(index), argP(text)});
}
VstInt32 RecordingEffect::getChunk(void** data, bool isPreset) {
    record("getChunk", {argP(data), argI(isPreset)});
    return 77;
}
VstInt32 RecordingEffect::setChunk(void* data, VstInt32 byteSize, bool isPreset) {
    record("setChunk", {argP(data), argI(byteSize), argI(isPreset)});
    return 66;
}
float RecordingEffect::getVu() {
    record("getVu");
    return 0.5f;
}

bool RecordingEffect::canParameterBeAutomated(VstInt32 index) {
    record("canParameterBeAutomated", {argI(index)});
    return true;
}
bool RecordingEffect::string2parameter(VstInt32 index, char* text) {
    record("string2parameter", {argI(index), argP(text)});
    return true;
}
bool RecordingEffect::getParameterProperties(VstInt32 index, VstParameterProperties* p) {
    record("getParameterProperties", {argI(index), argP(p)});
    return true;
}
bool RecordingEffect::getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) {
    record("getProgramNameIndexed", {argI(category), argI(index), argP(text)});
    return true;
}
bool RecordingEffect::beginSetProgram() {
    record("beginSetProgram");
    return true;
}
bool RecordingEffect::endSetProgram() {
    record("endSetProgram");
    return true;
}
VstInt32 RecordingEffect::beginLoadBank(VstPatchChunkInfo* info) {
    record("beginLoadBank", {argP(info)});
    return 24;
}
VstInt32 RecordingEffect::beginLoadProgram(VstPatchChunkInfo* info) {
    record("beginLoadProgram", {argP(info)});
    return 25;
}
bool RecordingEffect::getInputProperties(VstInt32 index, VstPinProperties* properties) {
    record("getInputProperties", {argI(index), argP(properties)});
    return true;
}
bool RecordingEffect::getOutputProperties(VstInt32 index, VstPinProperties* properties) {
    record("getOutputProperties", {argI(index), argP(properties)});
    return true;
}
bool RecordingEffect::setSpeakerArrangement(VstSpeakerArrangement* in, VstSpeakerArrangement* out) {
    record("setSpeakerArrangement", {argP(in), argP(out)});
    return true;
}
bool RecordingEffect::getSpeakerArrangement(VstSpeakerArrangement** in,
                                            VstSpeakerArrangement** out) {
    record("getSpeakerArrangement", {argP(in), argP(out)});
    return true;
}
bool RecordingEffect::setBypass(bool onOff) {
    record("setBypass", {argI(onOff)});
    return true;
}
bool RecordingEffect::setPanLaw(VstInt32 type, float value) {
    record("setPanLaw", {argI(type), argF(value)});
    return true;
}
bool RecordingEffect::setProcessPrecision(VstInt32 precision) {
    record("setProcessPrecision", {argI(precision)});
    return true;
}
VstInt32 RecordingEffect::getNumMidiInputChannels() {
    record("getNumMidiInputChannels");
    return 26;
}
VstInt32 RecordingEffect::getNumMidiOutputChannels() {
    record("getNumMidiOutputChannels");
    return 27;
}
VstInt32 RecordingEffect::processEvents(VstEvents* events) {
    record("processEvents", {argP(events)});
    return 9;
}
VstInt32 RecordingEffect::startProcess() {
    record("startProcess");
    return 22;
}
VstInt32 RecordingEffect::stopProcess() {
    record("stopProcess");
    return 23;
}
bool RecordingEffect::processVariableIo(VstVariableIo* varIo) {
    record("processVariableIo", {argP(varIo)});
    return true;
}
VstInt32 RecordingEffect::setTotalSampleToProcess(VstInt32 value) {
    record("setTotalSampleToProcess", {argI(value)});
    return value + 1;
}
bool RecordingEffect::getEffectName(char* name) {
    record("getEffectName", {argP(name)});
    return true;
}
bool RecordingEffect::getVendorString(char* text) {
    record("getVendorString", {argP(text)});
    return true;
}
bool RecordingEffect::getProductString(char* text) {
    record("getProductString", {argP(text)});
    return true;
}
VstInt32 RecordingEffect::getVendorVersion() {
    record("getVendorVersion");
    return 13;
}
VstIntPtr RecordingEffect::vendorSpecific(VstInt32 arg1, VstIntPtr arg2, void* ptrArg, float f) {
    record("vendorSpecific", {argI(arg1), argI(arg2), argP(ptrArg), argF(f)});
    return 14;
}
VstInt32 RecordingEffect::canDo(char* text) {
    record("canDo", {argP(text)});
    return -1;
}
VstInt32 RecordingEffect::getVstVersion() {
    record("getVstVersion");
    return 17;
}
VstPlugCategory RecordingEffect::getPlugCategory() {
    record("getPlugCategory");
    return kPlugCategGenerator;
}
VstInt32 RecordingEffect::getMidiProgramName(VstInt32 channel, MidiProgramName* name) {
    record("getMidiProgramName", {argI(channel), argP(name)});
    return 18;
}
VstInt32 RecordingEffect::getCurrentMidiProgram(VstInt32 channel, MidiProgramName* current) {
    record("getCurrentMidiProgram", {argI(channel), argP(current)});
    return 19;
}
VstInt32 RecordingEffect::getMidiProgramCategory(VstInt32 channel, MidiProgramCategory* category) {
    record("getMidiProgramCategory", {argI(channel), argP(category)});
    return 20;
}
bool RecordingEffect::hasMidiProgramsChanged(VstInt32 channel) {
    record("hasMidiProgramsChanged", {argI(channel)});
    return true;
}
bool RecordingEffect::getMidiKeyName(VstInt32 channel, MidiKeyName* keyName) {
    record("getMidiKeyName", {argI(channel), argP(keyName)});
    return true;
}
VstInt32 RecordingEffect::getGetTailSize() {
    record("getGetTailSize");
    return 15;
}
VstInt32 RecordingEffect::getNextShellPlugin(char* name) {
    record("getNextShellPlugin", {argP(name)});
    return 21;
}
void RecordingEffect::setBlockSizeAndSampleRate(VstInt32 size, float rate) {
    record("setBlockSizeAndSampleRate", {argI(size), argF(rate)});
}
bool RecordingEffect::getErrorText(char* text) {
    record("getErrorText", {argP(text)});
    return true;
}
void* RecordingEffect::getIcon() {
    record("getIcon");
    return kP;
}
bool RecordingEffect::setViewPosition(VstInt32 x, VstInt32 y) {
    record("setViewPosition", {argI(x), argI(y)});
    return true;
}
VstInt32 RecordingEffect::fxIdle() {
    record("fxIdle");
    return 16;
}
bool RecordingEffect::keysRequired() {
    record("keysRequired");
    return true;
}
VstInt32 RecordingEffect::reportCurrentPosition() {
    record("reportCurrentPosition");
    return 12;
}
float* RecordingEffect::reportDestinationBuffer() {
    record("reportDestinationBuffer");
    return nullptr;
}
bool RecordingEffect::copyProgram(VstInt32 destination) {
    record("copyProgram", {argI(destination)});
    return true;
}
VstInt32 RecordingEffect::getNumCategories() {
    record("getNumCategories");
    return 3;
}
bool RecordingEffect::offlineNotify(VstAudioFile* file, VstInt32 numFiles, bool start) {
    record("offlineNotify", {argP(file), argI(numFiles), argI(start)});
    return true;
}
bool RecordingEffect::offlinePrepare(VstOfflineTask* tasks, VstInt32 count) {
    record("offlinePrepare", {argP(tasks), argI(count)});
    return true;
}
bool RecordingEffect::offlineRun(VstOfflineTask* tasks, VstInt32 count) {
    record("offlineRun", {argP(tasks), argI(count)});
    return true;
}
void RecordingEffect::inputConnected(VstInt32 index, bool state) {
    record("inputConnected", {argI(index), argI(state)});
}
void RecordingEffect::outputConnected(VstInt32 index, bool state) {
    record("outputConnected", {argI(index), argI(state)});
}

}  // namespace vsttest
