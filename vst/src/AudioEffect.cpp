#include "vst/AudioEffect.h"

#include <cstdio>
#include <cstring>

#include "platform/Diagnostics.h"
#include "platform/NumericLocale.h"

namespace {

void reportException(const char* where) {
    platform::reportf(platform::ReportLevel::kError, "AudioEffect: exception caught in %s", where);
}

// Opcodes whose answer reads or writes through `ptr`: a host that passes null
// gets 0 instead of a crash.
bool needsPointer(VstInt32 opcode) {
    switch (opcode) {
        case effSetProgramName:
        case effGetProgramName:
        case effGetParamLabel:
        case effGetParamDisplay:
        case effGetParamName:
        case effEditGetRect:
        case effGetChunk:
        case effSetChunk:
            return true;
        default:
            return false;
    }
}

}  // namespace

AudioEffect::AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
    : audioMaster(audioMaster), numPrograms(numPrograms), numParams(numParams) {
    std::memset(&cEffect, 0, sizeof(cEffect));
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = dispatchEffectClass;
    cEffect.process = processClass;
    cEffect.setParameter = setParameterClass;
    cEffect.getParameter = getParameterClass;
    cEffect.numPrograms = numPrograms;
    cEffect.numParams = numParams;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.uniqueID = vstFourCC('N', 'o', 'E', 'f');
    cEffect.version = 1;
    cEffect.processReplacing = processClassReplacing;
    cEffect.processDoubleReplacing = processClassDoubleReplacing;
}

AudioEffect::~AudioEffect() {
    delete editor;
}

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                  float opt) {
    if (needsPointer(opcode) && ptr == nullptr) {
        return 0;
    }
    auto* text = static_cast<char*>(ptr);
    switch (opcode) {
        case effOpen:
            open();
            return 0;
        case effClose:
            close();
            return 0;
        case effSetProgram:
            // Negative values too: the program index is used to address an array.
            if (value >= 0 && value < numPrograms) {
                setProgram(static_cast<VstInt32>(value));
            }
            return 0;
        case effGetProgram:
            return getProgram();
        case effSetProgramName:
            setProgramName(text);
            return 0;
        case effGetProgramName:
            getProgramName(text);
            return 0;
        case effGetParamLabel:
        case effGetParamDisplay:
        case effGetParamName:
            if (index < 0 || index >= numParams) {
                *text = 0;
                return 0;
            }
            if (opcode == effGetParamLabel) {
                getParameterLabel(index, text);
            } else if (opcode == effGetParamDisplay) {
                getParameterDisplay(index, text);
            } else {
                getParameterName(index, text);
            }
            return 0;
        case effGetVu:
            return static_cast<VstIntPtr>(getVu() * 32767.0f);
        case effSetSampleRate:
            setSampleRate(opt);
            return 0;
        case effSetBlockSize:
            setBlockSize(static_cast<VstInt32>(value));
            return 0;
        case effMainsChanged:
            if (value == 0) {
                suspend();
            } else {
                resume();
            }
            return 0;
        case effEditGetRect:
            return editor != nullptr && editor->getRect(static_cast<ERect**>(ptr)) ? 1 : 0;
        case effEditOpen:
            return editor != nullptr && editor->open(ptr) ? 1 : 0;
        case effEditClose:
            if (editor != nullptr) {
                editor->close();
            }
            return 0;
        case effEditIdle:
            if (editor != nullptr) {
                editor->idle();
            }
            return 0;
        case effIdentify:
            return vstFourCC('N', 'v', 'E', 'f');
        case effGetChunk:
            return getChunk(static_cast<void**>(ptr), index != 0);
        case effSetChunk:
            return setChunk(ptr, static_cast<VstInt32>(value), index != 0);
        default:
            return 0;
    }
}

void AudioEffect::setParameterAutomated(VstInt32 index, float value) {
    setParameter(index, value);
    reportAutomation(index, value);
}

void AudioEffect::reportAutomation(VstInt32 index, float value) {
    callHost(audioMasterAutomate, index, 0, nullptr, value);
}

void AudioEffect::setFlag(VstInt32 flag, bool state) {
    if (state) {
        cEffect.flags |= flag;
    } else {
        cEffect.flags &= ~flag;
    }
}

