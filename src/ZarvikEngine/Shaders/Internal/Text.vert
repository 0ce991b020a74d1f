#define SHADER_INTERNAL
#define SHADER_TYPE_TEXT
#include "Common.glsl"
#include "ObjectTransformation.glsl"

/* The vertex stage of text meshes: the glyph quads of Text::TextLayout::writeGeometry() in
   the vertex layout of MeshDataFlag::Slug, each of its custom attributes at the location of
   the attribute's id. Storage buffers in Text.frag need GLSL ES 3.10 (or GLSL 4.30).

   The renderer binds the ViewData uniform block and the transformations texture as for
   Dynamic.vert, and sets objectId to the text's object. Each corner moves outwards by half a
   pixel, so that the pixels the glyph's edges cover in part are all drawn. */
layout(location = 4) in vec2 position;
layout(location = 5) in vec2 emCoordinates;
layout(location = 6) in vec4 bandBounds;
layout(location = 7) in vec4 bands;
layout(location = 8) in vec4 dilation;
layout(location = 9) in vec4 color;

uniform uint objectId;

out vec2 glyphCoordinates;
flat out vec4 glyphBounds;
flat out vec4 glyphBands;
flat out vec4 glyphColor;

/* How far the corner at clip has to go along an object axis, axis in clip space, to move
   half a pixel on the screen. With the corner at a + δ·b in clip space, its pixel moves by
   δ·|(s·b.xy - t·a.xy)·viewport size/2| / (s·(s + δ·t)), s and t being a.w and b.w: solved
   for δ exactly, perspective included. No move where the camera is behind the corner
   or the axis runs so far away that no distance is enough. */
float halfPixel(vec4 clip, vec4 axis) {
    float s = clip.w, t = axis.w;
    float perPixel = length((axis.xy*s - clip.xy*t)*viewport.zw*0.5);
    float denominator = perPixel - 0.5*s*t;
    return s > 0.0 && denominator > 0.0 ? 0.5*s*s/denominator : 0.0;
}

void main() {
    ObjectTransformation object = objectTransformation(objectId);
    mat4 worldToClip = projectionMatrix*worldToView;
    vec4 clip = worldToClip*vec4(objectToWorld(object, vec3(position, 0.0)), 1.0);
    /* The object's x and y axes in clip space: the transformation is affine, so a move along
       them adds these */
    vec4 alongX = worldToClip*vec4(rotateVector(object.real, vec3(object.scaling.x, 0.0, 0.0)),
                                   0.0);
    vec4 alongY = worldToClip*vec4(rotateVector(object.real, vec3(0.0, object.scaling.y, 0.0)),
                                   0.0);
    vec2 offset = dilation.xy*vec2(halfPixel(clip, alongX), halfPixel(clip, alongY));

    gl_Position = clip + offset.x*alongX + offset.y*alongY;
    glyphCoordinates = emCoordinates + offset*dilation.zw;
    glyphBounds = bandBounds;
    glyphBands = bands;
    glyphColor = color;
}
