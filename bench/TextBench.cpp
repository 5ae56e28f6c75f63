// The editor's text outside GL: what a changing banner text costs the
// render thread each frame (a new layout), what an unchanged one costs (the
// cache check), and what labels cost the layout script (measuring).

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "gui/Font.h"
#include "gui/TextRun.h"

namespace {

std::unique_ptr<QX::Font> BenchFont(int size) {
    std::string path;
    if (!QX::FindFontFile("DejaVuSans.ttf", path)) {
        return nullptr;
    }
    auto font = std::make_unique<QX::Font>(path, size);
    font->SetScale(1);
    return font;
}

const std::string kText = "Clock Offset -12.5 ms";

void LayoutText(benchmark::State& state) {
    auto font = BenchFont(12);
    if (!font) {
        state.SkipWithError("DejaVuSans.ttf not found");
        return;
    }
    std::vector<QX::GlyphVertex> quads;
    float endX = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(QX::LayoutText(*font, quads, kText, 10, 20, endX));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kText.size()));
}
BENCHMARK(LayoutText);

void TextRunUnchanged(benchmark::State& state) {
    auto font = BenchFont(12);
    if (!font) {
        state.SkipWithError("DejaVuSans.ttf not found");
        return;
    }
    QX::TextRun run;
    for (auto _ : state) {
        benchmark::DoNotOptimize(run.Update(font.get(), kText, 10, 20));
    }
}
BENCHMARK(TextRunUnchanged);

void MeasureLabel(benchmark::State& state) {
    auto font = BenchFont(11);
    if (!font) {
        state.SkipWithError("DejaVuSans.ttf not found");
        return;
    }
    float width = 0, height = 0;
    for (auto _ : state) {
        font->Measure(kText, width, height);
        benchmark::DoNotOptimize(width);
    }
}
BENCHMARK(MeasureLabel);

void Advance(benchmark::State& state) {
    auto font = BenchFont(12);
    if (!font) {
        state.SkipWithError("DejaVuSans.ttf not found");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(font->Advance(kText));
    }
}
BENCHMARK(Advance);

// Opening a face and preparing the printable glyphs: once per font at
// start-up, again when the backing scale changes.
void LoadAndPrepare(benchmark::State& state) {
    std::string path;
    if (!QX::FindFontFile("DejaVuSans.ttf", path)) {
        state.SkipWithError("DejaVuSans.ttf not found");
        return;
    }
    for (auto _ : state) {
        QX::Font font(path, 12);
        font.SetScale(static_cast<int>(state.range(0)));
        benchmark::DoNotOptimize(font.generation());
    }
}
BENCHMARK(LoadAndPrepare)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace
