#include "plugin/PlaceholderPlugin.h"

#include <cstring>

namespace {
constexpr VstInt32 kNumPrograms = 1;
constexpr VstInt32 kNumParams = 28;
}  // namespace

PlaceholderPlugin::PlaceholderPlugin(audioMasterCallback audioMaster)
    : AudioEffectX(audioMaster, kNumPrograms, kNumParams) {
    setNumInputs(0);
    setNumOutputs(1);
    setUniqueID(vstFourCC('Q', 'X', 't', 'v'));
    canMono();
    canProcessReplacing();
    programsAreChunks();
    isSynth();
}

void PlaceholderPlugin::processReplacing(float** /*inputs*/, float** outputs,
                                         VstInt32 sampleFrames) {
    for (VstInt32 channel = 0; channel < cEffect.numOutputs; ++channel) {
        std::memset(outputs[channel], 0, sizeof(float) * static_cast<std::size_t>(sampleFrames));
    }
}

bool PlaceholderPlugin::getEffectName(char* name) {
    std::strcpy(name, "tavro");
    return true;
}

bool PlaceholderPlugin::getVendorString(char* text) {
    std::strcpy(text, "Vantrell");
    return true;
}

bool PlaceholderPlugin::getProductString(char* text) {
    std::strcpy(text, "tavro");
    return true;
}

VstInt32 PlaceholderPlugin::canDo(char* text) {
    return std::strcmp(text, "receiveVstMidiEvent") == 0 ? 1 : 0;
}

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
    return new PlaceholderPlugin(audioMaster);
}
