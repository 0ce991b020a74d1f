#ifndef ZarvikEngine_Math_h
#define ZarvikEngine_Math_h

/* Vector, quaternion and matrix types on GLM, plus what GLM lacks or does differently from the
   rest of the library: fuzzy comparison, screw interpolation, normalized and half-float
   packing, angle units, ranges and printing. */

#if !defined(GLM_FORCE_CTOR_INIT) || !defined(GLM_ENABLE_EXPERIMENTAL)
#error "ZarvikEngine/Math.h needs GLM_FORCE_CTOR_INIT and GLM_ENABLE_EXPERIMENTAL"
#endif

#include <algorithm>
#include <bit>
#include <cmath>
#include <compare>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include <emmintrin.h>
#include <glm/glm.hpp>
#include <glm/gtc/constants.hpp>
#include <glm/gtc/quaternion.hpp>
#include <glm/gtx/dual_quaternion.hpp>

#include "ZarvikEngine/Debug.h"

namespace ZarvikEngine {

using Vector2 = glm::vec2;
using Vector3 = glm::vec3;
using Vector4 = glm::vec4;
using Vector2d = glm::dvec2;
using Vector3d = glm::dvec3;
using Vector2i = glm::ivec2;
using Vector3i = glm::ivec3;
using Vector4i = glm::ivec4;
using Vector2ui = glm::uvec2;
using Vector3ui = glm::uvec3;
using Vector4ui = glm::uvec4;
using Vector2s = glm::i16vec2;
using Vector3s = glm::i16vec3;
using Vector4s = glm::i16vec4;
using Vector2us = glm::u16vec2;
using Vector3us = glm::u16vec3;
using Vector4us = glm::u16vec4;
using Vector2b = glm::i8vec2;
using Vector3b = glm::i8vec3;
using Vector4b = glm::i8vec4;
using Vector2ub = glm::u8vec2;
using Vector3ub = glm::u8vec3;
using Vector4ub = glm::u8vec4;
using Color3 = Vector3;
using Color4 = Vector4;
using Color4ub = Vector4ub;
using Matrix3 = glm::mat3;
using Matrix4 = glm::mat4;
/* Stored x, y, z, w. GLM's four-float constructor takes w first: build quaternions with
   quaternion() or quaternionFromXyzw() instead. */
using Quaternion = glm::quat;

/* ---------------------------------------------------------------------------------------- */
/* Printing of vectors, needed by assertions below */

namespace Implementation {

/* "1, 2, 3" */
template<glm::length_t size, class T, glm::qualifier Q>
void printComponents(Debug& debug, const glm::vec<size, T, Q>& value) {
    debug << Debug::nospace << value[0];
    for (glm::length_t i = 1; i != size; ++i)
        debug << Debug::nospace << "," << value[i];
}

} // namespace Implementation

/* "Vector(1, 2, 3)" */
template<glm::length_t size, class T, glm::qualifier Q>
Debug& operator<<(Debug& debug, const glm::vec<size, T, Q>& value) {
    debug << "Vector(";
    Implementation::printComponents(debug, value);
    return debug << Debug::nospace << ")";
}

/* ---------------------------------------------------------------------------------------- */
/* Fuzzy comparison */

/* Comparison tolerance of the floating-point types */
template<std::floating_point T>
inline constexpr T Epsilon = sizeof(T) == sizeof(float) ? T(1.0e-5) : T(1.0e-14);

/* Absolute test near zero, relative to the sum of the magnitudes elsewhere. NaN equals
   nothing. */
template<std::floating_point T>
bool fuzzyEqual(T a, T b) {
    if (a == b)
        return true;
    const T difference = std::abs(a - b);
    if (a == T(0) || b == T(0) || difference < Epsilon<T>)
        return difference < Epsilon<T>;
    return difference / (std::abs(a) + std::abs(b)) < Epsilon<T>;
}

/* Integers are exact; lets generic code compare any vector */
template<std::integral T>
constexpr bool fuzzyEqual(T a, T b) {
    return a == b;
}

/* Whether a is zero compared to a value of the given magnitude */
template<std::floating_point T>
bool fuzzyEqualZero(T a, T magnitude) {
    if (a == T(0))
        return true;
    const T absolute = std::abs(a);
    return absolute < Epsilon<T> || absolute * T(0.5) / magnitude < Epsilon<T>;
}

template<glm::length_t size, class T, glm::qualifier Q>
bool fuzzyEqual(const glm::vec<size, T, Q>& a, const glm::vec<size, T, Q>& b) {
    for (glm::length_t i = 0; i != size; ++i)
        if (!fuzzyEqual(a[i], b[i]))
            return false;
    return true;
}

template<glm::length_t columns, glm::length_t rows, class T, glm::qualifier Q>
bool fuzzyEqual(const glm::mat<columns, rows, T, Q>& a, const glm::mat<columns, rows, T, Q>& b) {
    for (glm::length_t i = 0; i != columns; ++i)
        if (!fuzzyEqual(a[i], b[i]))
            return false;
    return true;
}

inline bool fuzzyEqual(const Quaternion& a, const Quaternion& b) {
    return fuzzyEqual(Vector4{a.x, a.y, a.z, a.w}, Vector4{b.x, b.y, b.z, b.w});
}

/* Unit length within twice the epsilon, tested on the squared length */
template<glm::length_t size, std::floating_point T, glm::qualifier Q>
bool isNormalized(const glm::vec<size, T, Q>& vector) {
    return std::abs(glm::dot(vector, vector) - T(1)) < T(2) * Epsilon<T>;
}

inline bool isNormalized(const Quaternion& quaternion) {
    return isNormalized(Vector4{quaternion.x, quaternion.y, quaternion.z, quaternion.w});
}

/* ---------------------------------------------------------------------------------------- */
/* Angles */

class Deg;
class Rad;

namespace Implementation {

/* Arithmetic shared by the angle units; Derived keeps them from mixing implicitly */
template<class Derived>
class Angle {
public:
    constexpr Angle() = default;
    constexpr explicit Angle(float value) : _value{value} {}

