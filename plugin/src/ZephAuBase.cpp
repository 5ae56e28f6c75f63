#include "plugin/ZephAuBase.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr std::size_t kMaxCopiedText = 24;

void copyText(char* out, const std::string& text) {
    if (!out)
        return;
    if (text.size() >= kMaxCopiedText) {
        // Never written for the built-in texts; refuse rather than overrun
        // the host's buffer.
        *out = '\0';
        return;
    }
    std::memcpy(out, text.c_str(), text.size() + 1);
}

}  // namespace

ZephAuBase::ZephAuBase(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
    : AudioEffectX(audioMaster, numPrograms, numParams), table_(parameterTable()) {
    createPrograms();
}

ZephAuBase::~ZephAuBase() = default;

void ZephAuBase::createPrograms() {
    programs_.clear();
    for (VstInt32 i = 0; i < numPrograms; ++i) {
        auto program = std::make_unique<ZephProgramBasic>();
        for (int p = 0; p < kNumParameters; ++p)
            program->setParameter(p, table_[p].defaultNative());
        program->setName("Defaults");
        programs_.push_back(std::move(program));
    }
    programIndex_.store(0, std::memory_order_relaxed);
}

void ZephAuBase::loadFactoryPrograms() {
    FactoryProgram* factory = factoryPrograms();
    const int count = std::min<int>(kNumFactoryPrograms, static_cast<int>(programs_.size()));
    for (int i = 0; i < count; ++i) {
        for (int p = 0; p < kNumParameters; ++p)
            programs_[i]->setParameter(p, factory[i].values[p]);
        if (factory[i].name.size() < ZephProgramBasic::kNameSize)
            programs_[i]->setName(factory[i].name.c_str());
    }
}

ZephProgram* ZephAuBase::currentProgram() const {
    const VstInt32 index = programIndex_.load(std::memory_order_relaxed);
    if (index < 0 || index >= static_cast<VstInt32>(programs_.size()))
        return nullptr;
    return programs_[index].get();
}

void ZephAuBase::setParameter(VstInt32 index, float normalized) {
    // The host's own value is checked as any other from outside: a NaN or
    // a value past 0..1 would be answered back by getParameter, reported as
    // automation and saved with the state.
    if (!isValidParameterIndex(index) || !std::isfinite(normalized))
        return;
    if (ZephProgram* program = currentProgram())
        program->setParameter(
            index, normalizedToNative(table_[index], std::clamp(normalized, 0.0f, 1.0f)));
}

float ZephAuBase::getParameter(VstInt32 index) {
    if (!isValidParameterIndex(index))
        return 0.0f;
    return nativeToNormalized(table_[index], getParameterNative(index));
}

float ZephAuBase::getParameterNative(int index) const {
    ZephProgram* program = currentProgram();
    return program && isValidParameterIndex(index) ? program->getParameter(index) : 0.0f;
}

bool ZephAuBase::setParameterNative(int index, float native, bool reportToHost) {
    if (!isValidParameterIndex(index) || parameterValueRefusal(index, native))
        return false;
    const ParameterDescriptor& row = table_[index];
    const float normalized = nativeToNormalized(row, std::clamp(native, row.minimum, row.maximum));
    setParameter(index, normalized);
    if (reportToHost && audioMaster)
        callHost(audioMasterAutomate, index, 0, nullptr, normalized);
    return true;
}

const char* ZephAuBase::parameterValueRefusal(int index, float native) const {
    if (!isValidParameterIndex(index))
        return "no such parameter";
    return std::isfinite(native) ? nullptr : "not a finite number";
}

void ZephAuBase::setProgramName(char* name) {
    if (ZephProgram* program = currentProgram())
        program->setName(name);
}

void ZephAuBase::getProgramName(char* name) {
    if (!name)
        return;
    ZephProgram* program = currentProgram();
    std::strcpy(name, program ? program->getName() : "");
}

bool ZephAuBase::getProgramNameIndexed(VstInt32 /*category*/, VstInt32 index, char* text) {
    if (!text || index < 0 || index >= static_cast<VstInt32>(programs_.size()))
        return false;
    std::strcpy(text, programs_[index]->getName());
    return true;
}

void ZephAuBase::getParameterLabel(VstInt32 index, char* label) {
    if (!label || !isValidParameterIndex(index))
        return;
    std::strcpy(label, parameterUnitLabel(table_[index].unit));
}

void ZephAuBase::getParameterName(VstInt32 index, char* text) {
    if (!text || !isValidParameterIndex(index))
        return;
    copyText(text, parameterShortName(index, 15));
}

void ZephAuBase::getParameterDisplay(VstInt32 index, char* text) {
    if (!text || !isValidParameterIndex(index))
        return;
    const float native = getParameterNative(index);
    std::string special;
    // The concrete plug-in may add special texts of its own; the table's
    // rules cover the rest.
    if (table_[index].unit != kUnitBoolean && !parameterValueStrings(index) &&
        parameterStringFromValue(index, native, special)) {
        copyText(text, special);
        return;
    }
    copyText(text, parameterDisplayText(index, native));
}

bool ZephAuBase::getVendorString(char* text) {
    if (!text)
        return false;
    std::strcpy(text, "Vantrell");
    return true;
}

void ZephAuBase::resume() {
    wantEvents(1);
}

bool ZephAuBase::parameterStringFromValue(int, float, std::string&) {
    return false;
}

std::int32_t ZephAuBase::GetParameterValueStrings(std::uint32_t, std::int32_t,
                                                  std::shared_ptr<const ValueStringList>*) {
    return kAudioUnitErr_InvalidParameter;
}

std::int32_t ZephAuBase::GetProperty(std::uint32_t, std::uint32_t, std::uint32_t, void*) {
    return kAudioUnitErr_InvalidProperty;
}

std::int32_t ZephAuBase::GetPropertyInfo(std::uint32_t, std::uint32_t, std::uint32_t,
                                         std::uint32_t*, bool*) {
    return kAudioUnitErr_InvalidProperty;
}

std::int32_t ZephAuBase::SetProperty(std::uint32_t, std::uint32_t, std::uint32_t, const void*,
                                     std::uint32_t) {
    return kAudioUnitErr_InvalidProperty;
}

std::int32_t ZephAuBase::GetPropertyBytes(std::uint32_t id, std::uint32_t scope,
                                          std::uint32_t element, void* data, std::uint32_t* size) {
    if (!data || !size)
        return kAudioUnitErr_InvalidParameter;
    std::uint32_t held = 0;
    bool writable = false;
    const std::int32_t info = GetPropertyInfo(id, scope, element, &held, &writable);
    if (info != 0)
        return info;
    const std::uint32_t room = *size;
    *size = held;
    if (held <= room)
        return GetProperty(id, scope, element, data);
    // Too big for the caller: read whole, hand out what fits.
    std::vector<unsigned char> whole(held);
    const std::int32_t result = GetProperty(id, scope, element, whole.data());
    if (result == 0)
        std::memcpy(data, whole.data(), room);
    return result;
}

std::int32_t ZephAuBase::AddPropertyListener(std::uint32_t id, PropertyListenerProc callback,
                                             void* user) {
    if (listeners_.empty() && listeners_.capacity() < 32)
        listeners_.reserve(32);
    listeners_.push_back(PropertyListener{id, callback, user});
    return 0;
}

std::int32_t ZephAuBase::RemovePropertyListener(std::uint32_t id, PropertyListenerProc callback) {
    for (std::size_t i = listeners_.size(); i-- > 0;) {
        if (listeners_[i].id == id && listeners_[i].callback == callback)
            listeners_.erase(listeners_.begin() + static_cast<std::ptrdiff_t>(i));
    }
    return 0;
}

void ZephAuBase::callListeners(std::uint32_t id) {
    // Index loop: a listener may add listeners of its own.
    for (std::size_t i = 0; i < listeners_.size(); ++i) {
        const PropertyListener listener = listeners_[i];
        if (listener.id == id && listener.callback)
            listener.callback(listener.user, this, id, kAudioUnitScope_Global, 0);
    }
}

std::int32_t ZephAuBase::setPropertyAndNotify(std::uint32_t id, const void* data,
                                              std::uint32_t size) {
    const std::int32_t result = SetProperty(id, kAudioUnitScope_Global, 0, data, size);
    if (result == 0)
        callListeners(id);
    return result;
}

std::int32_t ZephAuBase::getPropertyForView(std::uint32_t id, std::uint32_t element, void* out) {
    if (id == prop::kParameterValueStrings) {
        GetParameterValueStrings(kAudioUnitScope_Global, static_cast<std::int32_t>(element),
                                 static_cast<std::shared_ptr<const ValueStringList>*>(out));
        return 0;
    }
    return GetProperty(id, kAudioUnitScope_Global, element, out);
}
