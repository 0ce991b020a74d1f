#define SHADER_INTERNAL
#define SHADER_TYPE_SCREENSPACE_QUAD
#include "Common.glsl"

/* Copies one tile of the virtual texture atlas: viewport is the tile's offset and size in
   the source, in texture coordinates */
uniform vec4 viewport;
uniform sampler2D inColor;

void main() {
    outColor = texture(inColor, viewport.xy + textureCoordinates*viewport.zw);
}
