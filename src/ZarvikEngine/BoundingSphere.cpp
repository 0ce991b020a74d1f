#include "ZarvikEngine/BoundingSphere.h"

#include <algorithm>

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
    /* fmax() passes over a NaN argument */
    _radius *= std::fmax(std::fmax(factors.x, factors.y), factors.z);
    return *this;
}

BoundingSphere& BoundingSphere::transform(const DualQuaternion& transformation) {
    _center += translation(transformation);
    return *this;
}

BoundingSphere boundingSphere(const StridedArrayView1D<const Vector3>& positions) {
    if (positions.empty())
        return {};
    Vector3 min = positions[0], max = positions[0];
    for (const Vector3& position : positions) {
        min = glm::min(min, position);
        max = glm::max(max, position);
    }
    const Vector3 center = (min + max) * 0.5f;
    float radius = 0.0f;
    for (const Vector3& position : positions)
        radius = std::max(radius, glm::length(position - center));
    return {center, radius};
}

} // namespace ZarvikEngine
