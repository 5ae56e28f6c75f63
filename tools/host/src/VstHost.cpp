#include "host/VstHost.h"

#include "platform/SharedLibrary.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <utility>

namespace host {

namespace {

// Plug-ins call back with their own AEffect, so that is how a request finds
// its host. During VSTPluginMain the record is not known yet (and the first
// request, audioMasterVersion, comes with a null AEffect): the host that is
// loading on this thread answers then.
std::mutex& registryMutex() {
    static std::mutex mutex;
    return mutex;
}

std::vector<std::pair<AEffect*, VstHost*>>& registry() {
    static std::vector<std::pair<AEffect*, VstHost*>> entries;
    return entries;
}

thread_local VstHost* tLoadingHost = nullptr;

VstHost* findHost(AEffect* effect) {
    if (effect != nullptr) {
        std::lock_guard<std::mutex> lock(registryMutex());
        for (const auto& entry : registry()) {
            if (entry.first == effect) {
                return entry.second;
            }
        }
    }
    return tLoadingHost;
}

// Resets the loading host even when the entry throws.
struct LoadingScope {
    explicit LoadingScope(VstHost* host) { tLoadingHost = host; }
    ~LoadingScope() { tLoadingHost = nullptr; }
};

}  // namespace

std::string fourCharText(VstInt32 code) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        auto c = static_cast<char>((static_cast<std::uint32_t>(code) >> shift) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? c : '.';
    }
    return text;
}

VstHost::VstHost() = default;

VstHost::~VstHost() {
    close();
    library_.reset();
}

// ---- Scripting --------------------------------------------------------------

void VstHost::setVersionAnswer(VstIntPtr version) {
    std::lock_guard<std::mutex> lock(mutex_);
    versionAnswer_ = version;
}

void VstHost::setTimeInfo(const VstTimeInfo& info, bool available) {
    std::lock_guard<std::mutex> lock(mutex_);
    timeInfo_ = info;
    timeAvailable_ = available;
}

void VstHost::setAnswer(VstInt32 opcode, VstIntPtr answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& entry : answers_) {
        if (entry.first == opcode) {
            entry.second = answer;
            return;
        }
    }
    answers_.emplace_back(opcode, answer);
}

void VstHost::setSizeWindowHandler(SizeWindowHandler handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    sizeWindowHandler_ = std::move(handler);
}

// ---- Loading ----------------------------------------------------------------

bool VstHost::load(const std::string& path, std::string& error) {
    if (library_ != nullptr || effect_ != nullptr) {
        error = "this host has already loaded a plug-in";
        return false;
    }
    std::string reason;
    library_ = platform::SharedLibrary::open(path, reason);
    if (library_ == nullptr) {
        error = "cannot load " + path + ": " + reason;
        return false;
    }
    void* symbol = library_->symbol("VSTPluginMain");
    if (symbol == nullptr) {
        symbol = library_->symbol("main");
    }
    if (symbol == nullptr) {
        error = path + " exports neither VSTPluginMain nor main";
        library_.reset();
        return false;
    }
    if (!start(reinterpret_cast<EntryFunction>(symbol), path, error)) {
        library_.reset();
        return false;
    }
    return true;
}

bool VstHost::attach(EntryFunction entry, std::string& error) {
    if (library_ != nullptr || effect_ != nullptr) {
        error = "this host has already loaded a plug-in";
        return false;
    }
    return start(entry, "the linked-in plug-in", error);
}

bool VstHost::start(EntryFunction entry, const std::string& what, std::string& error) {
    AEffect* effect = nullptr;
    {
        LoadingScope scope(this);
        effect = entry(&VstHost::callback);
    }
    if (effect == nullptr) {
        error = what + ": the plug-in's entry point returned no effect";
        return false;
    }
    if (effect->magic != kEffectMagic) {
        // Not a record we may call into, so the object is left alone.
        error = what + ": the entry point's record has no VST magic";
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(registryMutex());
        registry().emplace_back(effect, this);
    }
    effect_ = effect;
    return true;
}

void VstHost::forget() {
    std::lock_guard<std::mutex> lock(registryMutex());
    auto& entries = registry();
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [this](const auto& entry) { return entry.second == this; }),
                  entries.end());
}

// ---- Driving ------------------------------------------------------------------

