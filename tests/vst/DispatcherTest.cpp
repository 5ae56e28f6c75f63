// Every opcode reaches the virtual that answers it, with the host's
// arguments in the right places, and its result comes back as published.

#include "RecordingEffect.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

using namespace vsttest;

namespace {

constexpr VstIntPtr kValueIsV = -999;  // replaced by the address kV

struct Row {
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    float opt;
    const char* call;
    VstIntPtr result;
};

const std::vector<Row>& rows() {
    static const std::vector<Row> table = {
        {effOpen, 0, 0, 0, "open()", 0},
        {effClose, 0, 0, 0, "close()", 0},
        {effSetProgram, 0, 2, 0, "setProgram(2)", 0},
        {effGetProgram, 0, 0, 0, "getProgram()", 5},
        {effSetProgramName, 0, 0, 0, "setProgramName(P)", 0},
        {effGetProgramName, 0, 0, 0, "getProgramName(P)", 0},
        {effGetParamLabel, 3, 0, 0, "getParameterLabel(3,P)", 0},
        {effGetParamDisplay, 1, 0, 0, "getParameterDisplay(1,P)", 0},
        {effGetParamName, 0, 0, 0, "getParameterName(0,P)", 0},
        {effGetVu, 0, 0, 0, "getVu()", 16383},
        {effSetSampleRate, 0, 0, 48000.0f, "setSampleRate(48000)", 0},
        {effSetBlockSize, 0, 512, 0, "setBlockSize(512)", 0},
        {effMainsChanged, 0, 0, 0, "suspend()", 0},
        {effMainsChanged, 0, 1, 0, "resume()", 0},
        {effGetChunk, 1, 0, 0, "getChunk(P,1)", 77},
        {effSetChunk, 0, 100, 0, "setChunk(P,100,0)", 66},
        {effProcessEvents, 0, 0, 0, "processEvents(P)", 9},
        {effCanBeAutomated, 2, 0, 0, "canParameterBeAutomated(2)", 1},
        {effString2Parameter, 1, 0, 0, "string2parameter(1,P)", 1},
        {effGetNumProgramCategories, 0, 0, 0, "getNumCategories()", 3},
        {effGetProgramNameIndexed, 2, 7, 0, "getProgramNameIndexed(7,2,P)", 1},
        {effCopyProgram, 2, 0, 0, "copyProgram(2)", 1},
        {effConnectInput, 1, 1, 0, "inputConnected(1,1)", 1},
        {effConnectOutput, 0, 0, 0, "outputConnected(0,0)", 1},
        {effGetInputProperties, 7, 0, 0, "getInputProperties(7,P)", 1},
        {effGetOutputProperties, 1, 0, 0, "getOutputProperties(1,P)", 1},
        {effGetPlugCategory, 0, 0, 0, "getPlugCategory()", kPlugCategGenerator},
        {effGetCurrentPosition, 0, 0, 0, "reportCurrentPosition()", 12},
        {effGetDestinationBuffer, 0, 0, 0, "reportDestinationBuffer()", 0},
        {effOfflineNotify, 1, 3, 0, "offlineNotify(P,3,1)", 1},
        {effOfflinePrepare, 0, 2, 0, "offlinePrepare(P,2)", 1},
        {effOfflineRun, 0, 2, 0, "offlineRun(P,2)", 1},
        {effProcessVarIo, 0, 0, 0, "processVariableIo(P)", 1},
        {effSetSpeakerArrangement, 0, kValueIsV, 0, "setSpeakerArrangement(V,P)", 1},
        {effSetBlockSizeAndSampleRate, 0, 256, 96000.0f, "setBlockSizeAndSampleRate(256,96000)", 1},
        {effSetBypass, 0, 1, 0, "setBypass(1)", 1},
        {effGetEffectName, 0, 0, 0, "getEffectName(P)", 1},
        {effGetErrorText, 0, 0, 0, "getErrorText(P)", 1},
        {effGetVendorString, 0, 0, 0, "getVendorString(P)", 1},
        {effGetProductString, 0, 0, 0, "getProductString(P)", 1},
        {effGetVendorVersion, 0, 0, 0, "getVendorVersion()", 13},
        {effVendorSpecific, 5, 6, 0.5f, "vendorSpecific(5,6,P,0.5)", 14},
        {effCanDo, 0, 0, 0, "canDo(P)", -1},
        {effGetTailSize, 0, 0, 0, "getGetTailSize()", 15},
        {effIdle, 0, 0, 0, "fxIdle()", 16},
        {effGetIcon, 0, 0, 0, "getIcon()", reinterpret_cast<VstIntPtr>(kP)},
        {effSetViewPosition, 10, 20, 0, "setViewPosition(10,20)", 1},
        {effGetParameterProperties, 3, 0, 0, "getParameterProperties(3,P)", 1},
        // Inverted on the wire: a plug-in that needs keys answers 0.
        {effKeysRequired, 0, 0, 0, "keysRequired()", 0},
        {effGetVstVersion, 0, 0, 0, "getVstVersion()", 17},
        {effGetMidiProgramName, 9, 0, 0, "getMidiProgramName(9,P)", 18},
        {effGetCurrentMidiProgram, 9, 0, 0, "getCurrentMidiProgram(9,P)", 19},
        {effGetMidiProgramCategory, 9, 0, 0, "getMidiProgramCategory(9,P)", 20},
        {effHasMidiProgramsChanged, 4, 0, 0, "hasMidiProgramsChanged(4)", 1},
        {effGetMidiKeyName, 4, 0, 0, "getMidiKeyName(4,P)", 1},
        {effBeginSetProgram, 0, 0, 0, "beginSetProgram()", 1},
        {effEndSetProgram, 0, 0, 0, "endSetProgram()", 1},
        {effGetSpeakerArrangement, 0, kValueIsV, 0, "getSpeakerArrangement(V,P)", 1},
        {effShellGetNextPlugin, 0, 0, 0, "getNextShellPlugin(P)", 21},
        {effStartProcess, 0, 0, 0, "startProcess()", 22},
        {effStopProcess, 0, 0, 0, "stopProcess()", 23},
        {effSetTotalSampleToProcess, 0, 4410, 0, "setTotalSampleToProcess(4410)", 4411},
        {effSetPanLaw, 0, 1, 0.707f, "setPanLaw(1,0.707)", 1},
        {effBeginLoadBank, 0, 0, 0, "beginLoadBank(P)", 24},
        {effBeginLoadProgram, 0, 0, 0, "beginLoadProgram(P)", 25},
        {effSetProcessPrecision, 0, 1, 0, "setProcessPrecision(1)", 1},
        {effGetNumMidiInputChannels, 0, 0, 0, "getNumMidiInputChannels()", 26},
        {effGetNumMidiOutputChannels, 0, 0, 0, "getNumMidiOutputChannels()", 27},
    };
    return table;
}

// Answered by the editor; covered in LifecycleTest.
const std::set<VstInt32> kEditorOpcodes = {effEditGetRect,    effEditOpen,    effEditClose,
                                           effEditIdle,       effEditKeyDown, effEditKeyUp,
                                           effSetEditKnobMode};

VstIntPtr dispatch(AudioEffect& effect, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                   void* ptr = kP, float opt = 0.0f) {
    return effect.getAeffect()->dispatcher(effect.getAeffect(), opcode, index, value, ptr, opt);
}

// The base classes alone, as a plug-in that overrides nothing sees them.
class BareEffect : public AudioEffectX {
public:
    BareEffect() : AudioEffectX(nullptr, 1, 4) {}
    void processReplacing(float**, float**, VstInt32) override {}
    using AudioEffectX::isSynth;
};

}  // namespace

