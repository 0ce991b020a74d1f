#include "ZarvikEngine/Text/Shaper.h"

#include <hb.h>

namespace ZarvikEngine::Text {

Shaper::Shaper(const FontView& font)
    : _buffer{hb_buffer_create()}, _unitsPerEm{font.header().unitsPerEm()} {
    const std::span<const char> file = font.fontFile();
    hb_blob_t* blob = hb_blob_create(file.data(), unsigned(file.size()), HB_MEMORY_MODE_READONLY,
                                     nullptr, nullptr);
    hb_face_t* face = hb_face_create(blob, 0);
    _font = hb_font_create(face);
    /* Positions come in font units, as the outlines were */
    hb_font_set_scale(_font, int(_unitsPerEm), int(_unitsPerEm));
    hb_face_destroy(face);
    hb_blob_destroy(blob);
}

Shaper::~Shaper() {
    hb_buffer_destroy(_buffer);
    hb_font_destroy(_font);
}

std::vector<ShapedGlyph> Shaper::shape(std::string_view utf8) {
    hb_buffer_clear_contents(_buffer);
    hb_buffer_add_utf8(_buffer, utf8.data(), int(utf8.size()), 0, int(utf8.size()));
    hb_buffer_guess_segment_properties(_buffer);
    hb_shape(_font, _buffer, nullptr, 0);

    unsigned count;
    const hb_glyph_info_t* infos = hb_buffer_get_glyph_infos(_buffer, &count);
    const hb_glyph_position_t* positions = hb_buffer_get_glyph_positions(_buffer, &count);
    std::vector<ShapedGlyph> glyphs(count);
    for (unsigned i = 0; i != count; ++i) {
        const hb_glyph_position_t& p = positions[i];
        glyphs[i] = {infos[i].codepoint, infos[i].cluster,
                     Vector2{float(p.x_advance), float(p.y_advance)} / _unitsPerEm,
                     Vector2{float(p.x_offset), float(p.y_offset)} / _unitsPerEm};
    }
    return glyphs;
}

bool Shaper::rightToLeft() const {
    return hb_buffer_get_direction(_buffer) == HB_DIRECTION_RTL;
}

} // namespace ZarvikEngine::Text
