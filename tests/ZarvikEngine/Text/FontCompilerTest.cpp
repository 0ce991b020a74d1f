#include <algorithm>
#include <cmath>
#include <iostream>
#include <sstream>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include <gtest/gtest.h>

#include "FontTestHelpers.h"
#include "ZarvikEngine/Debug.h"
#include "ZarvikEngine/Text/GlyphCoverage.h"

namespace ZarvikEngine::Text {
namespace {

using ZarvikEngine::Test::compiledDejaVuSans;
using ZarvikEngine::Test::DejaVuSans;
using ZarvikEngine::Test::FreeSans;
using ZarvikEngine::Test::readFile;

constexpr int PixelsPerEm = 64;

/* A face of FreeType's own, for reference values and renderings */
class ReferenceFace {
public:
    /* FreeType reads the file as long as the face lives */
    explicit ReferenceFace(std::vector<char> file) : _file{std::move(file)} {
        EXPECT_EQ(FT_Init_FreeType(&_library), 0);
        EXPECT_EQ(FT_New_Memory_Face(_library, reinterpret_cast<const FT_Byte*>(_file.data()),
                                     FT_Long(_file.size()), 0, &_face),
                  0);
        EXPECT_EQ(FT_Set_Pixel_Sizes(_face, 0, PixelsPerEm), 0);
    }
    ~ReferenceFace() {
        FT_Done_Face(_face);
        FT_Done_FreeType(_library);
    }

