// The saved state of a whole plug-in: what effGetChunk hands out and what
// effSetChunk restores.

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "engine/ZephCorvane.h"
#include "platform/Diagnostics.h"
#include "platform/MemoryMidiInput.h"
#include "platform/testing/CapturedReports.h"
#include "tavro/Version.h"

namespace QX4Controller {
namespace {

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

std::uint32_t wordAt(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    std::uint32_t v = 0;
    std::memcpy(&v, bytes.data() + offset, 4);
    return v;
}

class SavedState : public testing::Test {
protected:
    SavedState() : plugin(hostCallback) { effect = plugin.getAeffect(); }

    std::vector<std::uint8_t> save() {
        void* data = nullptr;
        const VstIntPtr size = effect->dispatcher(effect, effGetChunk, 0, 0, &data, 0.0f);
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        return std::vector<std::uint8_t>(bytes, bytes + size);
    }
    VstIntPtr restore(std::vector<std::uint8_t> chunk) {
        return effect->dispatcher(effect, effSetChunk, 0, static_cast<VstIntPtr>(chunk.size()),
                                  chunk.data(), 0.0f);
    }
    static std::vector<std::uint8_t> chunkWith(std::uint32_t tag, const void* data,
                                               std::size_t size) {
        state::StateChunkWriter writer;
        writer.add(tag, data, size);
        return writer.serialise();
    }

