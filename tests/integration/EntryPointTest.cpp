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

TEST_F(EntryPoint, AsksTheHostsVersionOnceAndDeclaresItsIdentity) {
    EXPECT_EQ(host.versionRequests(), 1);
    EXPECT_EQ(e->magic, kEffectMagic);
    EXPECT_NE(e->object, nullptr);
    EXPECT_NE(e->processReplacing, nullptr);
    // Its identity, in the record and through the opcodes.
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
    EXPECT_EQ(host.dispatchText(effGetEffectName), "tavro");
    EXPECT_EQ(host.dispatchText(effGetVendorString), "Vantrell");
    EXPECT_EQ(host.dispatchText(effGetProductString), "tavro");
    EXPECT_EQ(host.dispatch(effGetPlugCategory), kPlugCategSynth);
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
    // Block size and rate together do not reallocate: a longer block is
    // processed safely with the smaller silent buffer.
    EXPECT_EQ(host.dispatch(effSetBlockSizeAndSampleRate, 0, 4096, nullptr, 48000.0f), 1);
    host.processReplacing(4096, 0.5f);
    for (float sample : host.output(0))
        ASSERT_EQ(sample, 0.0f);
    host.suspend();
}

TEST_F(EntryPoint, ResumeAsksForMidiOfItsOwnHostOnly) {
    host::VstHost second;
    std::string error;
    ASSERT_TRUE(second.load(kPluginPath, error)) << error;
    EXPECT_NE(second.effect(), e);

    second.clearRecords();
    second.resume();
    EXPECT_EQ(host.wantMidiRequests(), 0);
    EXPECT_EQ(second.wantMidiRequests(), 2);
    second.suspend();
    EXPECT_EQ(second.wantMidiRequests(), 2);  // suspending asks nothing
    EXPECT_EQ(second.close(), 1);
    // The first instance is untouched by the second one's end.
    EXPECT_EQ(host.dispatch(effGetVstVersion), 2400);
}

TEST_F(EntryPoint, CloseEndsTheInstance) {
    EXPECT_EQ(host.close(), 1);
    EXPECT_EQ(host.effect(), nullptr);
    EXPECT_EQ(host.close(), 0) << "nothing left to close";
}
