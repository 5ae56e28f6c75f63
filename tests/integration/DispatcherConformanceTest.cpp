// Every dispatcher opcode answered as hosts expect, through the real entry
// point.

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>

#include "host/VstHost.h"

namespace {

const char* const kPluginPath = TAVRO_PLUGIN_PATH;

class Dispatcher : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(host.load(kPluginPath, error)) << error;
    }
    host::VstHost host;
};

// Opcodes with an answer of their own, each given a zeroed buffer; every
// other opcode up to 200 not skipped must answer 0 with index and value 0.
struct Expected {
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    VstIntPtr answer;
};

TEST_F(Dispatcher, EveryOpcodeAnswersAsHostsExpect) {
    const Expected table[] = {{effMainsChanged, 0, 1, 0},
                              {effMainsChanged, 0, 0, 0},
                              {effIdentify, 3, 7, 0x4E764566},
                              {effCanBeAutomated, 0, 0, 1},
                              {effCanBeAutomated, 27, 0, 1},
                              {effGetNumProgramCategories, 0, 0, 1},
                              {effGetProgramNameIndexed, 0, 0, 1},
                              {effGetProgramNameIndexed, 1, 0, 0},
                              {effConnectInput, 0, 1, 1},
                              {effConnectOutput, 0, 1, 1},
                              {effGetPlugCategory, 0, 0, 2},
                              {effGetEffectName, 0, 0, 1},
                              {effGetVendorString, 0, 0, 1},
                              {effGetProductString, 0, 0, 1},
                              {effGetVendorVersion, 0, 0, 65543},
                              {effKeysRequired, 0, 0, 1},
                              {effGetVstVersion, 0, 0, 2400},
                              {effGetCurrentMidiProgram, 0, 0, -1},
                              {effSetTotalSampleToProcess, 0, 12345, 12345},
                              // The editor exists (its size is known) before
                              // any window does.
                              {effEditGetRect, 0, 0, 1}};
    // The table's opcodes, and those answered by the tests below or needing
    // buffers of their own.
    std::set<VstInt32> skip(
        {effClose, effGetChunk, effSetChunk, effProcessEvents, effGetInputProperties,
         effGetOutputProperties, effSetBlockSizeAndSampleRate, effCanDo, effGetProgramName,
         effGetParamLabel, effGetParamDisplay, effGetParamName, effSetProgramName,
         // Opening the editor needs a real parent window: the editor tests.
         effEditOpen});
    for (const auto& row : table)
        skip.insert(row.opcode);
    for (VstInt32 opcode = 0; opcode < 200; ++opcode) {
        if (skip.count(opcode))
            continue;
        alignas(16) char buffer[512] = {};
        EXPECT_EQ(host.dispatch(opcode, 0, 0, buffer), 0) << "opcode " << opcode;
    }
    for (const auto& row : table) {
        alignas(16) char buffer[512] = {};
        EXPECT_EQ(host.dispatch(row.opcode, row.index, row.value, buffer), row.answer)
            << "opcode " << row.opcode << " index " << row.index;
    }
    // The size of the editor hosts get before opening it.
    ERect* rect = nullptr;
    host.dispatch(effEditGetRect, 0, 0, &rect);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, 1000);
    EXPECT_EQ(rect->bottom - rect->top, 450);
    // Still alive and unchanged after all of that.
    EXPECT_EQ(host.dispatchText(effGetProgramName), "Defaults");
    EXPECT_EQ(host.dispatch(effGetVendorVersion), 65543);
}

TEST_F(Dispatcher, CanDoClaimsOnlyTheExactMidiEventName) {
    const std::map<std::string, VstIntPtr> answers = {
        {"receiveVstMidiEvent", 1},  {"receivevstmidievent", 0},  {"ReceiveVstMidiEvent", 0},
        {"receiveVstMidiEvents", 0}, {"receiveVstEvents", 0},     {"sendVstMidiEvent", 0},
        {"receiveVstTimeInfo", 0},   {"receiveVstMidiEvent ", 0}, {"", 0}};
    for (const auto& [text, answer] : answers) {
        std::string copy = text;
        EXPECT_EQ(host.dispatch(effCanDo, 0, 0, copy.data()), answer) << '"' << text << '"';
    }
}

