#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FontTestHelpers.h"
#include "ZarvikEngine/Text/GlyphCoverage.h"
#include "ZarvikEngine/Text/Layout.h"
#include "ZarvikEngine/Trade/ImageDecoding.h"

namespace ZarvikEngine::Text {
namespace {

class TextLayoutTest : public ::testing::Test {
protected:
    struct Result {
        std::vector<LineRecord> lines;
        std::vector<TextVertex> vertices;
        std::vector<std::uint16_t> indices;
        Range2D bounds;
    };

    Result layOut(std::string_view text, const LayoutSettings& settings,
                  std::size_t maxLines = 64) {
        TextLayout layout{font, shaper, settings};
        Result result;
        result.lines.resize(maxLines);
        result.lines.resize(layout.breakLines(text, result.lines));
        result.vertices.resize(layout.vertexCount());
        result.indices.resize(3 * layout.triangleCount());
        const TextLayout::Written written = layout.writeGeometry(result.vertices, result.indices);
        EXPECT_EQ(written.vertices, result.vertices.size());
        EXPECT_EQ(3 * written.triangles, result.indices.size());
        result.bounds = layout.bounds();
        return result;
    }

    /* The text of each line */
    static std::vector<std::string> lineTexts(std::string_view text, const Result& result) {
        std::vector<std::string> out;
        for (const LineRecord& line : result.lines)
            out.emplace_back(text.substr(line.textBegin, line.textEnd - line.textBegin));
        return out;
    }

    float advanceOf(std::string_view text) {
        float advance = 0.0f;
        for (const ShapedGlyph& glyph : shaper.shape(text))
            advance += glyph.advance.x;
        return advance;
    }

    /* The glyph a quad draws */
    const GlyphRecord& glyphOf(const TextVertex& vertex) const {
        for (const GlyphRecord& glyph : font.glyphs())
            if (glyph.curveCount && float(glyph.firstBand) == vertex.bands.x)
                return glyph;
        ADD_FAILURE() << "no glyph has band " << vertex.bands.x;
        return font.glyphs()[0];
    }

    /* Where the pen stands after the last glyph on a line of a layout at unit scale: the
       rightmost origin plus that glyph's advance */
    float lineEnd(const Result& result, std::size_t line) const {
        float end = -INFINITY;
        for (std::size_t quad = 0; quad != result.vertices.size() / 4; ++quad) {
            const TextVertex& vertex = result.vertices[4 * quad];
            if (vertex.position.y + vertex.emCoordinates.y == result.lines[line].baseline)
                end = std::max(end, vertex.position.x - vertex.emCoordinates.x +
                                        glyphOf(vertex).advance);
        }
        return end;
    }