TEST(Dispatcher, EveryOpcodeReachesItsVirtualWithTheHostsArguments) {
    for (const Row& row : rows()) {
        RecordingEffect effect(3, 4);
        VstIntPtr value = row.value == kValueIsV ? reinterpret_cast<VstIntPtr>(kV) : row.value;
        VstIntPtr result = effect.dispatcher(row.opcode, row.index, value, kP, row.opt);
        SCOPED_TRACE("opcode " + std::to_string(row.opcode));
        EXPECT_EQ(effect.calls, std::vector<std::string>{row.call});
        EXPECT_EQ(result, row.result);
    }
}

TEST(Dispatcher, OpcodesWithoutAnAnswerReturnZeroAndCallNothing) {
    std::set<VstInt32> answered(kEditorOpcodes);
    for (const Row& row : rows()) {
        answered.insert(row.opcode);
    }
    std::vector<VstInt32> silent = {-1, 80, 81, 200, 0x7fffffff};
    for (VstInt32 opcode = 0; opcode <= 79; ++opcode) {
        if (answered.count(opcode) == 0 && opcode != effIdentify) {
            silent.push_back(opcode);
        }
    }
    // Only the long-gone editor drawing calls of VST 1 are left unmapped.
    EXPECT_EQ(silent.size(), 5u + 5u);
    for (VstInt32 opcode : silent) {
        RecordingEffect effect;
        EXPECT_EQ(dispatch(effect, opcode, 1, 1), 0) << opcode;
        EXPECT_TRUE(effect.calls.empty()) << opcode;
    }
}

