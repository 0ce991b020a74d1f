#define SHADER_INTERNAL
#define SHADER_TYPE_TEXT
#include "Common.glsl"

/* The fragment stage of text meshes, after Text.vert: how much of the pixel the glyph covers,
   computed from its outline by the band method exactly as Text::coverage() does on the CPU
   (Text::outlineCoverage() for the outline layer), times the vertex color with premultiplied
   alpha, to be blended with ONE and ONE_MINUS_SRC_ALPHA.

   The renderer binds three sections of a compiled font (Text/Font.h), each as it is in the
   file, to storage buffers: the curves at binding 0, the bands at binding 1 and the band
   curve indices at binding 2. */
struct Curve {
    vec2 p0;
    vec2 p1;
    vec2 p2;
};

layout(std430, binding = 0) readonly buffer TextCurves {
    Curve curves[];
};
layout(std430, binding = 1) readonly buffer TextBands {
    /* The band's first index into bandCurves and its curve count */
    uvec2 bandTable[];
};
layout(std430, binding = 2) readonly buffer TextBandCurves {
    uint bandCurves[];
};

in vec2 glyphCoordinates;
/* The glyph's bounds, min then max; its first band, horizontal and vertical band counts and
   outline width */
flat in vec4 glyphBounds;
flat in vec4 glyphBands;
flat in vec4 glyphColor;

layout(location = 0) out vec4 outColor;

/* Below this the curve is straight to far under a pixel at any size text is set in */
const float STRAIGHT_EPSILON = 1.0e-5;
const int COVERAGE_LINES = 4;
/* Farther than any crossing, in pixels */
const float NO_CROSSING = 1.0e30;

/* As Text::bandIndex() */
uint bandIndex(float value, float minimum, float maximum, uint count) {
    float band = (value - minimum)/(maximum - minimum)*float(count);
    if (!(band > 0.0))
        return 0u;
    return band < float(count) ? uint(band) : count - 1u;
}

/* A crossing at x pixels along the ray, sign +1 going up and -1 going down, counted by how
   much of the pixel lies beyond it; ray holds the winding and the nearest crossing */
void addCrossing(float x, float sign, inout vec2 ray) {
    ray.x += sign*clamp(x + 0.5, 0.0, 1.0);
    ray.y = min(ray.y, abs(x));
}

/* The crossings of the ray from the origin to +x with a curve relative to the ray's origin in
   pixels. Which roots lie on the curve follows from the signs of the control points alone. */
void addCrossings(vec2 p0, vec2 p1, vec2 p2, inout vec2 ray) {
    bool above0 = p0.y > 0.0, above1 = p1.y > 0.0, above2 = p2.y > 0.0;
    bool bothOrNone = above0 == above2 && above1 != above0;
    bool down = (above0 && !above2) || bothOrNone;
    bool up = (!above0 && above2) || bothOrNone;
    if (!down && !up)
        return;

    /* y(t) = a t² - 2b t + c; the down root is t1 = (b - √d)/a, the up one t2 = (b + √d)/a */
    vec2 a = p0 - 2.0*p1 + p2;
    vec2 b = p0 - p1;
    float t1, t2;
    if (abs(a.y) < STRAIGHT_EPSILON) {
        t1 = t2 = p0.y/(2.0*b.y);
    } else {
        float root = sqrt(max(b.y*b.y - a.y*p0.y, 0.0));
        t1 = (b.y - root)/a.y;
        t2 = (b.y + root)/a.y;
    }
    if (down)
        addCrossing((a.x*t1 - 2.0*b.x)*t1 + p0.x, -1.0, ray);
    if (up)
        addCrossing((a.x*t2 - 2.0*b.x)*t2 + p0.x, 1.0, ray);
}

/* The weighted winding and the nearest crossing in pixels of the ray from centre to +x, or
   +y when vertical, through the curves of centre's band */
