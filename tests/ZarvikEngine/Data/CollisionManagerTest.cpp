#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <vector>

#include <btBulletCollisionCommon.h>
#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "TestManagers.h"
#include "ZarvikEngine/Data/CollisionManager.h"
#include "ZarvikEngine/Data/SceneGraph.h"

namespace ZarvikEngine::Data {
namespace {

using Test::readAt;

/* A scene graph with the manager registered in slot 0 */
struct Scene {
    Scene() { graph.setComponentManager(0, "collision", &collisions); }

    /* An active shape on a new object under the root */
    Id add(ColliderType type, const Vector3& position, const Vector3& extents,
           std::uint8_t group = 1, const Quaternion& rotation = {}) {
        const Id object = graph.addObject(Id(0));
        graph.localTransformation(object) =
            dualQuaternionFromRotationTranslation(rotation, position);
        graph.setDirty(object);
        const Id id = collisions.addComponent(object);
        collisions.collider(id) = type;
        collisions.extents(id) = extents;
        collisions.group(id) = group;
        collisions.activate(id);
        return id;
    }

    SceneGraph graph{16, 1, 16};
    CollisionManager collisions{8};
};

constexpr Vector3 Forward{0.0f, 0.0f, 1.0f};

TEST(CollisionManager, BlockLayoutRoundTripAndStorageHooks) {
    Scene scene;
    CollisionManager& collisions = scene.collisions;
    EXPECT_EQ(collisions.name(), "collision");
    EXPECT_EQ(collisions.componentDataSize(5), 70);
    const Id a = scene.add(ColliderType::Box, {}, {1.0f, 2.0f, 3.0f}, 6);
    const Id b = scene.add(ColliderType::AxisAlignedBox, {}, {4.0f, 5.0f, 6.0f}, 9);
    /* Headers, Id maps and owning objects of 8 slots, then extents, types and groups */
    const std::size_t regions = 16 + 4 + 4 * 8 + 16;
    EXPECT_EQ(collisions.data().size(), regions + 14 * 8);
    EXPECT_EQ(readAt<float>(collisions.data(), regions + 12 * collisions.toIndex(a) + 4), 2.0f);
    EXPECT_EQ(readAt<std::uint8_t>(collisions.data(), regions + 96 + collisions.toIndex(b)), 1);
    EXPECT_EQ(readAt<std::uint8_t>(collisions.data(), regions + 104 + collisions.toIndex(a)), 6);

    EXPECT_EQ(CollisionManager::validate(collisions.data()), std::nullopt);
    EXPECT_NE(CollisionManager::validate(collisions.data().first(collisions.data().size() - 1)),
              std::nullopt);
    CollisionManager adopted{std::vector<char>(collisions.data().begin(), collisions.data().end())};
    EXPECT_EQ(adopted.extents(b), Vector3(4.0f, 5.0f, 6.0f));
    EXPECT_EQ(adopted.collider(a), ColliderType::Box);

    /* Growth, copy, and a deletion that swaps the last component into the hole and clears the
       freed slot */
    collisions.allocate(20);
    EXPECT_EQ(collisions.group(b), 9);
    collisions.copy(collisions.toIndex(b), collisions.toIndex(a));
    EXPECT_EQ(collisions.collider(a), ColliderType::AxisAlignedBox);
    EXPECT_EQ(collisions.group(a), 9);
    collisions.group(a) = 3;
    collisions.deleteComponent(a);
    EXPECT_EQ(collisions.toIndex(b), 0);
    EXPECT_EQ(collisions.extents(b), Vector3(4.0f, 5.0f, 6.0f));
    EXPECT_EQ(collisions.group(std::uint16_t(1)), 0);
    EXPECT_EQ(collisions.extents(std::uint16_t(1)), Vector3(0.0f));

    std::ostringstream out;
    Debug{&out} << ColliderType::AxisAlignedBox << ColliderType(7);
    EXPECT_EQ(out.str(), "ColliderType::AxisAlignedBox ColliderType(7)\n");
}

TEST(CollisionManager, AppendedShapesKeepTheirData) {
    Debug quiet{nullptr};
    Scene scene, other;
    scene.add(ColliderType::Sphere, {}, {1.0f, 0.0f, 0.0f});
    other.add(ColliderType::Box, {0.0f, 0.0f, 5.0f}, {1.0f, 2.0f, 3.0f}, 4);
    scene.graph.append(other.graph, {});
    ASSERT_EQ(scene.collisions.size(), 2);
    EXPECT_EQ(scene.collisions.collider(std::uint16_t(1)), ColliderType::Box);
    EXPECT_EQ(scene.collisions.extents(std::uint16_t(1)), Vector3(1.0f, 2.0f, 3.0f));
    EXPECT_EQ(scene.collisions.group(std::uint16_t(1)), 4);
    /* Appended active components are active here too and take their objects' places */
    EXPECT_TRUE(scene.collisions.rayCast({0.0f, 0.0f, 1.5f}, Forward, 4, 10.0f));
}

TEST(CollisionManager, RayCastKeepsTheFourNearestInOrder) {
    Scene scene;
    /* Five shapes along +Z, added out of order; then one off the ray, one in another group
       and one inactive */
    const float zs[]{9.0f, 3.0f, 15.0f, 6.0f, 12.0f};
    const ColliderType types[]{ColliderType::Sphere, ColliderType::AxisAlignedBox,
                               ColliderType::Box, ColliderType::Sphere, ColliderType::Box};
    std::vector<Id> objects;
    for (int i = 0; i != 5; ++i)
        objects.push_back(scene.collisions.object(
            scene.add(types[i], {0.0f, 0.0f, zs[i]}, Vector3{1.0f}, 1,
                      rotation(Rad{0.3f * float(i)}, glm::normalize(Vector3{1.0f, 2.0f, 3.0f})))));
    scene.add(ColliderType::Sphere, {5.0f, 0.0f, 1.0f}, Vector3{1.0f});
    scene.add(ColliderType::Sphere, {0.0f, 0.0f, 2.0f}, Vector3{0.5f}, 2);
    scene.collisions.deactivate(scene.add(ColliderType::Sphere, {0.0f, 0.0f, 1.0f}, Vector3{0.5f}));

    RayHit hit{};
    for (int i = 0; i != 4; ++i)
        hit.normals[i] = Vector3{float(i)};
    ASSERT_TRUE(scene.collisions.rayCast({}, Forward, 1, 100.0f, hit));
    ASSERT_EQ(hit.hitCount, 4u);
    const float expected[]{2.0f, 5.0f, 8.0f};
    const Id expectedObjects[]{objects[1], objects[3], objects[0], objects[4]};
    for (int i = 0; i != 4; ++i) {
        EXPECT_EQ(hit.objects[i], expectedObjects[i]) << i;
        if (i < 3) {
            EXPECT_FLOAT_EQ(hit.distances[i], expected[i]) << i;
        }
        EXPECT_FLOAT_EQ(hit.locations[i].z, hit.distances[i]) << i;
    }
    /* The oriented box is hit somewhere between its faces and its corners */
    EXPECT_GT(hit.distances[3], 12.0f - std::sqrt(3.0f));
    EXPECT_LT(hit.distances[3], 11.0f);
    /* Normals aren't computed, only moved with the hits: the sphere and the axis-aligned box
       came in behind other hits and bubbled forward */
    EXPECT_EQ(hit.normals[3], Vector3{2.0f});

    /* The distance limit is inclusive; the other group and an empty mask */
    EXPECT_TRUE(scene.collisions.rayCast({}, Forward, 1, 2.0f, hit));
    EXPECT_EQ(hit.hitCount, 1u);
    EXPECT_FALSE(scene.collisions.rayCast({}, Forward, 1, 1.99f));
    EXPECT_TRUE(scene.collisions.rayCast({}, Forward, 2, 100.0f, hit));
    EXPECT_FLOAT_EQ(hit.distances[0], 1.5f);
    EXPECT_FALSE(scene.collisions.rayCast({}, Forward, 0, 100.0f));
    EXPECT_FALSE(scene.collisions.rayCast({}, -Forward, 3, 100.0f));
}

TEST(CollisionManager, RaysStartingInsideAShapeDontHitIt) {
    const Quaternion tilted = rotation(Rad{0.7f}, glm::normalize(Vector3{1.0f, 1.0f, 0.0f}));
    for (const ColliderType type :
         {ColliderType::Sphere, ColliderType::AxisAlignedBox, ColliderType::Box}) {
        Scene scene;
        const Id shape = scene.add(type, {1.0f, 2.0f, 3.0f}, Vector3{2.0f}, 1, tilted);
        EXPECT_FALSE(scene.collisions.rayCast({1.5f, 2.0f, 3.0f}, Forward, 1, 100.0f)) << int(type);
        /* From outside it is hit, on its object after that object moved */
        scene.graph.localTransformation(scene.collisions.object(shape)) =
            dualQuaternionFromRotationTranslation(tilted, {1.0f, 2.0f, 13.0f});
        scene.graph.setDirty(scene.collisions.object(shape));
        RayHit hit{};
        EXPECT_TRUE(scene.collisions.rayCast({1.5f, 2.0f, 3.0f}, Forward, 1, 100.0f, hit))
            << int(type);
        EXPECT_EQ(hit.objects[0], scene.collisions.object(shape));
    }
    /* Rays parallel to faces, outside the box and inside its slab */
    Scene scene;
    scene.add(ColliderType::AxisAlignedBox, {0.0f, 0.0f, 5.0f}, Vector3{1.0f});
    EXPECT_FALSE(scene.collisions.rayCast({0.0f, 1.5f, 0.0f}, Forward, 1, 100.0f));
    RayHit hit{};
    EXPECT_TRUE(scene.collisions.rayCast({0.5f, 0.5f, 0.0f}, Forward, 1, 100.0f, hit));
    EXPECT_FLOAT_EQ(hit.distances[0], 4.0f);
}

TEST(CollisionManager, OverlapsByShapePair) {
    Scene scene;
    const Id sphere = scene.add(ColliderType::Sphere, {}, {1.0f, 0.0f, 0.0f}, 3);
    const Id apart = scene.add(ColliderType::Sphere, {2.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f});
    const Id close = scene.add(ColliderType::Sphere, {0.0f, 1.9f, 0.0f}, {1.0f, 0.0f, 0.0f});
    /* Touching counts for spheres against boxes */
    const Id aabb = scene.add(ColliderType::AxisAlignedBox, {0.0f, 0.0f, -2.0f}, Vector3{1.0f});
    const Quaternion diagonal = rotation(Rad{0.7853982f}, {0.0f, 0.0f, 1.0f});
    /* Its corner reaches to 1 + 0.5·√2 ≈ 1.707 along -x, but not the sphere's side at 1 */
    const Id box = scene.add(ColliderType::Box, {-2.2f, 0.0f, 0.0f}, Vector3{0.5f}, 2, diagonal);
    const Id otherGroup = scene.add(ColliderType::Sphere, {0.5f, 0.0f, 0.0f}, Vector3{1.0f}, 4);

    EXPECT_EQ(scene.collisions.queryOverlaps(sphere), (std::vector<Id>{close, aabb}));
    EXPECT_EQ(scene.collisions.queryOverlaps(aabb), (std::vector<Id>{sphere}));
    EXPECT_TRUE(scene.collisions.queryOverlaps(apart).empty());
    EXPECT_TRUE(scene.collisions.queryOverlaps(box).empty());
    EXPECT_TRUE(scene.collisions.queryOverlaps(otherGroup).empty());

    /* Moved closer, the box's corner reaches the sphere */
    scene.graph.localTransformation(scene.collisions.object(box)) =
        dualQuaternionFromRotationTranslation(diagonal, {-1.6f, 0.0f, 0.0f});
    scene.graph.setDirty(scene.collisions.object(box));
    EXPECT_EQ(scene.collisions.queryOverlaps(box), (std::vector<Id>{sphere}));

    /* Axis-aligned and oriented boxes never overlap, even in the same place */
    Scene boxes;
    const Id a = boxes.add(ColliderType::AxisAlignedBox, {}, Vector3{1.0f});
    const Id b = boxes.add(ColliderType::Box, {}, Vector3{1.0f});
    const Id c = boxes.add(ColliderType::Box, {0.0f, 1.0f, 0.0f}, Vector3{1.0f}, 1, diagonal);
    const Id d = boxes.add(ColliderType::AxisAlignedBox, {2.0f, 0.0f, 0.0f}, Vector3{1.0f});
    const Id e = boxes.add(ColliderType::Box, {2.0f, 1.5f, 0.0f}, Vector3{0.5f, 0.5f, 3.0f});
    EXPECT_EQ(boxes.collisions.queryOverlaps(a), std::vector<Id>{});
    EXPECT_EQ(boxes.collisions.queryOverlaps(b), (std::vector<Id>{c}));
    EXPECT_EQ(boxes.collisions.queryOverlaps(c), (std::vector<Id>{b}));
    /* Touching axis-aligned boxes don't overlap */
    EXPECT_TRUE(boxes.collisions.queryOverlaps(d).empty());
    /* e lies off the diagonal box's face: their bounding spheres overlap, the diagonal box's
       axis separates them */
    EXPECT_TRUE(boxes.collisions.queryOverlaps(e).empty());
}

TEST(CollisionManager, QueriesNeedARegisteredManager) {
    CollisionManager collisions{1};
    ZE_EXPECT_ABORT(collisions.rayCast({}, Forward, 1, 1.0f),
                    "CollisionManager::rayCast(): Manager is not registered in a scene graph");
    ZE_EXPECT_ABORT(collisions.queryOverlaps(Id(0)),
                    "CollisionManager::queryOverlaps(): Manager is not registered in a scene "
                    "graph");
}

/* Cross-checks against Bullet on random shapes: ours, once of each pair of shapes or shape
   and ray, in a scene of two components, against Bullet's ray test and contact test on the
   same shapes. A disagreement is explained when it goes away with the shapes' extents
   1e-4 larger or smaller (a ray grazing the surface, shapes that just touch); anything else
   fails. */
struct RandomShape {
    ColliderType type;
    Vector3 centre;
    Quaternion rotation;
    Vector3 extents;