TEST(Dispatcher, IdentifyAnswersNvEfWhateverTheArguments) {
    RecordingEffect effect;
    EXPECT_EQ(dispatch(effect, effIdentify), 0x4E764566);
    EXPECT_EQ(dispatch(effect, effIdentify, -5, 77, nullptr, 3.0f), 0x4E764566);
    EXPECT_TRUE(effect.calls.empty());
}

TEST(Dispatcher, ProgramOutsideTheProgramCountIsIgnored) {
    RecordingEffect effect(3, 4);
    for (VstIntPtr program : {VstIntPtr{3}, VstIntPtr{100}, VstIntPtr{-1}}) {
        EXPECT_EQ(dispatch(effect, effSetProgram, 0, program), 0);
    }
    EXPECT_TRUE(effect.calls.empty());
}

TEST(Dispatcher, ParameterIndexOutsideTheTableReachesNoVirtual) {
    RecordingEffect effect(1, 4);
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

TEST(Dispatcher, BaseDefaultsGiveThePublishedAnswers) {
    BareEffect effect;
    char text[64] = "unchanged";
    EXPECT_EQ(dispatch(effect, effGetProgramName, 0, 0, text), 0);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(dispatch(effect, effCanBeAutomated, 3), 1);
    EXPECT_EQ(dispatch(effect, effKeysRequired), 1);
    EXPECT_EQ(dispatch(effect, effGetNumProgramCategories), 1);
    EXPECT_EQ(dispatch(effect, effGetVstVersion), 2400);
    EXPECT_EQ(dispatch(effect, effGetCurrentMidiProgram, 0, 0, nullptr), -1);
    EXPECT_EQ(dispatch(effect, effSetTotalSampleToProcess, 0, 123456), 123456);
    EXPECT_EQ(dispatch(effect, effCanDo, 0, 0, const_cast<char*>("receiveVstMidiEvent")), 0);
    EXPECT_EQ(dispatch(effect, effGetProgram), 0);
    EXPECT_EQ(dispatch(effect, effSetChunk, 0, 0, kP), 0);
    EXPECT_EQ(dispatch(effect, effSetBlockSizeAndSampleRate, 0, 64, nullptr, 22050.0f), 1);
    EXPECT_EQ(effect.getBlockSize(), 64);
    EXPECT_EQ(effect.getSampleRate(), 22050.0f);

    EXPECT_EQ(dispatch(effect, effGetPlugCategory), kPlugCategUnknown);
    effect.isSynth();
    EXPECT_EQ(dispatch(effect, effGetPlugCategory), kPlugCategSynth);
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
