// The plug-in library as a host sees it: its entry point, the identity it
// declares, its output without input, and closing.

#include "host/VstHost.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char* const kPluginPath = TAVRO_PLUGIN_PATH;

class EntryPoint : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(host.load(kPluginPath, error)) << error;
        e = host.effect();
    }

    host::VstHost host;
    AEffect* e = nullptr;
};

}  // namespace

TEST_F(EntryPoint, AsksTheHostsVersionOnceBeforeBuilding) {
    EXPECT_EQ(host.versionRequests(), 1);
    EXPECT_EQ(e->magic, kEffectMagic);
    EXPECT_NE(e->object, nullptr);
    EXPECT_NE(e->processReplacing, nullptr);
}

TEST_F(EntryPoint, DeclaresItsIdentityInTheRecord) {
    EXPECT_EQ(e->uniqueID, 0x51587476);
    EXPECT_EQ(host::fourCharText(e->uniqueID), "QXtv");
    EXPECT_EQ(e->version, 1);
    EXPECT_EQ(e->numPrograms, 1);
    EXPECT_EQ(e->numParams, 28);
    EXPECT_EQ(e->numInputs, 0);
    EXPECT_EQ(e->numOutputs, 1);
    // The editor flag comes with the editor object; the rest is fixed.
    EXPECT_EQ(e->flags & ~effFlagsHasEditor, 0x138);
    EXPECT_EQ(e->flags & effFlagsCanDoubleReplacing, 0);
    EXPECT_EQ(e->initialDelay, 0);
    EXPECT_EQ(e->ioRatio, 1.0f);
}

TEST_F(EntryPoint, AnswersTheIdentityOpcodes) {
    EXPECT_EQ(host.dispatchText(effGetEffectName), "tavro");
    EXPECT_EQ(host.dispatchText(effGetVendorString), "Vantrell");
    EXPECT_EQ(host.dispatchText(effGetProductString), "tavro");
    EXPECT_EQ(host.dispatch(effGetVendorVersion), 65543);
    EXPECT_EQ(host.dispatch(effGetVstVersion), 2400);
    EXPECT_EQ(host.dispatch(effGetPlugCategory), kPlugCategSynth);
    EXPECT_EQ(host.dispatch(effIdentify), 0x4E764566);
}

TEST_F(EntryPoint, ClaimsOnlyReceivingMidiEventsExactly) {
    auto canDo = [this](const char* text) {
        std::string copy(text);
        return host.dispatch(effCanDo, 0, 0, copy.data());
    };
    EXPECT_EQ(canDo("receiveVstMidiEvent"), 1);
    for (const char* other : {"receiveVstEvents", "sendVstMidiEvent", "receiveVstTimeInfo",
                              "ReceiveVstMidiEvent", "receiveVstMidiEvent ", ""}) {
        EXPECT_EQ(canDo(other), 0) << '"' << other << '"';
    }
}

TEST(EntryPointRefusal, AHostAnsweringZeroToItsVersionGetsNoEffect) {
    host::VstHost host;
    host.setVersionAnswer(0);
    std::string error;
    EXPECT_FALSE(host.load(kPluginPath, error));
    EXPECT_EQ(host.effect(), nullptr);
    EXPECT_EQ(host.versionRequests(), 1);
    EXPECT_NE(error.find("no effect"), std::string::npos) << error;
}

TEST(EntryPointRefusal, AMissingLibraryIsReportedNotCrashed) {
    host::VstHost host;
    std::string error;
    EXPECT_FALSE(host.load(std::string(kPluginPath) + ".missing", error));
    EXPECT_FALSE(error.empty());
}

TEST_F(EntryPoint, ProcessingWithoutInputGivesSilence) {
    host.dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
    host.dispatch(effSetBlockSize, 0, 512);
    host.resume();
    for (int block = 0; block < 3; ++block) {
        // Filled with a non-zero value first: every sample must be written.
        host.processReplacing(512, 0.5f);
        const std::vector<float>& out = host.output(0);
        ASSERT_EQ(out.size(), 512u);
        for (std::size_t i = 0; i < out.size(); ++i) {
            ASSERT_EQ(out[i], 0.0f) << "block " << block << " sample " << i;
        }
    }
    host.suspend();
}

TEST_F(EntryPoint, ResumeAsksForMidiOfItsOwnHostOnly) {
    host::VstHost second;
    std::string error;
    ASSERT_TRUE(second.load(kPluginPath, error)) << error;
    EXPECT_NE(second.effect(), e);

    second.resume();
    EXPECT_EQ(host.wantMidiRequests(), 0);
    EXPECT_GE(second.wantMidiRequests(), 1);
    EXPECT_EQ(second.close(), 1);
    // The first instance is untouched by the second one's end.
    EXPECT_EQ(host.dispatch(effGetVstVersion), 2400);
}

TEST_F(EntryPoint, CloseEndsTheInstance) {
    EXPECT_EQ(host.close(), 1);
    EXPECT_EQ(host.effect(), nullptr);
    EXPECT_EQ(host.close(), 0) << "nothing left to close";
}
