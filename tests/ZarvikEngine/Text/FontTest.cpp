#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

#include "FontTestHelpers.h"
#include "TestHelpers.h"
#include "ZarvikEngine/Data/AssetTestHelpers.h"
#include "ZarvikEngine/Data/RenderingRecords.h"
#include "ZarvikEngine/Text/GlyphCoverage.h"

namespace ZarvikEngine::Text {
namespace {

/* The first glyphs of compiled DejaVu Sans, with their curves and bands, which come first in
   each section, and a short stand-in for the font file */
std::vector<char> firstGlyphs(std::uint32_t count) {
    const FontView font{ZarvikEngine::Test::compiledDejaVuSans()};
    const GlyphRecord& next = font.glyphs()[count];
    FontSections sections{{font.header().height(), font.header().ascender(),
                           font.header().descender(), font.header().unitsPerEm(),
                           font.header().lineGap()},
                          {font.glyphs().begin(), font.glyphs().begin() + count},
                          {font.curves().begin(), font.curves().begin() + next.firstCurve},
                          {font.bands().begin(), font.bands().begin() + next.firstBand},
                          {},
                          std::string_view{"font"}};
    sections.bandCurves.assign(font.bandCurves().begin(),
                               font.bandCurves().begin() +
                                   font.bands()[next.firstBand].firstCurveIndex);
    return writeFont(sections);
}

/* Renders every glyph over its bounds and a little around */
void renderAll(std::span<const char> bytes) {
    const FontView font{bytes};
    float sum = 0.0f;
    for (const GlyphRecord& glyph : font.glyphs())
        for (float x = -0.25f; x <= 1.25f; x += 0.25f)
            for (float y = -0.25f; y <= 1.25f; y += 0.25f)
                sum += coverage(font, glyph,
                                glm::mix(glyph.boundsMin, glyph.boundsMax, Vector2{x, y}), 16.0f);
    ZarvikEngine::Test::byteSum = ZarvikEngine::Test::byteSum + unsigned(std::isfinite(sum));
    ZarvikEngine::Test::touch(font.fontFile());
}

TEST(Font, ValidationGuardsRendering) {
    /* .notdef, its two boxes, and a few more */
    const std::vector<char> font = firstGlyphs(6);
    ASSERT_GT(FontView{font}.curves().size(), 8u);
    EXPECT_GT(ZarvikEngine::Test::expectValidationGuardsReaders<Data::FontData>(font, renderAll),
              0u);
}

TEST(Font, ValidationNamesTheProblem) {
    const std::vector<char> font = firstGlyphs(2);
    const auto changed = [&font](std::size_t offset, auto value) {
        std::vector<char> out = font;
        std::memcpy(out.data() + offset, &value, sizeof(value));
        return out;
    };
    const std::size_t glyphs = sizeof(FontHeader);
    const std::size_t curves = glyphs + 2 * sizeof(GlyphRecord);
    const std::size_t bands = curves + FontView{font}.curves().size() * sizeof(Curve);
    const std::size_t bandCurves = bands + FontView{font}.bands().size() * sizeof(Band);
    const std::uint32_t notdefCurves = FontView{font}.glyphs()[0].curveCount;
    std::vector<char> grown = font;
    grown.resize(grown.size() + 4);

    const std::vector<std::pair<std::vector<char>, std::string>> cases{
        {font, "accepted"},
        {std::vector<char>(font.begin(), font.begin() + 67),
         "compiled font of 67 bytes is smaller than its header of 68 bytes"},
        {changed(0, 'X'), "not a compiled font"},
        {changed(4, std::uint32_t{2}), "compiled font version 2, expected 1"},
        {changed(8, 'h'), "metric 0 is not HITE"},
        {changed(12, NAN), "metric HITE is not within ±65536"},
        {changed(36, 0.0f), "units per em not above 0"},
        {grown, "compiled font of " + std::to_string(grown.size()) + " bytes, its counts make " +
                    std::to_string(font.size())},
        {changed(curves + 4, INFINITY), "curve 0 is not within ±65536 em"},
        /* Finite, but its square in pixels overflows */
        {changed(curves + 8, -1.0e30f), "curve 0 is not within ±65536 em"},
        {changed(glyphs + 4, 1.0e6f), "glyph 0 has bounds or an advance out of order"},
        {changed(glyphs + offsetof(GlyphRecord, curveCount), std::uint32_t{1000}),
         "glyph 0 has curves 0 to 1000 of " + std::to_string(FontView{font}.curves().size())},
        {changed(glyphs + offsetof(GlyphRecord, horizontalBandCount), std::uint16_t{0}),
         "glyph 0 has curves but no bands on one axis"},
        {changed(bands + 4, std::uint32_t{1000}),
         "band 0 of glyph 0 lists curves 0 to 1000 of " +
             std::to_string(FontView{font}.bandCurves().size())},
        {changed(bandCurves, notdefCurves), "band 0 of glyph 0 lists curve " +
                                                std::to_string(notdefCurves) +
                                                ", not one of the glyph's"},
    };
    for (const auto& [bytes, message] : cases)
        EXPECT_EQ(Data::FontData::validate(bytes).value_or("accepted"), message);
}

TEST(FontDeathTest, RecordHoldsTheCompiledFont) {
    const std::vector<char> font = firstGlyphs(3);
    EXPECT_EQ(Data::createFontData(font), font);
    const Data::FontData record{font};
    EXPECT_EQ(record.header().glyphCount, 3u);
    EXPECT_EQ(record.header().height(),
              FontView{ZarvikEngine::Test::compiledDejaVuSans()}.header().height());
    EXPECT_EQ(record.slug().size(), font.size());
    ZE_EXPECT_ABORT(Data::createFontData(std::span{font}.first(font.size() - 1)),
                    "createFontData(): compiled font of " + std::to_string(font.size() - 1) +
                        " bytes, its counts make " + std::to_string(font.size()));
}

} // namespace
} // namespace ZarvikEngine::Text
