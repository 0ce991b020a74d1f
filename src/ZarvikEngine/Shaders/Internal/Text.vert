#define SHADER_INTERNAL
#define SHADER_TYPE_TEXT
#include "Common.glsl"
#include "ObjectTransformation.glsl"

/* The vertex stage of text meshes: the glyph quads of Text::TextLayout::writeGeometry() in
   the vertex layout of MeshDataFlag::Slug, each of its custom attributes at the location of
   the attribute's id. Storage buffers in Text.frag need GLSL ES 3.10 (or GLSL 4.30).

   The renderer binds the ViewData uniform block and the transformations texture as for
   Dynamic.vert, and sets objectId to the text's object. Each quad grows by half a pixel on
   the screen, so that the pixels the glyph's edges cover in part are all drawn. */
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

/* Where a move of the corner at clip along an object axis, axis in clip space, goes on the
   screen: with the corner at a + δ·b in clip space, its pixel moves by δ times this over
   s·(s + δ·t), s and t being a.w and b.w */
vec2 screenAxis(vec4 clip, vec4 axis) {
    return (axis.xy*clip.w - clip.xy*axis.w)*viewport.zw*0.5;
}

/* How far the corner has to go along the axis to move distance pixels on the screen, solved
   for δ from the above exactly, perspective included. No move where the camera is behind the
   corner or the axis runs so far away that no distance is enough. */
float alongAxis(vec4 clip, vec4 axis, vec2 screen, float distance) {
    float s = clip.w, t = axis.w;
    float denominator = length(screen) - distance*s*t;
    return s > 0.0 && denominator > 0.0 ? distance*s*s/denominator : 0.0;
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
    vec2 screenX = screenAxis(clip, alongX), screenY = screenAxis(clip, alongY);
    /* Each edge moves across itself by half a pixel, the corner moving along the other edge,
       which meets it at an angle on the screen unless the text faces the camera. Nearly
       edge-on text, which shows nothing, doesn't grow without end. */
    float sine = abs(screenX.x*screenY.y - screenX.y*screenY.x)/
                 max(length(screenX)*length(screenY), 1.0e-30);
    float distance = 0.5/max(sine, 0.1);
    vec2 offset = dilation.xy*vec2(alongAxis(clip, alongX, screenX, distance),
                                   alongAxis(clip, alongY, screenY, distance));

    gl_Position = clip + offset.x*alongX + offset.y*alongY;
    glyphCoordinates = emCoordinates + offset*dilation.zw;
    glyphBounds = bandBounds;
    glyphBands = bands;
    glyphColor = color;
}