    constexpr explicit operator float() const { return _value; }

    constexpr Derived operator-() const { return Derived{-_value}; }
    friend constexpr Derived operator+(Derived a, Derived b) {
        return Derived{float(a) + float(b)};
    }
    friend constexpr Derived operator-(Derived a, Derived b) {
        return Derived{float(a) - float(b)};
    }
    friend constexpr Derived operator*(Derived a, float b) { return Derived{float(a) * b}; }
    friend constexpr Derived operator*(float a, Derived b) { return Derived{a * float(b)}; }
    friend constexpr Derived operator/(Derived a, float b) { return Derived{float(a) / b}; }
    friend constexpr float operator/(Derived a, Derived b) { return float(a) / float(b); }
    friend bool operator==(Derived a, Derived b) { return fuzzyEqual(float(a), float(b)); }
    friend constexpr std::partial_ordering operator<=>(Derived a, Derived b) {
        return float(a) <=> float(b);
    }

private:
    float _value{};
};

} // namespace Implementation

class Deg : public Implementation::Angle<Deg> {
public:
    using Angle::Angle;
    constexpr explicit Deg(Rad value);
};

class Rad : public Implementation::Angle<Rad> {
public:
    using Angle::Angle;
    constexpr explicit Rad(Deg value);
};

constexpr Deg::Deg(Rad value) : Angle{180.0f * float(value) / glm::pi<float>()} {}
constexpr Rad::Rad(Deg value) : Angle{float(value) * glm::pi<float>() / 180.0f} {}

namespace Literals {
constexpr Deg operator""_degf(long double value) {
    return Deg{float(value)};
}
constexpr Rad operator""_radf(long double value) {
    return Rad{float(value)};
}
} // namespace Literals

/* ---------------------------------------------------------------------------------------- */
/* Interpolation */

/* Computed in this form so that t = 0 and t = 1 give the inputs exactly */
template<class T>
constexpr T lerp(const T& a, const T& b, float t) {
    return (1.0f - t) * a + t * b;
}

/* ---------------------------------------------------------------------------------------- */
/* Quaternions */

constexpr Quaternion quaternionFromXyzw(float x, float y, float z, float w) {
    return Quaternion{w, x, y, z};
}

constexpr Quaternion quaternion(const Vector3& vector, float scalar) {
    return quaternionFromXyzw(vector.x, vector.y, vector.z, scalar);
}

constexpr Vector3 vectorPart(const Quaternion& quaternion) {
    return {quaternion.x, quaternion.y, quaternion.z};
}

/* Rotation by angle around the axis */
inline Quaternion rotation(Rad angle, const Vector3& normalizedAxis) {
    ZE_ASSERT(isNormalized(normalizedAxis),
              "Math::Quaternion::rotation(): axis" << normalizedAxis << "is not normalized");
    const float halfAngle = float(angle) * 0.5f;
    return quaternion(normalizedAxis * std::sin(halfAngle), std::cos(halfAngle));
}

/* Rotation matrix; the quaternion is expected to be normalized */
inline Matrix3 toMatrix(const Quaternion& quaternion) {
    return glm::mat3_cast(quaternion);
}

/* Spherical interpolation along the shorter arc; falls back to an unnormalized lerp when the
   two are (anti)parallel */
inline Quaternion slerpShortestPath(const Quaternion& a, const Quaternion& b, float t) {
    const float cosHalfAngle = glm::dot(a, b);
    const Quaternion shortestA = cosHalfAngle < 0.0f ? -a : a;
    if (std::abs(cosHalfAngle) >= 1.0f - Epsilon<float>)
        return (1.0f - t) * shortestA + t * b;
    const float halfAngle = std::acos(std::abs(cosHalfAngle));
    return (std::sin((1.0f - t) * halfAngle) * shortestA + std::sin(t * halfAngle) * b) /
           std::sin(halfAngle);
}

/* ---------------------------------------------------------------------------------------- */
/* Dual quaternions */

/* Real part then dual part, eight floats. GLM's own default constructor leaves the dual part
   at [0, 0, 0, 1] when constructors initialize; this one is the identity transformation. */
struct DualQuaternion : glm::dualquat {
    constexpr DualQuaternion() : glm::dualquat{Quaternion{}, quaternionFromXyzw(0, 0, 0, 0)} {}
    /* A pure rotation */
    constexpr DualQuaternion(const Quaternion& real)
        : glm::dualquat{real, quaternionFromXyzw(0, 0, 0, 0)} {}
    constexpr DualQuaternion(const Quaternion& real, const Quaternion& dual)
        : glm::dualquat{real, dual} {}
    constexpr DualQuaternion(const glm::dualquat& other) : glm::dualquat{other} {}
};

namespace Implementation {

/* Hamilton product on x, y, z, w registers, summing in the same order as GLM's scalar code
   so both give identical results */
inline __m128 quaternionProduct(__m128 a, __m128 b) {
    const __m128 signsXZ = _mm_set_ps(-0.0f, 0.0f, -0.0f, 0.0f);
    const __m128 signsZW = _mm_set_ps(-0.0f, -0.0f, 0.0f, 0.0f);
    const __m128 signsXW = _mm_set_ps(-0.0f, 0.0f, 0.0f, -0.0f);
    __m128 result = _mm_mul_ps(_mm_shuffle_ps(a, a, _MM_SHUFFLE(3, 3, 3, 3)), b);
    /* ax·(bw, −bz, by, −bx) */
    result = _mm_add_ps(
        result, _mm_mul_ps(_mm_shuffle_ps(a, a, _MM_SHUFFLE(0, 0, 0, 0)),
                           _mm_xor_ps(_mm_shuffle_ps(b, b, _MM_SHUFFLE(0, 1, 2, 3)), signsXZ)));
    /* ay·(bz, bw, −bx, −by) */
    result = _mm_add_ps(
        result, _mm_mul_ps(_mm_shuffle_ps(a, a, _MM_SHUFFLE(1, 1, 1, 1)),
                           _mm_xor_ps(_mm_shuffle_ps(b, b, _MM_SHUFFLE(1, 0, 3, 2)), signsZW)));
    /* az·(−by, bx, bw, −bz) */
    result = _mm_add_ps(
        result, _mm_mul_ps(_mm_shuffle_ps(a, a, _MM_SHUFFLE(2, 2, 2, 2)),
                           _mm_xor_ps(_mm_shuffle_ps(b, b, _MM_SHUFFLE(2, 3, 0, 1)), signsXW)));
    return result;
}

inline __m128 load(const Quaternion& q) {
    return _mm_loadu_ps(&q.x);
}

inline Quaternion store(__m128 value) {
    Quaternion q;
    _mm_storeu_ps(&q.x, value);
    return q;
}

} // namespace Implementation

/* Dual product: a₀b₀ + ε(a₀b_ε + a_εb₀), i.e. b applied first. Hot in world-transform
   updates and animation, hence the SSE version. */
inline DualQuaternion operator*(const DualQuaternion& a, const DualQuaternion& b) {
    using namespace Implementation;
    const __m128 aReal = load(a.real);
    const __m128 bReal = load(b.real);
    return {store(quaternionProduct(aReal, bReal)),
            store(_mm_add_ps(quaternionProduct(aReal, load(b.dual)),
                             quaternionProduct(load(a.dual), bReal)))};
}

inline DualQuaternion dualQuaternionFromTranslation(const Vector3& translation) {
    return {Quaternion{}, quaternion(translation * 0.5f, 0.0f)};
}

inline DualQuaternion dualQuaternionFromRotationTranslation(const Quaternion& rotation,
                                                            const Vector3& translation) {
    return {rotation, quaternion(translation * 0.5f, 0.0f) * rotation};
}

/* The real part, as is */
inline Quaternion rotation(const DualQuaternion& dualQuaternion) {
    return dualQuaternion.real;
}

inline Vector3 translation(const DualQuaternion& dualQuaternion) {
    return 2.0f * vectorPart(dualQuaternion.dual * glm::conjugate(dualQuaternion.real));
}

/* Both parts conjugated; the inverse of a unit dual quaternion */
inline DualQuaternion quaternionConjugated(const DualQuaternion& dualQuaternion) {
    return {glm::conjugate(dualQuaternion.real), glm::conjugate(dualQuaternion.dual)};
}

/* Quaternion and dual conjugate together: [−v₀, s₀] + ε[v_ε, −s_ε] */
inline DualQuaternion conjugated(const DualQuaternion& dualQuaternion) {
    return {glm::conjugate(dualQuaternion.real),
            quaternion(vectorPart(dualQuaternion.dual), -dualQuaternion.dual.w)};
}

/* Exact inverse of any dual quaternion with a non-zero real part: the quaternion conjugate
   divided by the dual squared length (r·r) + ε 2(r·d) */
inline DualQuaternion inverted(const DualQuaternion& dualQuaternion) {
    const float realLengthSquared = glm::dot(dualQuaternion.real, dualQuaternion.real);
    const float dualLengthSquared = 2.0f * glm::dot(dualQuaternion.real, dualQuaternion.dual);
    const Quaternion real = glm::conjugate(dualQuaternion.real) / realLengthSquared;
    return {real, glm::conjugate(dualQuaternion.dual) / realLengthSquared -
                      real * (dualLengthSquared / realLengthSquared)};
}

/* Vector part of the dual part of q ⊗ (1 + ε[p, 0]) ⊗ conjugated(q), expanded: the rotation
   part scales with the real part's squared length as the product does */
inline Vector3 transformPoint(const DualQuaternion& dualQuaternion, const Vector3& point) {
    const Vector3 realVector = vectorPart(dualQuaternion.real);
    const float realScalar = dualQuaternion.real.w;
    const Vector3 dualVector = vectorPart(dualQuaternion.dual);
    return (realScalar * realScalar - glm::dot(realVector, realVector)) * point +
           2.0f * glm::dot(realVector, point) * realVector +
           2.0f * realScalar * glm::cross(realVector, point) +
           2.0f * (realScalar * dualVector - dualQuaternion.dual.w * realVector +
                   glm::cross(realVector, dualVector));
}

/* Real part unit length, and the real and dual parts orthogonal */
inline bool isNormalized(const DualQuaternion& dualQuaternion) {
    const Quaternion& dual = dualQuaternion.dual;
    const float magnitude = std::max(std::max(std::abs(dual.x), std::abs(dual.y)),
                                     std::max(std::abs(dual.z), std::abs(dual.w)));
    return isNormalized(dualQuaternion.real) &&
           fuzzyEqualZero(2.0f * glm::dot(dualQuaternion.real, dual), magnitude);
}

inline bool fuzzyEqual(const DualQuaternion& a, const DualQuaternion& b) {
    return fuzzyEqual(a.real, b.real) && fuzzyEqual(a.dual, b.dual);
}

namespace Implementation {

inline DualQuaternion sclerp(const DualQuaternion& a, const DualQuaternion& b, float t,
                             bool shortestPath) {
    const float cosHalfAngle = glm::dot(a.real, b.real);
    /* Same or opposite rotation: only the translation moves, the rotation stays a's */
    if (std::abs(cosHalfAngle) >= 1.0f - Epsilon<float>)
        return dualQuaternionFromRotationTranslation(a.real,
                                                     lerp(translation(a), translation(b), t));

    /* Relative transformation l + εm, raised to the power t through its screw parameters */
    const DualQuaternion relative =
        quaternionConjugated(a) * (shortestPath && cosHalfAngle < 0.0f ? DualQuaternion{-b} : b);
    const Quaternion& l = relative.real;
    const Quaternion& m = relative.dual;
    const Vector3 lVector = vectorPart(l);
    const float r = glm::length(lVector);

    const float halfAngle = std::acos(l.w);
    const float halfPitch = -m.w / r;
    const Vector3 axis = lVector / r;
    const Vector3 moment = (vectorPart(m) - axis * halfPitch * l.w) / r;

    const float angle = t * halfAngle;
    const float pitch = t * halfPitch;
    const float sine = std::sin(angle);
    const float cosine = std::cos(angle);
    const DualQuaternion power{quaternion(axis * sine, cosine),
                               quaternion(axis * pitch * cosine + moment * sine, -pitch * sine)};
    return a * power;
}

} // namespace Implementation

/* Screw linear interpolation a·(a⁻¹b)^t, for unit inputs. Not the shortest path: b's sign
   decides which way the rotation goes. */
inline DualQuaternion sclerp(const DualQuaternion& a, const DualQuaternion& b, float t) {
    return Implementation::sclerp(a, b, t, false);
}

/* Like sclerp(), but b is negated first when that makes the rotation shorter */
inline DualQuaternion sclerpShortestPath(const DualQuaternion& a, const DualQuaternion& b,
                                         float t) {
    return Implementation::sclerp(a, b, t, true);
}

/* ---------------------------------------------------------------------------------------- */
/* Matrices */

inline Matrix4 translationMatrix(const Vector3& translation) {
    Matrix4 matrix;
    matrix[3] = Vector4{translation, 1.0f};
    return matrix;
}

inline Matrix4 transformationMatrix(const Matrix3& rotationScaling, const Vector3& translation) {
    Matrix4 matrix{rotationScaling};
    matrix[3] = Vector4{translation, 1.0f};
    return matrix;
}

inline Matrix4 rotationMatrix(const Quaternion& rotation) {
    return Matrix4{toMatrix(rotation)};
}

inline Matrix4 rotationMatrix(Rad angle, const Vector3& normalizedAxis) {
    return rotationMatrix(rotation(angle, normalizedAxis));
}

inline Vector3 translation(const Matrix4& transformation) {
    return Vector3{transformation[3]};
}

inline Vector3 transformPoint(const Matrix4& transformation, const Vector3& point) {
    return Vector3{transformation * Vector4{point, 1.0f}};
}

/* A transformation as translation, rotation and scaling applied in reverse order */
struct TrsTransformation {
    Vector3 translation{0.0f};
    Quaternion rotation;
    Vector3 scaling{1.0f};
};

/* The translation, rotation and scaling whose product is the matrix, for matrices without
   shear: scaling is the length of each basis column, negative along x for a mirroring matrix,
   and the rotation is identity when a column has zero length */
TrsTransformation decompose(const Matrix4& transformation);

/* Projection into OpenGL clip space (depth from -1 to 1) of the frustum whose near plane spans
   left to right and bottom to top at distance near; a far at +infinity gives the limit */
Matrix4 frustumProjection(float left, float right, float bottom, float top, float near, float far);

/* The symmetric frustum of a horizontal field of view and an aspect ratio */
Matrix4 perspectiveProjection(Rad horizontalFov, float aspectRatio, float near, float far);

/* The rotation whose -Z axis is forward and whose Y axis leans towards up, both normalized;
   an up parallel to forward is nudged off it */
Quaternion lookRotation(const Vector3& forward, const Vector3& up);

/* The rigid camera-to-world transform of a camera at eye looking at target, the identity
   rotation when the two are closer than 1e-5 squared; up is normalized */
DualQuaternion lookAt(const Vector3& eye, const Vector3& target, const Vector3& up);

/* Rigid transformation matrix of the rotation (as is) followed by the translation */
inline Matrix4 toMatrix(const DualQuaternion& dualQuaternion) {
    return transformationMatrix(toMatrix(dualQuaternion.real), translation(dualQuaternion));
}

/* The rigid transformation matrix with its basis columns scaled: the rotation, the scaling
   along the rotated axes and the translation of a scene object */
inline Matrix4 scaledMatrix(const DualQuaternion& transformation, const Vector3& scaling) {
    Matrix4 matrix = toMatrix(transformation);
    matrix[0] *= scaling.x;
    matrix[1] *= scaling.y;
    matrix[2] *= scaling.z;
    return matrix;
}

/* ---------------------------------------------------------------------------------------- */
/* Normalized integer packing */

namespace Implementation {

/* Largest value of a normalized integer with the given number of bits */
template<std::integral Integral, unsigned bits>
constexpr unsigned normalizedMax() {
    static_assert(sizeof(Integral) <= 2 && bits <= sizeof(Integral) * 8,
                  "only 8- and 16-bit normalized integers are supported");
    return (1u << (std::is_signed_v<Integral> ? bits - 1 : bits)) - 1;
}

} // namespace Implementation

/* Integer to [0, 1] or [−1, 1]; the most negative signed value clamps to −1 */
template<std::floating_point FloatingPoint, std::integral Integral,
         unsigned bits = sizeof(Integral) * 8>
FloatingPoint unpack(Integral value) {
    const FloatingPoint result =
        FloatingPoint(value) / FloatingPoint(Implementation::normalizedMax<Integral, bits>());
    if constexpr (std::is_signed_v<Integral>)
        return std::max(result, FloatingPoint(-1));
    else
        return result;
}

/* round(value × max), halves away from zero. Values outside [0, 1] (unsigned) or [−1, 1]
   (signed) clamp to the nearest end, NaN packs to 0. Written without std::round(), which
   compiles to a library call in loops over millions of vertices: the difference to the
   truncated value is exact, so comparing it with ±0.5 rounds the same way. */
template<std::integral Integral, unsigned bits = sizeof(Integral) * 8,
         std::floating_point FloatingPoint>
Integral pack(FloatingPoint value) {
    constexpr FloatingPoint min = std::is_signed_v<Integral> ? FloatingPoint(-1) : FloatingPoint(0);
    constexpr FloatingPoint max = FloatingPoint(1);
    /* Both comparisons are false for NaN */
    const FloatingPoint clamped =
        value >= min ? (value <= max ? value : max) : (value < min ? min : FloatingPoint(0));
    const FloatingPoint scaled =
        clamped * FloatingPoint(Implementation::normalizedMax<Integral, bits>());
    const int truncated = int(scaled);
    const FloatingPoint fraction = scaled - FloatingPoint(truncated);
    return Integral(truncated + int(fraction >= FloatingPoint(0.5)) -
                    int(fraction <= FloatingPoint(-0.5)));
}

/* Component-wise: unpack<Vector3>(Vector3ub{...}) */
template<class FloatingPointVector, glm::length_t size, std::integral Integral, glm::qualifier Q>
FloatingPointVector unpack(const glm::vec<size, Integral, Q>& value) {
    FloatingPointVector result;
    for (glm::length_t i = 0; i != size; ++i)
        result[i] = unpack<typename FloatingPointVector::value_type>(value[i]);
    return result;
}

/* Component-wise: pack<Vector3ub>(Vector3{...}) */
template<class IntegralVector, glm::length_t size, std::floating_point FloatingPoint,
         glm::qualifier Q>
IntegralVector pack(const glm::vec<size, FloatingPoint, Q>& value) {
    IntegralVector result;
    for (glm::length_t i = 0; i != size; ++i)
        result[i] = pack<typename IntegralVector::value_type>(value[i]);
    return result;
}

/* ---------------------------------------------------------------------------------------- */
/* Half floats */

/* Rounds to nearest with ties away from zero; overflow gives infinity, NaN the quiet NaN
   0x7e00, keeping the sign */
inline std::uint16_t packHalf(float value) {
    std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
    const std::uint32_t sign = bits & 0x80000000u;
    bits ^= sign;

    constexpr std::uint32_t floatInfinity = 0xffu << 23;
    constexpr std::uint32_t halfInfinity = 0x1fu << 23; /* in float bit positions */
    std::uint32_t half;
    if (bits >= floatInfinity)
        half = bits > floatInfinity ? 0x7e00u : 0x7c00u;
    else {
        /* Dropping the twelve bits below the rounding bit keeps the multiplication from
           rounding on its own. Scaling by 2^−112 rebiases the exponent from 127 to 15 and
           leaves values below the half normal range as float denormals with the half mantissa
           already in place. Adding the rounding bit then carries into the kept bits. */
        const float rebiased = std::bit_cast<float>(bits & ~0xfffu) * 0x1p-112f;
        half = std::min(std::bit_cast<std::uint32_t>(rebiased) + 0x1000u, halfInfinity) >> 13;
    }
    return std::uint16_t(half | sign >> 16);
}

/* Exact: every half is a float. Keeps the sign of zero; NaN payloads are not preserved. */
inline float unpackHalf(std::uint16_t value) {
    constexpr std::uint32_t exponentMask = 0x7c00u << 13;
    std::uint32_t bits = std::uint32_t(value & 0x7fffu) << 13;
    const std::uint32_t exponent = bits & exponentMask;
    bits += (127u - 15u) << 23;
    if (exponent == exponentMask) /* Inf and NaN get the float's largest exponent */
        bits += (128u - 16u) << 23;
    else if (exponent == 0) { /* zero and denormals: let the FPU renormalize */
        bits += 1u << 23;
        bits = std::bit_cast<std::uint32_t>(std::bit_cast<float>(bits) - 0x1p-14f);
    }
    return std::bit_cast<float>(bits | std::uint32_t(value & 0x8000u) << 16);
}

template<glm::length_t size, glm::qualifier Q>
glm::vec<size, std::uint16_t, Q> packHalf(const glm::vec<size, float, Q>& value) {
    glm::vec<size, std::uint16_t, Q> result;
    for (glm::length_t i = 0; i != size; ++i)
        result[i] = packHalf(value[i]);
    return result;
}

template<glm::length_t size, glm::qualifier Q>
glm::vec<size, float, Q> unpackHalf(const glm::vec<size, std::uint16_t, Q>& value) {
    glm::vec<size, float, Q> result;
    for (glm::length_t i = 0; i != size; ++i)
        result[i] = unpackHalf(value[i]);
    return result;
}

/* ---------------------------------------------------------------------------------------- */
/* Ranges */

/* Axis-aligned range, min inclusive and max exclusive */
template<unsigned dimensions, class T>
class Range {
public:
    using VectorType = std::conditional_t<dimensions == 1, T, glm::vec<dimensions, T>>;

