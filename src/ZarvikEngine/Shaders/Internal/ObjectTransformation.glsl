/* What the vertex stages of scene objects share: the per-view data and the objects'
   transformations. An object's transformation is three texels of the transformations
   texture, in rows of any width: the real and dual parts of its dual quaternion, then its
   scaling (w holds the material index). */
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

struct ObjectTransformation {
    vec4 real;
    vec4 dual;
    vec3 scaling;
};

vec4 transformationTexel(int index) {
    int rowWidth = textureSize(transformations, 0).x;
    return texelFetch(transformations, ivec2(index % rowWidth, index/rowWidth), 0);
}

ObjectTransformation objectTransformation(uint objectId) {
    int first = int(objectId)*3;
    return ObjectTransformation(transformationTexel(first), transformationTexel(first + 1),
                                transformationTexel(first + 2).xyz);
}

/* A point of the object in world space */
vec3 objectToWorld(ObjectTransformation object, vec3 position) {
    return transformPoint(object.real, object.dual, position*object.scaling);
}
