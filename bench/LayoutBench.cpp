// The product's editor (tavro.so with its Lua layout) on this machine's
// software GL: opening to the first frame (the scripts, fonts and the whole
// element tree included), the CPU per frame of the full layout with the
// MIDI history changing every frame, and the memory an open editor holds.
// Needs a display (scripts/bench.sh gives it an Xvfb).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include "ProcessCpu.h"
#include "host/VstHost.h"
#include "platform/Preferences.h"
#include "platform/ViewerWindow.h"
#include "plugin/EditorFrames.h"

namespace {

using bench::busiestThread;
using bench::processCpuSeconds;
using bench::residentMiB;
using bench::threadCpuSeconds;

struct Editor {
    host::VstHost host;
    std::unique_ptr<platform::ViewerWindow> window;

    explicit Editor(bool constantRedraw) {
        platform::writeIntPreference(platform::kPrefConstantRedraw, constantRedraw ? 1 : 0);
        std::string error;
        if (!host.load(TAVRO_PLUGIN_PATH, error))
            throw std::runtime_error(error);
        host.dispatch(effOpen);
        host.dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
        host.dispatch(effSetBlockSize, 0, 512);
        host.resume();
        window = platform::ViewerWindow::Create("bench", 1000, 450);
        if (!window)
            throw std::runtime_error("no display");
    }
    long long frames() { return host.dispatch(effVendorSpecific, kVendorEditorFramesDrawn); }
    void open() { host.dispatch(effEditOpen, 0, 0, window->NativeHandle()); }
    void close() { host.dispatch(effEditClose); }
    void waitForFrames(long long n) {
        while (frames() < n) {
            window->PumpEvents(2);
            host.dispatch(effEditIdle);
        }
    }
    // Pumps the window; with `midi`, plays a note into the plug-in every
    // 30 ms, so that both history displays change every frame.
    void run(int milliseconds, bool midi) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        int note = 0;
        while (std::chrono::steady_clock::now() < end) {
            if (midi) {
                host.sendEvents({{0, {0x90, static_cast<std::uint8_t>(36 + note++ % 48), 100}}});
                host.processReplacing(512);
            }
            window->PumpEvents(30);
            host.dispatch(effEditIdle);
        }
    }
};

void LayoutOpenToFirstFrame(benchmark::State& state) {
    Editor editor(true);
    for (auto _ : state) {
        editor.open();
        editor.waitForFrames(1);
        state.PauseTiming();
        editor.close();
        state.ResumeTiming();
    }
}
BENCHMARK(LayoutOpenToFirstFrame)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

// Arguments: constant redraw (1 on, 0 off) and MIDI (1 a note every 30 ms,
// 0 none). Reports the CPU share of one core the process used while the
// editor was open, the CPU time per frame drawn (the render thread's work
// and the software rasteriser's, with the host's loop and the plug-in's
// processing), and that of the busiest thread alone.
void LayoutFrames(benchmark::State& state) {
    Editor editor(state.range(0) != 0);
    const bool midi = state.range(1) != 0;
    editor.open();
    // The light glides in from the corner over the first seconds.
    editor.run(4000, midi);
    double cpu = 0, seconds = 0, busiest = 0;
    long long frames = 0;
    for (auto _ : state) {
        const long long framesBefore = editor.frames();
        const double cpuBefore = processCpuSeconds();
        const auto threadsBefore = threadCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        editor.run(3000, midi);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        cpu += processCpuSeconds() - cpuBefore;
        busiest += busiestThread(threadsBefore, threadCpuSeconds());
        frames += editor.frames() - framesBefore;
    }
    editor.close();
    state.counters["cpu_percent"] = 100.0 * cpu / seconds;
    state.counters["frames_per_s"] = static_cast<double>(frames) / seconds;
    state.counters["cpu_ms_per_frame"] =
        frames > 0 ? 1000.0 * cpu / static_cast<double>(frames) : 0;
    state.counters["busiest_thread_ms_per_frame"] =
        frames > 0 ? 1000.0 * busiest / static_cast<double>(frames) : 0;
}
BENCHMARK(LayoutFrames)
    ->Args({1, 1})
    ->Args({1, 0})
    ->Args({0, 0})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The resident memory an open editor adds (its Lua state, elements, fonts,
// textures and GL objects; the GL driver's own, loaded once per process,
// is counted by the first open only), and what is left after it closed
// again, after the number of opens given.
void LayoutMemory(benchmark::State& state) {
    Editor editor(true);
    // The driver and the fonts' files come into the process with the first
    // editor and stay.
    editor.open();
    editor.waitForFrames(3);
    editor.close();
    const double closed = residentMiB();
    double open = 0;
    for (auto _ : state) {
        for (int i = 0; i < state.range(0); ++i) {
            editor.open();
            editor.waitForFrames(3);
            editor.run(200, false);
            open = residentMiB();
            editor.close();
        }
    }
    state.counters["open_editor_mib"] = open - closed;
    state.counters["left_after_closes_mib"] = residentMiB() - closed;
}
BENCHMARK(LayoutMemory)
    ->Arg(10)
    ->Arg(40)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
