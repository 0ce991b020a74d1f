#include <fstream>
#include <iterator>
#include <vector>

#include <benchmark/benchmark.h>

#include "ZarvikEngine/Text/Font.h"
#include "ZarvikEngine/Text/FontCompiler.h"

using namespace ZarvikEngine;

namespace {

/* All 6,253 glyphs of DejaVu Sans from fonts-dejavu-core, TrueType outlines */
void BM_CompileFont(benchmark::State& state) {
    std::ifstream file{"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", std::ios::binary};
    const std::vector<char> source{std::istreambuf_iterator<char>{file}, {}};
    std::size_t glyphs = 0, bytes = 0;
    for (auto _ : state) {
        const std::optional<std::vector<char>> font = Text::compileFont(source);
        if (!font) {
            state.SkipWithError("DejaVu Sans doesn't compile");
            return;
        }
        glyphs = Text::FontView{*font}.glyphs().size();
        bytes = font->size();
        benchmark::DoNotOptimize(font->data());
    }
    state.counters["glyphs_per_second"] =
        benchmark::Counter(double(state.iterations() * glyphs), benchmark::Counter::kIsRate);
    state.counters["glyphs"] = double(glyphs);
    state.counters["bytes"] = double(bytes);
}

} // namespace

BENCHMARK(BM_CompileFont)->Unit(benchmark::kMillisecond);
