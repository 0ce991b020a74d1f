#ifndef ZarvikEngine_Text_Shaper_h
#define ZarvikEngine_Text_Shaper_h

#include <cstdint>
#include <string_view>
#include <vector>

#include "ZarvikEngine/Math.h"
#include "ZarvikEngine/Text/Font.h"

struct hb_font_t;
struct hb_buffer_t;

namespace ZarvikEngine::Text {

/* One glyph of shaped text, in em units */
struct ShapedGlyph {
    /* Index into the compiled font's glyph records */
    std::uint32_t glyph;
    /* Byte offset of the first character of the glyph's cluster in the text */
    std::uint32_t cluster;
    /* Where the pen moves after the glyph, and where the glyph is drawn from the pen */
    Vector2 advance;
    Vector2 offset;
};

/* Shapes text with HarfBuzz on the source font of a compiled font: kerning, ligatures, marks
   and every script HarfBuzz shapes */
class Shaper {
public:
    /* The font's bytes must outlive the shaper */
    explicit Shaper(const FontView& font);
    ~Shaper();
    Shaper(const Shaper&) = delete;
    Shaper& operator=(const Shaper&) = delete;

    /* Glyphs of UTF-8 text in visual order, left to right, the direction, script and
       language guessed from the text; invalid bytes become replacement characters */
    std::vector<ShapedGlyph> shape(std::string_view utf8);

    /* Whether the text last shaped runs right to left, its glyphs coming last character
       first */
    bool rightToLeft() const;

private:
    hb_font_t* _font;
    hb_buffer_t* _buffer;
    float _unitsPerEm;
};

} // namespace ZarvikEngine::Text

#endif