    const FontView font{ZarvikEngine::Test::compiledDejaVuSans()};
    Shaper shaper{font};
};

TEST_F(TextLayoutTest, QuadsCarryTheGlyphAndItsPlace) {
    LayoutSettings settings;
    settings.scale = {0.5f, -0.25f};
    settings.color = 0x80402010u;
    const Result result = layOut("Ab", settings);
    ASSERT_EQ(result.lines.size(), 1u);
    EXPECT_EQ(result.lines[0].glyphCount, 2u);
    ASSERT_EQ(result.vertices.size(), 8u);
    ASSERT_EQ(result.indices.size(), 12u);

    const std::vector<ShapedGlyph> shaped = shaper.shape("Ab");
    EXPECT_FLOAT_EQ(result.lines[0].width, shaped[0].advance.x + shaped[1].advance.x);
    for (std::size_t quad = 0; quad != 2; ++quad) {
        const GlyphRecord& glyph = font.glyphs()[shaped[quad].glyph];
        const float originX = quad == 0 ? 0.0f : shaped[0].advance.x;
        Vector2 emMin{INFINITY}, emMax{-INFINITY};
        for (std::size_t corner = 0; corner != 4; ++corner) {
            const TextVertex& vertex = result.vertices[4 * quad + corner];
            emMin = glm::min(emMin, vertex.emCoordinates);
            emMax = glm::max(emMax, vertex.emCoordinates);
            /* Layout y points down and the scale mirrors it up again */
            EXPECT_FLOAT_EQ(vertex.position.x, (originX + vertex.emCoordinates.x) * 0.5f);
            EXPECT_FLOAT_EQ(vertex.position.y, vertex.emCoordinates.y * 0.25f);
            EXPECT_EQ(vertex.bandBounds, Vector4(glyph.boundsMin, glyph.boundsMax));
            EXPECT_EQ(vertex.bands, Vector4(float(glyph.firstBand), glyph.horizontalBandCount,
                                            glyph.verticalBandCount, 0.0f));
            /* Moving a corner outward by one scene unit moves its em coordinates outward by
               dilation.zw em */
            const Vector2 outward =
                Vector2{vertex.dilation} * Vector2{vertex.dilation.z, vertex.dilation.w};
            EXPECT_EQ(glm::sign(outward), glm::sign(vertex.emCoordinates - glyph.boundsMin -
                                                    0.5f * (glyph.boundsMax - glyph.boundsMin)));
            EXPECT_EQ(Vector2(vertex.dilation.z, vertex.dilation.w), Vector2(2.0f, 4.0f));
            EXPECT_EQ(vertex.color, Vector4ub(0x10, 0x20, 0x40, 0x80));
        }
        EXPECT_EQ(emMin, glyph.boundsMin);
        EXPECT_EQ(emMax, glyph.boundsMax);
    }
    /* Both triangles of each quad turn counter-clockwise in scene space */
    for (std::size_t triangle = 0; triangle != 4; ++triangle) {
        const Vector2 a = result.vertices[result.indices[3 * triangle]].position,
                      b = result.vertices[result.indices[3 * triangle + 1]].position,
                      c = result.vertices[result.indices[3 * triangle + 2]].position;
        const Vector2 ab = b - a, ac = c - a;
        EXPECT_GT(ab.x * ac.y - ab.y * ac.x, 0.0f) << triangle;
    }
    /* Bounds: from the A's left to the b's right, from the baseline's descent to the top */
    const GlyphRecord& a = font.glyphs()[shaped[0].glyph];
    const GlyphRecord& b = font.glyphs()[shaped[1].glyph];
    EXPECT_FLOAT_EQ(result.bounds.min().x, a.boundsMin.x * 0.5f);
    EXPECT_FLOAT_EQ(result.bounds.max().x, (shaped[0].advance.x + b.boundsMax.x) * 0.5f);
    EXPECT_FLOAT_EQ(result.bounds.max().y, std::max(a.boundsMax.y, b.boundsMax.y) * 0.25f);
}

TEST_F(TextLayoutTest, LinesEndAtLineBreaks) {
    const std::string text = "one\r\ntwo\n\nthree\n";
    const Result result = layOut(text, {});
    EXPECT_EQ(lineTexts(text, result),
              (std::vector<std::string>{"one\r\n", "two\n", "\n", "three\n", ""}));
    for (std::size_t i = 0; i != result.lines.size(); ++i)
        EXPECT_EQ(result.lines[i].baseline, float(i));
    /* Line breaks draw nothing */
    EXPECT_EQ(result.vertices.size(), 4u * 11u);

    const Result empty = layOut("", {});
    ASSERT_EQ(empty.lines.size(), 1u);
    EXPECT_EQ(empty.lines[0].glyphCount, 0u);
    EXPECT_TRUE(empty.vertices.empty());
    EXPECT_EQ(empty.bounds, Range2D{});

    /* Lines past the buffer are left out */
    const Result two = layOut(text, {}, 2);
    EXPECT_EQ(lineTexts(text, two), (std::vector<std::string>{"one\r\n", "two\n"}));
    EXPECT_EQ(two.vertices.size(), 4u * 6u);
}

TEST_F(TextLayoutTest, WrappingBreaksAtOpportunitiesOrAnywhere) {
    const std::string text = "aaa bbb  ccc unbreakableword";
    LayoutSettings settings;
    settings.wrapWidth = advanceOf("aaa bbb") + 0.01f;
    const Result soft = layOut(text, settings);
    /* Spaces hang at the end of their line; a word longer than a line breaks inside */
    EXPECT_EQ(lineTexts(text, soft),
              (std::vector<std::string>{"aaa bbb  ", "ccc ", "unbrea", "kablew", "ord"}));
    EXPECT_FLOAT_EQ(soft.lines[0].width, advanceOf("aaa bbb"));
    for (const LineRecord& line : soft.lines)
        EXPECT_LE(line.width, settings.wrapWidth);

    settings.breakAtOpportunities = false;
    const Result hard = layOut(text, settings);
    EXPECT_EQ(lineTexts(text, hard),
              (std::vector<std::string>{"aaa bbb  ", "ccc unb", "reakabl", "eword"}));

    /* Tracking widens every character */
    settings.tracking = 0.25f;
    const Result tracked = layOut(text, settings);
    EXPECT_FLOAT_EQ(tracked.lines[0].width, advanceOf("aaa b") + 4 * 0.25f);

    /* A glyph wider than the whole line still gets one */
    settings.tracking = 0.0f;
    settings.wrapWidth = 0.01f;
    EXPECT_EQ(lineTexts("ab", layOut("ab", settings)), (std::vector<std::string>{"a", "b"}));
}

TEST_F(TextLayoutTest, AlignmentJustificationAndVerticalMoves) {
    const std::string text = "aaa b ccc dd eeeeeeeeee";
    LayoutSettings settings;
    settings.wrapWidth = advanceOf("aaa b ccc dd") + 0.01f;
    settings.justify = true;
    const float width = settings.wrapWidth;
    for (const Alignment alignment : {Alignment::Left, Alignment::Center, Alignment::Right}) {
        settings.alignment = alignment;
        const Result result = layOut(text, settings);
        ASSERT_EQ(result.lines.size(), 2u);
        /* The wrapped line fills the width, its three spaces sharing what was left */
        const float start = alignment == Alignment::Left     ? 0.0f
                            : alignment == Alignment::Center ? -0.5f * width
                                                             : -width;
        EXPECT_FLOAT_EQ(result.lines[0].x, start);
        EXPECT_FLOAT_EQ(result.lines[0].justification, (width - advanceOf("aaa b ccc dd")) / 3);
        EXPECT_NEAR(lineEnd(result, 0), start + width, 1e-5f);
        /* The last line isn't justified */
        const float last = advanceOf("eeeeeeeeee");
        EXPECT_EQ(result.lines[1].justification, 0.0f);
        EXPECT_NEAR(lineEnd(result, 1),
                    alignment == Alignment::Left     ? last
                    : alignment == Alignment::Center ? 0.5f * last
                                                     : 0.0f,
                    1e-5f);
    }

    TextLayout layout{font, shaper, settings};
    std::vector<LineRecord> lines(4);
    ASSERT_EQ(layout.breakLines(text, lines), 2u);
    const Range2D before = layout.bounds();
    layout.moveDown(2.5f);
    EXPECT_EQ(lines[1].baseline, 3.5f);
    EXPECT_FLOAT_EQ(layout.bounds().min().y, before.min().y + 2.5f);
}

TEST_F(TextLayoutTest, ClippingCutsQuadsAtTheSpan) {
    LayoutSettings settings;
    settings.clip = true;
    const float wWidth = advanceOf("W");
    settings.clipMin = -1.0f;
    settings.clipMax = wWidth + 0.5f * advanceOf("W");
    const Result result = layOut("WWW", settings);
    /* The third W lies beyond the span and the second is cut through its middle */
    ASSERT_EQ(result.vertices.size(), 8u);
    EXPECT_FLOAT_EQ(result.bounds.max().x, settings.clipMax);
    for (std::size_t corner = 4; corner != 8; ++corner) {
        const TextVertex& vertex = result.vertices[corner];
        if (vertex.position.x == settings.clipMax)
            EXPECT_EQ(vertex.dilation.x, 0.0f) << "a cut side isn't dilated past the span";
        else
            EXPECT_EQ(vertex.dilation.x, -1.0f);
    }
    settings.clipMax = -0.5f;
    EXPECT_TRUE(layOut("WWW", settings).vertices.empty());
}

TEST_F(TextLayoutTest, OutlineLayerComesFirstAndWider) {
    LayoutSettings settings;
    settings.effect = Effect::Outline;
    const Result outlined = layOut("ox", settings);
    const Result plain = layOut("ox", {});
    ASSERT_EQ(outlined.vertices.size(), 2 * plain.vertices.size());
    for (std::size_t i = 0; i != plain.vertices.size(); ++i) {
        const TextVertex& outline = outlined.vertices[i];
        const TextVertex& fill = outlined.vertices[plain.vertices.size() + i];
        EXPECT_EQ(outline.bands.w, OutlineWidth);
        EXPECT_EQ(fill.bands.w, 0.0f);
        EXPECT_EQ(outline.color, Vector4ub(0, 0, 0, 255));
        EXPECT_EQ(fill.color, Vector4ub(255));
        EXPECT_EQ(fill.position, plain.vertices[i].position);
        EXPECT_FLOAT_EQ(glm::length(outline.emCoordinates - fill.emCoordinates),
                        OutlineWidth * std::sqrt(2.0f));
    }
    EXPECT_FLOAT_EQ(outlined.bounds.min().x, plain.bounds.min().x - OutlineWidth);
    EXPECT_FLOAT_EQ(outlined.bounds.max().y, plain.bounds.max().y + OutlineWidth);
}

TEST_F(TextLayoutTest, RightToLeftLinesTakeTheirWordsInReadingOrder) {
    /* Three Hebrew words; the first line holds the first two, drawn from the right */
    const std::string text = "\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d \xd7\xa2\xd7\x95\xd7\x9c\xd7\x9d "
                             "\xd7\x98\xd7\x95\xd7\x91";
    LayoutSettings settings;
    settings.wrapWidth = advanceOf(text.substr(0, 17)) + 0.01f;
    const Result result = layOut(text, settings);
    ASSERT_EQ(lineTexts(text, result),
              (std::vector<std::string>{text.substr(0, 18), text.substr(18)}));
    /* Each line's first letter, shin and tet, is its rightmost glyph */
    for (const std::size_t line : {0, 1}) {
        const std::vector<ShapedGlyph> first =
            shaper.shape(text.substr(result.lines[line].textBegin, 2));
        const GlyphRecord& expected = font.glyphs()[first[0].glyph];
        const TextVertex* rightmost = nullptr;
        for (const TextVertex& vertex : result.vertices)
            if (vertex.position.y + vertex.emCoordinates.y == result.lines[line].baseline &&
                (!rightmost || vertex.position.x > rightmost->position.x))
                rightmost = &vertex;
        ASSERT_TRUE(rightmost);
        EXPECT_EQ(rightmost->bandBounds, Vector4(expected.boundsMin, expected.boundsMax)) << line;
    }
}

TEST_F(TextLayoutTest, GeometryStopsWhereSixteenBitIndicesEnd) {
    TextLayout layout{font, shaper, {}};
    std::vector<LineRecord> lines(1);
    layout.breakLines(std::string(20000, 'x'), lines);
    EXPECT_EQ(layout.vertexCount(), 80000u);
    std::vector<TextVertex> vertices(layout.vertexCount());
    std::vector<std::uint16_t> indices(3 * layout.triangleCount());
    const TextLayout::Written written = layout.writeGeometry(vertices, indices);
    EXPECT_EQ(written.vertices, 65536u);
    EXPECT_EQ(written.triangles, 32768u);
    EXPECT_EQ(*std::max_element(indices.begin(), indices.begin() + 3 * 32768), 65535);

    /* And where the buffers end */
    EXPECT_EQ(layout.writeGeometry(std::span{vertices}.first(10), indices).vertices, 8u);
}

TEST_F(TextLayoutTest, GlyphsTheCompiledFontLacksBecomeTheMissingGlyph) {
    /* The source font's outlines, with the first glyphCount records of the compiled table */
    const auto truncatedTo = [&](std::size_t glyphCount) {
        FontSections sections{{},
                              {font.glyphs().begin(), font.glyphs().begin() + glyphCount},
                              {font.curves().begin(), font.curves().end()},
                              {font.bands().begin(), font.bands().end()},
                              {font.bandCurves().begin(), font.bandCurves().end()},
                              font.fontFile()};
        for (int i = 0; i != 5; ++i)
            sections.metrics[i] = font.header().metrics[i].value;
        std::vector<char> bytes = writeFont(sections);
        EXPECT_EQ(validateFont(bytes), std::nullopt);
        return bytes;
    };
    const auto layOutZ = [](const FontView& truncated) {
        Shaper truncatedShaper{truncated};
        TextLayout layout{truncated, truncatedShaper, {}};
        std::vector<LineRecord> lines(1);
        layout.breakLines("z", lines);
        std::vector<TextVertex> vertices(layout.vertexCount());
        std::vector<std::uint16_t> indices(3 * layout.triangleCount());
        layout.writeGeometry(vertices, indices);
        return vertices;
    };

    const std::vector<char> forty = truncatedTo(40);
    const std::vector<TextVertex> vertices = layOutZ(FontView{forty});
    ASSERT_EQ(vertices.size(), 4u);
    EXPECT_EQ(vertices[0].bands.x, float(FontView{forty}.glyphs()[0].firstBand));
    /* Without glyphs there is no glyph 0 either */
    EXPECT_TRUE(layOutZ(FontView{truncatedTo(0)}).empty());
}

/* HarfBuzz's own renderer draws the same text from the same outlines: our quads, rendered as
   the fragment shader would, must cover the same pixels */
TEST_F(TextLayoutTest, RenderingAgreesWithHarfBuzzsRenderer) {
    constexpr float PixelsPerEm = 64.0f;
    const std::string text = "AVA office Wave, 0.5 qj";
    const std::string png = testing::TempDir() + "layout-reference.png";
    const std::string command = "hb-view --font-size=64 --margin=0 -O png -o " + png + " " +
                                ZarvikEngine::Test::DejaVuSans + " '" + text + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const std::vector<char> file = ZarvikEngine::Test::readFile(png.c_str());
    const std::optional<Trade::ImageData2D> image = Trade::decodeImage(file, png);
    ASSERT_TRUE(image);
    const Vector2i size = image->size();
    const std::size_t channels = image->data().size() / (std::size_t(size.x) * size.y);
    /* Black on white, rows from the bottom up */
    std::vector<float> reference(std::size_t(size.x) * size.y);
    for (int y = 0; y != size.y; ++y)
        for (int x = 0; x != size.x; ++x)
            reference[std::size_t(y) * size.x + x] =
                1.0f -
                float(std::uint8_t(image->data()[channels * (std::size_t(y) * size.x + x)])) /
                    255.0f;

    LayoutSettings settings;
    settings.scale = {PixelsPerEm, -PixelsPerEm};
    const Result laidOut = layOut(text, settings);
    /* The image's width is the text's advance and its baseline lies at the ascender */
    EXPECT_NEAR(float(size.x), laidOut.lines[0].width * PixelsPerEm, 1.0f);
    /* Our quads rendered pixel by pixel as the fragment shader would, with the baseline
       origin at a point of the image */
    const auto render = [&](Vector2 origin) {
        std::vector<float> ours(reference.size());
        for (std::size_t quad = 0; quad != laidOut.vertices.size() / 4; ++quad) {
            const TextVertex* corners = &laidOut.vertices[4 * quad];
            const GlyphRecord& glyph = glyphOf(corners[0]);
            const Vector2 glyphOrigin =
                origin + corners[0].position - corners[0].emCoordinates * PixelsPerEm;
            const Vector2i min =
                glm::max(Vector2i{glm::floor(glyphOrigin + corners[0].emCoordinates * PixelsPerEm)},
                         Vector2i{0});
            const Vector2i max = glm::min(
                Vector2i{glm::ceil(glyphOrigin + corners[2].emCoordinates * PixelsPerEm)}, size);
            for (int y = min.y; y < max.y; ++y)
                for (int x = min.x; x < max.x; ++x) {
                    const Vector2 centre =
                        (Vector2{float(x), float(y)} + 0.5f - glyphOrigin) / PixelsPerEm;
                    float& pixel = ours[std::size_t(y) * size.x + x];
                    pixel = std::min(pixel + coverage(font, glyph, centre, PixelsPerEm), 1.0f);
                }
        }
        return ours;
    };
    struct Agreement {
        double iou;
        std::size_t far;
    };
    /* Coverages as fuzzy sets: the sum of the smaller over the sum of the larger */
    const auto agreement = [&](const std::vector<float>& ours) {
        double intersection = 0.0, union_ = 0.0;
        std::size_t far = 0;
        for (std::size_t i = 0; i != ours.size(); ++i) {
            intersection += std::min(ours[i], reference[i]);
            union_ += std::max(ours[i], reference[i]);
            far += std::abs(ours[i] - reference[i]) > 0.5f;
        }
        return Agreement{intersection / union_, far};
    };

    /* The renderer puts the baseline a rounded ascender below the top and each glyph at a
       whole pixel, so edges may lie up to half a pixel apart */
    const Agreement agreed = agreement(
        render({0.0f, float(size.y) - std::round(font.header().ascender() * PixelsPerEm)}));
    std::size_t ink = 0;
    for (const float pixel : reference)
        ink += pixel > 0.5f;
    EXPECT_GT(agreed.iou, 0.9);
    EXPECT_LT(agreed.far, ink / 100) << "pixels wrong by more than half";
    RecordProperty("IoU", std::to_string(agreed.iou));
}

} // namespace
} // namespace ZarvikEngine::Text
