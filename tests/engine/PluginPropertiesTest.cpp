#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <memory>
#include <string>

#include "engine/ZephCorvane.h"
#include "platform/Preferences.h"
#include "platform/Settings.h"
#include "platform/testing/CapturedReports.h"
#include "plugin/InstanceRegistry.h"

namespace {

struct AutomationLog {
    int calls = 0;
    VstInt32 index = -1;
    float value = -1.0f;
} gAutomation;

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt) {
    if (opcode == audioMasterAutomate)
        gAutomation = {gAutomation.calls + 1, index, opt};
    return opcode == audioMasterVersion ? 2400 : 0;
}

class MemoryPreferences : public platform::PreferenceStore {
public:
    int readInt(const char* name, int defaultValue) override {
        auto it = ints.find(name);
        return it == ints.end() ? defaultValue : it->second;
    }
    void writeInt(const char* name, int value) override { ints[name] = value; }
    void readSkin(std::string&) override {}
    void writeSkin(const std::string&) override {}
    std::map<std::string, int> ints;
};

class PluginProperties : public testing::Test {
protected:
    void SetUp() override { platform::installPreferenceStore(&prefs); }
    void TearDown() override {
        plugin.reset();
        platform::installPreferenceStore(nullptr);
    }
    QX4Controller::ZephCorvane& make() {
        plugin = std::make_unique<QX4Controller::ZephCorvane>(hostCallback);
        return *plugin;
    }
    MemoryPreferences prefs;
    std::unique_ptr<QX4Controller::ZephCorvane> plugin;
};

struct ListenerLog {
    int calls = 0;
    std::uint32_t lastId = 0;
};

void logListener(void* user, ZephAuBase*, std::uint32_t id, std::uint32_t, std::uint32_t) {
    auto* log = static_cast<ListenerLog*>(user);
    ++log->calls;
    log->lastId = id;
}

void otherListener(void*, ZephAuBase*, std::uint32_t, std::uint32_t, std::uint32_t) {}

TEST_F(PluginProperties, MidiSourceNameAndClear) {
    auto& p = make();
    std::uint32_t size = 0;
    bool writable = false;
    ASSERT_EQ(p.GetPropertyInfo(prop::kMidiSourceName, 0, 0, &size, &writable), 0);
    EXPECT_EQ(size, 1u);
    EXPECT_TRUE(writable);

    const char name[] = "Loop In";
    EXPECT_EQ(p.SetProperty(prop::kMidiSourceName, 0, 0, name, sizeof name), 0);
    p.GetPropertyInfo(prop::kMidiSourceName, 0, 0, &size, &writable);
    EXPECT_EQ(size, 8u);
    char out[16] = {};
    EXPECT_EQ(p.GetProperty(prop::kMidiSourceName, 0, 0, out), 0);
    EXPECT_STREQ(out, "Loop In");

    ListenerLog sourceLog, clearLog;
    p.AddPropertyListener(prop::kMidiSourceName, logListener, &sourceLog);
    p.AddPropertyListener(prop::kClearMidiSource, logListener, &clearLog);
    const std::uint8_t one = 1;
    EXPECT_EQ(p.SetProperty(prop::kClearMidiSource, 0, 0, &one, 1), 0);
    EXPECT_EQ(p.midiSourceName(), "");
    EXPECT_EQ(sourceLog.calls, 1);
    EXPECT_EQ(sourceLog.lastId, prop::kMidiSourceName);
    EXPECT_EQ(clearLog.calls, 0);

    // An unterminated name stops at the given size.
    EXPECT_EQ(p.SetProperty(prop::kMidiSourceName, 0, 0, "abcd", 3), 0);
    EXPECT_EQ(p.midiSourceName(), "abc");
}

