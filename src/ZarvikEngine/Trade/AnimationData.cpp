#include "ZarvikEngine/Trade/AnimationData.h"

#include <iterator>
#include <optional>
#include <string_view>
#include <utility>

#include <fmt/format.h>

namespace ZarvikEngine::Animation {

Debug& operator<<(Debug& debug, Interpolation value) {
    constexpr std::string_view Names[]{"Constant", "Linear", "Spline", "Custom"};
    const std::size_t index = std::size_t(value);
    return printEnum(debug, "Animation::Interpolation",
                     index < std::size(Names) ? Names[index] : "", index);
}

Debug& operator<<(Debug& debug, Extrapolation value) {
    constexpr std::string_view Names[]{"Extrapolated", "Constant", "DefaultConstructed"};
    const std::size_t index = std::size_t(value);
    return printEnum(debug, "Animation::Extrapolation",
                     index < std::size(Names) ? Names[index] : "", index);
}

} // namespace ZarvikEngine::Animation

namespace ZarvikEngine::Trade {

namespace {

struct TrackTypeInfo {
    std::string_view name;
    std::uint32_t size;
};

/* Indexed by value - 1 */
constexpr TrackTypeInfo TrackTypes[]{
    {"Bool", 1},
    {"Float", 4},
    {"UnsignedInt", 4},
    {"Int", 4},
    {"BitVector2", 1},
    {"BitVector3", 1},
    {"BitVector4", 1},
    {"Vector2", 8},
    {"Vector2ui", 8},
    {"Vector2i", 8},
    {"Vector3", 12},
    {"Vector3ui", 12},
    {"Vector3i", 12},
    {"Vector4", 16},
    {"Vector4ui", 16},
    {"Vector4i", 16},
    {"Complex", 8},
    {"Quaternion", 16},
    {"DualQuaternion", 32},
    {"CubicHermite1D", 12},
    {"CubicHermite2D", 24},
    {"CubicHermite3D", 36},
    {"CubicHermiteComplex", 24},
    {"CubicHermiteQuaternion", 48},
};

constexpr std::string_view TargetNames[]{"Translation2D", "Translation3D", "Rotation2D",
                                         "Rotation3D",    "Scaling2D",     "Scaling3D"};

/* Whether size elements of elementSize bytes, stride apart from first, lie inside data */
bool contains(std::span<const char> data, const char* first, std::size_t size,
              std::ptrdiff_t stride, std::size_t elementSize) {
    if (size == 0)
        return true;
    const std::ptrdiff_t span = std::ptrdiff_t(size - 1) * stride;
    const auto begin = std::uintptr_t(first + std::min<std::ptrdiff_t>(span, 0));
    const auto end = std::uintptr_t(first + std::max<std::ptrdiff_t>(span, 0) + elementSize);
    return begin >= std::uintptr_t(data.data()) && end <= std::uintptr_t(data.data() + data.size());
}

Range1D keyRange(std::span<const AnimationTrackData> tracks) {
    std::optional<Range1D> range;
    for (const AnimationTrackData& track : tracks) {
        if (!track.size())
            continue;
        const float first = track.keys().front();
        const float last = track.keys().back();
        range = range ? Range1D{std::min(range->min(), first), std::max(range->max(), last)}
                      : Range1D{first, last};
    }
    return range.value_or(Range1D{});
}

} // namespace

Debug& operator<<(Debug& debug, AnimationTrackType value) {
    const std::size_t index = std::size_t(value) - 1;
    return printEnum(debug, "Trade::AnimationTrackType",
                     index < std::size(TrackTypes) ? TrackTypes[index].name : "",
                     std::uint8_t(value));
}

std::uint32_t animationTrackTypeSize(AnimationTrackType type) {
    const std::size_t index = std::size_t(type) - 1;
    ZE_ASSERT(index < std::size(TrackTypes),
              "Trade::animationTrackTypeSize(): invalid type" << type);
    return TrackTypes[index].size;
}

Debug& operator<<(Debug& debug, AnimationTrackTarget value) {
    if (isAnimationTrackTargetCustom(value))
        return debug.print(fmt::format("Trade::AnimationTrackTarget::Custom({})",
                                       animationTrackTargetCustom(value)));
    const std::size_t index = std::size_t(value) - 1;
    return printEnum(debug, "Trade::AnimationTrackTarget",
                     index < std::size(TargetNames) ? TargetNames[index] : "",
                     std::uint16_t(value));
}

AnimationTrackData::AnimationTrackData(
    AnimationTrackType type, AnimationTrackTarget targetName, std::uint64_t target,
    const StridedArrayView1D<const float>& keys, const StridedArrayView1D<const char>& values,
    Animation::Interpolation interpolation, ErasedInterpolator interpolator,
    Animation::Extrapolation before, Animation::Extrapolation after)
    : _type{type}, _targetName{targetName}, _interpolation{interpolation}, _before{before},
      _after{after}, _target{target}, _keys{keys}, _values{values}, _interpolator{interpolator} {
    ZE_ASSERT(keys.size() == values.size(),
              "Trade::AnimationTrackData: expected key and value view to have the same size but got"
                  << keys.size() << "and" << values.size());
    ZE_ASSERT(interpolator, "Trade::AnimationTrackData: the interpolator is null");
}

AnimationData::AnimationData(DataStorage data, std::vector<AnimationTrackData> tracks,
                             const Range1D& duration)
    : _data{std::move(data)}, _tracks{std::move(tracks)}, _duration{duration} {
    for (std::size_t i = 0; i != _tracks.size(); ++i) {
        const AnimationTrackData& track = _tracks[i];
        ZE_ASSERT(contains(_data.data(), reinterpret_cast<const char*>(track.keys().data()),
                           track.size(), track.keys().stride(), sizeof(float)),
                  "Trade::AnimationData: keys of track" << i << "are not contained in the data");
        ZE_ASSERT(contains(_data.data(), track.values().data(), track.size(),
                           track.values().stride(), animationTrackTypeSize(track.type())),
                  "Trade::AnimationData: values of track" << i << "are not contained in the data");
    }
}

AnimationData::AnimationData(DataStorage data, std::vector<AnimationTrackData> tracks)
    : AnimationData{std::move(data), std::move(tracks), {}} {
    _duration = keyRange(_tracks);
}

std::span<char> AnimationData::mutableData() {
    ZE_ASSERT(_data.flags() >= DataFlag::Mutable,
              "Trade::AnimationData::mutableData(): data not mutable");
    return _data.mutableData();
}

const AnimationTrackData& AnimationData::track(std::uint32_t id) const {
    ZE_ASSERT(id < _tracks.size(), "Trade::AnimationData::track(): index"
                                       << id << "out of range for" << _tracks.size() << "tracks");
    return _tracks[id];
}

} // namespace ZarvikEngine::Trade
