// The per-sample loop against a plain fill of the same buffer, which is the
// physical limit of writing the samples at all.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "engine/SerialEncoder.h"

namespace {

using QX4Controller::EncoderParameters;
using QX4Controller::HistoryWriter;
using QX4Controller::SerialEncoder;

constexpr int kFrames = 4096;

struct Rig {
    explicit Rig(float rate, float softly) : writer(history), encoder(writer) {
        history.clear();
        EncoderParameters p;
        p.sampleRate = rate;
        p.softly = softly;
        encoder.update(p);
    }
    // Keeps the queue busy for the whole measured stretch.
    void keepFull() {
        static const std::vector<std::uint8_t> bytes(65536, 0x55);
        if (encoder.queuedBytes() < 8192)
            encoder.sendRawBytes(bytes.data(), bytes.size());
    }
    MidiHistory history;
    HistoryWriter writer;
    SerialEncoder encoder;
    std::vector<float> out = std::vector<float>(kFrames);
};

void PlainFill(benchmark::State& state) {
    std::vector<float> out(kFrames);
    float value = 0.0f;
    for (auto _ : state) {
        std::fill(out.begin(), out.end(), value);
        value += 1.0f;
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
}
BENCHMARK(PlainFill);

// Arguments: sample rate, Softly (1 On, 2 Off), saturated (1) or idle (0).
void Encoder(benchmark::State& state) {
    Rig rig(static_cast<float>(state.range(0)), static_cast<float>(state.range(1)));
    const bool saturated = state.range(2) != 0;
    for (auto _ : state) {
        if (saturated)
            rig.keepFull();
        rig.encoder.renderSamples(rig.out.data(), kFrames);
        benchmark::DoNotOptimize(rig.out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
}
BENCHMARK(Encoder)
    ->ArgNames({"rate", "softly", "saturated"})
    ->ArgsProduct({{44100, 192000}, {1, 2}, {0, 1}});

}  // namespace
