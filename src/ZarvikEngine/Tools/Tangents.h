#ifndef ZarvikEngine_Tools_Tangents_h
#define ZarvikEngine_Tools_Tangents_h

#include <cstdint>
#include <span>

#include "ZarvikEngine/Containers/StridedArrayView.h"
#include "ZarvikEngine/Math.h"

namespace ZarvikEngine::MeshTools {

/* Tangent frames of a triangle list after Mikkelsen's "Simulation of Wrinkled Surfaces
   Revisited" (2008), so that normal maps baked against this tangent space read back without
   seams. Corner c of the list uses vertex indices[c]; every vertex a corner uses gets the
   unit tangent in x, y, z (orthogonal to its normal) and the handedness in w: +1 where the
   texture mapping preserves the triangle's orientation, -1 where it mirrors it, so that the
   bitangent is w · cross(normal, tangent).

   Vertices are first identified across triangles by equal position, normal and texture
   coordinates. Around each such vertex, triangles of the same orientation that are connected
   through edges of the vertex form a group, and a group's triangles whose tangent frames lie
   within the angular threshold of each other share the angle-weighted average of their frames.
   Triangles without a usable texture mapping (zero area in texture space) take the
   orientation of a neighbour and the frame of any group they join; triangles with a repeated
   vertex take the frame of a regular triangle at the same vertex.

   All views have one entry per vertex; any finite values give finite tangents. Returns false,
   writing nothing, when an index is out of range. */
bool generateTangentsInto(std::span<const std::uint32_t> indices,
                          const StridedArrayView1D<const Vector3>& positions,
                          const StridedArrayView1D<const Vector3>& normals,
                          const StridedArrayView1D<const Vector2>& textureCoordinates,
                          const StridedArrayView1D<Vector4>& tangents);

} // namespace ZarvikEngine::MeshTools

#endif
