#include "ZarvikEngine/BoundingSphere.h"

#include <limits>

namespace ZarvikEngine {

BoundingSphere& BoundingSphere::join(const BoundingSphere& other) {
    if (other.isEmpty())
        return *this;
    if (isEmpty())
        return *this = other;

    const Vector3 offset = other._center - _center;
    const float distanceSquared = glm::dot(offset, offset);
    const float radiusDifference = _radius - other._radius;
    /* One already contains the other */
    if (radiusDifference * radiusDifference >= distanceSquared) {
        if (other._radius > _radius)
            *this = other;
        return *this;
    }

    const float distance = std::sqrt(distanceSquared);
    const float radius = float((_radius + distance + other._radius) * 0.5);
    _center += (radius - _radius) * offset / distance;
    _radius = radius;
    return *this;
}

BoundingSphere& BoundingSphere::scale(const Vector3& factors) {
    float largest = std::numeric_limits<float>::quiet_NaN();
    for (glm::length_t i = 0; i != 3; ++i)
        if (!std::isnan(factors[i]) && (std::isnan(largest) || factors[i] > largest))
            largest = factors[i];
    _radius *= largest;
    return *this;
}

BoundingSphere& BoundingSphere::transform(const DualQuaternion& transformation) {
    _center += translation(transformation);
    return *this;
}

} // namespace ZarvikEngine
