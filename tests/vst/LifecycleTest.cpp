// The AEffect callbacks as a host uses them: closing destroys, exceptions
// stay inside, the editor gets its opcodes, and the host requests carry the
// plug-in's own AEffect.

#include "RecordingEffect.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace vsttest;

namespace {

class FakeEditor : public AEffEditor {
public:
    static inline int destroyed = 0;
    std::vector<std::string> calls;
    ERect rect{0, 0, 300, 400};
    VstKeyCode lastKey{};

    ~FakeEditor() override { ++destroyed; }
    bool getRect(ERect** out) override {
        calls.push_back("getRect");
        *out = &rect;
        return true;
    }
    bool open(void* parent) override {
        calls.push_back(parent == kP ? "open(P)" : "open(?)");
        return true;
    }
    void close() override { calls.push_back("close"); }
    void idle() override { calls.push_back("idle"); }
    bool onKeyDown(VstKeyCode& key) override {
        calls.push_back("onKeyDown");
        lastKey = key;
        return true;
    }
    bool onKeyUp(VstKeyCode& key) override {
        calls.push_back("onKeyUp");
        lastKey = key;
        return false;
    }
    bool setKnobMode(VstInt32 mode) override {
        calls.push_back("setKnobMode(" + std::to_string(mode) + ")");
        return true;
    }
};

VstIntPtr dispatch(AEffect* e, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                   void* ptr = nullptr, float opt = 0.0f) {
    return e->dispatcher(e, opcode, index, value, ptr, opt);
}

class Lifecycle : public ::testing::Test {
protected:
    void SetUp() override {
        gJournal.clear();
        gHostRequests.clear();
        gHostAnswer = 0;
        RecordingEffect::destroyed = 0;
        FakeEditor::destroyed = 0;
    }
};

}  // namespace

TEST_F(Lifecycle, CloseRunsTheCloseHookThenDestroysTheObjectEvenWhenTheHookThrows) {
    for (bool throwing : {false, true}) {
        gJournal.clear();
        auto* effect = new RecordingEffect;
        effect->throwOnClose = throwing;
        EXPECT_EQ(dispatch(effect->getAeffect(), effClose), 1);
        EXPECT_EQ(gJournal, (std::vector<std::string>{"close()", "destroyed"})) << throwing;
    }
    EXPECT_EQ(RecordingEffect::destroyed, 2);
}

TEST_F(Lifecycle, ExceptionsNeverReachTheHost) {
    RecordingEffect effect;
    effect.throwOnDispatch = true;
    AEffect* e = effect.getAeffect();
    EXPECT_EQ(dispatch(e, effGetVendorVersion), 0);
    float out[4] = {};
    float* outputs[] = {out};
    e->processReplacing(e, nullptr, outputs, 4);
    EXPECT_EQ(out[0], 0.0f);
}

TEST_F(Lifecycle, ParameterAndProcessCallbacksForward) {
    RecordingEffect effect(1, 4);
    AEffect* e = effect.getAeffect();
    e->setParameter(e, 2, 0.5f);
    EXPECT_EQ(e->getParameter(e, 3), 0.25f);
    // Indices the host was never offered are dropped at the boundary.
    e->setParameter(e, 4, 0.5f);
    e->setParameter(e, -1, 0.5f);
    EXPECT_EQ(e->getParameter(e, 4), 0.0f);

    float out[16] = {};
    float* outputs[] = {out};
    e->processReplacing(e, nullptr, outputs, 16);
    EXPECT_EQ(out[0], 1.0f);
    EXPECT_EQ(effect.calls, (std::vector<std::string>{"setParameter(2,0.5)", "getParameter(3)",
                                                      "processReplacing(16)"}));
}

TEST_F(Lifecycle, AccumulatingAndDoubleProcessingLeaveTheBuffersAlone) {
    RecordingEffect effect;
    AEffect* e = effect.getAeffect();
    float out[4] = {0.5f};
    float* outputs[] = {out};
    double dout[4] = {0.5};
    double* doutputs[] = {dout};
    e->process(e, nullptr, outputs, 4);
    e->processDoubleReplacing(e, nullptr, doutputs, 4);
    EXPECT_EQ(out[0], 0.5f);
    EXPECT_EQ(dout[0], 0.5);
    EXPECT_TRUE(effect.calls.empty());
    EXPECT_EQ(e->flags & effFlagsCanDoubleReplacing, 0);
}

