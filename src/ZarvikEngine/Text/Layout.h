#ifndef ZarvikEngine_Text_Layout_h
#define ZarvikEngine_Text_Layout_h

/* Text layout: shaped glyphs broken into lines, aligned, justified and clipped, and their
   geometry for a band-method fragment shader, one quad of two triangles per glyph with an
   outline.

   Layout space is in em units with x to the right and y downwards: the first line's baseline
   is at y = 0 and each further line lies lineSpacing below the one before; glyph outlines,
   whose y points up in em space, are mirrored into it. Positions of the geometry and the
   bounds are layout space multiplied by the settings' scale, so a negative y scale gives y
   up again. */

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "ZarvikEngine/Math.h"
#include "ZarvikEngine/Text/Font.h"
#include "ZarvikEngine/Text/LineBreaking.h"
#include "ZarvikEngine/Text/Shaper.h"

namespace ZarvikEngine::Text {

/* Four characters as one big-endian number, as codes of the layout settings are */
constexpr std::uint32_t fourCharacterCode(const char (&code)[5]) {
    return std::uint32_t(std::uint8_t(code[0])) << 24 | std::uint32_t(std::uint8_t(code[1])) << 16 |
           std::uint32_t(std::uint8_t(code[2])) << 8 | std::uint32_t(std::uint8_t(code[3]));
}

/* Where a line lies relative to x = 0: starting there, centred on it, or ending there */
enum class Alignment : std::uint32_t {
    Left = fourCharacterCode("LEFT"),
    Center = fourCharacterCode("CENT"),
    Right = fourCharacterCode("RGHT"),
};

/* What is drawn besides the glyphs */
enum class Effect : std::uint32_t {
    None = 0,
    /* Each glyph is drawn twice: first widened by OutlineWidth in OutlineColor, then as it
       is */
    Outline = fourCharacterCode("OTLN"),
};

/* How far the outline reaches beyond a glyph's edge, in em */
constexpr float OutlineWidth = 1.0f / 16.0f;
/* Opaque black, red in the lowest byte */
constexpr std::uint32_t OutlineColor = 0xff000000u;

/* How text is laid out; the defaults give one line per paragraph at one scene unit per em */
struct LayoutSettings {
    /* Scene units per em along x and along y */
    Vector2 scale{1.0f, 1.0f};
    /* Added to every glyph's advance, in em */
    float tracking = 0.0f;
    /* Distance between baselines, in em */
    float lineSpacing = 1.0f;
    /* Lines longer than this, in em, break; infinite: lines break at line feeds only */
    float wrapWidth = INFINITY;
    /* Lines break at the Unicode break opportunities (a word longer than a line breaks
       between two characters), or else between any two characters, spaces staying at the
       end of their line */
    bool breakAtOpportunities = true;
    /* Where lines lie relative to x = 0 */
    Alignment alignment = Alignment::Left;
    /* Lines that wrapped are widened to wrapWidth by spreading the room left over the
       justification characters they hold (a zero entry matches nothing) */
    bool justify = false;
    /* The characters widened to justify a line */
    std::array<char32_t, 2> justificationCharacters{U' ', 0};
    /* Glyph geometry outside clipMin ≤ x ≤ clipMax, in em, is cut off */
    bool clip = false;
    /* Left end of the clip span, in em */
    float clipMin = 0.0f;
    /* Right end of the clip span, in em */
    float clipMax = 0.0f;
    /* Drawn with the glyphs */
    Effect effect = Effect::None;
    /* RGBA, red in the lowest byte */
    std::uint32_t color = 0xffffffffu;
};

/* A laid-out line; 32 bytes, so that callers can size line buffers by the line */
struct LineRecord {
    /* The first byte of the text on this line */
    std::uint32_t textBegin;
    /* The byte after the line's text, its trailing spaces and line break included */
    std::uint32_t textEnd;
    /* The first of this line's visible glyphs in the layout's glyph list */
    std::uint32_t firstGlyph;
    /* How many visible glyphs the line has, trailing spaces left out */
    std::uint32_t glyphCount;
    /* Pen position of the line's start across, in em */
    float x;
    /* Pen position of the line's baseline down, in em */
    float baseline;
    /* Width of the line's glyphs without trailing spaces, in em */
    float width;
    /* The room added to each justification character, in em */
    float justification;
};
static_assert(sizeof(LineRecord) == 32);

/* One vertex of a glyph quad, the six attributes of the text vertex layout in order: what
   the text vertex shader and the band-method fragment shader read */
struct TextVertex {
    /* The quad corner in scene units; the vertex shader moves it by half a pixel along
       dilation so that antialiased edges aren't cut off */
    Vector2 position;
    /* The same corner in the glyph's em space, where its curves are */
    Vector2 emCoordinates;
    /* The glyph's band grid: its bounds in em space, min then max */
    Vector4 bandBounds;
    /* Index of the glyph's first band in the font's band table, its horizontal and vertical
       band counts (each band leads to the curves through its curve indices), and the
       outline width in em for the outline layer, 0 for the glyph itself */
    Vector4 bands;
    /* The corner's outward direction (each component −1 or +1) and em units per scene unit
       along x and y, which carry the dilation over to emCoordinates */
    Vector4 dilation;
    /* RGBA, red first */
    Vector4ub color;
};
static_assert(sizeof(TextVertex) == 68);

/* Lays out one text: call breakLines() first, then anything else */
class TextLayout {
public:
    /* The font and the shaper (made for that font) must outlive the layout */
    TextLayout(const FontView& font, Shaper& shaper, const LayoutSettings& settings);

