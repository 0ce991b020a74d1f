#ifndef ZarvikEngine_BoundingSphere_h
#define ZarvikEngine_BoundingSphere_h

#include <type_traits>

#include "ZarvikEngine/Containers/StridedArrayView.h"
#include "ZarvikEngine/Math.h"

namespace ZarvikEngine {

/* Sphere stored as center then radius, 16 bytes; all zero by default */
class BoundingSphere {
public:
    constexpr BoundingSphere() = default;
    constexpr BoundingSphere(const Vector3& center, float radius)
        : _center{center}, _radius{radius} {}

    constexpr const Vector3& center() const { return _center; }
    constexpr float radius() const { return _radius; }
    constexpr float& radius() { return _radius; }

    /* A radius this small encloses nothing */
    constexpr bool isEmpty() const { return _radius <= 1.0e-5f; }

    /* (center x, y, z, radius) */
    constexpr explicit operator Vector4() const { return {_center, _radius}; }

    /* Grows to the smallest sphere enclosing both; an empty sphere contributes nothing */
    BoundingSphere& join(const BoundingSphere& other);

    /* Scales the radius by the largest of the factors that are not NaN, keeping the center */
    BoundingSphere& scale(const Vector3& factors);

    /* Moves the center by the translation; rotation does not move a center-relative sphere */
    BoundingSphere& transform(const DualQuaternion& transformation);

private:
    Vector3 _center;
    float _radius{};
};

/* Centered on the bounds of the positions, reaching the farthest one; empty without
   positions */
BoundingSphere boundingSphere(const StridedArrayView1D<const Vector3>& positions);

static_assert(sizeof(BoundingSphere) == 16 && std::is_standard_layout_v<BoundingSphere>);

} // namespace ZarvikEngine

#endif
