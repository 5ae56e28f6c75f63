#include "plugin/ZephCorvaneBase.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/Diagnostics.h"
#include "platform/Preferences.h"
#include "platform/Settings.h"
#include "plugin/EditorFrames.h"
#include "plugin/OscPort.h"
#include "plugin/ParameterListeners.h"

namespace {

// Buffers handed to us by pointer through SetProperty/GetProperty.
template <typename T>
void putOut(void* data, const T& value) {
    std::memcpy(data, &value, sizeof value);
}

}  // namespace

ZephCorvaneBase::ZephCorvaneBase(audioMasterCallback audioMaster, const QX::PluginHelpers* helpers)
    : ZephAuBase(audioMaster, 1, kNumParameters),
      helpers_(helpers),
      reportsBefore_(platform::lastReportSerial()) {
    if (helpers) {
        scripting_ = helpers->createMidiScripting(*this);
        oscServer_ = helpers->createOscServer(*this, scripting_.get());
    }
    if (!oscServer_)
        oscServer_ = std::make_unique<QX::NoOscServer>();
    history_.clear();
    {
        // The parameter and factory tables are process-wide: two hosts'
        // threads constructing instances at once must not interleave here.
        std::lock_guard<std::recursive_mutex> guard(InstanceRegistry::lock());
        applyInterfaceCategoryPreference(
            platform::readIntPreference(platform::kPrefDefaultInterfaceCategory, 0));
        FactoryProgram* factory = factoryPrograms();
        for (int row = 0; row < kNumFactoryPrograms; ++row)
            for (int p = std::max(0, factory[row].explicitValueCount); p < kNumParameters; ++p)
                factory[row].values[p] = table_[p].defaultNative();
    }
    internalInputCount_ = std::max(realInputCount_, 2);
    setNumInputs(realInputCount_);
    setNumOutputs(outputCount_);
    setUniqueID(kUniqueId);
    cEffect.version = 1;
    canMono();
    canProcessReplacing();
    programsAreChunks();
    isSynth();
    {
        // The factory table is process-wide and written under this lock.
        std::lock_guard<std::recursive_mutex> guard(InstanceRegistry::lock());
        loadFactoryPrograms();
    }
}

ZephCorvaneBase::~ZephCorvaneBase() {
    destroyHelpers();
}

void ZephCorvaneBase::destroyHelpers() {
    // Out of the registry first: other instances' scripts and OSC addresses
    // find instances there. Then no thread of ours may call in any more
    // before the helpers go. An open editor's render thread reads this
    // object: it goes first. The scripts stop before the OSC server: a
    // script function that never returns would otherwise hold the OSC
    // threads (and this close) for ever.
    setEditor(nullptr);
    InstanceRegistry::remove(this);
    if (scripting_)
        scripting_->StopTasks();
    oscServer_->StopTasks();
    oscServer_ = std::make_unique<QX::NoOscServer>();
    scripting_.reset();
    // What the audio thread dropped since the notify thread last looked.
    reportDeferredDiagnostics();
}

void ZephCorvaneBase::reportDeferredDiagnostics() {
    hostEventQueue_.reportOverflows();
    controlQueue_.reportOverflows();
    if (scripting_)
        scripting_->reportDeferredDiagnostics();
    if (const int refused = unreportedPortRefusal_.exchange(0, std::memory_order_relaxed)) {
        platform::report(platform::ReportLevel::kWarning,
                         "OSC port " + std::to_string(refused / 1000) + " + " +
                             std::to_string(refused % 1000) + " refused (" + osc_port::kRefusal +
                             "): OSC server off",
                         this, osc_port::kReportTopic);
    }
}

void ZephCorvaneBase::initialise() {
    InstanceRegistry::add(this);
    resizeSilentInput();
    int base =
        platform::readIntPreference(platform::kPrefOscBasePort, platform::kDefaultOscBasePort);
    if (base < 1 || base > osc_port::kLargestPort) {
        // Written by hand or by another program: no port of ours.
        platform::reportf(platform::ReportLevel::kWarning,
                          "OSC Base Port %d is no UDP port: %d used", base,
                          platform::kDefaultOscBasePort);
        base = platform::kDefaultOscBasePort;
    }
    platform::processSettings().oscBasePort.store(base, std::memory_order_relaxed);
    if (scripting_)
        scripting_->Initialise();
    oscServer_->Initialise();
    oscServer_->StartTasks();
    if (helpers_) {
        bool advertise = false;
        if (AEffEditor* view = helpers_->createEditor(*this, advertise)) {
            setEditor(view);
            setFlag(effFlagsHasEditor, advertise);
        }
    }
}