    ZephCorvane plugin;
    AEffect* effect;
};

TEST_F(SavedState, AFreshInstanceSaves168BytesAndANameIsPadded) {
    const auto chunk = save();
    ASSERT_EQ(chunk.size(), 168u);
    EXPECT_EQ(wordAt(chunk, 0), 0x5A657068u);
    EXPECT_EQ(wordAt(chunk, 4), 1u);
    EXPECT_EQ(wordAt(chunk, 8), 156u);
    EXPECT_EQ(std::memcmp(chunk.data() + 12, "diup", 4), 0);
    EXPECT_EQ(wordAt(chunk, 20), 0x51587476u);
    EXPECT_EQ(std::memcmp(chunk.data() + 24, "srev", 4), 0);
    EXPECT_EQ(wordAt(chunk, 32), static_cast<std::uint32_t>(tavro::kVendorVersion));
    EXPECT_EQ(std::memcmp(chunk.data() + 36, "mrap", 4), 0);
    EXPECT_EQ(wordAt(chunk, 40), 112u);
    EXPECT_EQ(std::memcmp(chunk.data() + 156, "peet", 4), 0);
    EXPECT_EQ(wordAt(chunk, 160), 4u);
    EXPECT_EQ(wordAt(chunk, 164), 0u);

    // An eight-character source name takes twelve bytes.
    plugin.SetProperty(prop::kMidiSourceName, 0, 0, "Loop In1", 9);
    const auto named = save();
    ASSERT_EQ(named.size(), 176u);
    EXPECT_EQ(wordAt(named, 160), 12u);
    EXPECT_EQ(std::memcmp(named.data() + 164, "Loop In1\0\0\0\0", 12), 0);
}

TEST_F(SavedState, ParametersAreRestoredRawPartiallyLaterEntryWinning) {
    float values[10];
    for (int i = 0; i < 10; ++i)
        values[i] = 0.5f;
    values[kParamMidiChannel] = 3.7f;
    EXPECT_EQ(restore(chunkWith(state::kTagParameters, values, sizeof values)), 1);
    EXPECT_EQ(plugin.getParameterNative(kParamMidiChannel), 3.7f);  // as stored, not rounded
    EXPECT_EQ(plugin.getParameterNative(kParamSwing), 0.5f);
    EXPECT_EQ(plugin.getParameterNative(kParamUnused4), 0.0f);  // index 11 untouched
    EXPECT_EQ(plugin.getParameterNative(kParamTestInterval), 125.0f);
    EXPECT_EQ(plugin.oscPort(), 0);  // no side effects
    char text[64] = {};
    effect->dispatcher(effect, effGetParamDisplay, kParamMidiChannel, 0, text, 0.0f);
    EXPECT_STREQ(text, "3");

    // The later of two entries wins.
    state::StateChunkWriter writer;
    const float first[1] = {0.25f};
    const float second[1] = {0.75f};
    writer.add(state::kTagParameters, first, 4);
    writer.add(state::kTagParameters, second, 4);
    restore(writer.serialise());
    EXPECT_EQ(plugin.getParameterNative(kParamOutputLevel), 0.75f);
}

TEST_F(SavedState, ValuesNoParameterCanHoldAreClampedOrKept) {
    float values[kNumParameters];
    for (int i = 0; i < kNumParameters; ++i)
        values[i] = plugin.getParameterNative(i);
    values[kParamMidiChannel] = std::numeric_limits<float>::quiet_NaN();
    values[kParamSwing] = 1e28f;
    values[kParamOscPortOffset] = 1e7f;
    values[kParamTestType] = -1.0f;
    values[kParamClockOffset] = -std::numeric_limits<float>::infinity();
    platform::testing::CapturedReports reports;
    restore(chunkWith(state::kTagParameters, values, sizeof values));
    const std::string said = reports.Text();
    EXPECT_NE(said.find("Saved state: MIDI Channel nan refused (not a finite number)"),
              std::string::npos)
        << said;
    EXPECT_EQ(plugin.getParameterNative(kParamMidiChannel), 17.0f);  // kept
    EXPECT_EQ(plugin.getParameterNative(kParamSwing), 100.0f);
    EXPECT_EQ(plugin.getParameterNative(kParamOscPortOffset), 100.0f);
    EXPECT_EQ(plugin.getParameterNative(kParamTestType), 0.0f);
    EXPECT_EQ(plugin.getParameterNative(kParamClockOffset), 0.0f);  // kept
    for (int i = 0; i < kNumParameters; ++i) {
        const float normalized = plugin.getParameter(i);
        EXPECT_TRUE(normalized >= 0.0f && normalized <= 1.0f) << i;
    }
}

TEST_F(SavedState, MalformedChunksChangeNothing) {
    const float values[1] = {0.25f};
    auto chunk = chunkWith(state::kTagParameters, values, 4);
    chunk[8] += 1;  // payload length one byte beyond the data
    EXPECT_EQ(restore(chunk), 1);
    EXPECT_EQ(plugin.getParameterNative(kParamOutputLevel), 1.0f);
    EXPECT_EQ(restore({1, 2, 3}), 1);
}

TEST_F(SavedState, SourceNameIsRestoredThroughTheProperty) {
    int notified = 0;
    plugin.AddPropertyListener(
        prop::kMidiSourceName,
        [](void* user, ZephAuBase*, std::uint32_t, std::uint32_t, std::uint32_t) {
            ++*static_cast<int*>(user);
        },
        &notified);
    restore(chunkWith(state::kTagMidiSource, "Cable\0\0\0", 8));
    EXPECT_EQ(plugin.midiSourceName(), "Cable");
    EXPECT_EQ(notified, 1);
    // Without the entry the name stays; an unterminated one ends at its
    // last byte.
    const float values[1] = {0.5f};
    restore(chunkWith(state::kTagParameters, values, 4));
    EXPECT_EQ(plugin.midiSourceName(), "Cable");
    restore(chunkWith(state::kTagMidiSource, "ABCD", 4));
    EXPECT_EQ(plugin.midiSourceName(), "ABC");
}

TEST_F(SavedState, SaveRestoreRoundTripIsByteForByte) {
    plugin.setParameterNative(kParamSwing, 66.0f, false);
    plugin.SetProperty(prop::kMidiSourceName, 0, 0, "In", 3);
    const auto first = save();
    ZephCorvane other(hostCallback);
    AEffect* e = other.getAeffect();
    std::vector<std::uint8_t> copy = first;
    e->dispatcher(e, effSetChunk, 0, static_cast<VstIntPtr>(copy.size()), copy.data(), 0.0f);
    void* data = nullptr;
    const VstIntPtr size = e->dispatcher(e, effGetChunk, 0, 0, &data, 0.0f);
    ASSERT_EQ(static_cast<std::size_t>(size), first.size());
    EXPECT_EQ(std::memcmp(data, first.data(), first.size()), 0);
}

TEST_F(SavedState, HandedOutBuffersStayValidUntilReplaced) {
    void* a = nullptr;
    void* b = nullptr;
    effect->dispatcher(effect, effGetChunk, 0, 0, &a, 0.0f);
    effect->dispatcher(effect, effGetChunk, 0, 0, &b, 0.0f);
    EXPECT_NE(a, b);
    EXPECT_EQ(std::memcmp(a, b, 168), 0);  // the earlier one is still readable
    for (int i = 0; i < 3; ++i)
        save();
}

}  // namespace
}  // namespace QX4Controller
