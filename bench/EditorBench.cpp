// The editor's cost on this machine's software GL, through the plug-in's
// entry point with the tests' layout: opening to the first frame, closing,
// and the CPU the process spends per frame and while an open editor idles,
// with constant redraw on and off; the frame cost also for the layout with
// one of each control. Needs a display (scripts/bench.sh gives it an Xvfb).

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
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
using bench::threadCpuSeconds;

struct Editor {
    host::VstHost host;
    std::unique_ptr<platform::ViewerWindow> window;

    explicit Editor(bool constantRedraw, const char* plugin = TAVRO_TEST_EDITOR_PATH) {
        platform::writeIntPreference(platform::kPrefConstantRedraw, constantRedraw ? 1 : 0);
        std::string error;
        if (!host.load(plugin, error))
            throw std::runtime_error(error);
        host.dispatch(effOpen);
        ERect* rect = nullptr;
        host.dispatch(effEditGetRect, 0, 0, &rect);
        if (!rect)
            throw std::runtime_error("no editor");
        window = platform::ViewerWindow::Create("bench", rect->right - rect->left,
                                                rect->bottom - rect->top);
        if (!window)
            throw std::runtime_error("no display");
    }
    long long frames() { return host.dispatch(effVendorSpecific, kVendorEditorFramesDrawn); }
    void open() { host.dispatch(effEditOpen, 0, 0, window->NativeHandle()); }
    void close() { host.dispatch(effEditClose); }
    void run(int milliseconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (std::chrono::steady_clock::now() < end) {
            window->PumpEvents(30);
            host.dispatch(effEditIdle);
        }
    }
};

void EditorOpenToFirstFrame(benchmark::State& state) {
    Editor editor(true);
    for (auto _ : state) {
        editor.open();
        while (editor.frames() < 1)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        state.PauseTiming();
        editor.close();
        state.ResumeTiming();
    }
}
BENCHMARK(EditorOpenToFirstFrame)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

void EditorClose(benchmark::State& state) {
    Editor editor(true);
    for (auto _ : state) {
        state.PauseTiming();
        editor.open();
        editor.run(100);
        state.ResumeTiming();
        editor.close();
    }
}
BENCHMARK(EditorClose)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

// Arguments: constant redraw (1 on, 0 off). Reports the CPU share of one core
// the process used while the editor was open and untouched, the CPU time
// per frame drawn, and that of the busiest (the render) thread alone.
void IdleOpenEditor(benchmark::State& state, const char* plugin) {
    Editor editor(state.range(0) != 0, plugin);
    editor.open();
    // The light glides in from the corner over the first seconds.
    editor.run(4000);
    double cpu = 0, seconds = 0, busiest = 0;
    long long frames = 0;
    for (auto _ : state) {
        const long long framesBefore = editor.frames();
        const double cpuBefore = processCpuSeconds();
        const auto threadsBefore = threadCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        editor.run(3000);
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
// Constant redraw on and off, one run each of a few seconds.
void RedrawOnAndOff(benchmark::internal::Benchmark* b) {
    b->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
}
BENCHMARK_CAPTURE(IdleOpenEditor, tests_layout, TAVRO_TEST_EDITOR_PATH)->Apply(RedrawOnAndOff);
BENCHMARK_CAPTURE(IdleOpenEditor, one_of_each_control, TAVRO_TEST_CONTROLS_PATH)
    ->Apply(RedrawOnAndOff);

}  // namespace
