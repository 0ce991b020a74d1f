#define SHADER_INTERNAL
#define SHADER_TYPE_SCREENSPACE_QUAD
#define NORMALIZE 255.0
#define USE_OBJECT_ID
#include "Common.glsl"

/* Picking: the color says which component was drawn, its type in red and its 16-bit index in
   green (low byte) and blue (high byte) */
uniform uint componentType;
#ifdef USE_OBJECT_ID
/* Meshes drawn in one batch tell their index through the vertex stage */
flat in uint fragmentObjectId;
#else
uniform uint componentIndex;
#endif

void main() {
#ifdef USE_OBJECT_ID
    uint index = fragmentObjectId;
#else
    uint index = componentIndex;
#endif
    outColor = vec4(float(componentType & 255u)/NORMALIZE, float(index & 255u)/NORMALIZE,
                    float((index >> 8u) & 255u)/NORMALIZE, 1.0);
}
