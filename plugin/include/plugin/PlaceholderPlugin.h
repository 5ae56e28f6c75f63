#pragma once
// Stands in for the real plug-in object until it exists: declares the final
// identity (IDs, counts, flags, names) and outputs silence, so that the
// entry point, the host and the Windows build can be exercised end to end.

#include "vst/AudioEffectX.h"

class PlaceholderPlugin : public AudioEffectX {
public:
    explicit PlaceholderPlugin(audioMasterCallback audioMaster);

    // [ui-thread] Asks the host for MIDI, as the instrument must.
    void resume() override { wantEvents(1); }
    // [audio-thread] Silence on every output.
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;

    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override { return 0x10007; }
    VstPlugCategory getPlugCategory() override { return kPlugCategSynth; }
    VstInt32 canDo(char* text) override;
};
