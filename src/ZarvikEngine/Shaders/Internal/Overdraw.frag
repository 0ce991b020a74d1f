#define SHADER_INTERNAL
#define SHADER_TYPE_SCREENSPACE_QUAD
#include "Common.glsl"

/* Overdraw view: every fragment adds the same color under additive blending, so the brightness
   counts the layers drawn over each pixel */
uniform vec4 color;

void main() {
    outColor = color;
}
