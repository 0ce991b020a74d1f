#define SHADER_TYPE_DYNAMIC
#include "Common.glsl"

/* The vertex stage of every mesh. An object's transformation is three texels of the
   transformations texture, in rows of any width: the real and dual parts of its dual
   quaternion, then its scaling (w holds the material index). */
layout(location = 0) in vec3 position;
#ifdef TEXTURE_COORDINATES
layout(location = 1) in vec2 textureCoordinates;
out vec2 fragmentTextureCoordinates;
#endif
#ifdef COLORS
layout(location = 2) in vec4 color;
out vec4 fragmentColor;
#endif
layout(location = 3) in vec3 normal;
#ifdef TANGENTS
layout(location = 4) in vec4 tangent;
out vec4 fragmentTangent;
#endif
layout(location = 5) in uint objectId;

uniform highp sampler2D transformations;

layout(std140) uniform ViewData {
    /* Near plane, far plane, vertical field of view in radians, aspect ratio */
    vec4 cameraParameters;
    /* Offset and size in pixels */
    vec4 viewport;
    mat4 worldToView;
    mat4 viewToWorld;
    /* w is unused */
    vec4 viewPosition;
    mat4 projectionMatrix;
    mat4 inverseProjectionMatrix;
    /* Point, spot and directional lights */
    uvec4 lightCounts;
};

out vec3 fragmentPosition;
out vec3 fragmentNormal;
flat out uint fragmentObjectId;

vec4 transformationTexel(int index) {
    int rowWidth = textureSize(transformations, 0).x;
    return texelFetch(transformations, ivec2(index % rowWidth, index/rowWidth), 0);
}

void main() {
    int first = int(objectId)*3;
    vec4 real = transformationTexel(first);
    vec4 dual = transformationTexel(first + 1);
    vec3 scaling = transformationTexel(first + 2).xyz;

    fragmentPosition = transformPoint(real, dual, position*scaling);
    /* Normals scale inversely, so that they stay perpendicular to scaled surfaces */
    fragmentNormal = normalize(rotateVector(real, normal/scaling));
#ifdef TEXTURE_COORDINATES
    fragmentTextureCoordinates = textureCoordinates;
#endif
#ifdef COLORS
    fragmentColor = color;
#endif
#ifdef TANGENTS
    fragmentTangent = vec4(normalize(rotateVector(real, tangent.xyz*scaling)), tangent.w);
#endif
    fragmentObjectId = objectId;
    gl_Position = projectionMatrix*(worldToView*vec4(fragmentPosition, 1.0));
}