    /* Shapes UTF-8 text and breaks it into lines, at most lines.size() of them (text past
       the last is left out), and returns how many were written. Glyph indices the compiled
       font lacks become glyph 0,
       which a font without glyphs doesn't draw. */
    std::size_t breakLines(std::string_view utf8, std::span<LineRecord> lines);

    /* Moves every line down by offset em, for vertical alignment */
    void moveDown(float offset);

    /* Vertices writeGeometry() writes at most */
    std::size_t vertexCount() const;
    /* Triangles writeGeometry() writes at most */
    std::size_t triangleCount() const;

    /* The extent of the laid-out glyphs' outlines (clipped, outline effect included) in
       scene units; an empty range at the origin without any */
    Range2D bounds() const;

    /* What writeGeometry() wrote */
    struct Written {
        /* Vertices written */
        std::size_t vertices;
        /* Triangles written, three indices each */
        std::size_t triangles;
    };
    /* Writes four vertices and two triangles (16-bit indices, counter-clockwise in layout
       space) per glyph with an outline that isn't clipped away entirely, as many as fit */
    Written writeGeometry(std::span<TextVertex> vertices, std::span<std::uint16_t> indices) const;

private:
    struct PlacedGlyph {
        std::uint32_t glyph;
        /* The glyph's origin in layout space */
        Vector2 origin;
    };
    /* Where a line of shaped glyphs ends */
    struct LineFit {
        /* The glyph the next line starts with, and the one after the line's last visible
           cluster */
        std::size_t end, visibleEnd;
        float width;
        /* Whether the line ended for its width rather than at the paragraph's end */
        bool wrapped;
    };
    /* A glyph's quad in em space around its origin, clipped */
    struct Quad {
        const GlyphRecord* glyph;
        float outline;
        Vector2 emMin, emMax;
        Vector2 origin;
        bool clippedLeft, clippedRight;
    };

    void shapeParagraph(std::size_t begin, std::size_t end);
    /* The cluster of a shaped glyph, or end past the last one */
    std::size_t clusterOrEnd(std::size_t glyph, std::size_t end) const;
    /* The first shaped glyph after the cluster of this one */
    std::size_t clusterEnd(std::size_t glyph) const;
    LineFit fitLine(std::size_t start) const;
    bool isJustificationCharacter(std::uint32_t cluster) const;
    void placeLine(LineRecord& line, std::size_t start, const LineFit& fit);
    /* Calls emit with every quad, the outline layer's first */
    void forEachQuad(const auto& emit) const;
    static Vector2 layoutPosition(const Quad& quad, Vector2 em);

    const FontView& _font;
    Shaper& _shaper;
    LayoutSettings _settings;
    std::string_view _text;
    std::vector<LineBreak> _breaks;
    /* The paragraph being broken, in logical order */
    std::vector<ShapedGlyph> _shaped;
    bool _rightToLeft = false;
    std::vector<PlacedGlyph> _glyphs;
    std::span<LineRecord> _lines;
    std::size_t _quadCount = 0;
};

} // namespace ZarvikEngine::Text

#endif
