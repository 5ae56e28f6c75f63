// What the dispatcher keeps from the plug-in's virtuals: null pointers and
// indices outside its tables. Every opcode's own answer is checked through
// the real entry point in the integration tests.

#include "RecordingEffect.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace vsttest;

namespace {

VstIntPtr dispatch(AudioEffect& effect, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                   void* ptr = kP, float opt = 0.0f) {
    return effect.getAeffect()->dispatcher(effect.getAeffect(), opcode, index, value, ptr, opt);
}

// The base classes alone, as a plug-in that overrides nothing sees them.
class BareEffect : public AudioEffectX {
public:
    BareEffect() : AudioEffectX(nullptr, 1, 4) {}
    void processReplacing(float**, float**, VstInt32) override {}
};

}  // namespace

TEST(Dispatcher, ProgramOrParameterIndexOutsideTheTablesReachesNoVirtual) {
    RecordingEffect effect(3, 4);
    for (VstIntPtr program : {VstIntPtr{3}, VstIntPtr{100}, VstIntPtr{-1}}) {
        EXPECT_EQ(dispatch(effect, effSetProgram, 0, program), 0);
    }
    for (VstInt32 index : {4, -1}) {
        for (VstInt32 opcode : {effGetParamLabel, effGetParamDisplay, effGetParamName}) {
            char text[16];
            std::memset(text, 'x', sizeof text);
            EXPECT_EQ(dispatch(effect, opcode, index, 0, text), 0);
            EXPECT_STREQ(text, "") << "the host's buffer is left terminated";
        }
        EXPECT_EQ(dispatch(effect, effString2Parameter, index), 0);
        EXPECT_EQ(dispatch(effect, effGetParameterProperties, index), 0);
    }
    EXPECT_TRUE(effect.calls.empty());
}

TEST(Dispatcher, NullPointerFromTheHostNeverReachesAVirtualThatUsesIt) {
    const VstInt32 opcodes[] = {effSetProgramName,
                                effGetProgramName,
                                effGetParamLabel,
                                effGetParamDisplay,
                                effGetParamName,
                                effGetChunk,
                                effSetChunk,
                                effProcessEvents,
                                effString2Parameter,
                                effGetProgramNameIndexed,
                                effGetInputProperties,
                                effGetOutputProperties,
                                effGetEffectName,
                                effGetErrorText,
                                effGetVendorString,
                                effGetProductString,
                                effCanDo,
                                effGetParameterProperties,
                                effShellGetNextPlugin};
    RecordingEffect effect;
    for (VstInt32 opcode : opcodes) {
        EXPECT_EQ(dispatch(effect, opcode, 0, 0, nullptr), 0) << opcode;
    }
    EXPECT_TRUE(effect.calls.empty());
}

TEST(Dispatcher, DefaultSpeakerArrangementClearsWhatTheHostPassed) {
    BareEffect effect;
    VstSpeakerArrangement* input = reinterpret_cast<VstSpeakerArrangement*>(kP);
    VstSpeakerArrangement* output = reinterpret_cast<VstSpeakerArrangement*>(kP);
    EXPECT_EQ(
        dispatch(effect, effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input), &output),
        0);
    EXPECT_EQ(input, nullptr);
    EXPECT_EQ(output, nullptr);
    // Either pointer may be missing.
    EXPECT_EQ(dispatch(effect, effGetSpeakerArrangement, 0, 0, nullptr), 0);
}
