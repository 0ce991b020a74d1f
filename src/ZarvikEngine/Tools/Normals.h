#ifndef ZarvikEngine_Tools_Normals_h
#define ZarvikEngine_Tools_Normals_h

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "ZarvikEngine/Containers/StridedArrayView.h"
#include "ZarvikEngine/Math.h"
#include "ZarvikEngine/Tools/Angle.h"

namespace ZarvikEngine::MeshTools {

/* Float products of coordinates far from 1 overflow or underflow. Normal and tangent
   generation compute in floats, and where a length or product shows that this may have
   happened, once more in double precision, whose range holds any product of a few floats. */
namespace Implementation {

/* A length computed from float squares that neither overflowed nor underflowed */
inline bool isModerate(float length) {
    return length >= 0x1p-60f && length <= 0x1p63f;
}

/* Two edges whose products neither overflow nor underflow floats, so that a cross or dot product
   of them is as exact as floats allow, though the squares of a short cross product may still
   underflow */
inline bool areModerate(const Vector3& a, const Vector3& b) {
    float largest = 0.0f;
    for (glm::length_t i = 0; i != 3; ++i)
        largest = std::max({largest, std::abs(a[i]), std::abs(b[i])});
    return largest >= 0x1p-30f && largest <= 0x1p30f;
}

/* The length of a vector whose float squares overflow or underflow */
[[gnu::noinline]] inline float preciseLength(const Vector3& vector) {
    return float(glm::length(glm::dvec3{vector}));
}

/* The unit vector along a vector in double precision, zero for a zero vector */
[[gnu::noinline]] inline Vector3 normalizedOrZero(const glm::dvec3& vector) {
    const double length = glm::length(vector);
    return length > 0.0 ? Vector3{vector / length} : Vector3{0.0f};
}

/* angleOf() for sine and cosine terms in double precision */
inline float angleOf(double sine, double cosine) {
    /* Divided by the larger, which keeps their ratio and brings both into float range */
    const double larger = std::max(sine, std::abs(cosine));
    return larger > 0.0 ? angleOf(float(sine / larger), float(cosine / larger))
                        : angleOf(0.0f, 0.0f);
}

} // namespace Implementation

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
