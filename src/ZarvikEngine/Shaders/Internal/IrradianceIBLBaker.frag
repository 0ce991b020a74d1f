#define SHADER_INTERNAL
#define SHADER_TYPE_SCREENSPACE_QUAD
#include "Common.glsl"
#include "ImageBasedLighting.glsl"

/* Diffuse irradiance of the environment, drawn over an equirectangular target: for each
   direction the cosine-weighted mean of the environment over the hemisphere around it */
uniform samplerCube environment;
uniform int sampleCount;

void main() {
    mat3 basis = tangentBasis(equirectangularDirection(textureCoordinates));
    vec3 sum = vec3(0.0);
    for (int i = 0; i < sampleCount; ++i) {
        /* Directions drawn with the density of the cosine, so that each counts alike */
        vec2 xi = hammersley(uint(i), uint(sampleCount));
        float phi = 2.0*PI*xi.x;
        float sinTheta = sqrt(xi.y);
        vec3 direction = vec3(cos(phi)*sinTheta, sin(phi)*sinTheta, sqrt(1.0 - xi.y));
        sum += texture(environment, basis*direction).rgb;
    }
    outColor = vec4(sum/float(max(sampleCount, 1)), 1.0);
}
