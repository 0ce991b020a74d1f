#define SHADER_INTERNAL
#define SHADER_TYPE_SCREENSPACE_QUAD
#include "Common.glsl"

/* Debug view of the virtual texturing feedback: each texel names the tile a pixel wanted
   (x, y, mip level, and 0 in alpha where nothing was drawn); tiles get colors of their own and
   finer mip levels are brighter */
uniform highp usampler2D tileFeedback;

void main() {
    uvec4 tile = texture(tileFeedback, textureCoordinates);
    if (tile.a == 0u) {
        outColor = vec4(0.0);
        return;
    }
    uint hash = (tile.x*73856093u) ^ (tile.y*19349663u) ^ (tile.z*83492791u);
    vec3 color = vec3(float(hash & 255u), float((hash >> 8u) & 255u),
                      float((hash >> 16u) & 255u))/255.0;
    outColor = vec4(color/(1.0 + float(tile.z)), 1.0);
}
