#define SHADER_INTERNAL
#define SHADER_TYPE_SCREENSPACE_QUAD
#define TILE_SIZE 256.0
#define TILE_BORDER 2.0
#include "Common.glsl"

/* Debug view of the virtual texture atlas at one mip level: the indirection texel of each
   virtual tile gives the tile's place in the tile cache (x and y in tiles, in red and green,
   and 1 in alpha when it is resident). A tile takes 260 texels of the cache, the 256 of the
   tile and a border of 2 on each side; SHOW_BORDER outlines the tiles. */
uniform sampler2D indirection;
uniform sampler2D tileCache;
uniform int layer;

void main() {
    vec4 entry = textureLod(indirection, textureCoordinates, float(layer));
    if (entry.a < 0.5) {
        outColor = vec4(0.5, 0.0, 0.5, 1.0);
        return;
    }
    vec2 tiles = vec2(textureSize(indirection, layer));
    vec2 inTile = fract(textureCoordinates*tiles)*TILE_SIZE;
    vec2 cacheTexel = entry.rg*(TILE_SIZE + 2.0*TILE_BORDER) + TILE_BORDER + inTile;
    outColor = texture(tileCache, cacheTexel/vec2(textureSize(tileCache, 0)));
#ifdef SHOW_BORDER
    if (any(lessThan(inTile, vec2(1.0))) || any(greaterThan(inTile, vec2(TILE_SIZE - 1.0))))
        outColor = vec4(1.0, 1.0, 0.0, 1.0);
#endif
}
