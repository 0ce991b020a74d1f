#include "ZarvikEngine/Text/FontCompiler.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include "ZarvikEngine/Debug.h"
#include "ZarvikEngine/Text/Font.h"

namespace ZarvikEngine::Text {

namespace {

struct LibraryDeleter {
    void operator()(FT_Library library) const { FT_Done_FreeType(library); }
};
struct FaceDeleter {
    void operator()(FT_Face face) const { FT_Done_Face(face); }
};

/* Splits a cubic at most this often, 1024 quadratics, whatever the tolerance asks */
constexpr int MaxCubicDepth = 10;

/* Collects one glyph's outline as quadratic curves in font units */
class OutlineCollector {
public:
    explicit OutlineCollector(double cubicTolerance) : _cubicTolerance{cubicTolerance} {}

    std::vector<glm::dvec2>& points() { return _points; }

    void clear() { _points.clear(); }

    void moveTo(glm::dvec2 to) { _at = to; }

    void lineTo(glm::dvec2 to) { quadraticTo((_at + to) * 0.5, to); }

    void quadraticTo(glm::dvec2 control, glm::dvec2 to) {
        /* Nothing to fill or cross in a curve that goes nowhere */
        if (!(control == _at && to == _at))
            _points.insert(_points.end(), {_at, control, to});
        _at = to;
    }

    void cubicTo(glm::dvec2 c1, glm::dvec2 c2, glm::dvec2 to, int depth = 0) {
        /* The quadratic through both ends with its control point where the tangents of the
           ends, extended, meet on average is within √3/36 of |p3 - 3p2 + 3p1 - p0| of the
           cubic; halving the cubic divides that by eight */
        const glm::dvec2 from = _at;
        const double error = std::sqrt(3.0) / 36.0 * glm::length(to - 3.0 * c2 + 3.0 * c1 - from);
        if (error <= _cubicTolerance || depth == MaxCubicDepth) {
            quadraticTo((3.0 * (c1 + c2) - from - to) * 0.25, to);
            return;
        }
        const glm::dvec2 a = (from + c1) * 0.5, b = (c1 + c2) * 0.5, c = (c2 + to) * 0.5;
        const glm::dvec2 ab = (a + b) * 0.5, bc = (b + c) * 0.5, middle = (ab + bc) * 0.5;
        cubicTo(a, ab, middle, depth + 1);
        cubicTo(bc, c, to, depth + 1);
    }

private:
    double _cubicTolerance;
    glm::dvec2 _at;
    std::vector<glm::dvec2> _points;
};

glm::dvec2 point(const FT_Vector* v) {
    return {double(v->x), double(v->y)};
}

OutlineCollector& collector(void* user) {
    return *static_cast<OutlineCollector*>(user);
}

constexpr FT_Outline_Funcs OutlineFunctions{
    [](const FT_Vector* to, void* user) {
        collector(user).moveTo(point(to));
        return 0;
    },
    [](const FT_Vector* to, void* user) {
        collector(user).lineTo(point(to));
        return 0;
    },
    [](const FT_Vector* control, const FT_Vector* to, void* user) {
        collector(user).quadraticTo(point(control), point(to));
        return 0;
    },
    [](const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
        collector(user).cubicTo(point(c1), point(c2), point(to));
        return 0;
    },
    0,
    0};

/* Files each curve of a glyph in the bands of one axis that its control points reach into,
   ordered for the renderer's early stop */
void addBands(FontSections& font, GlyphRecord& glyph, std::uint32_t bandCount, BandAxis axis) {
    /* Coordinates along the band axis (which band) and along the rays (how far) */
    const int across = axis == BandAxis::Horizontal ? 1 : 0;
    const int along = 1 - across;
    const std::span<const Curve> curves{font.curves.data() + glyph.firstCurve, glyph.curveCount};
    const auto extent = [](const Curve& curve, int coordinate) {
        return std::minmax({curve.p0[coordinate], curve.p1[coordinate], curve.p2[coordinate]});
    };

    std::vector<std::vector<std::uint32_t>> lists(bandCount);
    for (std::uint32_t i = 0; i != curves.size(); ++i) {
        const auto [low, high] = extent(curves[i], across);
        /* Parallel to the rays: never crossed */
        if (low == high)
            continue;
        const float min = glyph.boundsMin[across], max = glyph.boundsMax[across];
        for (std::uint32_t band = bandIndex(low, min, max, bandCount);
             band <= bandIndex(high, min, max, bandCount); ++band)
            lists[band].push_back(glyph.firstCurve + i);
    }
    for (std::vector<std::uint32_t>& list : lists) {
        std::stable_sort(list.begin(), list.end(), [&](std::uint32_t a, std::uint32_t b) {
            return extent(font.curves[a], along).second > extent(font.curves[b], along).second;
        });
        font.bands.push_back({std::uint32_t(font.bandCurves.size()), std::uint32_t(list.size())});
        font.bandCurves.insert(font.bandCurves.end(), list.begin(), list.end());
    }
}

GlyphRecord compileGlyph(FontSections& font, const std::vector<glm::dvec2>& points, double advance,
                         double unitsPerEm) {
    GlyphRecord glyph{};
    glyph.advance = float(advance / unitsPerEm);
    glyph.firstCurve = std::uint32_t(font.curves.size());
    glyph.curveCount = std::uint32_t(points.size() / 3);
    glyph.firstBand = std::uint32_t(font.bands.size());
    if (points.empty())
        return glyph;

    glyph.boundsMin = Vector2{INFINITY};
    glyph.boundsMax = Vector2{-INFINITY};
    for (std::size_t i = 0; i != points.size(); i += 3) {
        Curve curve;
        for (int j = 0; j != 3; ++j) {
            /* Divided, not multiplied by the inverse, so that each value is the em value
               rounded once */
            Vector2& p = (&curve.p0)[j];
            p = Vector2{points[i + j] / unitsPerEm};
            glyph.boundsMin = glm::min(glyph.boundsMin, p);
            glyph.boundsMax = glm::max(glyph.boundsMax, p);
        }
        font.curves.push_back(curve);
    }

    const std::uint32_t bandCount = std::clamp((glyph.curveCount + 3) / 4, 1u, MaxBands);
    glyph.horizontalBandCount = std::uint16_t(bandCount);
    glyph.verticalBandCount = std::uint16_t(bandCount);
    addBands(font, glyph, bandCount, BandAxis::Horizontal);
    addBands(font, glyph, bandCount, BandAxis::Vertical);
    return glyph;
}

/* Capital height from the OS/2 table where it has one, else the top of "H", else the
   ascender */
float capitalHeight(FT_Face face, const FontSections& font, float ascender) {
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && os2->version >= 2 && os2->version != 0xffff && os2->sCapHeight > 0)
        return float(os2->sCapHeight / double(face->units_per_EM));
    const FT_UInt h = FT_Get_Char_Index(face, 'H');
    if (h && h < font.glyphs.size() && font.glyphs[h].curveCount)
        return font.glyphs[h].boundsMax.y;
    return ascender;
}

} // namespace

