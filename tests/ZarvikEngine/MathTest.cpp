#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <vector>

#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "ZarvikEngine/Math.h"

namespace ZarvikEngine {
namespace {

using namespace Literals;

template<class T>
std::string print(const T& value) {
    std::ostringstream out;
    Debug{&out} << value;
    return out.str();
}

#define EXPECT_FUZZY(a, b) EXPECT_TRUE(fuzzyEqual(a, b)) << print(a) << print(b)

constexpr float Nan = std::numeric_limits<float>::quiet_NaN();
constexpr float Inf = std::numeric_limits<float>::infinity();

TEST(Math, MemoryLayoutAndDefaults) {
    float quaternionData[4];
    const Quaternion q = quaternionFromXyzw(1.0f, 2.0f, 3.0f, 4.0f);
    std::memcpy(quaternionData, static_cast<const void*>(&q), sizeof(q));
    EXPECT_EQ(quaternionData[0], 1.0f);
    EXPECT_EQ(quaternionData[3], 4.0f);
    EXPECT_EQ(quaternion(Vector3{1.0f, 2.0f, 3.0f}, 4.0f), q);

    /* GLM's own dual quaternion default has a dual part of [0, 0, 0, 1] */
    float dualQuaternionData[8];
    const DualQuaternion identity;
    std::memcpy(dualQuaternionData, static_cast<const void*>(&identity), sizeof(identity));
    const float expected[8]{0, 0, 0, 1, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(dualQuaternionData, expected, sizeof(expected)), 0);
    EXPECT_EQ(Vector3{}, Vector3{0.0f});
    EXPECT_EQ(Matrix4{}, Matrix4{1.0f});
}

TEST(Math, FuzzyCompare) {
    /* Relative to the sum of magnitudes (with the larger one alone the first would fail),
       absolute near zero and for small differences */
    const struct {
        float a, b;
        bool equal;
    } Scalars[]{{1000.0f, 1000.015f, true}, {1000.0f, 1000.025f, false},
                {0.0f, 9.0e-6f, true},      {0.0f, 1.1e-5f, false},
                {1.0e-6f, -8.0e-6f, true},  {1.0e-6f, 1.2e-5f, false},
                {Nan, Nan, false},          {Inf, Inf, true},
                {Inf, 1.0e30f, false}};
    for (const auto& [a, b, equal] : Scalars)
        EXPECT_EQ(fuzzyEqual(a, b), equal) << a << " " << b;
    EXPECT_TRUE(fuzzyEqual(1.0, 1.0 + 1.0e-14));
    EXPECT_FALSE(fuzzyEqual(1.0, 1.0 + 1.0e-13));

    EXPECT_FALSE(fuzzyEqualZero(1.0e-4f, 1.0f));
    EXPECT_TRUE(fuzzyEqualZero(1.0e-4f, 100.0f));

    Matrix4 almostIdentity;
    almostIdentity[3][1] = 2.0e-6f;
    EXPECT_TRUE(fuzzyEqual(almostIdentity, Matrix4{}));
    almostIdentity[2][0] = 1.0e-3f;
    EXPECT_FALSE(fuzzyEqual(almostIdentity, Matrix4{}));
    DualQuaternion a{quaternionFromXyzw(1, 2, 3, 4), quaternionFromXyzw(5, 6, 7, 8)};
    DualQuaternion b = a;
    b.dual.w += 1.0e-5f;
    EXPECT_FUZZY(a, b);
    b.dual.w += 1.0e-3f;
    EXPECT_FALSE(fuzzyEqual(a, b));

    EXPECT_TRUE(isNormalized(Vector2{1.000005f, 0.0f}));
    EXPECT_FALSE(isNormalized(Vector2{1.0001f, 0.0f}));
    const Quaternion r = rotation(Rad{1.0f}, Vector3{0.0f, 0.6f, 0.8f});
    EXPECT_TRUE(isNormalized(r));
    EXPECT_FALSE(isNormalized(2.0f * r));
    DualQuaternion rigid = dualQuaternionFromRotationTranslation(r, Vector3{100.0f, -3.0f, 7.0f});
    EXPECT_TRUE(isNormalized(rigid));
    rigid.dual += 0.01f * r; /* no longer orthogonal to the real part */
    EXPECT_FALSE(isNormalized(rigid));
}

TEST(Math, AnglesRangesAndPrinting) {
    EXPECT_EQ(Rad{-(30.0_degf + 15.0_degf) * 4.0f}, Rad{-glm::pi<float>()});

    const Range2Di rect = Range2Di::fromSize({2, 3}, {4, 6});
    EXPECT_EQ(rect.center(), (Vector2i{4, 6}));
    /* Min inclusive, max exclusive */
    EXPECT_TRUE(rect.contains({2, 3}));
    EXPECT_FALSE(rect.contains({6, 8}));
    EXPECT_FALSE(rect.contains({5, 9}));
    const Range1D span{0.5f, 2.0f};
    EXPECT_FALSE(span.contains(2.0f));

    EXPECT_EQ(print(Vector4ub{1, 2, 3, 255}), "Vector(1, 2, 3, 255)\n");
    EXPECT_EQ(print(Vector2b{-1, 2}), "Vector(-1, 2)\n");
    EXPECT_EQ(print(quaternionFromXyzw(1, 2, 3, 4)), "Quaternion({1, 2, 3}, 4)\n");
    EXPECT_EQ(
        print(DualQuaternion{quaternionFromXyzw(1, 2, 3, 4), quaternionFromXyzw(5, 6, 7, 8.5f)}),
        "DualQuaternion({{1, 2, 3}, 4}, {{5, 6, 7}, 8.5})\n");
    EXPECT_EQ(print(Matrix3{1, 2, 3, 4, 5, 6, 7, 8, 9}), "Matrix(1, 4, 7,\n"
                                                         "       2, 5, 8,\n"
                                                         "       3, 6, 9)\n");
    EXPECT_EQ(print(rect), "Range({2, 3}, {6, 9})\n");
    EXPECT_EQ(print(Rad{90.0_degf}), "Rad(1.5708)\n");
}

TEST(MathDeathTest, RotationAxisMustBeNormalized) {
    ZE_EXPECT_ABORT(rotation(Rad{1.0f}, Vector3{1.0f, 1.0f, 0.0f}),
                    "Math::Quaternion::rotation(): axis Vector(1, 1, 0) is not normalized");
}

TEST(Math, NormalizedPacking) {
    EXPECT_EQ((pack<std::uint16_t, 10>(1.0f)), 1023);
    EXPECT_EQ((unpack<float, std::int16_t>(-32768)), -1.0f);
    EXPECT_EQ((unpack<double, std::uint16_t, 12>(4095)), 1.0);
    /* Every byte survives a round trip; only the most negative one clamps */
    for (int i = 0; i != 256; ++i) {
        EXPECT_EQ(pack<std::uint8_t>(unpack<float>(std::uint8_t(i))), i);
        EXPECT_EQ(pack<std::int8_t>(unpack<float>(std::int8_t(i - 128))), i ? i - 128 : -127);
    }
    EXPECT_EQ(pack<Vector2s>(Vector2{-1.0f, 0.25f}), (Vector2s{-32767, 8192}));
    EXPECT_EQ(unpack<Vector2>(Vector2b{-128, 127}), (Vector2{-1.0f, 1.0f}));

    /* pack() avoids std::round() but must agree with round(value × max) everywhere, ties
       and their neighbours included */
    std::mt19937 random{3};
    std::uniform_real_distribution<float> distribution{-1.0f, 1.0f};
    std::vector<float> values{0.0f,         -0.0f,         1.0f,       -1.0f,
                              0.5f / 32767, -0.5f / 32767, 0.5f / 255, 1.5f / 65535};
    for (int i = -300; i <= 300; ++i) {
        const float tie = (float(i) + 0.5f) / 32767;
        values.insert(values.end(), {tie, std::nextafter(tie, 2.0f), std::nextafter(tie, -2.0f)});
    }
    for (int i = 0; i != 100000; ++i)
        values.push_back(distribution(random));
    for (const float value : values) {
        const float positive = std::abs(value);
        ASSERT_EQ(pack<std::int16_t>(value), std::int16_t(std::round(value * 32767.0f))) << value;
        ASSERT_EQ(pack<std::int8_t>(value), std::int8_t(std::round(value * 127.0f))) << value;
        ASSERT_EQ(pack<std::uint16_t>(positive), std::uint16_t(std::round(positive * 65535.0f)))
            << value;
        ASSERT_EQ(pack<std::uint8_t>(positive), std::uint8_t(std::round(positive * 255.0f)))
            << value;
    }
}

TEST(Math, NormalizedPackingClampsOutOfRangeValues) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    /* Just past the ends, far past them, infinities and NaN */
    EXPECT_EQ(pack<std::int16_t>(1.00002f), 32767);
    EXPECT_EQ(pack<std::int16_t>(1.5f), 32767);
    EXPECT_EQ(pack<std::int16_t>(2.0f), 32767);
    EXPECT_EQ(pack<std::int16_t>(-1.00002f), -32767);
    EXPECT_EQ(pack<std::int16_t>(-1.0e30f), -32767);
    EXPECT_EQ(pack<std::int16_t>(inf), 32767);
    EXPECT_EQ(pack<std::int16_t>(-inf), -32767);
    EXPECT_EQ(pack<std::int16_t>(nan), 0);
    EXPECT_EQ(pack<std::int8_t>(3.0f), 127);
    EXPECT_EQ(pack<std::int8_t>(-3.0f), -127);
    EXPECT_EQ(pack<std::uint16_t>(2.0f), 65535);
    EXPECT_EQ(pack<std::uint16_t>(-0.5f), 0);
    EXPECT_EQ(pack<std::uint16_t>(nan), 0);
    EXPECT_EQ(pack<std::uint8_t>(1.0e30f), 255);
    EXPECT_EQ(pack<std::uint8_t>(-inf), 0);
    EXPECT_EQ((pack<std::uint16_t, 10>(1.5f)), 1023);
    EXPECT_EQ(pack<Vector3s>(Vector3{nan, 1.00002f, -2.0f}), (Vector3s{0, 32767, -32767}));
}

TEST(Math, HalfFloats) {
    /* Values between halves; the exact ones are covered by the loop below */
    EXPECT_EQ(packHalf(65519.0f), 0x7bff);
    EXPECT_EQ(packHalf(65520.0f), 0x7c00);
    EXPECT_EQ(packHalf(1.0f + 0x1p-11f), 0x3c01); /* ties away from zero */
    EXPECT_EQ(packHalf(0.1f), 0x2e66);
    EXPECT_EQ(packHalf(0x1p-26f), 0x0000);
    EXPECT_EQ(packHalf(1.0e10f), 0x7c00);
    EXPECT_EQ(packHalf(-Nan), 0xfe00);

    /* Every half against its definition, and back */
    for (unsigned i = 0; i != 65536; ++i) {
        const std::uint16_t half(i);
        const unsigned exponent = (i >> 10) & 0x1f, mantissa = i & 0x3ff;
        const float value = unpackHalf(half);
        EXPECT_EQ(std::signbit(value), bool(i & 0x8000)) << i;
        if (exponent == 31 && mantissa) {
            EXPECT_TRUE(std::isnan(value)) << i;
            EXPECT_EQ(packHalf(value), (i & 0x8000) | 0x7e00) << i;
            continue;
        }
        const float magnitude = exponent == 31 ? Inf
                                : exponent ? std::ldexp(float(1024 + mantissa), int(exponent) - 25)
                                           : std::ldexp(float(mantissa), -24);
        EXPECT_EQ(std::abs(value), magnitude) << i;
        EXPECT_EQ(packHalf(value), half) << i;
    }

    EXPECT_EQ(packHalf(Vector3{1.0f, 0.5f, -2.0f}), (Vector3us{0x3c00, 0x3800, 0xc000}));
    EXPECT_EQ(unpackHalf(Vector2us{0x3c00, 0xc000}), (Vector2{1.0f, -2.0f}));
}

/* The definition of transforming a point, as a product of dual quaternions */
Vector3 transformPointByProduct(const DualQuaternion& q, const Vector3& point) {
    const DualQuaternion product =
        q * DualQuaternion{Quaternion{}, quaternion(point, 0.0f)} * conjugated(q);
    return vectorPart(product.dual);
}

TEST(Math, DualQuaternionTransformations) {
    const Quaternion r = rotation(Rad{35.0_degf}, glm::normalize(Vector3{1.0f, 2.0f, 3.0f}));
    const Vector3 t{1.0f, -2.0f, 3.0f};
    const DualQuaternion dq = dualQuaternionFromRotationTranslation(r, t);
    EXPECT_EQ(rotation(dq), r);
    EXPECT_FUZZY(translation(dq), t);

    const Matrix4 matrix = toMatrix(dq);
    EXPECT_FUZZY(matrix, translationMatrix(t) * rotationMatrix(r));
    const Vector3 p{0.5f, 4.0f, -1.5f};
    EXPECT_FUZZY(transformPoint(dq, p), transformPoint(matrix, p));
    /* The expansion holds for non-unit ones too */
    const DualQuaternion scaled = 2.0f * dq;
    EXPECT_FUZZY(transformPoint(scaled, p), transformPointByProduct(scaled, p));

    /* Composition applies the right operand first, like matrices */
    const DualQuaternion other = dualQuaternionFromRotationTranslation(
        rotation(Rad{-80.0_degf}, Vector3{0.0f, 1.0f, 0.0f}), Vector3{-4.0f, 0.5f, 2.0f});
    EXPECT_FUZZY(toMatrix(dq * other), matrix * toMatrix(other));

    EXPECT_FUZZY(inverted(dq), quaternionConjugated(dq));
    EXPECT_FUZZY(inverted(scaled) * scaled, DualQuaternion{});

    const DualQuaternion q{quaternionFromXyzw(1, 2, 3, 4), quaternionFromXyzw(5, 6, 7, 8)};
    EXPECT_EQ(quaternionConjugated(q), (DualQuaternion{quaternionFromXyzw(-1, -2, -3, 4),
                                                       quaternionFromXyzw(-5, -6, -7, 8)}));
    EXPECT_EQ(conjugated(q),
              (DualQuaternion{quaternionFromXyzw(-1, -2, -3, 4), quaternionFromXyzw(5, 6, 7, -8)}));
}

TEST(Math, SlerpAndSclerp) {
    const Vector3 z{0.0f, 0.0f, 1.0f};
    const Quaternion quarter = rotation(Rad{90.0_degf}, z);
    EXPECT_FUZZY(slerpShortestPath(Quaternion{}, -quarter, 0.5f), -rotation(Rad{45.0_degf}, z));
    /* Nearly equal: a plain lerp, not renormalized */
    const Quaternion close = quaternionFromXyzw(0.001f, 0.0f, 0.0f, 1.0f);
    EXPECT_EQ(slerpShortestPath(Quaternion{}, close, 0.5f), 0.5f * Quaternion{} + 0.5f * close);

    /* Pure translations interpolate linearly and keep a's rotation exactly */
    const DualQuaternion moveA = dualQuaternionFromTranslation({1.0f, 0.0f, 0.0f});
    const DualQuaternion moveB = dualQuaternionFromTranslation({3.0f, 2.0f, 0.0f});
    const DualQuaternion between = sclerp(moveA, moveB, 0.5f);
    EXPECT_EQ(between.real, Quaternion{});
    EXPECT_FUZZY(translation(between), (Vector3{2.0f, 1.0f, 0.0f}));
    /* Opposite real parts are the degenerate case too, with a's sign */
    const Quaternion turn = rotation(Rad{60.0_degf}, z);
    const DualQuaternion turnedB = -dualQuaternionFromRotationTranslation(turn, {0, 4, 0});
    const DualQuaternion turned =
        sclerp(dualQuaternionFromRotationTranslation(turn, {}), turnedB, 0.25f);
    EXPECT_EQ(turned.real, turn);
    EXPECT_FUZZY(translation(turned), (Vector3{0.0f, 1.0f, 0.0f}));

    /* A screw: rotating 90° about the z axis through (1, 2, 0) while moving 2 along it. At t
       the rotation is t·90° about the same axis and the advance is t·2. */
    const DualQuaternion a;
    const DualQuaternion b = dualQuaternionFromRotationTranslation(quarter, {3.0f, 1.0f, 2.0f});
    const Vector3 axisPoint{1.0f, 2.0f, 0.0f};
    EXPECT_FUZZY(transformPoint(b, axisPoint), axisPoint + 2.0f * z);
    const auto screw = [&](Deg angle, float advance) {
        const Quaternion r = rotation(Rad{angle}, z);
        return dualQuaternionFromRotationTranslation(r, axisPoint - toMatrix(r) * axisPoint +
                                                            advance * z);
    };
    for (float t : {0.0f, 0.25f, 0.5f, 1.0f})
        EXPECT_FUZZY(sclerp(a, b, t), screw(90.0_degf * t, 2.0f * t)) << t;

    /* Interpolation is invariant under a common transformation on the left */
    const DualQuaternion c = dualQuaternionFromRotationTranslation(
        rotation(Rad{30.0_degf}, Vector3{1.0f, 0.0f, 0.0f}), {-1.0f, 4.0f, 0.5f});
    EXPECT_FUZZY(sclerp(c * a, c * b, 0.3f), c * sclerp(a, b, 0.3f));

    /* -b is the same transformation, reached the long way round unless asked otherwise */
    const Vector3 p{5.0f, -1.0f, 3.0f};
    EXPECT_FUZZY(sclerpShortestPath(a, -b, 0.5f), sclerp(a, b, 0.5f));
    EXPECT_FUZZY(transformPoint(sclerp(a, -b, 0.5f), p),
                 transformPoint(screw(-135.0_degf, 1.0f), p));
    EXPECT_FUZZY(transformPoint(sclerp(a, -b, 1.0f), p), transformPoint(b, p));
}

TEST(Math, LookAtAndLookRotation) {
    /* The camera's -Z goes towards the target, its Y leans towards up */
    std::mt19937 random{5};
    std::uniform_real_distribution<float> unit{-1.0f, 1.0f};
    for (int i = 0; i != 100; ++i) {
        const Vector3 eye{unit(random), unit(random), unit(random)};
        const Vector3 target = eye + Vector3{unit(random), unit(random), unit(random)};
        const DualQuaternion camera = lookAt(eye, target, {0.0f, 1.0f, 0.0f});
        EXPECT_TRUE(isNormalized(camera));
        EXPECT_TRUE(fuzzyEqual(translation(camera), eye));
        const Vector3 forward = glm::normalize(target - eye);
        EXPECT_LT(glm::length(camera.real * Vector3{0.0f, 0.0f, -1.0f} - forward), 1e-5f);
        const Vector3 up = camera.real * Vector3{0.0f, 1.0f, 0.0f};
        EXPECT_GE(up.y, -1e-6f);
        EXPECT_NEAR(glm::dot(up, forward), 0.0f, 1e-5f);
    }

    /* A target on the eye keeps the identity; looking straight down takes the branch for an
       up parallel to forward and still gives a rotation */
    EXPECT_EQ(lookAt({1.0f, 2.0f, 3.0f}, {1.0f, 2.0f, 3.001f}, {0.0f, 1.0f, 0.0f}).real,
              Quaternion{});
    const Quaternion down = lookRotation({0.0f, -1.0f, 0.0f}, {0.0f, 1.0f, 0.0f});
    EXPECT_TRUE(isNormalized(down));
    EXPECT_LT(glm::length(down * Vector3{0.0f, 0.0f, -1.0f} - Vector3{0.0f, -1.0f, 0.0f}), 1e-4f);
}

TEST(MathDeathTest, LookRotationNeedsNormalizedVectors) {
    ZE_EXPECT_ABORT(lookRotation({0.0f, 0.0f, -2.0f}, {0.0f, 1.0f, 0.0f}),
                    "lookRotation(): Expected target direction to be normalized Vector(0, 0, -2)");
    ZE_EXPECT_ABORT(lookRotation({0.0f, 0.0f, -1.0f}, {0.0f, 0.5f, 0.0f}),
                    "lookRotation(): Expected up direction to be normalized Vector(0, 0.5, 0)");
    ZE_EXPECT_ABORT(lookAt({0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, -1.0f}, {0.0f, 2.0f, 0.0f}),
                    "lookRotation(): Expected up direction to be normalized Vector(0, 2, 0)");
    /* An infinitely far target has no direction */
    ZE_EXPECT_ABORT_PREFIX(lookAt({0.0f, 0.0f, 0.0f},
                                  {std::numeric_limits<float>::infinity(), 0.0f, 0.0f},
                                  {0.0f, 1.0f, 0.0f}),
                           "lookAt(): target direction not normalized Vector(");
}

} // namespace
} // namespace ZarvikEngine