    RandomShape scaled(float factor) const { return {type, centre, rotation, extents * factor}; }
};

class CrossCheck {
public:
    CrossCheck() {
        const Id first = scene.add(ColliderType::Sphere, {}, Vector3{1.0f});
        const Id second = scene.add(ColliderType::Sphere, {}, Vector3{1.0f});
        a = first;
        b = second;
    }

    RandomShape shape(ColliderType type, float spread) {
        std::uniform_real_distribution<float> position{-spread, spread}, size{0.2f, 2.5f};
        std::normal_distribution<float> normal;
        return {type,
                {position(random), position(random), position(random)},
                glm::normalize(quaternionFromXyzw(normal(random), normal(random), normal(random),
                                                  normal(random))),
                {size(random), size(random), size(random)}};
    }

    /* Half the rays aim near the shape, the others anywhere */
    std::pair<Vector3, Vector3> ray(const RandomShape& target) {
        std::uniform_real_distribution<float> position{-8.0f, 8.0f};
        std::normal_distribution<float> normal;
        const Vector3 origin{position(random), position(random), position(random)};
        const Vector3 jitter{normal(random), normal(random), normal(random)};
        const Vector3 towards =
            random() % 2 ? target.centre - origin + jitter * target.extents.x : jitter;
        return {origin, glm::normalize(towards)};
    }