std::optional<std::vector<char>> compileFont(std::span<const char> fontFile) {
    if (fontFile.size() > UINT32_MAX) {
        Error{} << "Text::compileFont(): a font file of" << fontFile.size()
                << "bytes is over 4 GiB";
        return {};
    }
    FT_Library rawLibrary;
    if (FT_Error error = FT_Init_FreeType(&rawLibrary)) {
        Error{} << "Text::compileFont(): FreeType can't start, error" << error;
        return {};
    }
    const std::unique_ptr<FT_LibraryRec_, LibraryDeleter> library{rawLibrary};
    FT_Face rawFace;
    if (FT_Error error =
            FT_New_Memory_Face(rawLibrary, reinterpret_cast<const FT_Byte*>(fontFile.data()),
                               FT_Long(fontFile.size()), 0, &rawFace)) {
        Error{} << "Text::compileFont(): FreeType can't read the font, error" << error;
        return {};
    }
    const std::unique_ptr<FT_FaceRec_, FaceDeleter> face{rawFace};
    if (!FT_IS_SCALABLE(rawFace) || rawFace->units_per_EM == 0) {
        Error{} << "Text::compileFont(): the font has no outlines";
        return {};
    }

    const double unitsPerEm = rawFace->units_per_EM;
    FontSections font{};
    font.fontFile = fontFile;
    font.glyphs.reserve(std::size_t(rawFace->num_glyphs));
    OutlineCollector outline{CubicTolerance * unitsPerEm};
    for (FT_Long index = 0; index != rawFace->num_glyphs; ++index) {
        const FT_GlyphSlot slot = rawFace->glyph;
        if (FT_Error error =
                FT_Load_Glyph(rawFace, FT_UInt(index),
                              FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP)) {
            Error{} << "Text::compileFont(): can't load glyph" << index << Debug::nospace
                    << ", FreeType error" << error;
            return {};
        }
        outline.clear();
        if (slot->format == FT_GLYPH_FORMAT_OUTLINE &&
            FT_Outline_Decompose(&slot->outline, &OutlineFunctions, &outline)) {
            Error{} << "Text::compileFont(): can't read the outline of glyph" << index;
            return {};
        }
        font.glyphs.push_back(
            compileGlyph(font, outline.points(), double(slot->metrics.horiAdvance), unitsPerEm));
    }

    const float ascender = float(rawFace->ascender / unitsPerEm);
    const float descender = float(rawFace->descender / unitsPerEm);
    const float lineGap =
        float((rawFace->height - (rawFace->ascender - rawFace->descender)) / unitsPerEm);
    font.metrics[0] = capitalHeight(rawFace, font, ascender);
    font.metrics[1] = ascender;
    font.metrics[2] = descender;
    font.metrics[3] = float(unitsPerEm);
    font.metrics[4] = lineGap;
    return writeFont(font);
}

} // namespace ZarvikEngine::Text
