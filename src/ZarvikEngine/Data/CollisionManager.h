#ifndef ZarvikEngine_Data_CollisionManager_h
#define ZarvikEngine_Data_CollisionManager_h

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ZarvikEngine/Data/ComponentManager.h"
#include "ZarvikEngine/Math.h"

namespace ZarvikEngine::Data {

/* Other values are kept but never collide */
enum class ColliderType : std::uint8_t {
    /* Centred on the object, radius extents.x; rotation and scaling ignored */
    Sphere = 0,
    /* Half-extents along the world axes; rotation ignored */
    AxisAlignedBox = 1,
    /* Half-extents along the object's world axes */
    Box = 2,
};

Debug& operator<<(Debug& debug, ColliderType value);

/* The nearest hits of a ray, sorted by ascending distance */
struct RayHit {
    Vector3 locations[4];
    /* Not computed: moved along with the hits, they keep what the caller put there */
    Vector3 normals[4];
    float distances[4];
    Id objects[4];
    std::uint32_t hitCount;
};

/* Collision shapes on objects, answering ray casts and overlap queries against the current
   world transforms. There is no broad phase: every query tests all active components.

   Block: as ComponentManager, then the extents (one Vector3 per slot), the collider types and
   the group masks (one byte per slot each). */
class CollisionManager : public ComponentManager {
public:
    explicit CollisionManager(std::uint32_t capacity = 0);
    /* Adopts a block laid out as data() gives it; one from outside the process goes through
       validate() first */
    explicit CollisionManager(std::vector<char>&& block);

    /* Checks a block from outside the process before it is adopted: sizes and Id maps (any
       extents, type and group can be queried). Returns the first problem, or nothing. */
    static std::optional<std::string> validate(std::span<const char> data);

    std::string_view name() const override { return "collision"; }
    /* 12 bytes of extents, a type byte and a group byte per slot */
    std::size_t componentDataSize(unsigned short capacity) const override;
    void copy(unsigned short source, unsigned short destination) override;
    /* Queries read the world transforms when they run */
    void updateComponent(unsigned short) override {}
    using ComponentManager::updateComponent;

    ColliderType& collider(unsigned short index) { return _colliders[index]; }
    ColliderType& collider(Id id) { return collider(toIndex(id)); }
    Vector3& extents(unsigned short index) { return _extents[index]; }
    Vector3& extents(Id id) { return extents(toIndex(id)); }
    std::uint8_t& group(unsigned short index) { return _groups[index]; }
    std::uint8_t& group(Id id) { return group(toIndex(id)); }
    ColliderType collider(unsigned short index) const { return _colliders[index]; }
    ColliderType collider(Id id) const { return collider(toIndex(id)); }
    const Vector3& extents(unsigned short index) const { return _extents[index]; }
    const Vector3& extents(Id id) const { return extents(toIndex(id)); }
    std::uint8_t group(unsigned short index) const { return _groups[index]; }
    std::uint8_t group(Id id) const { return group(toIndex(id)); }

    /* The active components sharing a group bit with the given one whose shapes overlap it,
       in index order. Axis-aligned and oriented boxes never overlap each other. */
    std::vector<Id> queryOverlaps(Id collision);

    /* Stores the up to four nearest hits within maxDistance of the active components sharing
       a bit with groupMask into hit, replacing its hits but leaving its normals as they are.
       direction must be normalized. A ray starting inside a shape doesn't hit it. True when
       anything was hit. */
    bool rayCast(const Vector3& origin, const Vector3& direction, std::uint8_t groupMask,
                 float maxDistance, RayHit& hit);
    bool rayCast(const Vector3& origin, const Vector3& direction, std::uint8_t groupMask,
                 float maxDistance);

protected:
    void doInit() override;
    void doSwap(unsigned short a, unsigned short b) override;
    void doDelete(unsigned short index) override;
    void doAppend(const SparseArray& other) override;

private:
    SceneGraph& registeredSceneGraph(const char* function) const;
    /* Centres of the active components from the world transforms */
    void updateCentres(const SceneGraph& graph);
    /* Whether the ray may hit each active shape, from the centres and extents, without
       branches */
    void markMayHit(const Vector3& origin, const Vector3& direction);

    std::span<Vector3> _extents;
    std::span<ColliderType> _colliders;
    std::span<std::uint8_t> _groups;
    /* Scratch of rayCast(), by component index: the world transform each centre was last
       computed from and the centre, a column per coordinate; whether the ray may hit it, a bit
       per shape in each byte for four */
    std::vector<DualQuaternion> _centreSources;
    std::vector<float> _centresX, _centresY, _centresZ;
    std::vector<std::uint8_t> _mayHit;
};

} // namespace ZarvikEngine::Data

#endif