    void place(Id id, const RandomShape& shape) {
        CollisionManager& collisions = scene.collisions;
        collisions.collider(id) = shape.type;
        collisions.extents(id) = shape.extents;
        const Id object = collisions.object(id);
        scene.graph.localTransformation(object) =
            dualQuaternionFromRotationTranslation(shape.rotation, shape.centre);
        scene.graph.setDirty(object);
    }

    std::optional<float> ours(const RandomShape& shape, const Vector3& origin,
                              const Vector3& direction, Vector3* location = nullptr) {
        place(a, shape);
        scene.collisions.group(b) = 0;
        RayHit hit{};
        if (!scene.collisions.rayCast(origin, direction, 1, RayLength, hit))
            return {};
        if (location)
            *location = hit.locations[0];
        return hit.distances[0];
    }

    bool ours(const RandomShape& first, const RandomShape& second) {
        place(a, first);
        place(b, second);
        scene.collisions.group(b) = 1;
        return !scene.collisions.queryOverlaps(a).empty();
    }

    static std::unique_ptr<btConvexShape> bulletShape(const RandomShape& shape) {
        if (shape.type == ColliderType::Sphere)
            return std::make_unique<btSphereShape>(shape.extents.x);
        /* Without a margin, which would round the edges and corners */
        auto box = std::make_unique<btBoxShape>(
            btVector3{shape.extents.x, shape.extents.y, shape.extents.z});
        box->setMargin(0.0f);
        return box;
    }
    /* Spheres and axis-aligned boxes ignore the object's rotation */
    static btTransform bulletTransform(const RandomShape& shape) {
        const Quaternion& q = shape.type == ColliderType::Box ? shape.rotation : Quaternion{};
        return btTransform{btQuaternion{q.x, q.y, q.z, q.w},
                           btVector3{shape.centre.x, shape.centre.y, shape.centre.z}};
    }

