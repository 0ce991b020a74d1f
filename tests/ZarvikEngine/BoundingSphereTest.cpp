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

TEST(BoundingSphere, JoinScaleAndTransform) {
    EXPECT_TRUE((BoundingSphere{{}, 1.0e-5f}).isEmpty());
    EXPECT_FALSE((BoundingSphere{{}, 2.0e-5f}).isEmpty());
    EXPECT_EQ(Vector4(BoundingSphere({1.0f, 2.0f, 3.0f}, 4.0f)), (Vector4{1.0f, 2.0f, 3.0f, 4.0f}));

    /* Empty spheres contribute nothing and take on the other; contained ones change nothing */
    BoundingSphere sphere;
    sphere.join({{}, 1.0f});
    sphere.join({{100.0f, 0.0f, 0.0f}, 0.0f});
    sphere.join({{4.0f, 0.0f, 0.0f}, 1.0f});
    expectSphere(sphere, {2.0f, 0.0f, 0.0f}, 3.0f);
    sphere.join({{3.0f, 0.5f, 0.0f}, 1.0f});
    sphere.join({{2.0f, 0.0f, 0.0f}, 3.0f});
    expectSphere(sphere, {2.0f, 0.0f, 0.0f}, 3.0f);
    sphere.join({{2.0f, 1.0f, 0.0f}, 10.0f});
    expectSphere(sphere, {2.0f, 1.0f, 0.0f}, 10.0f);

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

    /* The largest scale that is a number, and only the translation moves the center */
    constexpr float Nan = std::numeric_limits<float>::quiet_NaN();
    BoundingSphere scaled{{1.0f, 2.0f, 3.0f}, 2.0f};
    scaled.scale({2.0f, Nan, 3.0f});
    expectSphere(scaled, {1.0f, 2.0f, 3.0f}, 6.0f);
    scaled.transform(dualQuaternionFromRotationTranslation(
        rotation(Rad{90.0_degf}, Vector3{0.0f, 0.0f, 1.0f}), {10.0f, 0.0f, -1.0f}));
    expectSphere(scaled, {11.0f, 2.0f, 2.0f}, 6.0f);
}

} // namespace
} // namespace ZarvikEngine