VstIntPtr ZephCorvaneBase::vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr,
                                          float /*opt*/) {
    if (index == kVendorRoundTripText) {
        if (ptr == nullptr || value <= 0)
            return 0;
        RoundTripFigures figures;
        history_.roundTrip.read(figures);
        formatRoundTrip(figures, static_cast<char*>(ptr), static_cast<std::size_t>(value));
        return 1;
    }
    auto* frames = dynamic_cast<EditorFrameWriter*>(editor);
    if (index == kVendorEditorFramesDrawn)
        return frames ? static_cast<VstIntPtr>(frames->FramesDrawn()) : 0;
    if (index == kVendorEditorInputPending)
        return frames ? static_cast<VstIntPtr>(frames->InputPending()) : 0;
    if (index == kVendorEditorInputHandled)
        return frames ? static_cast<VstIntPtr>(frames->InputHandled()) : 0;
    if (index != kVendorWriteEditorFrame || ptr == nullptr)
        return 0;
    const int timeout = value > 0 && value < 60000 ? static_cast<int>(value) : 5000;
    return frames && frames->WriteNextFrame(static_cast<const char*>(ptr), timeout) ? 1 : 0;
}

void ZephCorvaneBase::closeHook() {
    oscServer_->StopTasks();
}

void ZephCorvaneBase::close() {
    closeHook();
}

void ZephCorvaneBase::resume() {
    ZephAuBase::resume();
    InstanceRegistry::assignIds(this);
    wantEvents(1);
}

void ZephCorvaneBase::setBlockSize(VstInt32 size) {
    ZephAuBase::setBlockSize(size);
    resizeSilentInput();
}

void ZephCorvaneBase::resizeSilentInput() {
    silentInput_.assign(static_cast<std::size_t>(std::max<VstInt32>(blockSize, 0)), 0.0f);
}

void ZephCorvaneBase::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
    if (!outputs || sampleFrames <= 0)
        return;
    beginBlock(sampleFrames);
    while (QX::MessageQueueItem* item = controlQueue_.pop())
        handleControlMessage(*item);

    float* inputList[8];
    const int inputCount = std::min(internalInputCount_, 8);
    // A host may send a longer block than it announced; the silent buffer
    // is not grown on this thread, so such a block gets no input pointers
    // rather than ones that end early (this plug-in never reads them).
    float* silent = static_cast<std::size_t>(sampleFrames) <= silentInput_.size()
                        ? silentInput_.data()
                        : nullptr;
    for (int i = 0; i < inputCount; ++i)
        inputList[i] = realInputCount_ != 0 && inputs ? inputs[i] : silent;
    float* outputList[8];
    const int outputCount = std::min(outputCount_, 8);
    for (int i = 0; i < outputCount; ++i)
        outputList[i] = outputs[i];

    renderBlock(inputList, outputList, sampleFrames);
    endBlock(sampleFrames);
}

void ZephCorvaneBase::renderBlock(float** /*inputs*/, float** outputs, VstInt32 frames) {
    for (int i = 0; i < outputCount_; ++i)
        if (outputs[i])
            std::fill(outputs[i], outputs[i] + frames, 0.0f);
}

void ZephCorvaneBase::setParameter(VstInt32 index, float normalized) {
    if (!isValidParameterIndex(index) || !std::isfinite(normalized))
        return;
    ZephAuBase::setParameter(index, normalized);
    const float native = getParameterNative(index);
    if (index == kParamOscPortOffset)
        deriveOscPort();
    oscServer_->parameterChanged(index, native);
    callParameterListeners(this, index, native);
}

void ZephCorvaneBase::setProgram(VstInt32 program) {
    if (program < 0 || program >= numPrograms)
        return;
    programIndex_.store(program, std::memory_order_relaxed);
    deriveOscPort();
}