    /* Boxes through Bullet's slab test in the box's frame, spheres through its ray test, whose
       convex cast stops within 1e-3 of the surface */
    std::optional<float> bullet(const RandomShape& shape, const Vector3& origin,
                                const Vector3& direction, Vector3& location) const {
        const btTransform transform = bulletTransform(shape);
        const Vector3 end = origin + RayLength * direction;
        const btVector3 from{origin.x, origin.y, origin.z}, to{end.x, end.y, end.z};
        btVector3 point;
        btScalar fraction = 1.0f;
        if (shape.type == ColliderType::Sphere) {
            const std::unique_ptr<btConvexShape> collisionShape = bulletShape(shape);
            btCollisionObject object;
            object.setCollisionShape(collisionShape.get());
            object.setWorldTransform(transform);
            btCollisionWorld::ClosestRayResultCallback callback{from, to};
            btCollisionWorld::rayTestSingle(btTransform{btQuaternion::getIdentity(), from},
                                            btTransform{btQuaternion::getIdentity(), to}, &object,
                                            collisionShape.get(), transform, callback);
            if (!callback.hasHit())
                return {};
            fraction = callback.m_closestHitFraction;
            point = callback.m_hitPointWorld;
        } else {
            const btVector3 extents{shape.extents.x, shape.extents.y, shape.extents.z};
            btVector3 normal;
            if (!btRayAabb(transform.invXform(from), transform.invXform(to), -extents, extents,
                           fraction, normal))
                return {};
            point = from.lerp(to, fraction);
        }
        location = {point.x(), point.y(), point.z()};
        return fraction * RayLength;
    }

