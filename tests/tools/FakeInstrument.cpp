// A minimal VST 2.4 instrument for the renderer tests. It records what the
// host does to it: sample rate, block size, resume/suspend, every block with
// the transport it read, and every event with its absolute sample position
// (the block's first sample plus deltaFrames).
// The host fetches the record as text with effVendorSpecific, index 'log '
// and a std::string* in ptr. Its output is the absolute sample index.
// Two parameters, for hosts that set them by name: "Level" reads no texts
// and shows percent ("25" for 0.25), "Mode" reads the texts it shows
// ("Soft" below 0.5, "Hard" from there).

#include "vst/AEffect.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr VstInt32 kLogRequest = vstFourCC('l', 'o', 'g', ' ');

struct Fake {
    AEffect effect{};
    audioMasterCallback host = nullptr;
    std::string log;
    long long processed = 0;
    float parameters[2] = {0.5f, 0.0f};
};

constexpr VstInt32 kLevel = 0;
constexpr VstInt32 kMode = 1;

Fake* self(AEffect* e) {
    return static_cast<Fake*>(e->object);
}

void appendf(std::string& log, const char* format, ...) __attribute__((format(printf, 2, 3)));
void appendf(std::string& log, const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    log += line;
}

VstIntPtr dispatcher(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                     float opt) {
    Fake* f = self(e);
    switch (opcode) {
        case effClose:
            delete f;
            return 1;
        case effSetSampleRate:
            appendf(f->log, "rate %g\n", static_cast<double>(opt));
            return 0;
        case effSetBlockSize:
            appendf(f->log, "blocksize %lld\n", static_cast<long long>(value));
            return 0;
        case effMainsChanged:
            appendf(f->log, "mains %lld\n", static_cast<long long>(value));
            return 0;
        case effProcessEvents: {
            const auto* events = static_cast<const VstEvents*>(ptr);
            for (VstInt32 i = 0; i < events->numEvents; ++i) {
                const VstEvent* ev = events->events[i];
                const long long at = f->processed + ev->deltaFrames;
                appendf(f->log, "event %lld", at);
                if (ev->type == kVstMidiType) {
                    const auto* m = reinterpret_cast<const VstMidiEvent*>(ev);
                    for (int b = 0; b < 3; ++b)
                        appendf(f->log, " %02X", static_cast<unsigned char>(m->midiData[b]));
                } else if (ev->type == kVstSysExType) {
                    const auto* s = reinterpret_cast<const VstMidiSysexEvent*>(ev);
                    for (VstInt32 b = 0; b < s->dumpBytes; ++b)
                        appendf(f->log, " %02X", static_cast<unsigned char>(s->sysexDump[b]));
                }
                f->log += "\n";
            }
            return 1;
        }
        case effGetParamName:
            std::strcpy(static_cast<char*>(ptr), index == kLevel ? "Level" : "Mode");
            return 0;
        case effGetParamLabel:
            std::strcpy(static_cast<char*>(ptr), index == kLevel ? "%" : "");
            return 0;
        case effGetParamDisplay:
            if (index == kLevel)
                std::snprintf(static_cast<char*>(ptr), 8, "%d",
                              static_cast<int>(f->parameters[kLevel] * 100.0f));
            else
                std::strcpy(static_cast<char*>(ptr), f->parameters[kMode] < 0.5f ? "Soft" : "Hard");
            return 0;
        case effString2Parameter: {
            const char* text = static_cast<const char*>(ptr);
            if (index != kMode || text == nullptr)
                return 0;
            if (std::strcmp(text, "Soft") != 0 && std::strcmp(text, "Hard") != 0)
                return 0;
            f->parameters[kMode] = text[0] == 'S' ? 0.0f : 1.0f;
            appendf(f->log, "param %d %g\n", index, static_cast<double>(f->parameters[kMode]));
            return 1;
        }
        case effVendorSpecific:
            if (index == kLogRequest && ptr != nullptr) {
                *static_cast<std::string*>(ptr) = f->log;
                return 1;
            }
            return 0;
        default:
            return 0;
    }
}

void setParameter(AEffect* e, VstInt32 index, float value) {
    if (index == kLevel || index == kMode) {
        self(e)->parameters[index] = value;
        appendf(self(e)->log, "param %d %g\n", index, static_cast<double>(value));
    }
}

float getParameter(AEffect* e, VstInt32 index) {
    return index == kLevel || index == kMode ? self(e)->parameters[index] : 0.0f;
}

void processReplacing(AEffect* e, float**, float** outputs, VstInt32 frames) {
    Fake* f = self(e);
    const auto* t = reinterpret_cast<const VstTimeInfo*>(
        f->host(e, audioMasterGetTime, 0, 0x3E02, nullptr, 0.0f));
    if (t != nullptr)
        appendf(f->log, "block %lld %d %.17g %.17g %.17g %.17g %d %d %d %.17g %.17g\n",
                f->processed, static_cast<int>(frames), t->samplePos, t->ppqPos, t->tempo,
                t->barStartPos, static_cast<int>(t->timeSigNumerator),
                static_cast<int>(t->timeSigDenominator), static_cast<int>(t->flags),
                t->cycleStartPos, t->cycleEndPos);
    for (VstInt32 i = 0; i < frames; ++i)
        outputs[0][i] = static_cast<float>(f->processed + i);
    f->processed += frames;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback host) {
    auto* f = new Fake;
    f->host = host;
    AEffect& e = f->effect;
    e.magic = kEffectMagic;
    e.dispatcher = dispatcher;
    e.setParameter = setParameter;
    e.getParameter = getParameter;
    e.processReplacing = processReplacing;
    e.numPrograms = 1;
    e.numParams = 2;
    e.numInputs = 0;
    e.numOutputs = 1;
    e.flags = effFlagsCanReplacing | effFlagsIsSynth;
    e.object = f;
    e.uniqueID = vstFourCC('f', 'a', 'k', 'e');
    e.version = 1;
    return &e;
}
