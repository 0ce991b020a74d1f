#ifndef ZarvikEngine_Skeletal_SoaTransform_h
#define ZarvikEngine_Skeletal_SoaTransform_h

/* Poses in structure-of-arrays form: one SoaTransform holds the transformations of four
   tracks, one lane each, so that the jobs work on four tracks with every instruction. Track t
   of a pose lives in element t / 4, lane t % 4. */

#include <cstddef>

#include "ZarvikEngine/Math.h"

namespace ZarvikEngine::Skeletal {

namespace Implementation {

/* The lane, after aborting when it is out of range */
inline std::size_t checkedLane(std::size_t lane, const char* function) {
    ZE_ASSERT(lane < 4, function << "lane" << lane << "out of range");
    return lane;
}

} // namespace Implementation

/* Four 3D vectors; defaults to zero */
struct alignas(16) SoaFloat3 {
    float x[4]{}, y[4]{}, z[4]{};

    Vector3 get(std::size_t lane) const {
        const std::size_t i = Implementation::checkedLane(lane, "Skeletal::SoaFloat3::get():");
        return {x[i], y[i], z[i]};
    }
    void set(std::size_t lane, const Vector3& value) {
        const std::size_t i = Implementation::checkedLane(lane, "Skeletal::SoaFloat3::set():");
        x[i] = value.x;
        y[i] = value.y;
        z[i] = value.z;
    }
};

/* Four quaternions, x, y, z, w; defaults to identity */
struct alignas(16) SoaQuaternion {
    float x[4]{}, y[4]{}, z[4]{}, w[4]{1.0f, 1.0f, 1.0f, 1.0f};

    Quaternion get(std::size_t lane) const {
        const std::size_t i = Implementation::checkedLane(lane, "Skeletal::SoaQuaternion::get():");
        return quaternionFromXyzw(x[i], y[i], z[i], w[i]);
    }
    void set(std::size_t lane, const Quaternion& value) {
        const std::size_t i = Implementation::checkedLane(lane, "Skeletal::SoaQuaternion::set():");
        x[i] = value.x;
        y[i] = value.y;
        z[i] = value.z;
        w[i] = value.w;
    }
};

/* Translation, rotation and scale of four tracks. A default-constructed one is the identity in
   every lane: translation 0, rotation (0, 0, 0, 1), scale 1. */
struct SoaTransform {
    SoaFloat3 translation;
    SoaQuaternion rotation;
    SoaFloat3 scale{{1.0f, 1.0f, 1.0f, 1.0f}, {1.0f, 1.0f, 1.0f, 1.0f}, {1.0f, 1.0f, 1.0f, 1.0f}};
};

static_assert(sizeof(SoaFloat3) == 48 && sizeof(SoaQuaternion) == 64);
static_assert(sizeof(SoaTransform) == 160 && alignof(SoaTransform) == 16);

} // namespace ZarvikEngine::Skeletal

#endif