const char* ZephCorvaneBase::parameterValueRefusal(int index, float native) const {
    if (const char* refusal = ZephAuBase::parameterValueRefusal(index, native))
        return refusal;
    if (index != kParamOscPortOffset)
        return nullptr;
    const ParameterDescriptor& row = table_[kParamOscPortOffset];
    const int offset = static_cast<int>(std::clamp(native, row.minimum, row.maximum));
    const int base = platform::processSettings().oscBasePort.load(std::memory_order_relaxed);
    return osc_port::fromBaseAndOffset(base, offset) < 0 ? osc_port::kRefusal : nullptr;
}

int ZephCorvaneBase::oscPortOffset() const {
    // The stored value may come from anywhere (a saved state, an unclamped
    // host value): truncated within the table's range, never converted
    // from a value an int cannot hold.
    const float offset = getParameterNative(kParamOscPortOffset);
    if (!(offset > 0.0f))
        return 0;
    return static_cast<int>(std::min(offset, table_[kParamOscPortOffset].maximum));
}

void ZephCorvaneBase::deriveOscPort() {
    const int offset = oscPortOffset();
    const int base = platform::processSettings().oscBasePort.load(std::memory_order_relaxed);
    int port = osc_port::fromBaseAndOffset(base, offset);
    if (port < 0) {
        // Only the host's own automation gets here (every other way in
        // refuses such an offset, with the reason): the server goes off
        // rather than listen on a wrapped port, and the notify thread says
        // why (this may be the audio thread).
        unreportedPortRefusal_.store(base * 1000 + offset, std::memory_order_relaxed);
        port = 0;
    }
    // Hosts automate every parameter every block, this one included: the
    // server is woken (a system call) only when the port really moves.
    if (oscPort_.exchange(port, std::memory_order_relaxed) != port)
        oscServer_->portChanged(port);
}

VstInt32 ZephCorvaneBase::processEvents(VstEvents* events) {
    if (!events)
        return 1;
    VstInt32 answer = 1;
    for (VstInt32 i = 0; i < events->numEvents; ++i) {
        const VstEvent* event = events->events[i];
        if (!event)
            continue;
        if (event->type == kVstMidiType) {
            const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
            const auto status = static_cast<std::uint8_t>(midi->midiData[0]);
            hostEventQueue_.Write(status & 0xF0, status & 0x0F,
                                  static_cast<std::uint8_t>(midi->midiData[1]) & 0x7F,
                                  static_cast<std::uint8_t>(midi->midiData[2]) & 0x7F,
                                  static_cast<std::uint32_t>(std::max(midi->deltaFrames, 0)));
        } else if (event->type == kVstSysExType) {
            // The leading F0 is dropped (the encoder puts it back). Events
            // after a sysex in the same list are queued too: ending the list
            // here would silently lose them.
            const auto* sysex = reinterpret_cast<const VstMidiSysexEvent*>(event);
            const bool queued = sysex->sysexDump && sysex->dumpBytes >= 1 &&
                                hostEventQueue_.WriteSysEx(
                                    reinterpret_cast<const std::uint8_t*>(sysex->sysexDump) + 1,
                                    static_cast<std::size_t>(sysex->dumpBytes - 1));
            if (!queued)
                answer = 0;
        }
    }
    return answer;
}

VstPlugCategory ZephCorvaneBase::getPlugCategory() {
    return (cEffect.flags & effFlagsIsSynth) ? kPlugCategSynth : kPlugCategEffect;
}

VstInt32 ZephCorvaneBase::canDo(char* text) {
    return text && std::strcmp(text, "receiveVstMidiEvent") == 0 ? 1 : 0;
}

std::string ZephCorvaneBase::registryFamilyKey() {
    return familyKey();
}

const std::string& ZephCorvaneBase::familyKey() {
    std::call_once(familyKeyOnce_, [this] {
        const char* family = familyText();
        std::string tail = family && std::strlen(family) > 10 ? std::string(family + 10) : "";
        tail.erase(std::remove(tail.begin(), tail.end(), ' '), tail.end());
        familyKey_ = "CV" + tail;
    });
    return familyKey_;
}

const std::array<std::string, kNumParameters>& ZephCorvaneBase::parameterNamesWithoutSpaces() {
    std::call_once(namesOnce_, [this] {
        for (int i = 0; i < kNumParameters; ++i)
            namesWithoutSpaces_[i] = parameterNameWithoutSpaces(i);
    });
    return namesWithoutSpaces_;
}

bool ZephCorvaneBase::parameterStringFromValue(int index, float native, std::string& text) {
    return parameterSpecialText(index, native, text);
}

