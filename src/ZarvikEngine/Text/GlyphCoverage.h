#ifndef ZarvikEngine_Text_GlyphCoverage_h
#define ZarvikEngine_Text_GlyphCoverage_h

#include "ZarvikEngine/Math.h"
#include "ZarvikEngine/Text/Font.h"

namespace ZarvikEngine::Text {

/* What one ray from a pixel centre tells of a glyph's outline */
struct RayWinding {
    /* The winding number with each crossing counted by how much of the pixel lies beyond it
       along the ray, counter-clockwise turns positive: near a whole number inside, 0
       outside, between at an edge the ray crosses */
    float winding;
    /* Distance in pixels from the centre to the nearest crossing */
    float nearest;
};

/* Follows the ray from a pixel centre (in em units) to +x (horizontal bands) or +y (vertical
   bands) through the curves of the centre's band alone, as a band-method fragment shader
   does, at pixelsPerEm */
RayWinding rayWinding(const FontView& font, const GlyphRecord& glyph, Vector2 centre,
                      float pixelsPerEm, BandAxis axis);

/* Rays each axis sends through a pixel for its coverage */
constexpr int CoverageLines = 4;

/* The part of the pixel at centre the glyph covers, 0 to 1, as the shader computes it: the
   windings of CoverageLines rays per axis across the pixel, the two axes blended by how near
   their crossings come */
float coverage(const FontView& font, const GlyphRecord& glyph, Vector2 centre, float pixelsPerEm);

/* The opacity at the pixel centre of the outline layer, the glyph grown by outlineWidth em on
   every side, 0 to 1, as the shader computes it: the coverage over a window of 2 outlineWidth
   + 2 pixels tells the distance to the glyph's edge across that window, which gives the
   grown edge's coverage of the pixel */
float outlineCoverage(const FontView& font, const GlyphRecord& glyph, Vector2 centre,
                      float pixelsPerEm, float outlineWidth);

} // namespace ZarvikEngine::Text

#endif
