#ifndef ZarvikEngine_Tools_Angle_h
#define ZarvikEngine_Tools_Angle_h

#include <algorithm>
#include <cmath>

#include "ZarvikEngine/Math.h"

namespace ZarvikEngine::MeshTools::Implementation {

/* atan(x) for |x| ≤ 1 within 2·10⁻⁶ radians: a least-squares fit of x·P(x²), far cheaper
   than the library's atan2 or acos in the innermost loops of normal and tangent generation */
inline float atanUnit(float x) {
    const float t = x * x;
    return x * (0.999979834f +
                t * (-0.332655483f +
                     t * (0.193670317f +
                          t * (-0.116651119f + t * (0.0528234911f + t * -0.0117705011f)))));
}

/* The angle between two vectors in [0, π] from the length of their cross product and their
   dot product (the sine and cosine times the same product of lengths), which needn't be
   normalized. Two zero vectors give π/2. */
inline float angleOf(float sine, float cosine) {
    if (std::abs(cosine) <= sine)
        return glm::half_pi<float>() - (sine > 0.0f ? atanUnit(cosine / sine) : 0.0f);
    const float reduced = atanUnit(sine / cosine);
    return cosine > 0.0f ? reduced : reduced + glm::pi<float>();
}

/* Float products of coordinates far from 1 overflow or underflow. Normal and tangent
   generation compute in floats, and where a length or product shows that this may have
   happened, once more in double precision, whose range holds any product of a few floats. */

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

} // namespace ZarvikEngine::MeshTools::Implementation

#endif
