#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <hb.h>

#include "BenchmarkTiming.h"
#include "ZarvikEngine/Text/Font.h"
#include "ZarvikEngine/Text/FontCompiler.h"
#include "ZarvikEngine/Text/Layout.h"

using namespace ZarvikEngine;

namespace {

/* DejaVu Sans from fonts-dejavu-core: 6,253 glyphs, TrueType outlines */
std::vector<char> dejaVuSans() {
    std::ifstream file{"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", std::ios::binary};
    return {std::istreambuf_iterator<char>{file}, {}};
}

void BM_CompileFont(benchmark::State& state) {
    const std::vector<char> source = dejaVuSans();
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

/* A paragraph of 10,000 characters: words of 1 to 12 letters from a fixed sequence, with
   capitals, commas and full stops, as prose has */
std::string paragraph() {
    std::string text;
    std::uint32_t state = 12345;
    const auto next = [&](std::uint32_t range) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % range;
    };
    bool sentenceStart = true;
    while (text.size() < 10000) {
        const std::uint32_t length = 1 + next(12);
        for (std::uint32_t i = 0; i != length; ++i)
            text += char((sentenceStart && i == 0 ? 'A' : 'a') + next(26));
        sentenceStart = next(10) == 0;
        text += sentenceStart ? ". " : next(8) == 0 ? ", " : " ";
    }
    text.resize(10000);
    return text;
}

/* The paragraph laid out with soft wrapping at 30 em and its geometry written, as a text
   component's mesh is built, against HarfBuzz shaping the same text alone */
void BM_TextLayout(benchmark::State& state) {
    const std::optional<std::vector<char>> compiled = Text::compileFont(dejaVuSans());
    if (!compiled) {
        state.SkipWithError("DejaVu Sans doesn't compile");
        return;
    }
    const Text::FontView font{*compiled};
    Text::Shaper shaper{font};
    const std::string text = paragraph();

    hb_blob_t* blob = hb_blob_create(font.fontFile().data(), unsigned(font.fontFile().size()),
                                     HB_MEMORY_MODE_READONLY, nullptr, nullptr);
    hb_face_t* face = hb_face_create(blob, 0);
    hb_font_t* hbFont = hb_font_create(face);
    hb_buffer_t* buffer = hb_buffer_create();

    Text::LayoutSettings settings;
    settings.scale = {0.1f, -0.1f};
    settings.lineSpacing = 1.2f;
    settings.wrapWidth = 30.0f;
    std::size_t lines = 0, vertices = 0;
    Bench::RatioTiming timing;
    for (auto _ : state)
        timing.run(
            state,
            [&] {
                Text::TextLayout layout{font, shaper, settings};
                std::vector<Text::LineRecord> lineRecords(text.size() + 1);
                lines = layout.breakLines(text, lineRecords);
                const std::size_t vertexCount = layout.vertexCount(),
                                  indexCount = 3 * layout.triangleCount();
                const auto vertexData =
                    std::make_unique_for_overwrite<Text::TextVertex[]>(vertexCount);
                const auto indices = std::make_unique_for_overwrite<std::uint16_t[]>(indexCount);
                vertices =
                    layout
                        .writeGeometry({vertexData.get(), vertexCount}, {indices.get(), indexCount})
                        .vertices;
                benchmark::DoNotOptimize(vertexData.get());
            },
            [&] {
                hb_buffer_clear_contents(buffer);
                hb_buffer_add_utf8(buffer, text.data(), int(text.size()), 0, int(text.size()));
                hb_buffer_guess_segment_properties(buffer);
                hb_shape(hbFont, buffer, nullptr, 0);
                benchmark::DoNotOptimize(hb_buffer_get_glyph_positions(buffer, nullptr));
            });
    hb_buffer_destroy(buffer);
    hb_font_destroy(hbFont);
    hb_face_destroy(face);
    hb_blob_destroy(blob);

    state.counters["chars_per_second"] = double(text.size()) / timing.measuredMedianSeconds();
    state.counters["ratio_to_harfbuzz"] = timing.ratio();
    state.counters["harfbuzz_ms"] = 1000.0 * timing.referenceMedianSeconds();
    state.counters["lines"] = double(lines);
    state.counters["vertices"] = double(vertices);
}

} // namespace

BENCHMARK(BM_CompileFont)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TextLayout)->UseManualTime()->Unit(benchmark::kMillisecond);