std::int32_t ZephCorvaneBase::GetParameterValueStrings(
    std::uint32_t scope, std::int32_t index, std::shared_ptr<const ValueStringList>* out) {
    if (scope != kAudioUnitScope_Global || !out)
        return kAudioUnitErr_InvalidParameter;
    auto list = parameterValueStrings(index);
    if (!list)
        return kAudioUnitErr_InvalidParameter;
    *out = std::move(list);
    return 0;
}

std::int32_t ZephCorvaneBase::GetProperty(std::uint32_t id, std::uint32_t /*scope*/,
                                          std::uint32_t /*element*/, void* data) {
    if (!data)
        return kAudioUnitErr_InvalidParameter;
    switch (id) {
        case prop::kParameterStringFromValue: {
            auto* request = static_cast<ParameterStringFromValue*>(data);
            if (!isValidParameterIndex(request->parameterId) ||
                !parameterHasSpecialTexts(request->parameterId))
                return kAudioUnitErr_InvalidParameter;
            const float value =
                request->value ? *request->value : getParameterNative(request->parameterId);
            std::string text;
            request->text = parameterStringFromValue(request->parameterId, value, text)
                                ? std::make_shared<const std::string>(text)
                                : nullptr;
            return 0;
        }
        case prop::kMidiHistory:
            putOut<void*>(data, historyBlock());
            return 0;
        case prop::kProductTag:
            putOut<const char*>(data, productTag());
            return 0;
        case prop::kFamilyText:
            putOut<const char*>(data, familyText());
            return 0;
        case prop::kFamilyKey:
            putOut<const char*>(data, familyKey().c_str());
            return 0;
        case prop::kParameterNamesWithoutSpaces:
            putOut<const std::string*>(data, parameterNamesWithoutSpaces().data());
            return 0;
        case prop::kOscHelper:
            putOut<void*>(data, oscServer_.get());
            return 0;
        case prop::kParameterCount:
            putOut<std::int32_t>(data, kNumParameters);
            return 0;
        case prop::kOscPortOffset:
            putOut<std::int32_t>(data, static_cast<std::int32_t>(oscPortOffset()));
            return 0;
        case prop::kParameterTable:
            putOut<ParameterDescriptor*>(data, table_);
            return 0;
        case prop::kGuiScriptName:
            putOut<const char*>(data, guiScriptName());
            return 0;
        case prop::kInstanceLinking:
            putOut<std::uint8_t>(data, 0);
            return 0;
        case prop::kIsLogicPro:
            putOut<std::uint8_t>(data, 0);
            return 0;
        default:
            return kAudioUnitErr_InvalidProperty;
    }
}

std::int32_t ZephCorvaneBase::GetPropertyInfo(std::uint32_t id, std::uint32_t scope,
                                              std::uint32_t /*element*/, std::uint32_t* size,
                                              bool* writable) {
    std::uint32_t bytes = 0;
    bool canWrite = false;
    switch (id) {
        case prop::kParameterStringFromValue:
            bytes = 24;
            break;
        case prop::kMidiHistory:
        case prop::kProductTag:
        case prop::kFamilyText:
        case prop::kFamilyKey:
        case prop::kParameterNamesWithoutSpaces:
        case prop::kOscHelper:
        case prop::kParameterTable:
        case prop::kGuiScriptName:
            bytes = sizeof(void*);
            break;
        case prop::kParameterCount:
        case prop::kOscPortOffset:
            bytes = 4;
            break;
        case prop::kInstanceLinking:
        case prop::kIsLogicPro:
            bytes = 1;
            break;
        case prop::kReapplyOscPortOffset:
            bytes = 1;
            canWrite = true;
            break;
        case prop::kDontPanic:
            if (scope != kAudioUnitScope_Global)
                return kAudioUnitErr_InvalidProperty;
            bytes = 1;
            canWrite = true;
            break;
        default:
            return kAudioUnitErr_InvalidProperty;
    }
    if (size)
        *size = bytes;
    if (writable)
        *writable = canWrite;
    return 0;
}