    /* Penetrating contacts; touching ones have a distance of about zero */
    bool bullet(const RandomShape& first, const RandomShape& second) {
        const std::unique_ptr<btConvexShape> shapeA = bulletShape(first),
                                             shapeB = bulletShape(second);
        btCollisionObject objectA, objectB;
        objectA.setCollisionShape(shapeA.get());
        objectA.setWorldTransform(bulletTransform(first));
        objectB.setCollisionShape(shapeB.get());
        objectB.setWorldTransform(bulletTransform(second));
        struct Callback : btCollisionWorld::ContactResultCallback {
            btScalar addSingleResult(btManifoldPoint& point, const btCollisionObjectWrapper*, int,
                                     int, const btCollisionObjectWrapper*, int, int) override {
                penetrating = penetrating || point.getDistance() < 0.0f;
                return 0.0f;
            }
            bool penetrating = false;
        } callback;
        world.contactPairTest(&objectA, &objectB, callback);
        return callback.penetrating;
    }

    static constexpr float RayLength = 30.0f;
    std::mt19937 random{2024};
    Scene scene;
    Id a, b;

private:
    btDefaultCollisionConfiguration configuration;
    btCollisionDispatcher dispatcher{&configuration};
    btDbvtBroadphase broadphase;
    mutable btCollisionWorld world{&dispatcher, &broadphase, &configuration};
};

bool startsInside(const RandomShape& shape, const Vector3& origin) {
    const Vector3 p = origin - shape.centre;
    switch (shape.type) {
    case ColliderType::Sphere:
        return glm::length(p) < shape.extents.x;
    case ColliderType::AxisAlignedBox:
        return glm::all(glm::lessThan(glm::abs(p), shape.extents));
    case ColliderType::Box:
        return glm::all(glm::lessThan(glm::abs(glm::conjugate(shape.rotation) * p), shape.extents));
    }
    return false;
}

TEST(CollisionManager, RayCastsAgreeWithBullet) {
    CrossCheck check;
    const ColliderType types[]{ColliderType::Sphere, ColliderType::AxisAlignedBox,
                               ColliderType::Box};
    int hits = 0, misses = 0, inside = 0, insideBulletHits = 0, grazing = 0, unexplained = 0;
    int sphereHits = 0, spheresWithin = 0;
    float sphereDeviation = 0.0f, boxDeviation = 0.0f;
    for (int trial = 0; trial != 6000; ++trial) {
        const RandomShape shape = check.shape(types[trial % 3], 4.0f);
        const auto [origin, direction] = check.ray(shape);
        Vector3 location, bulletLocation;
        const std::optional<float> ours = check.ours(shape, origin, direction, &location);
        const std::optional<float> bullet = check.bullet(shape, origin, direction, bulletLocation);
        if (startsInside(shape, origin)) {
            /* On purpose: a ray from inside doesn't hit the shape */
            EXPECT_FALSE(ours);
            ++inside;
            insideBulletHits += bullet.has_value();
            continue;
        }
        if (ours.has_value() == bullet.has_value()) {
            if (!ours) {
                ++misses;
                continue;
            }
            ++hits;
            const float scale = std::max(1.0f, *bullet);
            const float deviation = std::abs(*ours - *bullet) / scale;
            if (shape.type == ColliderType::Sphere) {
                /* Bullet's convex cast stops up to 5e-3 outside the surface, which is further
                   along a grazing ray: its hit must be there, ours on the surface */
                const float outside = glm::length(bulletLocation - shape.centre) - shape.extents.x;
                EXPECT_GE(outside, -1e-4f * scale) << "trial " << trial;
                EXPECT_LE(outside, 5e-3f) << "trial " << trial;
                EXPECT_GE(*ours, *bullet - 1e-4f * scale) << "trial " << trial;
                EXPECT_NEAR(glm::length(location - shape.centre), shape.extents.x, 1e-4f * scale)
                    << "trial " << trial;
                sphereDeviation = std::max(sphereDeviation, deviation);
                spheresWithin += deviation <= 1e-4f;
                ++sphereHits;
            } else {
                boxDeviation = std::max(boxDeviation, deviation);
                EXPECT_LE(deviation, 1e-4f) << int(shape.type) << " trial " << trial;
                EXPECT_LE(glm::length(location - bulletLocation), 1e-4f * scale)
                    << int(shape.type) << " trial " << trial;
            }
            continue;
        }
        if (check.ours(shape.scaled(1.0001f), origin, direction).has_value() ==
                bullet.has_value() ||
            check.ours(shape.scaled(0.9999f), origin, direction).has_value() ==
                bullet.has_value()) {
            ++grazing;
            continue;
        }
        ++unexplained;
        ADD_FAILURE() << int(shape.type) << " trial " << trial << ": ours "
                      << (ours ? *ours : -1.0f) << ", Bullet's " << (bullet ? *bullet : -1.0f);
    }
    std::printf("rays: %d hits and %d misses agree; largest relative distance deviation %g for "
                "boxes, %g for spheres (%d of %d sphere hits within 1e-4); %d start inside (Bullet "
                "hits %d of them); %d graze a surface; %d unexplained\n",
                hits, misses, double(boxDeviation), double(sphereDeviation), spheresWithin,
                sphereHits, inside, insideBulletHits, grazing, unexplained);
    EXPECT_GT(hits, 1000);
    EXPECT_GT(misses, 1000);
}

TEST(CollisionManager, OverlapsAgreeWithBullet) {
    CrossCheck check;
    const ColliderType types[]{ColliderType::Sphere, ColliderType::AxisAlignedBox,
                               ColliderType::Box};
    int overlapping = 0, apart = 0, neverTested = 0, touching = 0, unexplained = 0;
    for (int trial = 0; trial != 9000; ++trial) {
        const RandomShape first = check.shape(types[trial % 3], 2.5f);
        const RandomShape second = check.shape(types[trial / 3 % 3], 2.5f);
        const bool ours = check.ours(first, second);
        const bool mixedBoxes = first.type != second.type && first.type != ColliderType::Sphere &&
                                second.type != ColliderType::Sphere;
        if (mixedBoxes) {
            /* On purpose: axis-aligned and oriented boxes are never tested */
            EXPECT_FALSE(ours);
            ++neverTested;
            continue;
        }
        const bool bullet = check.bullet(first, second);
        if (ours == bullet) {
            ++(ours ? overlapping : apart);
            continue;
        }
        if (check.ours(first.scaled(1.0001f), second.scaled(1.0001f)) == bullet ||
            check.ours(first.scaled(0.9999f), second.scaled(0.9999f)) == bullet) {
            ++touching;
            continue;
        }
        ++unexplained;
        ADD_FAILURE() << int(first.type) << "-" << int(second.type) << " trial " << trial
                      << ": ours " << ours;
    }
    std::printf("pairs: %d overlapping and %d apart agree; %d axis-aligned and oriented box pairs "
                "not compared; %d just touch; %d unexplained\n",
                overlapping, apart, neverTested, touching, unexplained);
    EXPECT_GT(overlapping, 1000);
    EXPECT_GT(apart, 1000);
}

/* The cast over many shapes takes a faster path than over a few; its hits must be those of the
   shapes cast one at a time, bit for bit, also after shapes moved or changed */
TEST(CollisionManager, ManyShapesGiveTheHitsOfEachShapeAlone) {
    Debug quiet{nullptr};
    Warning quietWarning{nullptr};
    CrossCheck check;
    SceneGraph graph{256, 1, 256};
    CollisionManager collisions;
    graph.setComponentManager(0, "collision", &collisions);
    std::vector<RandomShape> shapes;
    std::vector<Id> ids;
    for (int i = 0; i != 203; ++i) {
        shapes.push_back(check.shape(ColliderType(i % 3), 6.0f));
        ids.push_back(collisions.addComponent(graph.addObject(Id(0))));
        collisions.group(ids.back()) = std::uint8_t(1 + i % 3);
        collisions.activate(ids.back());
    }
    const auto place = [&](std::size_t i) {
        collisions.collider(ids[i]) = shapes[i].type;
        collisions.extents(ids[i]) = shapes[i].extents;
        const Id object = collisions.object(ids[i]);
        graph.localTransformation(object) =
            dualQuaternionFromRotationTranslation(shapes[i].rotation, shapes[i].centre);
        graph.setDirty(object);
    };
    for (std::size_t i = 0; i != shapes.size(); ++i)
        place(i);

    int hits = 0;
    for (int trial = 0; trial != 300; ++trial) {
        /* Moved, grown or changed shapes, in a dirty or a clean scene */
        const std::size_t changed = check.random() % shapes.size();
        shapes[changed] = check.shape(ColliderType(check.random() % 3), 6.0f);
        place(changed);
        if (trial % 2)
            graph.computeAbsoluteTransformations();

        const auto [origin, direction] = check.ray(shapes[trial % shapes.size()]);
        const std::uint8_t mask = std::uint8_t(trial % 4 ? 7 : 2);
        std::vector<std::pair<float, Id>> expected;
        for (std::size_t i = 0; i != shapes.size(); ++i)
            if (collisions.group(ids[i]) & mask)
                if (const std::optional<float> t = check.ours(shapes[i], origin, direction))
                    expected.emplace_back(*t, collisions.object(ids[i]));
        /* In index order, nearer first, ties in index order */
        std::vector<std::pair<float, Id>> ordered;
        for (unsigned short index = 0; index != collisions.size(); ++index)
            for (const auto& candidate : expected)
                if (candidate.second == collisions.object(index))
                    ordered.push_back(candidate);
        std::stable_sort(ordered.begin(), ordered.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        ordered.resize(std::min<std::size_t>(ordered.size(), 4));

        RayHit hit{};
        EXPECT_EQ(collisions.rayCast(origin, direction, mask, CrossCheck::RayLength, hit),
                  !ordered.empty());
        ASSERT_EQ(hit.hitCount, ordered.size()) << "trial " << trial;
        for (std::size_t k = 0; k != ordered.size(); ++k) {
            EXPECT_EQ(hit.distances[k], ordered[k].first) << "trial " << trial;
            EXPECT_EQ(hit.objects[k], ordered[k].second) << "trial " << trial;
        }
        hits += hit.hitCount;
    }
    EXPECT_GT(hits, 300);
}

} // namespace
} // namespace ZarvikEngine::Data
