#ifndef ZarvikEngine_Tools_Angle_h
#define ZarvikEngine_Tools_Angle_h

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

} // namespace ZarvikEngine::MeshTools::Implementation

#endif