std::int32_t ZephCorvaneBase::SetProperty(std::uint32_t id, std::uint32_t scope,
                                          std::uint32_t /*element*/, const void* /*data*/,
                                          std::uint32_t /*size*/) {
    if (scope != kAudioUnitScope_Global)
        return kAudioUnitErr_InvalidProperty;
    switch (id) {
        case prop::kReapplyOscPortOffset: {
            const int before = oscPort();
            setParameterNative(kParamOscPortOffset, getParameterNative(kParamOscPortOffset), true);
            // Asked for on purpose (the About dialog's OK): an unchanged
            // port is bound again, which retries a bind that failed.
            if (oscPort() == before)
                oscServer_->portChanged(before);
            return 0;
        }
        case prop::kDontPanic: {
            std::lock_guard<std::mutex> guard(controlWriteMutex_);
            controlQueue_.WriteTrigger(prop::kDontPanic);
            return 0;
        }
        default:
            return kAudioUnitErr_InvalidProperty;
    }
}

// ---- Saved state ------------------------------------------------------------------

namespace {

// Hosts use the buffer right after asking for it; a few are kept so that
// one that asks twice before reading still finds both, without the memory
// growing with every save of a long session.
constexpr std::size_t kKeptChunks = 4;

}  // namespace

VstInt32 ZephCorvaneBase::getChunk(void** data, bool /*isPreset*/) {
    if (!data)
        return 0;
    state::StateChunkWriter writer;
    writer.addWord(state::kTagPluginId, static_cast<std::uint32_t>(kUniqueId));
    writer.addWord(state::kTagVersion, static_cast<std::uint32_t>(kVendorVersion));
    ZephProgram* program = currentProgram();
    void* programChunk = nullptr;
    const std::int32_t programChunkSize = program ? program->getChunk(&programChunk) : 0;
    if (programChunkSize > 0 && programChunk) {
        writer.add(state::kTagProgramChunk, programChunk,
                   static_cast<std::size_t>(programChunkSize));
    } else {
        float values[kNumParameters];
        for (int i = 0; i < kNumParameters; ++i)
            values[i] = getParameterNative(i);
        writer.add(state::kTagParameters, values, sizeof values);
    }
    if (InstanceRegistry::anyReportsLinking()) {
        InstanceRegistry::assignIds(this);
        std::uint32_t localId = 0, globalId = 0;
        InstanceRegistry::ids(this, localId, globalId);
        writer.addWord(state::kTagLocalId, localId);
        writer.addWord(state::kTagGlobalId, globalId);
    }
    saveExtraChunkEntries(writer);

    if (chunks_.size() >= kKeptChunks)
        chunks_.erase(chunks_.begin());
    chunks_.push_back(writer.serialise());
    *data = chunks_.back().data();
    return static_cast<VstInt32>(chunks_.back().size());
}

VstInt32 ZephCorvaneBase::setChunk(void* data, VstInt32 byteSize, bool /*isPreset*/) {
    ZephProgram* program = currentProgram();
    state::StateChunkReader reader;
    if (byteSize <= 0 || !reader.parse(data, static_cast<std::size_t>(byteSize))) {
        if (program && data && byteSize > 0)
            program->setChunk(data, byteSize);
        return 1;
    }
    if (const auto* values = reader.find(state::kTagParameters); values && program) {
        // Stored as saved, unrounded and without setParameter's side
        // effects, but checked: a state comes from a file anyone may have
        // written. A value refused keeps the current one, any other is
        // clamped to its range.
        const std::size_t count = std::min<std::size_t>(values->size() / 4, kNumParameters);
        for (std::size_t i = 0; i < count; ++i) {
            const int index = static_cast<int>(i);
            float value;
            std::memcpy(&value, values->data() + 4 * i, 4);
            if (const char* refusal = parameterValueRefusal(index, value)) {
                platform::reportf(platform::ReportLevel::kWarning,
                                  "Saved state: %s %g refused (%s)", table_[index].name,
                                  static_cast<double>(value), refusal);
                continue;
            }
            value = std::clamp(value, table_[index].minimum, table_[index].maximum);
            program->valuePointer(index)->store(value, std::memory_order_relaxed);
        }
    }
    if (const auto* chunk = reader.find(state::kTagProgramChunk); chunk && program)
        program->setChunk(chunk->data(), static_cast<std::int32_t>(chunk->size()));
    std::uint32_t localId = 0, globalId = 0;
    reader.word(state::kTagLocalId, localId);
    reader.word(state::kTagGlobalId, globalId);
    InstanceRegistry::restoreIds(this, localId, globalId);
    restoreExtraChunkEntries(reader);
    return 1;
}
