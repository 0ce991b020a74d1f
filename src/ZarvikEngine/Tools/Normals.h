#ifndef ZarvikEngine_Tools_Normals_h
#define ZarvikEngine_Tools_Normals_h

#include <cstdint>

#include "ZarvikEngine/Containers/StridedArrayView.h"
#include "ZarvikEngine/Math.h"

namespace ZarvikEngine::MeshTools {

/* Normals of a triangle list without indices: every vertex of a triangle gets the triangle's
   unit normal (counterclockwise winding faces the viewer). Degenerate triangles get a zero
   normal. The position count has to be divisible by three. Here and below, any finite
   coordinates give finite normals. */
void generateFlatNormalsInto(const StridedArrayView1D<const Vector3>& positions,
                             const StridedArrayView1D<Vector3>& normals);

/* Normals of an indexed triangle list, shared by the triangles that use the same vertex index:
   the sum of the unit normals of the triangles around the vertex, each weighted by the angle
   of its corner at the vertex, normalized. Angle weighting makes the result independent of
   how a surface is triangulated; thin slivers, which have tiny corner angles, barely count.
   Vertices that no non-degenerate triangle uses get a zero normal. Defined for 8-, 16- and
   32-bit indices. */
template<class T>
void generateSmoothNormalsInto(const StridedArrayView1D<const T>& indices,
                               const StridedArrayView1D<const Vector3>& positions,
                               const StridedArrayView1D<Vector3>& normals);

} // namespace ZarvikEngine::MeshTools

#endif
