#pragma once
// The VST 2.4 base object: owns the AEffect the host sees, turns the host's
// C callbacks into virtual calls and keeps the basic per-instance values.
//
// Threads: the host calls dispatcher, setParameter and getParameter from its
// user-interface thread (sometimes others), processReplacing from its audio
// thread. This layer takes no locks.

#include "vst/AEffEditor.h"
#include "vst/AEffect.h"

class AudioEffect {
public:
    // [ui-thread] Fills the AEffect: 44100 Hz, blocks of 1024, one input and
    // two outputs until the plug-in says otherwise. May allocate.
    AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
    // Deletes the editor.
    virtual ~AudioEffect();

    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    // [ui-thread] Turns one host opcode into the virtual call that answers it.
    virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                 float opt);

    // ---- State transitions -------------------------------------------------
    virtual void open() {}
    virtual void close() {}
    virtual void suspend() {}
    virtual void resume() {}

    // ---- Processing ---------------------------------------------------------
    virtual void setSampleRate(float rate) { sampleRate = rate; }
    virtual void setBlockSize(VstInt32 size) { blockSize = size; }
    // [audio-thread] Must not allocate or lock.
    virtual void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) = 0;
    // Not reached from the host: the plug-in never claims double precision
    // (effFlagsCanDoubleReplacing) and its trampoline does nothing.
    virtual void processDoubleReplacing(double** /*inputs*/, double** /*outputs*/,
                                        VstInt32 /*sampleFrames*/) {}

    // ---- Parameters ---------------------------------------------------------
    // [any-thread] Normalised values 0..1.
    virtual void setParameter(VstInt32 /*index*/, float /*value*/) {}
    virtual float getParameter(VstInt32 /*index*/) { return 0.0f; }
    // Sets the value and tells the host (audioMasterAutomate).
    virtual void setParameterAutomated(VstInt32 index, float value);
    // Tells the host of a value the plug-in already holds (an editor whose
    // gesture set it on another thread).
    void reportAutomation(VstInt32 index, float value);

    // ---- Programs and persistence -------------------------------------------
    virtual VstInt32 getProgram() { return curProgram; }
    virtual void setProgram(VstInt32 program) { curProgram = program; }
    virtual void setProgramName(char* /*name*/) {}
    virtual void getProgramName(char* name) { *name = 0; }
    virtual void getParameterLabel(VstInt32 /*index*/, char* label) { *label = 0; }
    virtual void getParameterDisplay(VstInt32 /*index*/, char* text) { *text = 0; }
    virtual void getParameterName(VstInt32 /*index*/, char* text) { *text = 0; }
    // Returns the size in bytes and the address through `data`; the buffer
    // stays owned by the plug-in.
    virtual VstInt32 getChunk(void** /*data*/, bool /*isPreset*/ = false) { return 0; }
    virtual VstInt32 setChunk(void* /*data*/, VstInt32 /*byteSize*/, bool /*isPreset*/ = false) {
        return 0;
    }

    // ---- Internal setup -----------------------------------------------------
    virtual void setUniqueID(VstInt32 id) { cEffect.uniqueID = id; }
    virtual void setNumInputs(VstInt32 inputs) { cEffect.numInputs = inputs; }
    virtual void setNumOutputs(VstInt32 outputs) { cEffect.numOutputs = outputs; }
    virtual void canProcessReplacing(bool state = true);
    virtual void canDoubleReplacing(bool state = true);
    virtual void programsAreChunks(bool state = true);
    virtual void setInitialDelay(VstInt32 delay) { cEffect.initialDelay = delay; }

    // ---- Editor -------------------------------------------------------------
    // Takes ownership (a replaced editor is deleted); sets or clears
    // effFlagsHasEditor.
    void setEditor(AEffEditor* newEditor);
    virtual AEffEditor* getEditor() { return editor; }

    // ---- Inquiry ------------------------------------------------------------
    virtual AEffect* getAeffect() { return &cEffect; }
    virtual float getSampleRate() { return sampleRate; }
    virtual VstInt32 getBlockSize() { return blockSize; }

    // ---- Host communication -------------------------------------------------
    // 1 when there is no host or it answers 0, as for a VST 1.0 host.
    virtual VstInt32 getMasterVersion();
    virtual VstInt32 getCurrentUniqueId();
    virtual void masterIdle();

    // ---- Deprecated ---------------------------------------------------------
    // Never called: the accumulating process trampoline does nothing.
    virtual void process(float** /*inputs*/, float** /*outputs*/, VstInt32 /*sampleFrames*/) {}
    virtual float getVu() { return 0.0f; }
    virtual void hasVu(bool state = true);
    virtual void hasClip(bool state = true);
    virtual void canMono(bool state = true);
    virtual void setRealtimeQualities(VstInt32 qualities) { cEffect.realQualities = qualities; }
    virtual void setOfflineQualities(VstInt32 qualities) { cEffect.offQualities = qualities; }
    virtual bool isInputConnected(VstInt32 input);
    virtual bool isOutputConnected(VstInt32 output);

protected:
    // Host request with this effect as sender; 0 when there is no host.
    VstIntPtr callHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);
    void setFlag(VstInt32 flag, bool state);

    audioMasterCallback audioMaster;
    AEffEditor* editor = nullptr;
    float sampleRate = 44100.0f;
    VstInt32 blockSize = 1024;
    VstInt32 numPrograms;
    VstInt32 numParams;
    VstInt32 curProgram = 0;
    AEffect cEffect;

    // The AEffect callbacks: each finds the object through AEffect::object,
    // forwards and never lets an exception reach the host.
    static VstIntPtr dispatchEffectClass(AEffect* e, VstInt32 opcode, VstInt32 index,
                                         VstIntPtr value, void* ptr, float opt);
    static float getParameterClass(AEffect* e, VstInt32 index);
    static void setParameterClass(AEffect* e, VstInt32 index, float value);
    static void processClass(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames);
    static void processClassReplacing(AEffect* e, float** inputs, float** outputs,
                                      VstInt32 sampleFrames);
    static void processClassDoubleReplacing(AEffect* e, double** inputs, double** outputs,
                                            VstInt32 sampleFrames);
};

// Defined once by the plug-in: builds the object the entry point returns.
AudioEffect* createEffectInstance(audioMasterCallback audioMaster);
