#include "vst/AudioEffectX.h"

namespace {

// Opcodes whose answer reads or writes through `ptr` (see AudioEffect.cpp).
bool needsPointer(VstInt32 opcode) {
    switch (opcode) {
        case effProcessEvents:
        case effString2Parameter:
        case effGetProgramNameIndexed:
        case effGetInputProperties:
        case effGetOutputProperties:
        case effGetEffectName:
        case effGetErrorText:
        case effGetVendorString:
        case effGetProductString:
        case effCanDo:
        case effGetParameterProperties:
        case effShellGetNextPlugin:
            return true;
        default:
            return false;
    }
}

VstIntPtr answer(bool result) {
    return result ? 1 : 0;
}

VstKeyCode keyCodeOf(VstInt32 index, VstIntPtr value, float opt) {
    VstKeyCode key{};
    key.character = index;
    key.virt = static_cast<unsigned char>(value);
    key.modifier = static_cast<unsigned char>(opt);
    return key;
}

}  // namespace

AudioEffectX::AudioEffectX(audioMasterCallback audioMaster, VstInt32 numPrograms,
                           VstInt32 numParams)
    : AudioEffect(audioMaster, numPrograms, numParams) {}

VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                   float opt) {
    if (needsPointer(opcode) && ptr == nullptr) {
        return 0;
    }
    auto* text = static_cast<char*>(ptr);
    const bool parameterInRange = index >= 0 && index < numParams;
    switch (opcode) {
        case effProcessEvents:
            return processEvents(static_cast<VstEvents*>(ptr));
        case effCanBeAutomated:
            // Asked for any index; what the answer is stays the plug-in's.
            return answer(canParameterBeAutomated(index));
        case effString2Parameter:
            return parameterInRange ? answer(string2parameter(index, text)) : 0;
        case effGetNumProgramCategories:
            return getNumCategories();
        case effGetProgramNameIndexed:
            // The category travels in `value`, the program in `index`.
            return answer(getProgramNameIndexed(static_cast<VstInt32>(value), index, text));
        case effCopyProgram:
            return answer(copyProgram(index));
        case effConnectInput:
            inputConnected(index, value != 0);
            return 1;
        case effConnectOutput:
            outputConnected(index, value != 0);
            return 1;
        case effGetInputProperties:
            return answer(getInputProperties(index, static_cast<VstPinProperties*>(ptr)));
        case effGetOutputProperties:
            return answer(getOutputProperties(index, static_cast<VstPinProperties*>(ptr)));
        case effGetPlugCategory:
            return getPlugCategory();
        case effGetCurrentPosition:
            return reportCurrentPosition();
        case effGetDestinationBuffer:
            return reinterpret_cast<VstIntPtr>(reportDestinationBuffer());
        case effOfflineNotify:
            return answer(offlineNotify(static_cast<VstAudioFile*>(ptr),
                                        static_cast<VstInt32>(value), index != 0));
        case effOfflinePrepare:
            return answer(
                offlinePrepare(static_cast<VstOfflineTask*>(ptr), static_cast<VstInt32>(value)));
        case effOfflineRun:
            return answer(
                offlineRun(static_cast<VstOfflineTask*>(ptr), static_cast<VstInt32>(value)));
        case effProcessVarIo:
            return answer(processVariableIo(static_cast<VstVariableIo*>(ptr)));
        case effSetSpeakerArrangement:
            return answer(setSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement*>(value),
                                                static_cast<VstSpeakerArrangement*>(ptr)));
        case effSetBlockSizeAndSampleRate:
            setBlockSizeAndSampleRate(static_cast<VstInt32>(value), opt);
            return 1;
        case effSetBypass:
            return answer(setBypass(value != 0));
        case effGetEffectName:
            return answer(getEffectName(text));
        case effGetErrorText:
            return answer(getErrorText(text));
        case effGetVendorString:
            return answer(getVendorString(text));
        case effGetProductString:
            return answer(getProductString(text));
        case effGetVendorVersion:
            return getVendorVersion();
        case effVendorSpecific:
            return vendorSpecific(index, value, ptr, opt);
        case effCanDo:
            return canDo(text);
        case effGetTailSize:
            return getGetTailSize();
        case effIdle:
            return fxIdle();
        case effGetIcon:
            return reinterpret_cast<VstIntPtr>(getIcon());
        case effSetViewPosition:
            return answer(setViewPosition(index, static_cast<VstInt32>(value)));
        case effGetParameterProperties:
            return parameterInRange ? answer(getParameterProperties(
                                          index, static_cast<VstParameterProperties*>(ptr)))
                                    : 0;
        case effKeysRequired:
            // Inverted on the wire: 1 means "no keys needed".
            return keysRequired() ? 0 : 1;
        case effGetVstVersion:
            return getVstVersion();
        case effEditKeyDown:
        case effEditKeyUp: {
            if (editor == nullptr) {
                return 0;
            }
            VstKeyCode key = keyCodeOf(index, value, opt);
            return answer(opcode == effEditKeyDown ? editor->onKeyDown(key) : editor->onKeyUp(key));
        }
        case effSetEditKnobMode:
            return editor != nullptr && editor->setKnobMode(static_cast<VstInt32>(value)) ? 1 : 0;
        case effGetMidiProgramName:
            return getMidiProgramName(index, static_cast<MidiProgramName*>(ptr));
        case effGetCurrentMidiProgram:
            return getCurrentMidiProgram(index, static_cast<MidiProgramName*>(ptr));
        case effGetMidiProgramCategory:
            return getMidiProgramCategory(index, static_cast<MidiProgramCategory*>(ptr));
        case effHasMidiProgramsChanged:
            return answer(hasMidiProgramsChanged(index));
        case effGetMidiKeyName:
            return answer(getMidiKeyName(index, static_cast<MidiKeyName*>(ptr)));
        case effBeginSetProgram:
            return answer(beginSetProgram());
        case effEndSetProgram:
            return answer(endSetProgram());
        case effGetSpeakerArrangement:
            return answer(getSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement**>(value),
                                                static_cast<VstSpeakerArrangement**>(ptr)));
        case effShellGetNextPlugin:
            return getNextShellPlugin(text);
        case effStartProcess:
            return startProcess();
        case effStopProcess:
            return stopProcess();
        case effSetTotalSampleToProcess:
            return setTotalSampleToProcess(static_cast<VstInt32>(value));
        case effSetPanLaw:
            return answer(setPanLaw(static_cast<VstInt32>(value), opt));
        case effBeginLoadBank:
            return beginLoadBank(static_cast<VstPatchChunkInfo*>(ptr));
        case effBeginLoadProgram:
            return beginLoadProgram(static_cast<VstPatchChunkInfo*>(ptr));
        case effSetProcessPrecision:
            return answer(setProcessPrecision(static_cast<VstInt32>(value)));
        case effGetNumMidiInputChannels:
            return getNumMidiInputChannels();
        case effGetNumMidiOutputChannels:
            return getNumMidiOutputChannels();
        default:
            return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
    }
}