TEST_F(PluginProperties, DontPanicAcceptsOnlyScopeZeroAndIsNotReadable) {
    auto& p = make();
    const std::uint8_t one = 1;
    EXPECT_EQ(p.SetProperty(prop::kDontPanic, 1, 0, &one, 1), kAudioUnitErr_InvalidProperty);
    EXPECT_EQ(p.controlQueue().peek(), nullptr);
    std::uint8_t value = 0;
    EXPECT_EQ(p.GetProperty(prop::kDontPanic, 0, 0, &value), kAudioUnitErr_InvalidProperty);
    EXPECT_EQ(p.SetProperty(prop::kDontPanic, 0, 0, &one, 1), 0);
    ASSERT_NE(p.controlQueue().peek(), nullptr);
    EXPECT_EQ(p.controlQueue().peek()->propertyId(), prop::kDontPanic);
}

TEST_F(PluginProperties, UnknownIdsAndTheSkinNotice) {
    auto& p = make();
    int value = 0;
    std::uint32_t size = 0;
    bool writable = false;
    for (std::uint32_t id : {0u, 16u, 64000u, 64012u, 64095u, 99999u}) {
        EXPECT_EQ(p.GetProperty(id, 0, 0, &value), kAudioUnitErr_InvalidProperty) << id;
        EXPECT_EQ(p.GetPropertyInfo(id, 0, 0, &size, &writable), kAudioUnitErr_InvalidProperty);
        EXPECT_EQ(p.SetProperty(id, 0, 0, &value, 4), kAudioUnitErr_InvalidProperty);
    }
    ListenerLog log;
    p.AddPropertyListener(prop::kSkinChanged, logListener, &log);
    EXPECT_EQ(p.setPropertyAndNotify(prop::kSkinChanged, "Dark", 5), kAudioUnitErr_InvalidProperty);
    EXPECT_EQ(log.calls, 0);
}

TEST_F(PluginProperties, ReadOnlyValues) {
    auto& p = make();
    std::int32_t count = 0;
    ASSERT_EQ(p.GetProperty(prop::kParameterCount, 0, 0, &count), 0);
    EXPECT_EQ(count, 28);
    const char* text = nullptr;
    p.GetProperty(prop::kFamilyKey, 0, 0, &text);
    EXPECT_STREQ(text, "CV");  // the family text is shorter than ten characters
    void* history = nullptr;
    p.GetProperty(prop::kMidiHistory, 0, 0, &history);
    EXPECT_EQ(history, p.historyBlock());
    ParameterDescriptor* table = nullptr;
    p.GetProperty(prop::kParameterTable, 0, 0, &table);
    EXPECT_STREQ(table[27].name, "Send SPP Zero");
    const std::string* names = nullptr;
    p.GetProperty(prop::kParameterNamesWithoutSpaces, 0, 0, &names);
    EXPECT_EQ(names[2], "MIDIChannel");
    EXPECT_EQ(names[27], "SendSPPZero");
    std::uint8_t flag = 9;
    p.GetProperty(prop::kIsLogicPro, 0, 0, &flag);
    EXPECT_EQ(flag, 0);
    std::uint32_t size = 0;
    bool writable = true;
    p.GetPropertyInfo(prop::kParameterStringFromValue, 0, 0, &size, &writable);
    EXPECT_EQ(size, 24u);
    EXPECT_FALSE(writable);
}

TEST_F(PluginProperties, SpecialTextsThroughProperty33) {
    auto& p = make();
    ParameterStringFromValue request{};
    const auto ask = [&](std::int32_t index, const float* value) {
        request = {index, value, nullptr};
        return p.GetProperty(prop::kParameterStringFromValue, 0, 0, &request);
    };
    ASSERT_EQ(ask(kParamBalance, nullptr), 0);
    ASSERT_TRUE(request.text);
    EXPECT_EQ(*request.text, "Off");
    const float half = 0.5f;
    ASSERT_EQ(ask(kParamBalance, &half), 0);
    EXPECT_FALSE(request.text);
    EXPECT_EQ(ask(kParamSwing, nullptr), kAudioUnitErr_InvalidParameter);
    EXPECT_EQ(ask(99, nullptr), kAudioUnitErr_InvalidParameter);
}

