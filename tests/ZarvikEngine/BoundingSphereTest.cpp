#include <limits>

#include <gtest/gtest.h>

#include "ZarvikEngine/BoundingSphere.h"

namespace ZarvikEngine {
namespace {

using namespace Literals;

void expectSphere(const BoundingSphere& sphere, const Vector3& center, float radius) {
    EXPECT_TRUE(fuzzyEqual(sphere.center(), center));
    EXPECT_FLOAT_EQ(sphere.radius(), radius);
}

TEST(BoundingSphere, ConstructionAndConversion) {
    const BoundingSphere empty;
    expectSphere(empty, Vector3{0.0f}, 0.0f);
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_TRUE((BoundingSphere{{}, 1.0e-5f}).isEmpty());
    EXPECT_FALSE((BoundingSphere{{}, 2.0e-5f}).isEmpty());

    BoundingSphere sphere{{1.0f, 2.0f, 3.0f}, 4.0f};
    EXPECT_EQ(Vector4{sphere}, (Vector4{1.0f, 2.0f, 3.0f, 4.0f}));
    sphere.radius() = 5.0f;
    EXPECT_EQ(sphere.radius(), 5.0f);
}

TEST(BoundingSphere, Join) {
    BoundingSphere sphere{{}, 1.0f};
    sphere.join({{4.0f, 0.0f, 0.0f}, 1.0f});
    expectSphere(sphere, {2.0f, 0.0f, 0.0f}, 3.0f);

    /* Empty spheres contribute nothing, and take on the other */
    sphere.join({{100.0f, 0.0f, 0.0f}, 0.0f});
    expectSphere(sphere, {2.0f, 0.0f, 0.0f}, 3.0f);
    BoundingSphere grown;
    grown.join(sphere);
    expectSphere(grown, {2.0f, 0.0f, 0.0f}, 3.0f);

    /* Containment either way, including equal concentric ones */
    grown.join({{3.0f, 0.5f, 0.0f}, 1.0f});
    expectSphere(grown, {2.0f, 0.0f, 0.0f}, 3.0f);
    grown.join({{2.0f, 0.0f, 0.0f}, 3.0f});
    expectSphere(grown, {2.0f, 0.0f, 0.0f}, 3.0f);
    grown.join({{2.0f, 1.0f, 0.0f}, 10.0f});
    expectSphere(grown, {2.0f, 1.0f, 0.0f}, 10.0f);

    /* Growing one sphere over a scattered set encloses every member */
    const BoundingSphere parts[]{{{-5.0f, 2.0f, 1.0f}, 0.5f},
                                 {{3.0f, -7.0f, 2.0f}, 2.0f},
                                 {{0.0f, 0.0f, 9.0f}, 1.5f},
                                 {{1.0f, 1.0f, 1.0f}, 0.25f}};
    BoundingSphere all;
    for (const BoundingSphere& part : parts)
        all.join(part);
    for (const BoundingSphere& part : parts)
        EXPECT_LE(glm::distance(all.center(), part.center()) + part.radius(),
                  all.radius() * (1.0f + Epsilon<float>));
}

TEST(BoundingSphere, ScaleAndTransform) {
    constexpr float Nan = std::numeric_limits<float>::quiet_NaN();
    BoundingSphere sphere{{1.0f, 2.0f, 3.0f}, 2.0f};
    sphere.scale({2.0f, Nan, 3.0f});
    expectSphere(sphere, {1.0f, 2.0f, 3.0f}, 6.0f);
    sphere.scale({Nan, 0.5f, Nan});
    expectSphere(sphere, {1.0f, 2.0f, 3.0f}, 3.0f);

    /* Only the translation moves the center */
    sphere.transform(dualQuaternionFromRotationTranslation(
        rotation(Rad{90.0_degf}, Vector3{0.0f, 0.0f, 1.0f}), {10.0f, 0.0f, -1.0f}));
    expectSphere(sphere, {11.0f, 2.0f, 2.0f}, 3.0f);
}

} // namespace
} // namespace ZarvikEngine
