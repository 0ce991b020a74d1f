#define SHADER_INTERNAL
#define SHADER_TYPE_SCREENSPACE_QUAD
#include "Common.glsl"

/* Copies a depth texture into the depth buffer: viewport is the part of the source to copy,
   offset and size in texture coordinates */
uniform vec4 viewport;
uniform sampler2D inColor;

void main() {
    gl_FragDepth = texture(inColor, viewport.xy + textureCoordinates*viewport.zw).r;
    outColor = vec4(0.0);
}