TEST_F(PluginProperties, ListenersAreRemovedWithTheirDuplicates) {
    auto& p = make();
    ListenerLog log;
    p.AddPropertyListener(prop::kMidiSourceName, logListener, &log);
    p.AddPropertyListener(prop::kMidiSourceName, otherListener, nullptr);
    p.AddPropertyListener(prop::kMidiSourceName, logListener, &log);
    p.setPropertyAndNotify(prop::kMidiSourceName, "x", 2);
    EXPECT_EQ(log.calls, 2);
    p.RemovePropertyListener(prop::kMidiSourceName, logListener);
    p.setPropertyAndNotify(prop::kMidiSourceName, "y", 2);
    EXPECT_EQ(log.calls, 2);
}

TEST_F(PluginProperties, ValueStringsThroughTheViewHelper) {
    auto& p = make();
    std::shared_ptr<const ValueStringList> list;
    EXPECT_EQ(p.getPropertyForView(prop::kParameterValueStrings, kParamSoftly, &list), 0);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->at(0), "Automatic");
    list.reset();
    EXPECT_EQ(p.getPropertyForView(prop::kParameterValueStrings, kParamSwing, &list), 0);
    EXPECT_FALSE(list);
    EXPECT_EQ(p.GetParameterValueStrings(1, kParamSoftly, &list), kAudioUnitErr_InvalidParameter);
    EXPECT_EQ(p.GetParameterValueStrings(0, kParamSwing, &list), kAudioUnitErr_InvalidParameter);
}

TEST_F(PluginProperties, OscPortFollowsTheOffsetAndTheBasePort) {
    prefs.ints[platform::kPrefOscBasePort] = 9000;
    auto& p = make();
    EXPECT_EQ(p.oscPort(), 0);
    p.setParameter(kParamOscPortOffset, 0.03f);
    EXPECT_EQ(p.oscPort(), 9003);
    std::int32_t offset = 0;
    p.GetProperty(prop::kOscPortOffset, 0, 0, &offset);
    EXPECT_EQ(offset, 3);
    p.setParameter(kParamOscPortOffset, 0.0f);
    EXPECT_EQ(p.oscPort(), 0);
}