VstIntPtr VstHost::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                            float opt) {
    if (effect_ == nullptr) {
        return 0;
    }
    if (opcode == effClose) {
        return close();
    }
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

std::string VstHost::dispatchText(VstInt32 opcode, VstInt32 index, VstIntPtr value) {
    char text[512] = {};
    dispatch(opcode, index, value, text);
    text[sizeof text - 1] = 0;
    return text;
}

void VstHost::setParameter(VstInt32 index, float value) {
    if (effect_ != nullptr) {
        effect_->setParameter(effect_, index, value);
    }
}

float VstHost::getParameter(VstInt32 index) {
    return effect_ != nullptr ? effect_->getParameter(effect_, index) : 0.0f;
}

std::string VstHost::parameterName(VstInt32 index) {
    return dispatchText(effGetParamName, index);
}

std::string VstHost::parameterLabel(VstInt32 index) {
    return dispatchText(effGetParamLabel, index);
}

std::string VstHost::parameterDisplay(VstInt32 index) {
    return dispatchText(effGetParamDisplay, index);
}

bool VstHost::setParameterText(VstInt32 index, const std::string& text) {
    // The text goes in a writable buffer with room to spare: the call takes
    // a char*, and a plug-in may write into it.
    std::vector<char> buffer(text.begin(), text.end());
    buffer.resize(text.size() + 512, 0);
    return dispatch(effString2Parameter, index, 0, buffer.data()) != 0;
}

std::vector<std::uint8_t> VstHost::getChunk() {
    void* data = nullptr;
    const VstIntPtr size = dispatch(effGetChunk, 0, 0, &data);
    if (size <= 0 || data == nullptr) {
        return {};
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    return std::vector<std::uint8_t>(bytes, bytes + size);
}

VstIntPtr VstHost::setChunk(const std::vector<std::uint8_t>& chunk) {
    // Plug-ins take the data as void*, though they only read it.
    std::vector<std::uint8_t> copy(chunk);
    return dispatch(effSetChunk, 0, static_cast<VstIntPtr>(copy.size()), copy.data());
}

bool VstHost::vendorText(VstInt32 index, std::string& text) {
    char buffer[512] = {};
    if (dispatch(effVendorSpecific, index, static_cast<VstIntPtr>(sizeof buffer), buffer) != 1) {
        return false;
    }
    buffer[sizeof buffer - 1] = 0;
    text = buffer;
    return true;
}

void VstHost::resume() {
    dispatch(effMainsChanged, 0, 1);
}
void VstHost::suspend() {
    dispatch(effMainsChanged, 0, 0);
}

VstIntPtr VstHost::sendEvents(const std::vector<HostEvent>& events) {
    if (effect_ == nullptr) {
        return 0;
    }
    midiEvents_.clear();
    sysexEvents_.clear();
    sysexData_.clear();
    // Reserved up front: the list points into these vectors.
    midiEvents_.reserve(events.size());
    sysexEvents_.reserve(events.size());
    sysexData_.reserve(events.size());

    std::size_t slots = std::max<std::size_t>(events.size(), 2);
    eventStorage_.assign(offsetof(VstEvents, events) + slots * sizeof(VstEvent*), 0);
    auto* list = reinterpret_cast<VstEvents*>(eventStorage_.data());
    list->numEvents = static_cast<VstInt32>(events.size());
    // Hosts allocate the pointer array past its declared two entries.
    VstEvent** pointers = list->events;

    for (std::size_t i = 0; i < events.size(); ++i) {
        const HostEvent& event = events[i];
        if (!event.bytes.empty() && event.bytes[0] == 0xF0) {
            sysexData_.emplace_back(event.bytes.begin(), event.bytes.end());
            VstMidiSysexEvent sysex{};
            sysex.type = kVstSysExType;
            sysex.byteSize = sizeof(VstMidiSysexEvent);
            sysex.deltaFrames = event.deltaFrames;
            sysex.dumpBytes = static_cast<VstInt32>(event.bytes.size());
            sysex.sysexDump = sysexData_.back().data();
            sysexEvents_.push_back(sysex);
            pointers[i] = reinterpret_cast<VstEvent*>(&sysexEvents_.back());
        } else {
            VstMidiEvent midi{};
            midi.type = kVstMidiType;
            midi.byteSize = sizeof(VstMidiEvent);
            midi.deltaFrames = event.deltaFrames;
            std::size_t n = std::min<std::size_t>(event.bytes.size(), 3);
            for (std::size_t b = 0; b < n; ++b) {
                midi.midiData[b] = static_cast<char>(event.bytes[b]);
            }
            midiEvents_.push_back(midi);
            pointers[i] = reinterpret_cast<VstEvent*>(&midiEvents_.back());
        }
    }
    return dispatch(effProcessEvents, 0, 0, list);
}

void VstHost::processReplacing(VstInt32 frames, float fill) {
    if (effect_ == nullptr || effect_->processReplacing == nullptr || frames < 0) {
        return;
    }
    // Hosts never pass null channel arrays, even for a plug-in without inputs.
    auto prepare = [frames](std::vector<std::vector<float>>& buffers, std::vector<float*>& pointers,
                            VstInt32 channels, float value) {
        buffers.resize(static_cast<std::size_t>(std::max<VstInt32>(channels, 1)));
        pointers.clear();
        for (auto& buffer : buffers) {
            buffer.assign(static_cast<std::size_t>(frames), value);
            pointers.push_back(buffer.data());
        }
    };
    prepare(inputs_, inputPointers_, effect_->numInputs, 0.0f);
    prepare(outputs_, outputPointers_, effect_->numOutputs, fill);
    effect_->processReplacing(effect_, inputPointers_.data(), outputPointers_.data(), frames);
}

const std::vector<float>& VstHost::output(int channel) const {
    static const std::vector<float> none;
    if (channel < 0 || static_cast<std::size_t>(channel) >= outputs_.size()) {
        return none;
    }
    return outputs_[static_cast<std::size_t>(channel)];
}

VstIntPtr VstHost::close() {
    if (effect_ == nullptr) {
        return 0;
    }
    AEffect* effect = effect_;
    // The plug-in may still call back while it tears down, so the host stays
    // registered until the dispatcher returns.
    VstIntPtr result = effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    forget();
    effect_ = nullptr;
    return result;
}

// ---- Requests -----------------------------------------------------------------

VstIntPtr VstHost::callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                            void* ptr, float opt) {
    VstHost* host = findHost(effect);
    return host != nullptr ? host->answer(opcode, index, value, ptr, opt) : 0;
}

VstIntPtr VstHost::answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* /*ptr*/,
                          float opt) {
    std::lock_guard<std::mutex> lock(mutex_);
    switch (opcode) {
        case audioMasterVersion:
            ++versionRequests_;
            return versionAnswer_;
        case audioMasterGetTime:
            // Called once per block on the audio thread: nothing allocates here.
            ++timeRequests_;
            lastTimeFilter_ = static_cast<VstInt32>(value);
            return timeAvailable_ ? reinterpret_cast<VstIntPtr>(&timeInfo_) : 0;
        case audioMasterWantMidi:
            ++wantMidiRequests_;
            return 1;
        case audioMasterAutomate:
            automation_.push_back({AutomationRecord::Automate, index, opt});
            return 0;
        case audioMasterBeginEdit:
            automation_.push_back({AutomationRecord::BeginEdit, index, 0.0f});
            return 1;
        case audioMasterEndEdit:
            automation_.push_back({AutomationRecord::EndEdit, index, 0.0f});
            return 1;
        case audioMasterSizeWindow:
            otherRequests_.push_back({opcode, index, value, opt});
            if (sizeWindowHandler_) {
                return sizeWindowHandler_(index, static_cast<int>(value)) ? 1 : 0;
            }
            break;
        default:
            otherRequests_.push_back({opcode, index, value, opt});
            break;
    }
    for (const auto& entry : answers_) {
        if (entry.first == opcode) {
            return entry.second;
        }
    }
    return 0;
}

int VstHost::versionRequests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return versionRequests_;
}

int VstHost::timeRequests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return timeRequests_;
}

VstInt32 VstHost::lastTimeFilter() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastTimeFilter_;
}

int VstHost::wantMidiRequests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return wantMidiRequests_;
}

std::vector<AutomationRecord> VstHost::automation() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return automation_;
}

std::vector<HostRequest> VstHost::otherRequests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return otherRequests_;
}

void VstHost::clearRecords() {
    std::lock_guard<std::mutex> lock(mutex_);
    versionRequests_ = 0;
    timeRequests_ = 0;
    lastTimeFilter_ = 0;
    wantMidiRequests_ = 0;
    automation_.clear();
    otherRequests_.clear();
}

}  // namespace host
