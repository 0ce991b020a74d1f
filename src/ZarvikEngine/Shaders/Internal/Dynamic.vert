#define SHADER_TYPE_DYNAMIC
#include "Common.glsl"
#include "ObjectTransformation.glsl"

/* The vertex stage of every mesh */
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

out vec3 fragmentPosition;
out vec3 fragmentNormal;
flat out uint fragmentObjectId;

void main() {
    ObjectTransformation object = objectTransformation(objectId);
    fragmentPosition = objectToWorld(object, position);
    /* Normals scale inversely, so that they stay perpendicular to scaled surfaces */
    fragmentNormal = normalize(rotateVector(object.real, normal/object.scaling));
#ifdef TEXTURE_COORDINATES
    fragmentTextureCoordinates = textureCoordinates;
#endif
#ifdef COLORS
    fragmentColor = color;
#endif
#ifdef TANGENTS
    fragmentTangent = vec4(normalize(rotateVector(object.real, tangent.xyz*object.scaling)),
                           tangent.w);
#endif
    fragmentObjectId = objectId;
    gl_Position = projectionMatrix*(worldToView*vec4(fragmentPosition, 1.0));
}
