#define SHADER_INTERNAL
#define SHADER_TYPE_SCREENSPACE_QUAD
#define THRESHOLD 1u
#define DOWNSAMPLE 2u
#define UPSAMPLE 4u
#define COMBINE 8u
#include "Common.glsl"

/* One bloom pass per draw, chosen by flags: the bright parts of the scene are extracted, halved
   down a mip chain, added back up with a tent filter, and finally added to the scene */
uniform sampler2D bloomTexture;
uniform sampler2D sceneTexture;
/* Size of one texel of the texture that is read */
uniform vec2 spacing;
uniform float threshold;
/* Radius of the upsampling filter, in texels */
uniform float width;
uniform float bloomIntensity;
uniform float exposure;
uniform uint flags;

/* Five bilinear taps over a 4x4 block, the centre counting as much as the corners together */
vec3 downsample(vec2 uv) {
    vec3 sum = texture(bloomTexture, uv).rgb*4.0;
    sum += texture(bloomTexture, uv + spacing*vec2(-1.0, -1.0)).rgb;
    sum += texture(bloomTexture, uv + spacing*vec2(1.0, -1.0)).rgb;
    sum += texture(bloomTexture, uv + spacing*vec2(-1.0, 1.0)).rgb;
    sum += texture(bloomTexture, uv + spacing*vec2(1.0, 1.0)).rgb;
    return sum/8.0;
}

/* 3x3 tent, weights 1 2 1, 2 4 2, 1 2 1 */
vec3 upsample(vec2 uv) {
    vec2 d = spacing*width;
    vec3 sum = texture(bloomTexture, uv).rgb*4.0;
    sum += (texture(bloomTexture, uv + vec2(-d.x, 0.0)).rgb +
            texture(bloomTexture, uv + vec2(d.x, 0.0)).rgb +
            texture(bloomTexture, uv + vec2(0.0, -d.y)).rgb +
            texture(bloomTexture, uv + vec2(0.0, d.y)).rgb)*2.0;
    sum += texture(bloomTexture, uv - d).rgb + texture(bloomTexture, uv + d).rgb +
           texture(bloomTexture, uv + vec2(-d.x, d.y)).rgb +
           texture(bloomTexture, uv + vec2(d.x, -d.y)).rgb;
    return sum/16.0;
}

void main() {
    vec2 uv = textureCoordinates;
    vec3 color = vec3(0.0);
    if ((flags & THRESHOLD) != 0u) {
        vec3 scene = texture(sceneTexture, uv).rgb;
        float brightness = luminance(scene);
        color = scene*max(brightness - threshold, 0.0)/max(brightness, 1.0e-4);
    } else if ((flags & DOWNSAMPLE) != 0u) {
        color = downsample(uv);
    } else if ((flags & UPSAMPLE) != 0u) {
        color = upsample(uv);
    } else if ((flags & COMBINE) != 0u) {
        vec3 hdr = texture(sceneTexture, uv).rgb + texture(bloomTexture, uv).rgb*bloomIntensity;
        color = vec3(1.0) - exp(-hdr*exposure);
    }
    outColor = vec4(color, 1.0);
}
