#define SHADER_INTERNAL
#define SHADER_TYPE_SCREENSPACE_QUAD
#include "Common.glsl"
#include "ImageBasedLighting.glsl"

/* Each texel of an equirectangular target averages the environment over a GGX lobe around
   its own direction, the lobe as wide as the roughness makes it: Hammersley points mapped to
   half vectors, the light reflected about them, weighted by its cosine. The view is assumed
   to look straight along the texel's direction. */
uniform samplerCube environment;
uniform float roughness;
uniform int sampleCount;

void main() {
    vec3 normal = equirectangularDirection(textureCoordinates);
    mat3 basis = tangentBasis(normal);
    float alpha = roughness*roughness;
    vec3 sum = vec3(0.0);
    float weight = 0.0;
    for (int i = 0; i < sampleCount; ++i) {
        vec2 xi = hammersley(uint(i), uint(sampleCount));
        float phi = 2.0*PI*xi.x;
        float cosTheta = sqrt((1.0 - xi.y)/(1.0 + (alpha*alpha - 1.0)*xi.y));
        float sinTheta = sqrt(1.0 - cosTheta*cosTheta);
        vec3 halfway = basis*vec3(cos(phi)*sinTheta, sin(phi)*sinTheta, cosTheta);
        vec3 light = reflect(-normal, halfway);
        float cosLight = dot(normal, light);
        if (cosLight > 0.0) {
            sum += texture(environment, light).rgb*cosLight;
            weight += cosLight;
        }
    }
    outColor = vec4(sum/max(weight, 1.0e-4), 1.0);
}
