#include "ZarvikEngine/Data/CollisionManager.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include <emmintrin.h>

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

/* Where a ray's line passes a sphere around the origin oc away: it meets the sphere when the
   discriminant isn't negative, nearest at t = -b - √discriminant */
struct SphereCrossing {
    float b;
    float discriminant;
    float ocSquared;
};

SphereCrossing crossSphere(const Vector3& oc, const Vector3& direction, float radiusSquared) {
    const float b = glm::dot(oc, direction);
    const float ocSquared = glm::dot(oc, oc);
    return {b, b * b - (ocSquared - radiusSquared), ocSquared};
}

/* The sphere of a sphere, the bounding sphere of a box. Both are computed and the bits
   selected: ray casts run over shapes of mixed kinds, where a branch would mispredict. */
float radiusSquared(ColliderType type, const Vector3& extents) {
    const auto sphere = std::bit_cast<std::uint32_t>(extents.x * extents.x);
    const auto box = std::bit_cast<std::uint32_t>(glm::dot(extents, extents));
    const std::uint32_t isSphere = 0u - std::uint32_t(type == ColliderType::Sphere);
    return std::bit_cast<float>((sphere & isSphere) | (box & ~isSphere));
}

/* Whether a ray can hit a shape: what both the sphere test and the bounding-sphere test of
   boxes need. A hit at t >= 0 needs b <= 0, and NaNs pass as they do in the full tests. */
bool mayHit(const SphereCrossing& crossing, float radiusSquared) {
    return (!(crossing.discriminant < 0.0f)) &
           ((!(crossing.b > 0.0f)) | (radiusSquared >= crossing.ocSquared));
}

/* The ray parameter of the nearer intersection with the sphere, if the line meets it */
bool intersectSphere(const SphereCrossing& crossing, float& t) {
    if (crossing.discriminant < 0.0f)
        return false;
    t = -crossing.b - std::sqrt(crossing.discriminant);
    return true;
}