vec2 rayWinding(vec2 centre, float pixelsPerEm, bool vertical) {
    vec2 ray = vec2(0.0, NO_CROSSING);
    uint horizontalBandCount = uint(glyphBands.y);
    uint count = vertical ? uint(glyphBands.z) : horizontalBandCount;
    if (count == 0u)
        return ray;
    /* The vertical case is the horizontal one with x and y exchanged, which mirrors the
       outline and so turns its winding around */
    vec2 at = vertical ? centre.yx : centre;
    vec2 boundsMin = vertical ? glyphBounds.yx : glyphBounds.xy;
    vec2 boundsMax = vertical ? glyphBounds.wz : glyphBounds.zw;
    uint first = uint(glyphBands.x) + (vertical ? horizontalBandCount : 0u);
    uvec2 band = bandTable[first + bandIndex(at.y, boundsMin.y, boundsMax.y, count)];

    for (uint i = 0u; i != band.y; ++i) {
        Curve curve = curves[bandCurves[band.x + i]];
        vec2 p0 = (curve.p0 - centre)*pixelsPerEm, p1 = (curve.p1 - centre)*pixelsPerEm,
             p2 = (curve.p2 - centre)*pixelsPerEm;
        if (vertical) {
            p0 = p0.yx;
            p1 = p1.yx;
            p2 = p2.yx;
        }
        /* Curves come by descending largest coordinate: the rest lie wholly behind the
           pixel */
        if (max(max(p0.x, p1.x), p2.x) <= -0.5)
            break;
        addCrossings(p0, p1, p2, ray);
    }
    if (vertical)
        ray.x = -ray.x;
    return ray;
}

/* The part of the pixel of pixelsPerEm at centre the glyph covers */
float coverage(vec2 centre, float pixelsPerEm) {
    vec2 covered = vec2(0.0), weight;
    for (int axis = 0; axis != 2; ++axis) {
        float nearest = NO_CROSSING;
        for (int line = 0; line != COVERAGE_LINES; ++line) {
            /* Lines at the middles of equal strips of the pixel across the rays */
            float offset = ((float(line) + 0.5)/float(COVERAGE_LINES) - 0.5)/pixelsPerEm;
            vec2 start = centre + (axis == 0 ? vec2(0.0, offset) : vec2(offset, 0.0));
            vec2 ray = rayWinding(start, pixelsPerEm, axis == 1);
            covered[axis] += min(abs(ray.x), 1.0)/float(COVERAGE_LINES);
            nearest = min(nearest, ray.y);
        }
        /* A crossing within half a pixel weighs fully, one beyond it not at all */
        weight[axis] = clamp(1.0 - 2.0*nearest, 0.0, 1.0);
    }
    float weights = weight.x + weight.y;
    if (weights == 0.0)
        return (covered.x + covered.y)*0.5;
    return (covered.x*weight.x + covered.y*weight.y)/weights;
}

void main() {
    /* One scale for both axes, as the CPU takes: that of the em axis whose pixels are
       smaller, so that no window reaches past the half pixel the quads grow by. Turning the
       text doesn't change it. */
    vec2 alongX = dFdx(glyphCoordinates), alongY = dFdy(glyphCoordinates);
    float emPerPixel = min(length(vec2(alongX.x, alongY.x)), length(vec2(alongX.y, alongY.y)));
    float pixelsPerEm = 1.0/emPerPixel;

    float alpha;
    float outlineWidth = glyphBands.w;
    if (outlineWidth > 0.0) {
        /* The coverage over a window reaching a pixel beyond the outline on either side
           tells the distance to the edge across that window */
        float window = 2.0*outlineWidth + 2.0/pixelsPerEm;
        float distance = (coverage(glyphCoordinates, 1.0/window) - 0.5)*window;
        alpha = clamp((distance + outlineWidth)*pixelsPerEm + 0.5, 0.0, 1.0);
    } else {
        alpha = coverage(glyphCoordinates, pixelsPerEm);
    }
    outColor = vec4(glyphColor.rgb*glyphColor.a, glyphColor.a)*alpha;
}
