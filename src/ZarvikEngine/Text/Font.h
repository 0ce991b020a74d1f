#ifndef ZarvikEngine_Text_Font_h
#define ZarvikEngine_Text_Font_h

/* The compiled font: everything a band-method fragment shader reads to render glyphs
   straight from their outlines, and the source font file for shaping. All values are
   little-endian and every section starts 4-byte aligned, one after the other:

   - FontHeader at offset 0: metrics in em units and the count of each section;
   - glyphCount GlyphRecords, indexed by the source font's glyph index;
   - curveCount Curves: the quadratic Bézier curves of all outlines in em units, each glyph's
     contours one after the other;
   - bandCount Bands: each glyph's horizontal bands from its bottom up, then its vertical
     bands from its left on, equally wide over the glyph's bounds;
   - bandCurveCount 32-bit curve indices the bands point into. A horizontal band lists the
     curves whose control points reach into it, by descending largest x, so that a ray to +x
     stops at the first curve entirely to its left; a vertical band likewise by descending
     largest y. Curves parallel to a band's rays are left out of it;
   - fontFileSize bytes of the source font file, zero-padded to a multiple of 4. */

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ZarvikEngine/Math.h"

namespace ZarvikEngine::Text {

/* A metric of the header, tagged so that readers of the file can tell them apart */
struct FontMetric {
    char tag[4];
    float value;
};

struct FontHeader {
    char magic[4];
    std::uint32_t version;
    /* HITE: capital letter height, which tops a block of text; ASCN and DSCN: ascender and
       (negative) descender; UPEM: font units per em of the source; LGAP: the line gap. All
       but UPEM are in em units. */
    FontMetric metrics[5];
    std::uint32_t glyphCount;
    std::uint32_t curveCount;
    std::uint32_t bandCount;
    std::uint32_t bandCurveCount;
    std::uint32_t fontFileSize;

    float height() const { return metrics[0].value; }
    float ascender() const { return metrics[1].value; }
    float descender() const { return metrics[2].value; }
    float unitsPerEm() const { return metrics[3].value; }
    float lineGap() const { return metrics[4].value; }
};
static_assert(sizeof(FontHeader) == 68);

constexpr char FontMagic[4] = {'Z', 'F', 'N', 'T'};
constexpr std::uint32_t FontVersion = 1;
constexpr char FontMetricTags[5][4] = {{'H', 'I', 'T', 'E'},
                                       {'A', 'S', 'C', 'N'},
                                       {'D', 'S', 'C', 'N'},
                                       {'U', 'P', 'E', 'M'},
                                       {'L', 'G', 'A', 'P'}};

struct GlyphRecord {
    /* Horizontal advance in em units */
    float advance;
    /* Bounds of the control points in em units; all zero for a glyph without outline */
    Vector2 boundsMin;
    Vector2 boundsMax;
    std::uint32_t firstCurve;
    std::uint32_t curveCount;
    /* The horizontal bands, then the vertical ones */
    std::uint32_t firstBand;
    std::uint16_t horizontalBandCount;
    std::uint16_t verticalBandCount;
};
static_assert(sizeof(GlyphRecord) == 36);

/* A quadratic Bézier curve in em units; straight segments have their control point
   halfway */
struct Curve {
    Vector2 p0, p1, p2;
};
static_assert(sizeof(Curve) == 24);

struct Band {
    std::uint32_t firstCurveIndex;
    std::uint32_t curveCount;
};
static_assert(sizeof(Band) == 8);

/* The band of count equal bands over [min, max] that holds value, values outside going to
   the first or last. The compiler files curves and the renderer finds a point's band with
   this one function, so that rounding can't put a point in a band that misses its curves. */
inline std::uint32_t bandIndex(float value, float min, float max, std::uint32_t count) {
    const float band = (value - min) / (max - min) * float(count);
    /* Written so that NaN, from a glyph of no extent on this axis, gives the first band */
    if (!(band > 0.0f))
        return 0;
    return band < float(count) ? std::uint32_t(band) : count - 1;
}

/* Bytes of the compiled font that starts with this header, all sections included: how much
   a FontView over a font known only by its header may read */
std::size_t fontSize(const FontHeader& header);

/* Which rays a band serves: horizontal bands hold the curves a ray to +x from a point in
   them may cross, vertical bands those of a ray to +y */
enum class BandAxis : std::uint8_t { Horizontal, Vertical };

/* Reads a compiled font that passed validateFont(); doesn't own the bytes */
class FontView {
public:
    /* The bytes must stay 4-byte aligned, as a chunk payload is */
    explicit FontView(std::span<const char> data);

    const FontHeader& header() const { return *reinterpret_cast<const FontHeader*>(_data); }
    std::span<const GlyphRecord> glyphs() const { return _glyphs; }
    std::span<const Curve> curves() const { return _curves; }
    std::span<const Band> bands() const { return _bands; }
    std::span<const std::uint32_t> bandCurves() const { return _bandCurves; }
    std::span<const char> fontFile() const { return _fontFile; }

    /* The bands of a glyph along one axis */
    std::span<const Band> glyphBands(const GlyphRecord& glyph, BandAxis axis) const;

private:
    const char* _data;
    std::span<const GlyphRecord> _glyphs;
    std::span<const Curve> _curves;
    std::span<const Band> _bands;
    std::span<const std::uint32_t> _bandCurves;
    std::span<const char> _fontFile;
};

/* The sections of a compiled font, for writing one */
struct FontSections {
    /* Metrics in header order: height, ascender, descender, units per em, line gap */
    float metrics[5];
    std::vector<GlyphRecord> glyphs;
    std::vector<Curve> curves;
    std::vector<Band> bands;
    std::vector<std::uint32_t> bandCurves;
    std::span<const char> fontFile;
};

/* The compiled font of these sections */
std::vector<char> writeFont(const FontSections& sections);

/* Why bytes from outside can't be read as a compiled font, or nothing. What passes can be
   read through FontView and rendered from its bands without reading outside a section. */
std::optional<std::string> validateFont(std::span<const char> data);

} // namespace ZarvikEngine::Text

#endif