    FT_Face operator->() const { return _face; }
    FT_Face get() const { return _face; }

private:
    std::vector<char> _file;
    FT_Library _library{};
    FT_Face _face{};
};

struct Agreement {
    /* Of our coverage and FreeType's, as fuzzy sets: the sum of the smaller over the sum of
       the larger */
    double intersectionOverUnion;
    /* Pixels FreeType covers wholly or not at all, away from the outline's edge, where we
       are more than half off, or one of our rays alone would be */
    int wrongAwayFromEdge;
};

/* Renders a glyph from our bands at the centre of each pixel of FreeType's unhinted
   rendering and two pixels around it; with an outline width, its outline layer against
   FreeType's rendering of the glyph grown by that much */
Agreement compareWithFreeType(const FontView& font, FT_Face face, unsigned index,
                              float outlineWidth) {
    EXPECT_EQ(FT_Load_Glyph(face, index, FT_LOAD_NO_HINTING), 0);
    const FT_GlyphSlot slot = face->glyph;
    /* Emboldening widens and heightens the glyph by the strength, its bottom left staying */
    if (outlineWidth != 0.0f) {
        const FT_Pos strength = FT_Pos(2.0f * outlineWidth * PixelsPerEm * 64);
        EXPECT_EQ(FT_Outline_Embolden(&slot->outline, strength), 0);
        FT_Outline_Translate(&slot->outline, -strength / 2, -strength / 2);
    }
    EXPECT_EQ(FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL), 0);
    const FT_Bitmap& bitmap = slot->bitmap;
    const GlyphRecord& glyph = font.glyphs()[index];
    constexpr int Margin = 2;
    double intersection = 0.0, union_ = 0.0;
    int wrong = 0;
    for (int row = -Margin; row != int(bitmap.rows) + Margin; ++row)
        for (int column = -Margin; column != int(bitmap.width) + Margin; ++column) {
            const bool inBitmap =
                row >= 0 && row < int(bitmap.rows) && column >= 0 && column < int(bitmap.width);
            const float theirs =
                inBitmap ? bitmap.buffer[row * bitmap.pitch + column] / 255.0f : 0.0f;
            const Vector2 centre{(float(slot->bitmap_left + column) + 0.5f) / PixelsPerEm,
                                 (float(slot->bitmap_top - row) - 0.5f) / PixelsPerEm};
            const float ours = outlineWidth != 0.0f
                                   ? outlineCoverage(font, glyph, centre, PixelsPerEm, outlineWidth)
                                   : coverage(font, glyph, centre, PixelsPerEm);
            intersection += std::min(ours, theirs);
            union_ += std::max(ours, theirs);
            /* Outlines bevel the corners that emboldening mitres, whole pixels apart */
            if ((theirs != 0.0f && theirs != 1.0f) || outlineWidth != 0.0f)
                continue;
            bool off = std::abs(ours - theirs) > 0.5f;
            for (const BandAxis axis : {BandAxis::Horizontal, BandAxis::Vertical}) {
                const float ray = rayWinding(font, glyph, centre, PixelsPerEm, axis).winding;
                off |= std::abs(std::min(std::abs(ray), 1.0f) - theirs) > 0.5f;
            }
            wrong += off;
        }
    return {union_ ? intersection / union_ : 1.0, wrong};
}

/* Every printable ASCII glyph and every stride-th glyph of the font */
std::vector<unsigned> glyphsToCheck(FT_Face face, unsigned others) {
    std::vector<unsigned> glyphs;
    for (char c = ' '; c <= '~'; ++c)
        glyphs.push_back(FT_Get_Char_Index(face, FT_ULong(c)));
    const unsigned stride = std::max(1u, unsigned(face->num_glyphs) / others);
    for (unsigned index = 0; index < unsigned(face->num_glyphs); index += stride)
        glyphs.push_back(index);
    return glyphs;
}

void expectRendersLikeFreeType(const char* path, const std::vector<char>& compiled, unsigned others,
                               double minimum, double mean, float outlineWidth = 0.0f) {
    const FontView font{compiled};
    const ReferenceFace face{readFile(path)};
    const std::vector<unsigned> glyphs = glyphsToCheck(face.get(), others);
    double min = 1.0, sum = 0.0;
    for (const unsigned index : glyphs) {
        const Agreement agreement = compareWithFreeType(font, face.get(), index, outlineWidth);
        EXPECT_GE(agreement.intersectionOverUnion, minimum) << "glyph " << index;
        EXPECT_EQ(agreement.wrongAwayFromEdge, 0) << "glyph " << index;
        min = std::min(min, agreement.intersectionOverUnion);
        sum += agreement.intersectionOverUnion;
    }
    EXPECT_GE(sum / glyphs.size(), mean);
    std::cout << path << ": intersection over union of " << glyphs.size()
              << " glyphs at 64 px per em, outline width " << outlineWidth << " em, min " << min
              << ", mean " << sum / glyphs.size() << std::endl;
}

TEST(FontCompiler, DejaVuSansKeepsMetricsOutlinesAndSource) {
    const std::vector<char> source = readFile(DejaVuSans);
    const std::vector<char>& compiled = compiledDejaVuSans();
    EXPECT_EQ(validateFont(compiled), std::nullopt);
    const FontView font{compiled};
    const ReferenceFace face{source};
    const float unitsPerEm = face->units_per_EM;

    const FontHeader& header = font.header();
    EXPECT_EQ(header.unitsPerEm(), unitsPerEm);
    EXPECT_EQ(header.ascender(), face->ascender / unitsPerEm);
    EXPECT_EQ(header.descender(), face->descender / unitsPerEm);
    EXPECT_EQ(header.lineGap(), (face->height - face->ascender + face->descender) / unitsPerEm);
    const GlyphRecord& h = font.glyphs()[FT_Get_Char_Index(face.get(), 'H')];
    EXPECT_NEAR(header.height(), h.boundsMax.y, 1.0f / unitsPerEm);
    EXPECT_EQ(font.glyphs().size(), std::size_t(face->num_glyphs));
    EXPECT_TRUE(
        std::equal(source.begin(), source.end(), font.fontFile().begin(), font.fontFile().end()));

    for (char c = ' '; c <= '~'; ++c) {
        const unsigned index = FT_Get_Char_Index(face.get(), FT_ULong(c));
        ASSERT_EQ(FT_Load_Glyph(face.get(), index, FT_LOAD_NO_SCALE), 0);
        EXPECT_EQ(font.glyphs()[index].advance, face->glyph->metrics.horiAdvance / unitsPerEm) << c;
    }
    EXPECT_EQ(font.glyphs()[FT_Get_Char_Index(face.get(), ' ')].curveCount, 0u);

    /* TrueType points are whole font units and the points between them, implied on-curve
       points and the control points of lines, halves: kept exactly, not approximated */
    for (const Curve& curve : font.curves())
        for (const Vector2& p : {curve.p0, curve.p1, curve.p2}) {
            const Vector2 halves = p * unitsPerEm * 2.0f;
            ASSERT_EQ(halves, glm::round(halves));
        }
}

TEST(FontCompiler, TrueTypeGlyphsRenderLikeFreeType) {
    expectRendersLikeFreeType(DejaVuSans, compiledDejaVuSans(), 300, 0.98, 0.98);
}

TEST(FontCompiler, OutlinesRenderLikeFreeTypesEmboldening) {
    /* Edges agree, but the distance read from the coverage over a window grows faster than
       the true one past a convex corner: emboldening's mitred corners come out bevelled, a
       few pixels each, which weighs most in small glyphs (periods, accents) and wide
       outlines */
    const struct {
        float width;
        double minimum, mean;
    } outlines[]{{1.0f / 32.0f, 0.75, 0.93}, {1.0f / 16.0f, 0.69, 0.91}, {1.0f / 8.0f, 0.6, 0.88}};
    for (const auto& outline : outlines)
        expectRendersLikeFreeType(DejaVuSans, compiledDejaVuSans(), 100, outline.minimum,
                                  outline.mean, outline.width);
}

TEST(FontCompiler, CffGlyphsRenderLikeFreeType) {
    const std::optional<std::vector<char>> compiled = compileFont(readFile(FreeSans));
    ASSERT_TRUE(compiled);
    EXPECT_EQ(validateFont(*compiled), std::nullopt);
    /* Small marks of this font, a few dozen pixels, differ from FreeType's by up to 0.15
       coverage in a few pixels along diagonals and curves */
    expectRendersLikeFreeType(FreeSans, *compiled, 200, 0.94, 0.98);
}

TEST(FontCompiler, FontFilesFromOutsideNeverCrash) {
    std::ostringstream out;
    {
        Error redirect{&out};
        EXPECT_FALSE(compileFont(std::vector<char>(100, 'x')));
    }
    EXPECT_EQ(out.str(), "Text::compileFont(): FreeType can't read the font, error 85\n");

    /* Cut or damaged, a font either fails with a message or compiles to one that validates */
    const std::vector<char> source = readFile(DejaVuSans);
    Error silence{nullptr};
    for (const std::size_t size : {12u, 400u, 4000u, 40000u, 400000u}) {
        const auto compiled = compileFont(std::span{source}.first(size));
        if (compiled) {
            EXPECT_EQ(validateFont(*compiled), std::nullopt) << size;
        }
    }
    /* The table directory and the first tables */
    for (std::size_t offset = 0; offset < 1000; offset += 37) {
        std::vector<char> damaged = source;
        damaged[offset] = char(damaged[offset] ^ 0x5a);
        const auto compiled = compileFont(damaged);
        if (compiled) {
            EXPECT_EQ(validateFont(*compiled), std::nullopt) << offset;
        }
    }
}

} // namespace
} // namespace ZarvikEngine::Text