TEST_F(Lifecycle, EditorOpcodesReachTheEditorWhichDiesWithThePlugin) {
    auto* effect = new RecordingEffect;
    auto* editor = new FakeEditor;
    effect->setEditor(editor);
    AEffect* e = effect->getAeffect();
    EXPECT_NE(e->flags & effFlagsHasEditor, 0);

    ERect* rect = nullptr;
    EXPECT_EQ(dispatch(e, effEditGetRect, 0, 0, &rect), 1);
    EXPECT_EQ(rect, &editor->rect);
    EXPECT_EQ(dispatch(e, effEditOpen, 0, 0, kP), 1);
    EXPECT_EQ(dispatch(e, effEditIdle), 0);
    EXPECT_EQ(dispatch(e, effEditKeyDown, 'a', VKEY_LEFT, nullptr, MODIFIER_SHIFT), 1);
    EXPECT_EQ(editor->lastKey.character, 'a');
    EXPECT_EQ(editor->lastKey.virt, VKEY_LEFT);
    EXPECT_EQ(editor->lastKey.modifier, MODIFIER_SHIFT);
    EXPECT_EQ(dispatch(e, effEditKeyUp, 0, VKEY_RETURN), 0);
    EXPECT_EQ(editor->lastKey.virt, VKEY_RETURN);
    EXPECT_EQ(dispatch(e, effSetEditKnobMode, 0, 2), 1);
    EXPECT_EQ(dispatch(e, effEditClose), 0);
    EXPECT_EQ(editor->calls, (std::vector<std::string>{"getRect", "open(P)", "idle", "onKeyDown",
                                                       "onKeyUp", "setKnobMode(2)", "close"}));

    EXPECT_EQ(dispatch(e, effClose), 1);
    EXPECT_EQ(FakeEditor::destroyed, 1);
}

TEST_F(Lifecycle, HostRequestsCarryTheEffectAndTheirArguments) {
    RecordingEffect effect;
    AEffect* e = effect.getAeffect();
    VstTimeInfo time{};
    gHostAnswer = reinterpret_cast<VstIntPtr>(&time);
    EXPECT_EQ(effect.getTimeInfo(0x3E02), &time);
    gHostAnswer = 1;
    effect.setParameterAutomated(3, 0.75f);
    EXPECT_TRUE(effect.beginEdit(5));
    EXPECT_TRUE(effect.endEdit(5));
    effect.wantEvents();

    ASSERT_EQ(gHostRequests.size(), 5u);
    for (const HostRequest& r : gHostRequests) {
        EXPECT_EQ(r.effect, e);
    }
    EXPECT_EQ(gHostRequests[0].opcode, audioMasterGetTime);
    EXPECT_EQ(gHostRequests[0].value, 0x3E02);
    EXPECT_EQ(gHostRequests[1].opcode, audioMasterAutomate);
    EXPECT_EQ(gHostRequests[1].index, 3);
    EXPECT_EQ(gHostRequests[1].opt, 0.75f);
    EXPECT_EQ(gHostRequests[2].opcode, audioMasterBeginEdit);
    EXPECT_EQ(gHostRequests[2].index, 5);
    EXPECT_EQ(gHostRequests[3].opcode, audioMasterEndEdit);
    EXPECT_EQ(gHostRequests[4].opcode, audioMasterWantMidi);
    EXPECT_EQ(gHostRequests[4].value, 1);
    EXPECT_EQ(effect.calls, std::vector<std::string>{"setParameter(3,0.75)"});

    // A host answering zero to the version request counts as version one.
    gHostAnswer = 0;
    EXPECT_EQ(effect.getMasterVersion(), 1);
    gHostAnswer = 2400;
    EXPECT_EQ(effect.getMasterVersion(), 2400);
}
