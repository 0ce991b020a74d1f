#define SHADER_INTERNAL
#define SHADER_TYPE_SCREENSPACE_QUAD
#include "Common.glsl"

/* Projects a cube map onto an equirectangular image drawn over the whole target */
uniform samplerCube environment;

void main() {
    outColor = vec4(texture(environment, equirectangularDirection(textureCoordinates)).rgb, 1.0);
}
