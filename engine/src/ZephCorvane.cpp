#include "engine/ZephCorvane.h"

#include <algorithm>
#include <cstring>

#include "engine/ParameterText.h"
#include "platform/Diagnostics.h"

namespace QX4Controller {
namespace {

// Reports that the project's MIDI source is not there (platform::resolve).
constexpr const char* kSourceTopic = "MIDI source";

}  // namespace

// The host event queue holds exactly the longest dump the encoder carries.
static_assert(ZephCorvaneBase::kHostSysExBytes ==
                  static_cast<std::size_t>(SerialEncoder::kQueueSize) - 1,
              "host sysex storage and the encoder's ring disagree");

ZephCorvane::ZephCorvane(audioMasterCallback audioMaster, const QX::PluginHelpers* helpers)
    : ZephCorvaneBase(audioMaster, helpers),
      historyWriter_(history_),
      encoder_(historyWriter_),
      clock_(encoder_),
      test_(encoder_, historyWriter_, testReference_,
            currentProgram()->valuePointer(kParamMessageByte3)),
      roundTrip_(history_.roundTrip),
      received_(new std::uint8_t[MidiInputPort::kMaxMessage]) {
    historyWriter_.setSysexReference(testReference_.data(), TestSysexReference::kSize);
    encoder_.setStartBitObserver(&roundTrip_);
    test_.setRoundTripMeter(&roundTrip_);
    initialise();
}

ZephCorvane::~ZephCorvane() {
    // The OSC and timer threads reach the engine through this object; they
    // stop before any of it goes.
    destroyHelpers();
}

void ZephCorvane::initialise() {
    updateEngineParameters();
    ZephCorvaneBase::initialise();
}

bool ZephCorvane::describePin(VstInt32 index, VstInt32 count, VstPinProperties* properties) {
    if (!properties || index < 0 || index >= count)
        return false;
    // index + 1 in decimal; never more than one digit here.
    const char label[2] = {static_cast<char>('1' + index), '\0'};
    std::strcpy(properties->label, label);
    std::strcpy(properties->shortLabel, label);
    properties->flags = kVstPinIsActive | (index % 2 == 0 ? kVstPinIsStereo : 0);
    properties->arrangementType = 1;
    return true;
}

bool ZephCorvane::getInputProperties(VstInt32 index, VstPinProperties* properties) {
    return describePin(index, 8, properties);
}

bool ZephCorvane::getOutputProperties(VstInt32 index, VstPinProperties* properties) {
    return describePin(index, 2, properties);
}

bool ZephCorvane::getEffectName(char* name) {
    if (!name)
        return false;
    std::strcpy(name, "tavro");
    return true;
}

bool ZephCorvane::getProductString(char* text) {
    if (!text)
        return false;
    std::strcpy(text, "tavro");
    return true;
}

bool ZephCorvane::string2parameter(VstInt32 index, char* text) {
    float native = 0.0f;
    if (!text || !parameterValueFromText(index, text, native))
        return false;
    // As a host that converted the value itself would set it.
    setParameter(index, nativeToNormalized(parameterTable()[index], native));
    return true;
}

std::string ZephCorvane::midiSourceName() const {
    std::lock_guard<std::mutex> guard(sourceNameMutex_);
    return midiSourceName_;
}

std::int32_t ZephCorvane::GetProperty(std::uint32_t id, std::uint32_t scope, std::uint32_t element,
                                      void* data) {
    if (id != prop::kMidiSourceName && id != prop::kClearMidiSource && id != prop::kDontPanic)
        return ZephCorvaneBase::GetProperty(id, scope, element, data);
    if (id != prop::kMidiSourceName || scope != kAudioUnitScope_Global)
        return kAudioUnitErr_InvalidProperty;
    if (!data)
        return kAudioUnitErr_InvalidParameter;
    const std::string name = midiSourceName();
    std::memcpy(data, name.c_str(), name.size() + 1);
    return 0;
}

std::int32_t ZephCorvane::GetPropertyInfo(std::uint32_t id, std::uint32_t scope,
                                          std::uint32_t element, std::uint32_t* size,
                                          bool* writable) {
    if (id != prop::kMidiSourceName && id != prop::kClearMidiSource)
        return ZephCorvaneBase::GetPropertyInfo(id, scope, element, size, writable);
    if (scope != kAudioUnitScope_Global)
        return kAudioUnitErr_InvalidProperty;
    if (size)
        *size = id == prop::kMidiSourceName
                    ? static_cast<std::uint32_t>(midiSourceName().size() + 1)
                    : 1;
    if (writable)
        *writable = true;
    return 0;
}

std::int32_t ZephCorvane::GetPropertyBytes(std::uint32_t id, std::uint32_t scope,
                                           std::uint32_t element, void* data, std::uint32_t* size) {
    if (id != prop::kMidiSourceName)
        return ZephCorvaneBase::GetPropertyBytes(id, scope, element, data, size);
    if (scope != kAudioUnitScope_Global)
        return kAudioUnitErr_InvalidProperty;
    if (!data || !size)
        return kAudioUnitErr_InvalidParameter;
    std::lock_guard<std::mutex> guard(sourceNameMutex_);
    const auto held = static_cast<std::uint32_t>(midiSourceName_.size() + 1);
    std::memcpy(data, midiSourceName_.c_str(), std::min(held, *size));
    *size = held;
    return 0;
}

std::int32_t ZephCorvane::SetProperty(std::uint32_t id, std::uint32_t scope, std::uint32_t element,
                                      const void* data, std::uint32_t size) {
    if (id != prop::kMidiSourceName && id != prop::kClearMidiSource)
        return ZephCorvaneBase::SetProperty(id, scope, element, data, size);
    if (scope != kAudioUnitScope_Global)
        return kAudioUnitErr_InvalidProperty;
    if (id == prop::kClearMidiSource)
        return setPropertyAndNotify(prop::kMidiSourceName, "", 1);
    if (!data)
        return kAudioUnitErr_InvalidParameter;
    // The text ends at its terminator or at the size given, whichever comes
    // first: a caller's missing terminator must not make us read on.
    const char* text = static_cast<const char*>(data);
    const std::string name(text, strnlen(text, size));
    {
        std::lock_guard<std::mutex> guard(sourceNameMutex_);
        midiSourceName_ = name;
    }
    const bool found = inputPort_.openByName(name);
    sourceFound_.store(found, std::memory_order_relaxed);
    // A device that is there, or no source at all: nothing is missing any
    // more.
    if (found || name.empty())
        platform::resolve(kSourceTopic, static_cast<const ZephCorvaneBase*>(this));
    return 0;
}

void ZephCorvane::saveExtraChunkEntries(state::StateChunkWriter& writer) {
    const std::string name = midiSourceName();
    writer.add(state::kTagMidiSource, name.c_str(), name.size() + 1);
}

void ZephCorvane::restoreExtraChunkEntries(const state::StateChunkReader& reader) {
    const std::vector<std::uint8_t>* entry = reader.find(state::kTagMidiSource);
    if (!entry)
        return;
    // Up to the first terminator; the entry's last byte counts as one.
    std::size_t length = 0;
    while (length + 1 < entry->size() && (*entry)[length] != 0)
        ++length;
    const std::string name(entry->begin(), entry->begin() + static_cast<std::ptrdiff_t>(length));
    setPropertyAndNotify(prop::kMidiSourceName, name.c_str(),
                         static_cast<std::uint32_t>(name.size() + 1));
    // Chosen by name in the project, silently closed when the device is not
    // there: the musician would find the loop-back test deaf and not know why.
    if (!name.empty() && !sourceFound_.load(std::memory_order_relaxed))
        platform::report(platform::ReportLevel::kWarning,
                         "MIDI source \"" + name +
                             "\" of this project was not found: connect it, or choose another "
                             "MIDI source in the Test view",
                         static_cast<const ZephCorvaneBase*>(this), kSourceTopic);
}

}  // namespace QX4Controller