TEST_F(Dispatcher, PinPropertiesDescribeMorePinsThanDeclared) {
    VstPinProperties pin{};
    EXPECT_EQ(host.dispatch(effGetOutputProperties, 1, 0, &pin), 1);
    EXPECT_STREQ(pin.label, "2");
    EXPECT_STREQ(pin.shortLabel, "2");
    EXPECT_EQ(pin.flags, kVstPinIsActive);
    EXPECT_EQ(pin.arrangementType, 1);
    EXPECT_EQ(host.dispatch(effGetOutputProperties, 0, 0, &pin), 1);
    EXPECT_EQ(pin.flags, kVstPinIsActive | kVstPinIsStereo);

    VstPinProperties untouched{};
    std::memset(&untouched, 0x5A, sizeof untouched);
    VstPinProperties probe = untouched;
    EXPECT_EQ(host.dispatch(effGetOutputProperties, 2, 0, &probe), 0);
    EXPECT_EQ(std::memcmp(&probe, &untouched, sizeof probe), 0);

    EXPECT_EQ(host.dispatch(effGetInputProperties, 7, 0, &pin), 1);
    EXPECT_STREQ(pin.label, "8");
    EXPECT_EQ(pin.flags, kVstPinIsActive);
    probe = untouched;
    EXPECT_EQ(host.dispatch(effGetInputProperties, 8, 0, &probe), 0);
    EXPECT_EQ(std::memcmp(&probe, &untouched, sizeof probe), 0);
    EXPECT_EQ(host.dispatch(effGetInputProperties, -1, 0, &probe), 0);
}

TEST_F(Dispatcher, ProgramsAndTheirNames) {
    EXPECT_EQ(host.dispatchText(effGetProgramName), "Defaults");
    EXPECT_EQ(host.dispatchText(effGetProgramNameIndexed, 0, 5), "Defaults");
    EXPECT_EQ(host.dispatch(effSetProgram, 0, 1), 0);
    EXPECT_EQ(host.dispatch(effGetProgram), 0);

    std::string longName(40, 'x');
    host.dispatch(effSetProgramName, 0, 0, longName.data());
    EXPECT_EQ(host.dispatchText(effGetProgramName), std::string(31, 'x'));
}

TEST_F(Dispatcher, ParameterTextsThroughTheHostPath) {
    host.setParameter(10, 0.25f);
    EXPECT_EQ(host.dispatchText(effGetParamDisplay, 10), "-50.00");
    EXPECT_EQ(host.dispatchText(effGetParamLabel, 10), "ms");
    EXPECT_EQ(host.dispatchText(effGetParamName, 14), "Interface Categ");
    host.setParameter(2, 0.02f);
    EXPECT_EQ(host.dispatchText(effGetParamDisplay, 2), "Off");
    EXPECT_FLOAT_EQ(host.getParameter(2), 0.0f);
    host.setParameter(24, 1.0f);
    EXPECT_EQ(host.dispatchText(effGetParamDisplay, 24), "Off");
    EXPECT_EQ(host.dispatchText(effGetParamLabel, 24), "seconds");
    host.setParameter(15, 0.0f);
    EXPECT_EQ(host.dispatchText(effGetParamDisplay, 15), "Off");
}

TEST_F(Dispatcher, IndicesOutsideTheTableAreIgnored) {
    for (VstInt32 index : {-1, 28, 1000, -100000}) {
        host.setParameter(index, 0.5f);
        EXPECT_EQ(host.getParameter(index), 0.0f);
        EXPECT_EQ(host.dispatchText(effGetParamName, index), "");
        EXPECT_EQ(host.dispatchText(effGetParamDisplay, index), "");
        EXPECT_EQ(host.dispatchText(effGetParamLabel, index), "");
    }
    EXPECT_EQ(host.dispatchText(effGetProgramName), "Defaults");
}

}  // namespace
