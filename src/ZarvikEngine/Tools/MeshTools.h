#ifndef ZarvikEngine_Tools_MeshTools_h
#define ZarvikEngine_Tools_MeshTools_h

/* Whole-mesh operations of the import pipeline: de-indexing, index generation for strips and
   fans, and normal and tangent generation. The per-attribute conversions are in
   MeshAttributeConversion.h, the generators on views in Normals.h and Tangents.h. */

#include <cstdint>

#include "ZarvikEngine/Containers/StridedArrayView.h"
#include "ZarvikEngine/Tools/MeshAttributeConversion.h"
#include "ZarvikEngine/Trade/MeshData.h"

namespace ZarvikEngine::MeshTools {

/* The indices of an indexed mesh of any index type as 32-bit values; destination has one
   entry per index */
void indicesInto(const Trade::MeshData& mesh, const StridedArrayView1D<std::uint32_t>& destination);

/* The indexed mesh with every index replaced by a copy of its vertex: a mesh without
   indices of index-count vertices, the attributes interleaved in their order */
Trade::MeshData duplicate(const Trade::MeshData& mesh);

/* A triangle strip or fan without indices as an indexed triangle list over the same vertex
   data (taken over when owned, referenced otherwise). Strip triangle i is (i, i + 1, i + 2)
   for even i and (i + 1, i, i + 2) for odd i, keeping the winding; fan triangle i is
   (0, i + 1, i + 2). */
Trade::MeshData generateIndices(Trade::MeshData&& mesh);

/* A mesh that is not a triangle list becomes one: de-indexed first when indexed, then given
   triangle-list indices. Triangle lists pass through unchanged. */
Trade::MeshData convertToTriangles(Trade::MeshData&& mesh);

/* Fills the Vector3 normals from the Vector3 positions of a triangle list: smooth normals
   (see generateSmoothNormalsInto()) over the first ⌊count ÷ 3⌋ × 3 indices of an indexed mesh,
   flat ones over the first ⌊count ÷ 3⌋ × 3 vertices of a mesh without indices */
void generateNormals(Trade::MeshData& mesh);

/* Fills the Vector4 tangents with the handedness in w (see generateTangentsInto()) from the
   Vector3 positions and normals and the Vector2 texture coordinates of a triangle list */
void generateTangents(Trade::MeshData& mesh);

} // namespace ZarvikEngine::MeshTools

#endif
