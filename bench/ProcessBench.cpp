// processReplacing through the AEffect, as a host calls it, per block size,
// with and without host MIDI.

#include <benchmark/benchmark.h>

#include <vector>

#include "engine/ZephCorvane.h"

namespace {

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// Arguments: block size, events per block.
void ProcessReplacing(benchmark::State& state) {
    const auto frames = static_cast<VstInt32>(state.range(0));
    const auto eventCount = static_cast<int>(state.range(1));
    QX4Controller::ZephCorvane plugin(hostCallback);
    AEffect* effect = plugin.getAeffect();
    effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, 44100.0f);
    effect->dispatcher(effect, effSetBlockSize, 0, frames, nullptr, 0.0f);
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);

    std::vector<VstMidiEvent> notes(static_cast<std::size_t>(eventCount));
    std::vector<unsigned char> storage(sizeof(VstEvents) + notes.size() * sizeof(VstEvent*));
    auto* list = reinterpret_cast<VstEvents*>(storage.data());
    list->numEvents = eventCount;
    for (int i = 0; i < eventCount; ++i) {
        VstMidiEvent& e = notes[static_cast<std::size_t>(i)];
        e.type = kVstMidiType;
        e.byteSize = sizeof e;
        e.deltaFrames = i * frames / eventCount;
        e.midiData[0] = static_cast<char>(0x90);
        e.midiData[1] = static_cast<char>(60 + i);
        e.midiData[2] = 100;
        list->events[i] = reinterpret_cast<VstEvent*>(&e);
    }
    std::vector<float> out(static_cast<std::size_t>(frames));
    float* outputs[1] = {out.data()};
    for (auto _ : state) {
        if (eventCount)
            effect->dispatcher(effect, effProcessEvents, 0, 0, list, 0.0f);
        effect->processReplacing(effect, nullptr, outputs, frames);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * frames);
}
BENCHMARK(ProcessReplacing)->ArgNames({"frames", "events"})->ArgsProduct({{32, 64, 512}, {0, 2}});

}  // namespace
