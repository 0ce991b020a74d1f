#ifndef ZarvikEngine_Trade_AnimationData_h
#define ZarvikEngine_Trade_AnimationData_h

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>
#include <vector>

#include "ZarvikEngine/Containers/StridedArrayView.h"
#include "ZarvikEngine/Debug.h"
#include "ZarvikEngine/Math.h"
#include "ZarvikEngine/Trade/Data.h"

namespace ZarvikEngine::Animation {

/* How values between two keys are computed. The numbering is stored in asset files. */
enum class Interpolation : std::uint8_t {
    /* The earlier key's value until the next key */
    Constant,
    Linear,
    /* Only for spline types, which the library has no value types for */
    Spline,
    /* Decided by a user-supplied interpolator */
    Custom,
};

/* What a track gives before its first key and after its last one */
enum class Extrapolation : std::uint8_t {
    /* The first or last segment continued; with one key, its value */
    Extrapolated,
    /* The value of the first or last key */
    Constant,
    /* A default-constructed value */
    DefaultConstructed,
};

/* "Animation::Interpolation::Linear", "Animation::Interpolation(7)" */
Debug& operator<<(Debug& debug, Interpolation value);
/* "Animation::Extrapolation::Constant" */
Debug& operator<<(Debug& debug, Extrapolation value);

/* Value at factor t between two keys: t = 0 at the first, 1 at the second */
template<class V>
using Interpolator = V (*)(const V&, const V&, float);

/* The first value until t reaches 1 */
template<class V>
V select(const V& a, const V& b, float t) {
    return t < 1.0f ? a : b;
}

namespace Implementation {

/* Component-wise lerp; the shortest arc for rotations */
template<class V>
V linear(const V& a, const V& b, float t) {
    if constexpr (std::is_same_v<V, Quaternion>)
        return slerpShortestPath(a, b, t);
    else if constexpr (std::is_same_v<V, DualQuaternion>)
        return sclerpShortestPath(a, b, t);
    else
        return lerp(a, b, t);
}

} // namespace Implementation

/* The interpolator a track of V values uses for an interpolation kind. None of the value
   types has a spline or custom one. */
template<class V>
Interpolator<V> interpolatorFor(Interpolation interpolation) {
    if (interpolation == Interpolation::Constant)
        return select<V>;
    if (interpolation == Interpolation::Linear)
        return Implementation::linear<V>;
    ZE_ASSERT_UNREACHABLE("Animation::interpolatorFor(): can't deduce interpolator function for"
                          << interpolation);
}

/* Typed, non-owning view of one track: key times in seconds, ascending, and one value per
   key */
template<class V>
class TrackView {
public:
    TrackView() = default;

    TrackView(const StridedArrayView1D<const float>& keys,
              const StridedArrayView1D<const V>& values, Interpolation interpolation,
              Interpolator<V> interpolator, Extrapolation before, Extrapolation after)
        : _keys{keys}, _values{values}, _interpolator{interpolator},
          _interpolation{interpolation}, _before{before}, _after{after} {
        ZE_ASSERT(keys.size() == values.size(),
                  "Animation::TrackView: expected key and value view to have the same size but got"
                      << keys.size() << "and" << values.size());
    }

    const StridedArrayView1D<const float>& keys() const { return _keys; }
    const StridedArrayView1D<const V>& values() const { return _values; }
    std::size_t size() const { return _keys.size(); }
    Interpolation interpolation() const { return _interpolation; }
    Interpolator<V> interpolator() const { return _interpolator; }
    Extrapolation before() const { return _before; }
    Extrapolation after() const { return _after; }

    /* From the first to the last key, empty without keys */
    Range1D duration() const { return _keys.empty() ? Range1D{} : Range1D{_keys[0], _keys.back()}; }

    /* The value at a time; a default-constructed value without keys */
    V at(float time) const {
        const std::size_t count = _keys.size();
        if (count == 0)
            return V{};
        if (time < _keys[0])
            return outside(_before, 0, time);
        if (time == _keys.back())
            return _values.back();
        /* NaN too, which would find no segment */
        if (!(time < _keys.back()))
            return outside(_after, count - 1, time);
        /* The segment [key i, key i + 1) holding the time */
        const std::size_t i =
            std::size_t(std::upper_bound(_keys.begin(), _keys.end(), time) - _keys.begin()) - 1;
        return _interpolator(_values[i], _values[i + 1],
                             (time - _keys[i]) / (_keys[i + 1] - _keys[i]));
    }

private:
    /* Before the first key (end 0) or after the last one (end count - 1) */
    V outside(Extrapolation extrapolation, std::size_t end, float time) const {
        if (extrapolation == Extrapolation::DefaultConstructed)
            return V{};
        if (extrapolation == Extrapolation::Constant || _keys.size() == 1)
            return _values[end];
        const std::size_t first = end == 0 ? 0 : end - 1;
        return _interpolator(_values[first], _values[first + 1],
                             (time - _keys[first]) / (_keys[first + 1] - _keys[first]));
    }