/* Cheap rejection for boxes: a ray missing the bounding sphere misses the box */
bool passesBoundingSphere(const SphereCrossing& crossing, float radiusSquared) {
    float t;
    return intersectSphere(crossing, t) && (t >= 0.0f || radiusSquared >= crossing.ocSquared);
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
    const float r2 = radiusSquared(shape.type, shape.extents);
    const SphereCrossing crossing = crossSphere(oc, direction, r2);
    switch (shape.type) {
    case ColliderType::Sphere:
        return intersectSphere(crossing, t) && t >= 0.0f;
    case ColliderType::AxisAlignedBox:
        return passesBoundingSphere(crossing, r2) &&
               intersectSlabs(oc, direction, shape.extents, t);
    case ColliderType::Box:
        return passesBoundingSphere(crossing, r2) &&
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
    /* New entries hold the centre of the transform they name */
    const DualQuaternion source{};
    const Vector3 centre = translation(source);
    _centreSources.resize(n, source);
    _centresX.resize(n, centre.x);
    _centresY.resize(n, centre.y);
    _centresZ.resize(n, centre.z);
    _mayHit.resize((n + 3) / 4);
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

void CollisionManager::updateCentres(const SceneGraph& graph) {
    const unsigned short count = activeCount();
    for (unsigned short i = 0; i != count; ++i) {
        const DualQuaternion& world = graph.absoluteTransformation(graph.toIndex(object(i)));
        /* The same bits give the same centre */
        const auto* now = reinterpret_cast<const __m128i*>(&world);
        const auto* before = reinterpret_cast<const __m128i*>(&_centreSources[i]);
        const __m128i same =
            _mm_and_si128(_mm_cmpeq_epi32(_mm_loadu_si128(now), _mm_loadu_si128(before)),
                          _mm_cmpeq_epi32(_mm_loadu_si128(now + 1), _mm_loadu_si128(before + 1)));
        if (_mm_movemask_epi8(same) != 0xffff) [[unlikely]] {
            _centreSources[i] = world;
            const Vector3 centre = translation(world);
            _centresX[i] = centre.x;
            _centresY[i] = centre.y;
            _centresZ[i] = centre.z;
        }
    }
}

void CollisionManager::markMayHit(const Vector3& origin, const Vector3& direction) {
    /* Four shapes at a time through crossSphere() and mayHit(), operation by operation in the
       same order, so that a shape is marked exactly when mayHit() is true for it */
    const unsigned short count = activeCount();
    const __m128 originX = _mm_set1_ps(origin.x), originY = _mm_set1_ps(origin.y),
                 originZ = _mm_set1_ps(origin.z);
    const __m128 directionX = _mm_set1_ps(direction.x), directionY = _mm_set1_ps(direction.y),
                 directionZ = _mm_set1_ps(direction.z);
    const __m128 zero = _mm_setzero_ps();
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128 ocX = _mm_sub_ps(originX, _mm_loadu_ps(&_centresX[i]));
        const __m128 ocY = _mm_sub_ps(originY, _mm_loadu_ps(&_centresY[i]));
        const __m128 ocZ = _mm_sub_ps(originZ, _mm_loadu_ps(&_centresZ[i]));
        /* radiusSquared() of four shapes: extents x, y and z apart, and the bits of the sphere
           radius selected where the type is a sphere */
        const float* extents = &_extents[i].x;
        const __m128 e0 = _mm_loadu_ps(extents), e1 = _mm_loadu_ps(extents + 4),
                     e2 = _mm_loadu_ps(extents + 8);
        /* x2 y2 x3 y3 */
        const __m128 twoThree = _mm_shuffle_ps(e1, e2, _MM_SHUFFLE(2, 1, 3, 2));
        const __m128 extentsX = _mm_shuffle_ps(_mm_shuffle_ps(e0, e1, _MM_SHUFFLE(0, 0, 3, 0)),
                                               twoThree, _MM_SHUFFLE(2, 0, 1, 0));
        const __m128 extentsY = _mm_shuffle_ps(_mm_shuffle_ps(e0, e1, _MM_SHUFFLE(0, 0, 1, 1)),
                                               twoThree, _MM_SHUFFLE(3, 1, 2, 0));
        const __m128 extentsZ = _mm_shuffle_ps(_mm_shuffle_ps(e0, e1, _MM_SHUFFLE(1, 1, 2, 2)),
                                               _mm_shuffle_ps(e2, e2, _MM_SHUFFLE(3, 3, 0, 0)),
                                               _MM_SHUFFLE(2, 0, 2, 0));
        const __m128 sphere = _mm_mul_ps(extentsX, extentsX);
        const __m128 box = _mm_add_ps(_mm_add_ps(sphere, _mm_mul_ps(extentsY, extentsY)),
                                      _mm_mul_ps(extentsZ, extentsZ));
        std::int32_t types;
        std::memcpy(&types, &_colliders[i], 4);
        const __m128i bytes = _mm_cvtsi32_si128(types);
        const __m128i lanes =
            _mm_unpacklo_epi16(_mm_unpacklo_epi8(bytes, _mm_setzero_si128()), _mm_setzero_si128());
        const __m128 isSphere = _mm_castsi128_ps(
            _mm_cmpeq_epi32(lanes, _mm_set1_epi32(std::int32_t(ColliderType::Sphere))));
        const __m128 r2 = _mm_or_ps(_mm_and_ps(isSphere, sphere), _mm_andnot_ps(isSphere, box));
        const __m128 b =
            _mm_add_ps(_mm_add_ps(_mm_mul_ps(ocX, directionX), _mm_mul_ps(ocY, directionY)),
                       _mm_mul_ps(ocZ, directionZ));
        const __m128 ocSquared = _mm_add_ps(_mm_add_ps(_mm_mul_ps(ocX, ocX), _mm_mul_ps(ocY, ocY)),
                                            _mm_mul_ps(ocZ, ocZ));
        const __m128 discriminant = _mm_sub_ps(_mm_mul_ps(b, b), _mm_sub_ps(ocSquared, r2));
        const __m128 may =
            _mm_and_ps(_mm_cmpnlt_ps(discriminant, zero),
                       _mm_or_ps(_mm_cmpngt_ps(b, zero), _mm_cmpge_ps(r2, ocSquared)));
        _mayHit[i / 4] = std::uint8_t(_mm_movemask_ps(may));
    }
    if (i != count) {
        _mayHit[i / 4] = 0;
        for (std::size_t k = i; k != count; ++k) {
            const Vector3 centre{_centresX[k], _centresY[k], _centresZ[k]};
            const float r2 = radiusSquared(_colliders[k], _extents[k]);
            _mayHit[i / 4] |=
                std::uint8_t(mayHit(crossSphere(origin - centre, direction, r2), r2) << (k - i));
        }
    }
}

bool CollisionManager::rayCast(const Vector3& origin, const Vector3& direction,
                               std::uint8_t groupMask, float maxDistance, RayHit& hit) {
    SceneGraph& graph = registeredSceneGraph("rayCast");
    const unsigned short count = activeCount();
    /* Updating a clean object does nothing, so a clean scene skips it for every shape */
    const std::span<const unsigned int> dirty = graph.dirty().data();
    if (std::any_of(dirty.begin(), dirty.end(), [](unsigned int word) { return word; }))
        for (unsigned short i = 0; i != count; ++i)
            if (_groups[i] & groupMask)
                graph.computeAbsoluteTransformation(graph.toIndex(object(i)));
    updateCentres(graph);

    markMayHit(origin, direction);
    hit.hitCount = 0;
    for (std::size_t four = 0; four != (std::size_t(count) + 3) / 4; ++four)
        for (unsigned bits = _mayHit[four]; bits; bits &= bits - 1) {
            const std::size_t i = 4 * four + std::countr_zero(bits);
            if (!(_groups[i] & groupMask))
                continue;
            const Id object = this->object(i);
            const Shape shape{_colliders[i],
                              {_centresX[i], _centresY[i], _centresZ[i]},
                              _centreSources[i].real,
                              _extents[i]};
            float t;
            if (intersectRay(shape, origin, direction, t) && t <= maxDistance)
                insertHit(hit, t, origin + t * direction, object);
        }
    return hit.hitCount != 0;
}

bool CollisionManager::rayCast(const Vector3& origin, const Vector3& direction,
                               std::uint8_t groupMask, float maxDistance) {
    RayHit hit{};
    return rayCast(origin, direction, groupMask, maxDistance, hit);
}

} // namespace ZarvikEngine::Data
