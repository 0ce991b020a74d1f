#include "ZarvikEngine/Text/GlyphCoverage.h"

#include <algorithm>
#include <cmath>

namespace ZarvikEngine::Text {

namespace {

/* Below this the curve is straight to far under a pixel at any size text is set in */
constexpr float StraightEpsilon = 1.0e-5f;

/* Adds the crossings of the ray from the origin to +x with a curve given relative to the
   ray's origin in pixels: up counts positive, down negative, each by how much of the pixel
   lies beyond it. A point counts as above the ray when its y is above 0, so that a crossing
   exactly at an end point shared by two curves is counted once. */
void addCrossings(Vector2 p0, Vector2 p1, Vector2 p2, RayWinding& ray) {
    const bool above0 = p0.y > 0.0f, above1 = p1.y > 0.0f, above2 = p2.y > 0.0f;
    /* Which of the two roots lie on the curve follows from the signs alone: with the ends on
       opposite sides only the one crossing in that direction, with them on one side both or
       neither, as the control point is across or not (the hull holds the curve) */
    const bool bothOrNone = above0 == above2 && above1 != above0;
    const bool down = (above0 && !above2) || bothOrNone;
    const bool up = (!above0 && above2) || bothOrNone;
    if (!down && !up)
        return;

    /* y(t) = a t² - 2b t + c; the down root is t1 = (b - √d)/a, the up one t2 = (b + √d)/a */
    const Vector2 a = p0 - 2.0f * p1 + p2;
    const Vector2 b = p0 - p1;
    float t1, t2;
    if (std::abs(a.y) < StraightEpsilon) {
        t1 = t2 = p0.y / (2.0f * b.y);
    } else {
        /* A tangent ray gives two equal roots whose crossings cancel */
        const float root = std::sqrt(std::max(b.y * b.y - a.y * p0.y, 0.0f));
        t1 = (b.y - root) / a.y;
        t2 = (b.y + root) / a.y;
    }
    const auto cross = [&](float t, float sign) {
        const float x = (a.x * t - 2.0f * b.x) * t + p0.x;
        ray.winding += sign * std::clamp(x + 0.5f, 0.0f, 1.0f);
        ray.nearest = std::min(ray.nearest, std::abs(x));
    };
    if (down)
        cross(t1, -1.0f);
    if (up)
        cross(t2, 1.0f);
}

Vector2 swapped(Vector2 v) {
    return {v.y, v.x};
}

} // namespace

RayWinding rayWinding(const FontView& font, const GlyphRecord& glyph, Vector2 centre,
                      float pixelsPerEm, BandAxis axis) {
    RayWinding ray{0.0f, INFINITY};
    const std::span<const Band> bands = font.glyphBands(glyph, axis);
    if (bands.empty())
        return ray;
    /* The vertical case is the horizontal one with x and y exchanged, which mirrors the
       outline and so turns its winding around */
    const bool vertical = axis == BandAxis::Vertical;
    const Vector2 at = vertical ? swapped(centre) : centre;
    const Vector2 min = vertical ? swapped(glyph.boundsMin) : glyph.boundsMin;
    const Vector2 max = vertical ? swapped(glyph.boundsMax) : glyph.boundsMax;
    const Band band = bands[bandIndex(at.y, min.y, max.y, std::uint32_t(bands.size()))];

    for (std::uint32_t index : font.bandCurves().subspan(band.firstCurveIndex, band.curveCount)) {
        const Curve& curve = font.curves()[index];
        Vector2 p0 = (curve.p0 - centre) * pixelsPerEm, p1 = (curve.p1 - centre) * pixelsPerEm,
                p2 = (curve.p2 - centre) * pixelsPerEm;
        if (vertical) {
            p0 = swapped(p0);
            p1 = swapped(p1);
            p2 = swapped(p2);
        }
        /* Curves come by descending largest coordinate: the rest lie wholly behind the
           pixel */
        if (std::max({p0.x, p1.x, p2.x}) <= -0.5f)
            break;
        addCrossings(p0, p1, p2, ray);
    }
    if (vertical)
        ray.winding = -ray.winding;
    return ray;
}

float coverage(const FontView& font, const GlyphRecord& glyph, Vector2 centre, float pixelsPerEm) {
    float covered[2]{}, weight[2]{};
    for (const BandAxis axis : {BandAxis::Horizontal, BandAxis::Vertical}) {
        const int i = int(axis);
        float nearest = INFINITY;
        for (int line = 0; line != CoverageLines; ++line) {
            /* Lines at the middles of equal strips of the pixel across the rays */
            const float offset = ((float(line) + 0.5f) / CoverageLines - 0.5f) / pixelsPerEm;
            const Vector2 start = centre + (axis == BandAxis::Horizontal ? Vector2{0.0f, offset}
                                                                         : Vector2{offset, 0.0f});
            const RayWinding ray = rayWinding(font, glyph, start, pixelsPerEm, axis);
            covered[i] += std::min(std::abs(ray.winding), 1.0f) / CoverageLines;
            nearest = std::min(nearest, ray.nearest);
        }
        /* Rays measure the edges across them exactly and those along them in steps of a
           line: a crossing within half a pixel weighs fully, one beyond it not at all */
        weight[i] = std::clamp(1.0f - 2.0f * nearest, 0.0f, 1.0f);
    }
    const float weights = weight[0] + weight[1];
    if (weights == 0.0f)
        return (covered[0] + covered[1]) * 0.5f;
    return (covered[0] * weight[0] + covered[1] * weight[1]) / weights;
}

float outlineCoverage(const FontView& font, const GlyphRecord& glyph, Vector2 centre,
                      float pixelsPerEm, float outlineWidth) {
    /* Exact for straight edges, and the distances that matter lie within half a pixel of
       outlineWidth outside, well inside the window */
    const float window = 2.0f * outlineWidth + 2.0f / pixelsPerEm;
    const float distance = (coverage(font, glyph, centre, 1.0f / window) - 0.5f) * window;
    return std::clamp((distance + outlineWidth) * pixelsPerEm + 0.5f, 0.0f, 1.0f);
}

} // namespace ZarvikEngine::Text