    StridedArrayView1D<const float> _keys;
    StridedArrayView1D<const V> _values;
    Interpolator<V> _interpolator{};
    Interpolation _interpolation{};
    Extrapolation _before{}, _after{};
};

} // namespace ZarvikEngine::Animation

namespace ZarvikEngine::Trade {

/* Type of the values of a track. The numbering is stored in asset files; zero is reserved
   as invalid. */
enum class AnimationTrackType : std::uint8_t {
    Bool = 1,
    Float,
    UnsignedInt,
    Int,
    BitVector2,
    BitVector3,
    BitVector4,
    Vector2,
    Vector2ui,
    Vector2i,
    Vector3,
    Vector3ui,
    Vector3i,
    Vector4,
    Vector4ui,
    Vector4i,
    Complex,
    Quaternion,
    DualQuaternion,
    CubicHermite1D,
    CubicHermite2D,
    CubicHermite3D,
    CubicHermiteComplex,
    CubicHermiteQuaternion,
};

/* "Trade::AnimationTrackType::Vector3", "Trade::AnimationTrackType(0)" */
Debug& operator<<(Debug& debug, AnimationTrackType value);

/* Bytes of one value */
std::uint32_t animationTrackTypeSize(AnimationTrackType type);

/* The value types that tracks can be read as */
template<class V>
inline constexpr AnimationTrackType animationTrackTypeFor = AnimationTrackType{};
template<>
inline constexpr AnimationTrackType animationTrackTypeFor<float> = AnimationTrackType::Float;
template<>
inline constexpr AnimationTrackType animationTrackTypeFor<Vector2> = AnimationTrackType::Vector2;
template<>
inline constexpr AnimationTrackType animationTrackTypeFor<Vector3> = AnimationTrackType::Vector3;
template<>
inline constexpr AnimationTrackType animationTrackTypeFor<Vector4> = AnimationTrackType::Vector4;
template<>
inline constexpr AnimationTrackType animationTrackTypeFor<Quaternion> =
    AnimationTrackType::Quaternion;
template<>
inline constexpr AnimationTrackType animationTrackTypeFor<DualQuaternion> =
    AnimationTrackType::DualQuaternion;

/* What a track animates. The numbering is stored in asset files; zero is reserved as invalid.
   Values from 32768 up are custom targets, see animationTrackTargetCustom(). */
enum class AnimationTrackTarget : std::uint16_t {
    Translation2D = 1,
    Translation3D,
    Rotation2D,
    Rotation3D,
    Scaling2D,
    Scaling3D,
};

inline constexpr std::uint16_t AnimationTrackTargetCustomBase = 32768;

/* "Trade::AnimationTrackTarget::Rotation3D", "Trade::AnimationTrackTarget::Custom(3)" or
   "Trade::AnimationTrackTarget(0)" */
Debug& operator<<(Debug& debug, AnimationTrackTarget value);

constexpr bool isAnimationTrackTargetCustom(AnimationTrackTarget name) {
    return std::uint16_t(name) >= AnimationTrackTargetCustomBase;
}

/* The custom target with the given id, which has to be less than 32768 */
constexpr AnimationTrackTarget animationTrackTargetCustom(std::uint16_t id) {
    ZE_ASSERT(id < AnimationTrackTargetCustomBase,
              "Trade::animationTrackTargetCustom(): index" << id << "too large");
    return AnimationTrackTarget(AnimationTrackTargetCustomBase + id);
}

/* Id of a custom target */
constexpr std::uint16_t animationTrackTargetCustom(AnimationTrackTarget name) {
    ZE_ASSERT(isAnimationTrackTargetCustom(name),
              "Trade::animationTrackTargetCustom():" << name << "is not custom");
    return std::uint16_t(name) - AnimationTrackTargetCustomBase;
}

/* One track of an animation: what it animates (a target kind and an object), its keys and
   values as views into the animation's data, and how to interpolate and extrapolate them */
class AnimationTrackData {
public:
    /* Placeholder without keys, to be assigned over */
    AnimationTrackData() = default;

    /* Interpolated with the interpolator the interpolation kind implies for V */
    template<class V>
    AnimationTrackData(AnimationTrackTarget targetName, std::uint64_t target,
                       const StridedArrayView1D<const float>& keys,
                       const StridedArrayView1D<const V>& values,
                       Animation::Interpolation interpolation,
                       Animation::Extrapolation before = Animation::Extrapolation::Constant,
                       Animation::Extrapolation after = Animation::Extrapolation::Constant)
        : AnimationTrackData{targetName,    target,
                             keys,          values,
                             interpolation, Animation::interpolatorFor<V>(interpolation),
                             before,        after} {}

