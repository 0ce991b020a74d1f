#ifndef ZarvikEngine_Skeletal_SoaMath_h
#define ZarvikEngine_Skeletal_SoaMath_h

/* Lane-wise arithmetic for the skeletal jobs. GCC's vector extensions turn ordinary operators
   on these types into SSE2 instructions (the x86-64 baseline, so no -march flag is needed);
   intrinsics cover what operators cannot express. The same blending code written as loops
   over float[4] for GCC to vectorize ran 9 times slower at -O2 (6 times at -O3). Eight lanes
   hold two pose elements in loops compiled for AVX2; the helpers that take them are written
   without intrinsics, so that they compile wherever they are inlined, and take lanes by
   reference: GCC notes an ABI change for any function taking eight lanes by value, even one
   that is always inlined. */

#include <bit>
#include <cstdint>

#include <emmintrin.h>

#include "ZarvikEngine/Skeletal/SoaTransform.h"

namespace ZarvikEngine::Skeletal::Simd {

/* Whether the processor runs the AVX2 builds of the jobs' loops */
inline bool hasAvx2() {
    static const bool supported = __builtin_cpu_supports("avx2");
    return supported;
}

typedef float Float4 __attribute__((vector_size(16)));
/* Two pose elements, in the AVX2 builds */
typedef float Float8 __attribute__((vector_size(32)));
/* Comparisons give masks of this type: all bits set where true */
template<class Float>
using Mask = decltype(Float{} < Float{});
using Int4 = Mask<Float4>;

template<class Float = Float4>
[[gnu::always_inline]] inline Float splat(float value) {
    if constexpr (sizeof(Float) == sizeof(Float4))
        return Float{value, value, value, value};
    else {
        /* GCC 12 builds eight equal values one by one, but shuffles one into a broadcast */
        const Float4 first{value};
        return __builtin_shufflevector(first, first, 0, 0, 0, 0, 0, 0, 0, 0);
    }
}

inline Float4 load(const float* data) {
    return _mm_load_ps(data);
}

inline Float4 loadUnaligned(const float* data) {
    return _mm_loadu_ps(data);
}

inline void store(float* data, Float4 value) {
    _mm_store_ps(data, value);
}

inline int laneMask(Int4 mask) {
    return _mm_movemask_ps(std::bit_cast<Float4>(mask));
}

/* The four low and the four high lanes of eight, and eight joined from two fours. Templates,
   so that only the code that uses eight lanes compiles them. */
template<class Float>
[[gnu::always_inline]] inline Float4 low(const Float& value) {
    return __builtin_shufflevector(value, value, 0, 1, 2, 3);
}

template<class Float>
[[gnu::always_inline]] inline Float4 high(const Float& value) {
    return __builtin_shufflevector(value, value, 4, 5, 6, 7);
}

template<class Float>
[[gnu::always_inline]] inline Float join(Float4 low, Float4 high) {
    return __builtin_shufflevector(low, high, 0, 1, 2, 3, 4, 5, 6, 7);
}

/* The IEEE sign bit of every lane */
template<class Float>
[[gnu::always_inline]] inline Mask<Float> signBits(const Float& value) {
    return std::bit_cast<Mask<Float>>(value) & std::int32_t(0x80000000u);
}

/* value with its sign flipped in the lanes where sign has the sign bit set */
template<class Float>
[[gnu::always_inline]] inline Float flipSign(const Float& value, const Mask<Float>& sign) {
    return std::bit_cast<Float>(std::bit_cast<Mask<Float>>(value) ^ sign);
}

/* Plain square root and division, not the approximate reciprocal instructions, so that unit
   inputs stay exact */
template<class Float>
[[gnu::always_inline]] inline Float sqrt(const Float& value) {
    if constexpr (sizeof(Float) == sizeof(Float4))
        return _mm_sqrt_ps(value);
    else
        return join<Float>(sqrt(low(value)), sqrt(high(value)));
}

/* As the SSE instruction: b where either is NaN */
template<class Float>
[[gnu::always_inline]] inline Float max(const Float& a, const Float& b) {
    return a > b ? a : b;
}

inline Float4 min(Float4 a, Float4 b) {
    return _mm_min_ps(a, b);
}

/* The largest and the smallest lane */
inline float horizontalMax(Float4 value) {
    const Float4 pairs = max(value, _mm_movehl_ps(value, value));
    return _mm_cvtss_f32(max(pairs, _mm_shuffle_ps(pairs, pairs, 1)));
}

inline float horizontalMin(Float4 value) {
    const Float4 pairs = min(value, _mm_movehl_ps(value, value));
    return _mm_cvtss_f32(min(pairs, _mm_shuffle_ps(pairs, pairs, 1)));
}

/* Half floats in the low 16 bits of each lane to floats, exactly and with the same results as
   unpackHalf(). Half denormals are rebuilt by a subtraction instead of from float denormals,
   so flush-to-zero and denormals-are-zero modes don't change the result. */
inline Float4 halfToFloat(Int4 half) {
    constexpr std::int32_t exponentMask = 0x7c00 << 13;
    const Int4 magnitude = (half & 0x7fff) << 13;
    const Int4 exponent = magnitude & exponentMask;
    /* Rebias from 15 to 127; infinity and NaN get the largest exponent */
    Int4 bits = magnitude + ((127 - 15) << 23);
    bits += (exponent == exponentMask) & ((128 - 16) << 23);
    const Float4 denormal =
        std::bit_cast<Float4>(magnitude + ((127 - 15 + 1) << 23)) - splat(0x1p-14f);
    bits = exponent == 0 ? std::bit_cast<Int4>(denormal) : bits;
    return std::bit_cast<Float4>(bits | (half & 0x8000) << 16);
}

template<class Float>
struct Vector3Lanes {
    Float x, y, z;
};

template<class Float>
struct QuaternionLanes {
    Float x, y, z, w;
};

using Vector3x4 = Vector3Lanes<Float4>;
using Quaternionx4 = QuaternionLanes<Float4>;

inline Vector3x4 load(const SoaFloat3& value) {
    return {load(value.x), load(value.y), load(value.z)};
}

inline Quaternionx4 load(const SoaQuaternion& value) {
    return {load(value.x), load(value.y), load(value.z), load(value.w)};
}

inline void store(SoaFloat3& out, const Vector3x4& value) {
    store(out.x, value.x);
    store(out.y, value.y);
    store(out.z, value.z);
}

inline void store(SoaQuaternion& out, const Quaternionx4& value) {
    store(out.x, value.x);
    store(out.y, value.y);
    store(out.z, value.z);
    store(out.w, value.w);
}

template<class Float>
[[gnu::always_inline]] inline Vector3Lanes<Float> operator+(const Vector3Lanes<Float>& a,
                                                            const Vector3Lanes<Float>& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}

inline Vector3x4 operator-(const Vector3x4& a, const Vector3x4& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

inline Vector3x4 operator*(const Vector3x4& a, const Vector3x4& b) {
    return {a.x * b.x, a.y * b.y, a.z * b.z};
}

inline Vector3x4 operator/(const Vector3x4& a, const Vector3x4& b) {
    return {a.x / b.x, a.y / b.y, a.z / b.z};
}

template<class Float>
[[gnu::always_inline]] inline Vector3Lanes<Float> operator*(const Vector3Lanes<Float>& a,
                                                            const Float& b) {
    return {a.x * b, a.y * b, a.z * b};
}

template<class Float>
[[gnu::always_inline]] inline QuaternionLanes<Float> operator+(const QuaternionLanes<Float>& a,
                                                               const QuaternionLanes<Float>& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w};
}

inline Quaternionx4 operator-(const Quaternionx4& a, const Quaternionx4& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z, a.w - b.w};
}

template<class Float>
[[gnu::always_inline]] inline QuaternionLanes<Float> operator*(const QuaternionLanes<Float>& a,
                                                               const Float& b) {
    return {a.x * b, a.y * b, a.z * b, a.w * b};
}

/* Hamilton product: b applied first */
inline Quaternionx4 operator*(const Quaternionx4& a, const Quaternionx4& b) {
    return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
            a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w,
            a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

inline Quaternionx4 conjugated(const Quaternionx4& q) {
    return {-q.x, -q.y, -q.z, q.w};
}

template<class Float>
[[gnu::always_inline]] inline Float dot(const QuaternionLanes<Float>& a,
                                        const QuaternionLanes<Float>& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
}

template<class Float>
[[gnu::always_inline]] inline QuaternionLanes<Float> normalized(const QuaternionLanes<Float>& q) {
    return q * (splat<Float>(1.0f) / sqrt(dot(q, q)));
}

} // namespace ZarvikEngine::Skeletal::Simd

#endif
