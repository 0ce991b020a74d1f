#include "ZarvikEngine/Data/CollisionManager.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include <fmt/format.h>

#include "ZarvikEngine/Data/SceneGraph.h"

namespace ZarvikEngine::Data {

static_assert(sizeof(RayHit) == 124, "a plain structure callers may lay out themselves");

namespace {

/* A collision component in world space */
struct Shape {
    ColliderType type;
    Vector3 centre;
    Quaternion rotation;
    Vector3 extents;
};

/* The ray parameter of the nearer intersection with a sphere around the origin oc away, if
   the line meets it */
bool intersectSphere(const Vector3& oc, const Vector3& direction, float radiusSquared, float& t) {
    const float b = glm::dot(oc, direction);
    const float discriminant = b * b - (glm::dot(oc, oc) - radiusSquared);
    if (discriminant < 0.0f)
        return false;
    t = -b - std::sqrt(discriminant);
    return true;
}

/* Cheap rejection for boxes: a ray missing the bounding sphere misses the box */
bool passesBoundingSphere(const Vector3& oc, const Vector3& direction, const Vector3& extents) {
    const float radiusSquared = glm::dot(extents, extents);
    float t;
    return intersectSphere(oc, direction, radiusSquared, t) &&
           (t >= 0.0f || radiusSquared >= glm::dot(oc, oc));
}

/* Slab test against a box of half-extents h at the origin. Axes the ray runs along exactly on
   a face plane give 0/0, which is ignored. */
bool intersectSlabs(const Vector3& o, const Vector3& d, const Vector3& h, float& t) {
    float near = -std::numeric_limits<float>::infinity();
    float far = std::numeric_limits<float>::infinity();
    for (int i = 0; i != 3; ++i) {
        const float t1 = (-h[i] - o[i]) / d[i];
        const float t2 = (h[i] - o[i]) / d[i];
        near = std::fmax(near, std::fmin(t1, t2));
        far = std::fmin(far, std::fmax(t1, t2));
    }
    t = near;
    return near < far && near >= 0.0f;
}

Vector3 toLocal(const Quaternion& rotation, const Vector3& vector) {
    return glm::conjugate(rotation) * vector;
}

bool intersectRay(const Shape& shape, const Vector3& origin, const Vector3& direction, float& t) {
    const Vector3 oc = origin - shape.centre;
    switch (shape.type) {
    case ColliderType::Sphere:
        return intersectSphere(oc, direction, shape.extents.x * shape.extents.x, t) && t >= 0.0f;
    case ColliderType::AxisAlignedBox:
        return passesBoundingSphere(oc, direction, shape.extents) &&
               intersectSlabs(oc, direction, shape.extents, t);
    case ColliderType::Box:
        return passesBoundingSphere(oc, direction, shape.extents) &&
               intersectSlabs(toLocal(shape.rotation, oc), toLocal(shape.rotation, direction),
                              shape.extents, t);
    }
    return false;
}

/* p is the sphere's centre relative to the box's, in the box's axes */
bool sphereOverlapsBox(const Vector3& p, float radius, const Vector3& halfExtents) {
    const Vector3 outside = p - glm::clamp(p, -halfExtents, halfExtents);
    return radius * radius >= glm::dot(outside, outside);
}

float projectedRadius(const Vector3& axis, const Matrix3& axes, const Vector3& extents) {
    return std::abs(glm::dot(axis, axes[0] * extents.x)) +
           std::abs(glm::dot(axis, axes[1] * extents.y)) +
           std::abs(glm::dot(axis, axes[2] * extents.z));
}

/* Separating-axis test: the boxes' axes and their nine cross products, not normalized. A zero
   axis projects both boxes to the same point and so never separates. */
bool boxesOverlap(const Shape& a, const Shape& b) {
    const Matrix3 axesA = toMatrix(a.rotation), axesB = toMatrix(b.rotation);
    Vector3 axes[15];
    for (int i = 0; i != 3; ++i) {
        axes[i] = axesA[i];
        axes[3 + i] = axesB[i];
        for (int j = 0; j != 3; ++j)
            axes[6 + 3 * i + j] = glm::cross(axesA[i], axesB[j]);
    }
    for (const Vector3& axis : axes) {
        const float centreA = glm::dot(axis, a.centre), centreB = glm::dot(axis, b.centre);
        const float radiusA = projectedRadius(axis, axesA, a.extents);
        const float radiusB = projectedRadius(axis, axesB, b.extents);
        if (centreA + radiusA < centreB - radiusB || centreB + radiusB < centreA - radiusA)
            return false;
    }
    return true;
}

bool overlap(const Shape& a, const Shape& b) {
    using T = ColliderType;
    const Vector3 ab = b.centre - a.centre;
    /* Sphere against either box, in the box's frame for an oriented one */
    const auto sphereBox = [](const Shape& sphere, const Shape& box) {
        const Vector3 p = sphere.centre - box.centre;
        return sphereOverlapsBox(box.type == T::Box ? toLocal(box.rotation, p) : p,
                                 sphere.extents.x, box.extents);
    };
    switch (a.type) {
    case T::Sphere:
        if (b.type == T::Sphere) {
            const float radii = a.extents.x + b.extents.x;
            return radii * radii > glm::dot(ab, ab);
        }
        return (b.type == T::AxisAlignedBox || b.type == T::Box) && sphereBox(a, b);
    case T::AxisAlignedBox:
        if (b.type == T::Sphere)
            return sphereBox(b, a);
        return b.type == T::AxisAlignedBox &&
               glm::all(glm::lessThan(glm::abs(ab), a.extents + b.extents));
    case T::Box:
        if (b.type == T::Sphere)
            return sphereBox(b, a);
        if (b.type != T::Box)
            return false;
        {
            const float radii = glm::length(a.extents) + glm::length(b.extents);
            return radii * radii > glm::dot(ab, ab) && boxesOverlap(a, b);
        }
    }
    return false;
}

/* Inserts a hit keeping the four nearest sorted; an equal distance goes behind */
void insertHit(RayHit& hit, float t, const Vector3& location, Id object) {
    if (hit.hitCount == 4 && !(t < hit.distances[3]))
        return;
    std::uint32_t k = std::min<std::uint32_t>(hit.hitCount, 3);
    hit.locations[k] = location;
    hit.distances[k] = t;
    hit.objects[k] = object;
    hit.hitCount = std::min<std::uint32_t>(hit.hitCount + 1, 4);
    for (; k && hit.distances[k - 1] > hit.distances[k]; --k) {
        std::swap(hit.locations[k - 1], hit.locations[k]);
        std::swap(hit.normals[k - 1], hit.normals[k]);
        std::swap(hit.distances[k - 1], hit.distances[k]);
        std::swap(hit.objects[k - 1], hit.objects[k]);
    }
}

} // namespace

Debug& operator<<(Debug& debug, ColliderType value) {
    switch (value) {
    case ColliderType::Sphere:
        return printEnum(debug, "ColliderType", "Sphere", int(value));
    case ColliderType::AxisAlignedBox:
        return printEnum(debug, "ColliderType", "AxisAlignedBox", int(value));
    case ColliderType::Box:
        return printEnum(debug, "ColliderType", "Box", int(value));
    }
    return printEnum(debug, "ColliderType", {}, int(value));
}

CollisionManager::CollisionManager(std::uint32_t capacity) : ComponentManager{0} {
    ZE_ASSERT(capacity <= MaxCapacity, "CollisionManager::CollisionManager(): capacity"
                                           << capacity << "is above" << MaxCapacity);
    allocate(static_cast<unsigned short>(capacity));
}

CollisionManager::CollisionManager(std::vector<char>&& block) : ComponentManager{0} {
    create(std::move(block));
}

std::size_t CollisionManager::componentDataSize(unsigned short capacity) const {
    return 14 * std::size_t(capacity);
}

std::optional<std::string> CollisionManager::validate(std::span<const char> data) {
    return validateBlock(
        "CollisionManager", data, 0,
        [](std::span<const char>, unsigned short capacity) { return 14 * std::size_t(capacity); },
        CollisionManager{});
}

void CollisionManager::doInit() {
    ComponentManager::doInit();
    const unsigned short n = capacity();
    partition().reserveRegions(3);
    _extents = partition().addAlignedRegion<Vector3>(block(), n);
    _colliders = partition().addRegion<ColliderType>(block(), n);
    _groups = partition().addRegion<std::uint8_t>(block(), n);
}

void CollisionManager::copy(unsigned short source, unsigned short destination) {
    _extents[destination] = _extents[source];
    _colliders[destination] = _colliders[source];
    _groups[destination] = _groups[source];
}

void CollisionManager::doSwap(unsigned short a, unsigned short b) {
    ComponentManager::doSwap(a, b);
    std::swap(_extents[a], _extents[b]);
    std::swap(_colliders[a], _colliders[b]);
    std::swap(_groups[a], _groups[b]);
}

void CollisionManager::doDelete(unsigned short index) {
    _extents[index] = Vector3{0.0f};
    _colliders[index] = ColliderType::Sphere;
    _groups[index] = 0;
}

void CollisionManager::doAppend(const SparseArray& other) {
    /* Managers are matched by name, so the other one is a collision manager too */
    const auto& collisions = static_cast<const CollisionManager&>(other);
    const unsigned short begin = size(), count = collisions.size();
    std::copy_n(collisions._extents.begin(), count, _extents.begin() + begin);
    std::copy_n(collisions._colliders.begin(), count, _colliders.begin() + begin);
    std::copy_n(collisions._groups.begin(), count, _groups.begin() + begin);
}

SceneGraph& CollisionManager::registeredSceneGraph(const char* function) const {
    ZE_ASSERT(sceneGraph(), fmt::format("CollisionManager::{}(): Manager is not registered in a "
                                        "scene graph",
                                        function)
                                .c_str());
    return *sceneGraph();
}

std::vector<Id> CollisionManager::queryOverlaps(Id collision) {
    SceneGraph& graph = registeredSceneGraph("queryOverlaps");
    const auto shapeOf = [&](unsigned short index) {
        const unsigned short object = graph.toIndex(this->object(index));
        graph.computeAbsoluteTransformation(object);
        const DualQuaternion& world = graph.absoluteTransformation(object);
        return Shape{_colliders[index], translation(world), rotation(world), _extents[index]};
    };

    const unsigned short a = toIndex(collision);
    const Shape shape = shapeOf(a);
    std::vector<Id> overlapping;
    for (unsigned short b = 0; b != activeCount(); ++b)
        if (b != a && (_groups[b] & _groups[a]) && overlap(shape, shapeOf(b)))
            overlapping.push_back(toId(b));
    return overlapping;
}

bool CollisionManager::rayCast(const Vector3& origin, const Vector3& direction,
                               std::uint8_t groupMask, float maxDistance, RayHit& hit) {
    SceneGraph& graph = registeredSceneGraph("rayCast");
    hit.hitCount = 0;
    for (unsigned short i = 0; i != activeCount(); ++i) {
        if (!(_groups[i] & groupMask))
            continue;
        const unsigned short object = graph.toIndex(this->object(i));
        graph.computeAbsoluteTransformation(object);
        const DualQuaternion& world = graph.absoluteTransformation(object);
        const Shape shape{_colliders[i], translation(world), rotation(world), _extents[i]};
        float t;
        if (intersectRay(shape, origin, direction, t) && t <= maxDistance)
            insertHit(hit, t, origin + t * direction, this->object(i));
    }
    return hit.hitCount != 0;
}

bool CollisionManager::rayCast(const Vector3& origin, const Vector3& direction,
                               std::uint8_t groupMask, float maxDistance) {
    RayHit hit{};
    return rayCast(origin, direction, groupMask, maxDistance, hit);
}

} // namespace ZarvikEngine::Data
