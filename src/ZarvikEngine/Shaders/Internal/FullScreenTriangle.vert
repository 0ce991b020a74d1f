#define SHADER_INTERNAL
#include "Common.glsl"

/* One triangle that covers the whole screen, made from the vertex index alone: draw three
   vertices without any buffer */
out vec2 ndcCoordinates;
out vec2 textureCoordinates;

void main() {
    vec2 corner = vec2(float((gl_VertexID << 1) & 2), float(gl_VertexID & 2));
    ndcCoordinates = corner*2.0 - 1.0;
    textureCoordinates = corner;
    gl_Position = vec4(ndcCoordinates, 0.0, 1.0);
}