    static constexpr Range fromSize(const VectorType& min, const VectorType& size) {
        return {min, min + size};
    }

    constexpr Range() = default;
    constexpr Range(const VectorType& min, const VectorType& max) : _min{min}, _max{max} {}

    constexpr VectorType& min() { return _min; }
    constexpr const VectorType& min() const { return _min; }
    constexpr VectorType& max() { return _max; }
    constexpr const VectorType& max() const { return _max; }

    constexpr VectorType size() const { return _max - _min; }
    constexpr VectorType center() const { return (_min + _max) / T(2); }

    constexpr bool contains(const VectorType& point) const {
        if constexpr (dimensions == 1)
            return _min <= point && point < _max;
        else
            return glm::all(glm::lessThanEqual(_min, point)) &&
                   glm::all(glm::lessThan(point, _max));
    }

    friend constexpr bool operator==(const Range&, const Range&) = default;

private:
    VectorType _min{}, _max{};
};

using Range1D = Range<1, float>;
using Range2D = Range<2, float>;
using Range2Di = Range<2, int>;
using Range2Dus = Range<2, unsigned short>;

/* ---------------------------------------------------------------------------------------- */
/* Printing */

/* "Range({1, 2}, {3, 4})", or "Range(1, 3)" in one dimension */
template<unsigned dimensions, class T>
Debug& operator<<(Debug& debug, const Range<dimensions, T>& value) {
    if constexpr (dimensions == 1)
        return debug << "Range(" << Debug::nospace << value.min() << Debug::nospace << ","
                     << value.max() << Debug::nospace << ")";
    else {
        debug << "Range({";
        Implementation::printComponents(debug, value.min());
        debug << Debug::nospace << "}, {";
        Implementation::printComponents(debug, value.max());
        return debug << Debug::nospace << "})";
    }
}

/* "Quaternion({x, y, z}, w)" */
Debug& operator<<(Debug& debug, const Quaternion& value);
/* "DualQuaternion({{x, y, z}, w}, {{x, y, z}, w})" */
Debug& operator<<(Debug& debug, const DualQuaternion& value);
/* "Matrix(a, b, c," and further rows aligned below, one row per line */
Debug& operator<<(Debug& debug, const Matrix3& value);
Debug& operator<<(Debug& debug, const Matrix4& value);
/* "Deg(90)", "Rad(1.5708)" */
Debug& operator<<(Debug& debug, Deg value);
Debug& operator<<(Debug& debug, Rad value);

/* ---------------------------------------------------------------------------------------- */

static_assert(sizeof(Vector3) == 12 && sizeof(Vector4) == 16 && sizeof(Matrix4) == 64);
static_assert(sizeof(Vector2us) == 4 && sizeof(Vector4ub) == 4);
static_assert(sizeof(Quaternion) == 16 && std::is_standard_layout_v<Quaternion>);
static_assert(offsetof(Quaternion, x) == 0 && offsetof(Quaternion, w) == 12,
              "quaternions are stored x, y, z, w");
static_assert(sizeof(DualQuaternion) == 32 && std::is_standard_layout_v<DualQuaternion>);
static_assert(offsetof(DualQuaternion, real) == 0 && offsetof(DualQuaternion, dual) == 16,
              "dual quaternions are stored real part, then dual part");
static_assert(sizeof(Deg) == 4 && sizeof(Range2D) == 16);

} // namespace ZarvikEngine

#endif
