#ifndef ZarvikEngine_Text_FontCompiler_h
#define ZarvikEngine_Text_FontCompiler_h

#include <optional>
#include <span>
#include <vector>

namespace ZarvikEngine::Text {

/* Largest distance in em units between a cubic curve of a CFF outline and the quadratic
   curves that replace it: a sixteenth of a pixel at 64 pixels per em */
constexpr float CubicTolerance = 1.0f / 1024.0f;

/* Most bands a glyph is divided into along each axis */
constexpr unsigned MaxBands = 16;

/* Compiles a TrueType or OpenType font file from outside into the format of Font.h, every
   glyph of the font in the order of its glyph indices. TrueType outlines are kept exactly;
   CFF cubics are split into quadratics within CubicTolerance. A file FreeType can't read, or
   with a glyph it can't load, prints a message and gives nothing. */
std::optional<std::vector<char>> compileFont(std::span<const char> fontFile);

} // namespace ZarvikEngine::Text

#endif