TEST_F(PluginProperties, DefaultBasePortReapplyingAndOutlandishOffsets) {
    auto& p = make();
    p.setParameter(kParamOscPortOffset, 0.01f);
    EXPECT_EQ(p.oscPort(), 7001);
    gAutomation = {};
    const std::uint8_t one = 1;
    EXPECT_EQ(p.setPropertyAndNotify(prop::kReapplyOscPortOffset, &one, 1), 0);
    EXPECT_EQ(gAutomation.calls, 1);
    EXPECT_EQ(gAutomation.index, kParamOscPortOffset);
    EXPECT_FLOAT_EQ(gAutomation.value, 0.01f);
    std::uint8_t value = 0;
    EXPECT_EQ(p.GetProperty(prop::kReapplyOscPortOffset, 0, 0, &value),
              kAudioUnitErr_InvalidProperty);

    // Outlandish offsets stay in range; a NaN is no value at all.
    p.setParameter(kParamOscPortOffset, 1e10f);
    EXPECT_EQ(p.oscPort(), 7100);
    std::int32_t offset = 0;
    p.GetProperty(prop::kOscPortOffset, 0, 0, &offset);
    EXPECT_EQ(offset, 100);
    p.setParameter(kParamOscPortOffset, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(p.oscPort(), 7100);
    p.setParameter(kParamOscPortOffset, -5.0f);
    EXPECT_EQ(p.oscPort(), 0);
}

TEST_F(PluginProperties, AnOffsetPastTheLastPortIsRefusedOrSwitchesTheServerOff) {
    prefs.ints[platform::kPrefOscBasePort] = 65500;
    auto& p = make();
    p.initialise();
    ASSERT_EQ(platform::processSettings().oscBasePort.load(), 65500);
    EXPECT_STREQ(p.parameterValueRefusal(kParamOscPortOffset, 36.0f),
                 "OSC Base Port + OSC Port Offset is above 65535");
    EXPECT_EQ(p.parameterValueRefusal(kParamOscPortOffset, 35.0f), nullptr);
    // Scripts, OSC and the editor come through here: refused, nothing set.
    EXPECT_FALSE(p.setParameterNative(kParamOscPortOffset, 36.0f, true));
    EXPECT_EQ(p.getParameterNative(kParamOscPortOffset), 0.0f);
    EXPECT_TRUE(p.setParameterNative(kParamOscPortOffset, 35.0f, true));
    EXPECT_EQ(p.oscPort(), 65535);
    // The host's automation cannot be refused: the server goes off, never
    // to a wrapped port, and another thread says why.
    platform::testing::CapturedReports said;
    p.setParameter(kParamOscPortOffset, 1.0f);
    EXPECT_EQ(p.oscPort(), 0);
    p.reportDeferredDiagnostics();
    EXPECT_EQ(said.Text(),
              "OSC port 65500 + 100 refused (OSC Base Port + OSC Port Offset is above 65535): "
              "OSC server off\n");
    platform::processSettings().oscBasePort.store(platform::kDefaultOscBasePort);
}

TEST_F(PluginProperties, ABasePortPreferenceThatIsNoPortGivesTheDefault) {
    for (int stored : {0, -1, 65536, 70000}) {
        prefs.ints[platform::kPrefOscBasePort] = stored;
        platform::testing::CapturedReports said;
        make().initialise();
        EXPECT_EQ(platform::processSettings().oscBasePort.load(), 7000) << stored;
    }
}

TEST_F(PluginProperties, EveryValueFromOutsideEndsFiniteAndInRange) {
    auto& p = make();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    // What a host, a script or a datagram may hand in.
    for (float normalized : {nan, inf, -inf, 1.5e20f, -2.5e30f, 2.0f, -1.0f}) {
        for (int i = 0; i < kNumParameters; ++i) {
            p.setParameter(i, normalized);
            p.setParameterNative(i, normalized, false);
            const float read = p.getParameter(i);
            EXPECT_TRUE(read >= 0.0f && read <= 1.0f) << i << " " << normalized << " " << read;
        }
    }
    // Native values are clamped to the range, NaN leaves the value alone.
    p.setParameterNative(kParamSwing, 40.0f, false);
    EXPECT_FALSE(p.setParameterNative(kParamSwing, nan, false));
    EXPECT_EQ(p.getParameterNative(kParamSwing), 40.0f);
    EXPECT_TRUE(p.setParameterNative(kParamTestType, -1.0f, false));
    EXPECT_EQ(p.getParameterNative(kParamTestType), 0.0f);
    char text[64] = {};
    p.getParameterDisplay(kParamTestType, text);
    EXPECT_STREQ(text, "Notes (Random)");
}

// The registry's own numbering is tested with it; here: a plug-in registers
// when made and takes its local id at resume.
TEST_F(PluginProperties, RegistryIdsOfLiveInstances) {
    QX4Controller::ZephCorvane first(hostCallback), second(hostCallback);
    std::uint32_t local = 0, global = 0;
    ASSERT_TRUE(InstanceRegistry::ids(&second, local, global));
    EXPECT_EQ(global, 2u);
    EXPECT_EQ(local, 0u);
    for (auto* instance : {&second, &first}) {
        AEffect* effect = instance->getAeffect();
        effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
    }
    InstanceRegistry::ids(&second, local, global);
    EXPECT_EQ(local, 1u);
    EXPECT_EQ(global, 2u);
}

TEST_F(PluginProperties, InterfaceCategoryDefaultComesFromThePreference) {
    prefs.ints[platform::kPrefDefaultInterfaceCategory] = 5;
    EXPECT_EQ(make().getParameterNative(kParamInterfaceCategory), 1.0f);
    prefs.ints[platform::kPrefDefaultInterfaceCategory] = -3;
    EXPECT_EQ(make().getParameterNative(kParamInterfaceCategory), 0.0f);
}

}  // namespace