bool AudioEffectX::getSpeakerArrangement(VstSpeakerArrangement** pluginInput,
                                         VstSpeakerArrangement** pluginOutput) {
    if (pluginInput != nullptr) {
        *pluginInput = nullptr;
    }
    if (pluginOutput != nullptr) {
        *pluginOutput = nullptr;
    }
    return false;
}

VstPlugCategory AudioEffectX::getPlugCategory() {
    return (cEffect.flags & effFlagsIsSynth) != 0 ? kPlugCategSynth : kPlugCategUnknown;
}

void AudioEffectX::isSynth(bool state) {
    setFlag(effFlagsIsSynth, state);
}
void AudioEffectX::noTail(bool state) {
    setFlag(effFlagsNoSoundInStop, state);
}

// ---- Host requests ------------------------------------------------------------

bool AudioEffectX::beginEdit(VstInt32 index) {
    return callHost(audioMasterBeginEdit, index) != 0;
}

bool AudioEffectX::endEdit(VstInt32 index) {
    return callHost(audioMasterEndEdit, index) != 0;
}

bool AudioEffectX::ioChanged() {
    return callHost(audioMasterIOChanged) != 0;
}

double AudioEffectX::updateSampleRate() {
    VstIntPtr rate = callHost(audioMasterGetSampleRate);
    if (rate > 0) {
        sampleRate = static_cast<float>(rate);
    }
    return sampleRate;
}

VstInt32 AudioEffectX::updateBlockSize() {
    VstIntPtr size = callHost(audioMasterGetBlockSize);
    if (size > 0) {
        blockSize = static_cast<VstInt32>(size);
    }
    return blockSize;
}

VstInt32 AudioEffectX::getInputLatency() {
    return static_cast<VstInt32>(callHost(audioMasterGetInputLatency));
}

VstInt32 AudioEffectX::getOutputLatency() {
    return static_cast<VstInt32>(callHost(audioMasterGetOutputLatency));
}

VstTimeInfo* AudioEffectX::getTimeInfo(VstInt32 filter) {
    return reinterpret_cast<VstTimeInfo*>(callHost(audioMasterGetTime, 0, filter));
}

VstInt32 AudioEffectX::getCurrentProcessLevel() {
    return static_cast<VstInt32>(callHost(audioMasterGetCurrentProcessLevel));
}

VstInt32 AudioEffectX::getAutomationState() {
    return static_cast<VstInt32>(callHost(audioMasterGetAutomationState));
}

bool AudioEffectX::sendVstEventsToHost(VstEvents* events) {
    return callHost(audioMasterProcessEvents, 0, 0, events) == 1;
}

bool AudioEffectX::getHostVendorString(char* text) {
    return callHost(audioMasterGetVendorString, 0, 0, text) != 0;
}

bool AudioEffectX::getHostProductString(char* text) {
    return callHost(audioMasterGetProductString, 0, 0, text) != 0;
}

VstInt32 AudioEffectX::getHostVendorVersion() {
    return static_cast<VstInt32>(callHost(audioMasterGetVendorVersion));
}

VstIntPtr AudioEffectX::hostVendorSpecific(VstInt32 arg1, VstIntPtr arg2, void* ptrArg,
                                           float floatArg) {
    return callHost(audioMasterVendorSpecific, arg1, arg2, ptrArg, floatArg);
}

VstInt32 AudioEffectX::canHostDo(char* text) {
    return static_cast<VstInt32>(callHost(audioMasterCanDo, 0, 0, text));
}

VstInt32 AudioEffectX::getHostLanguage() {
    return static_cast<VstInt32>(callHost(audioMasterGetLanguage));
}

bool AudioEffectX::updateDisplay() {
    return callHost(audioMasterUpdateDisplay) != 0;
}

bool AudioEffectX::sizeWindow(VstInt32 width, VstInt32 height) {
    return callHost(audioMasterSizeWindow, width, height) != 0;
}

void AudioEffectX::wantEvents(VstInt32 filter) {
    callHost(audioMasterWantMidi, 0, filter);
}