void AudioEffect::canProcessReplacing(bool state) {
    setFlag(effFlagsCanReplacing, state);
}
void AudioEffect::canDoubleReplacing(bool state) {
    setFlag(effFlagsCanDoubleReplacing, state);
}
void AudioEffect::programsAreChunks(bool state) {
    setFlag(effFlagsProgramChunks, state);
}
void AudioEffect::hasVu(bool state) {
    setFlag(effFlagsHasVu, state);
}
void AudioEffect::hasClip(bool state) {
    setFlag(effFlagsHasClip, state);
}
void AudioEffect::canMono(bool state) {
    setFlag(effFlagsCanMono, state);
}

void AudioEffect::setEditor(AEffEditor* newEditor) {
    if (newEditor != editor) {
        delete editor;
        editor = newEditor;
    }
    setFlag(effFlagsHasEditor, editor != nullptr);
}

VstIntPtr AudioEffect::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                float opt) {
    if (audioMaster == nullptr) {
        return 0;
    }
    return audioMaster(&cEffect, opcode, index, value, ptr, opt);
}

VstInt32 AudioEffect::getMasterVersion() {
    auto version = static_cast<VstInt32>(callHost(audioMasterVersion));
    return version != 0 ? version : 1;
}

VstInt32 AudioEffect::getCurrentUniqueId() {
    return static_cast<VstInt32>(callHost(audioMasterCurrentId));
}

void AudioEffect::masterIdle() {
    callHost(audioMasterIdle);
}

// The host answers 0 for a connected pin.
bool AudioEffect::isInputConnected(VstInt32 input) {
    return callHost(audioMasterPinConnected, input, 0) == 0;
}

bool AudioEffect::isOutputConnected(VstInt32 output) {
    return callHost(audioMasterPinConnected, output, 1) == 0;
}

// ---- AEffect callbacks ------------------------------------------------------

VstIntPtr AudioEffect::dispatchEffectClass(AEffect* e, VstInt32 opcode, VstInt32 index,
                                           VstIntPtr value, void* ptr, float opt) {
    if (e == nullptr || e->object == nullptr) {
        return 0;
    }
    // Every call of the host runs with the "C" number conventions, whatever
    // locale the host set (scripts, texts and states convert numbers here).
    const platform::ScopedCNumbers cNumbers;
    auto* effect = static_cast<AudioEffect*>(e->object);
    if (opcode == effClose) {
        // The host lets go of the AEffect whatever close() did, so the object
        // goes even when it failed.
        try {
            effect->dispatcher(opcode, index, value, ptr, opt);
        } catch (...) {
            reportException("effClose");
        }
        delete effect;
        return 1;
    }
    try {
        return effect->dispatcher(opcode, index, value, ptr, opt);
    } catch (...) {
        reportException("dispatcher");
        return 0;
    }
}

float AudioEffect::getParameterClass(AEffect* e, VstInt32 index) {
    if (e == nullptr || e->object == nullptr) {
        return 0.0f;
    }
    auto* effect = static_cast<AudioEffect*>(e->object);
    if (index < 0 || index >= effect->numParams) {
        return 0.0f;
    }
    const platform::ScopedCNumbers cNumbers;
    try {
        return effect->getParameter(index);
    } catch (...) {
        reportException("getParameter");
        return 0.0f;
    }
}

void AudioEffect::setParameterClass(AEffect* e, VstInt32 index, float value) {
    if (e == nullptr || e->object == nullptr) {
        return;
    }
    auto* effect = static_cast<AudioEffect*>(e->object);
    if (index < 0 || index >= effect->numParams) {
        return;
    }
    const platform::ScopedCNumbers cNumbers;
    try {
        effect->setParameter(index, value);
    } catch (...) {
        reportException("setParameter");
    }
}

// The accumulating call went out with VST 2.4 and this plug-in never claims
// it; a host that still calls it gets its buffers back untouched.
void AudioEffect::processClass(AEffect* /*e*/, float** /*inputs*/, float** /*outputs*/,
                               VstInt32 /*sampleFrames*/) {}

void AudioEffect::processClassReplacing(AEffect* e, float** inputs, float** outputs,
                                        VstInt32 sampleFrames) {
    if (e == nullptr || e->object == nullptr || sampleFrames < 0) {
        return;
    }
    const platform::ScopedCNumbers cNumbers;
    try {
        static_cast<AudioEffect*>(e->object)->processReplacing(inputs, outputs, sampleFrames);
    } catch (...) {
        reportException("processReplacing");
    }
}

// Double precision is never claimed (no effFlagsCanDoubleReplacing).
void AudioEffect::processClassDoubleReplacing(AEffect* /*e*/, double** /*inputs*/,
                                              double** /*outputs*/, VstInt32 /*sampleFrames*/) {}