    /* With an interpolator of the caller's, for example for Interpolation::Custom */
    template<class V>
    AnimationTrackData(AnimationTrackTarget targetName, std::uint64_t target,
                       const StridedArrayView1D<const float>& keys,
                       const StridedArrayView1D<const V>& values,
                       Animation::Interpolation interpolation,
                       Animation::Interpolator<V> interpolator, Animation::Extrapolation before,
                       Animation::Extrapolation after)
        : AnimationTrackData{
              animationTrackTypeFor<V>,
              targetName,
              target,
              keys,
              {reinterpret_cast<const char*>(values.data()), values.size(), values.stride()},
              interpolation,
              reinterpret_cast<ErasedInterpolator>(interpolator),
              before,
              after} {
        static_assert(animationTrackTypeFor<V> != AnimationTrackType{},
                      "no track type for this value type");
    }

    AnimationTrackType type() const { return _type; }
    AnimationTrackTarget targetName() const { return _targetName; }
    /* The animated object */
    std::uint64_t target() const { return _target; }
    Animation::Interpolation interpolation() const { return _interpolation; }
    Animation::Extrapolation before() const { return _before; }
    Animation::Extrapolation after() const { return _after; }
    std::size_t size() const { return _keys.size(); }
    const StridedArrayView1D<const float>& keys() const { return _keys; }
    /* The first byte of each value */
    const StridedArrayView1D<const char>& values() const { return _values; }

    /* The track as values of type V, which has to be the track's type */
    template<class V>
    Animation::TrackView<V> view() const {
        ZE_ASSERT(_type == animationTrackTypeFor<V>,
                  "Trade::AnimationTrackData::view(): improper type requested for" << _type);
        return {_keys,
                {reinterpret_cast<const V*>(_values.data()), _values.size(), _values.stride()},
                _interpolation,
                reinterpret_cast<Animation::Interpolator<V>>(_interpolator),
                _before,
                _after};
    }

private:
    /* A function pointer type that any interpolator converts to and back from */
    using ErasedInterpolator = void (*)();

    AnimationTrackData(AnimationTrackType type, AnimationTrackTarget targetName,
                       std::uint64_t target, const StridedArrayView1D<const float>& keys,
                       const StridedArrayView1D<const char>& values,
                       Animation::Interpolation interpolation, ErasedInterpolator interpolator,
                       Animation::Extrapolation before, Animation::Extrapolation after);

    AnimationTrackType _type{};
    AnimationTrackTarget _targetName{};
    Animation::Interpolation _interpolation{};
    Animation::Extrapolation _before{}, _after{};
    std::uint64_t _target{};
    StridedArrayView1D<const float> _keys;
    StridedArrayView1D<const char> _values;
    ErasedInterpolator _interpolator{};
};

/* An imported animation: tracks whose keys and values lie in one data block that is owned or
   viewed, and a duration in seconds. Move-only. */
class AnimationData {
public:
    /* Every track's keys and values must lie inside data */
    AnimationData(DataStorage data, std::vector<AnimationTrackData> tracks,
                  const Range1D& duration);
    /* The duration spans the keys of all tracks, empty without keys */
    AnimationData(DataStorage data, std::vector<AnimationTrackData> tracks);

    AnimationData(const AnimationData&) = delete;
    AnimationData(AnimationData&&) noexcept = default;
    AnimationData& operator=(const AnimationData&) = delete;
    AnimationData& operator=(AnimationData&&) noexcept = default;

    DataFlags dataFlags() const { return _data.flags(); }
    std::span<const char> data() const { return _data.data(); }
    std::span<char> mutableData();

    const Range1D& duration() const { return _duration; }

    std::uint32_t trackCount() const { return std::uint32_t(_tracks.size()); }
    const AnimationTrackData& track(std::uint32_t id) const;
    AnimationTrackType trackType(std::uint32_t id) const { return track(id).type(); }
    AnimationTrackTarget trackTargetName(std::uint32_t id) const { return track(id).targetName(); }
    std::uint64_t trackTarget(std::uint32_t id) const { return track(id).target(); }

    /* Track id as values of type V, which has to be its type */
    template<class V>
    Animation::TrackView<V> track(std::uint32_t id) const {
        return track(id).view<V>();
    }

private:
    DataStorage _data;
    std::vector<AnimationTrackData> _tracks;
    Range1D _duration;
};

} // namespace ZarvikEngine::Trade

#endif
