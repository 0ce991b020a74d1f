#include "ZarvikEngine/Tools/AnimationTools.h"

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace ZarvikEngine {

namespace {

using Trade::AnimationTrackData;
using Trade::AnimationTrackType;

/* A track like the given one, over other keys and values and for another object */
template<class V>
AnimationTrackData withData(const AnimationTrackData& track, std::uint64_t target,
                            const StridedArrayView1D<const float>& keys,
                            const StridedArrayView1D<const V>& values,
                            Animation::Interpolation interpolation) {
    return {track.targetName(), target, keys, values, interpolation, track.before(), track.after()};
}

/* Keys made of a new time and the value of a source key */
struct Key {
    float time;
    std::size_t value;
};

/* Keys that keep the shape linear interpolation gives the track, without those it reproduces
   between the kept neighbours */
template<class V>
std::vector<Key> keptKeys(const Animation::TrackView<V>& track) {
    const auto interpolate = Animation::interpolatorFor<V>(Animation::Interpolation::Linear);
    const StridedArrayView1D<const float>& keys = track.keys();
    const StridedArrayView1D<const V>& values = track.values();
    const std::size_t count = keys.size();

    std::vector<Key> kept;
    if (count == 0)
        return kept;
    kept.push_back({keys[0], 0});
    for (std::size_t i = 1; i + 1 < count; ++i) {
        /* Key i is redundant when linear interpolation between the last kept key and key
           i + 1 reproduces it */
        const std::size_t last = kept.back().value;
        const float t = (keys[i] - keys[last]) / (keys[i + 1] - keys[last]);
        if (!fuzzyEqual(interpolate(values[last], values[i + 1], t), values[i]))
            kept.push_back({keys[i], i});
    }
    if (count > 1)
        kept.push_back({keys[count - 1], count - 1});
    return kept;
}

template<class V>
std::vector<Key> allKeys(const Animation::TrackView<V>& track) {
    std::vector<Key> result;
    for (std::size_t i = 0; i != track.size(); ++i)
        result.push_back({track.keys()[i], i});
    return result;
}

/* Keys that make linear interpolation hold each value of a constant track until holdTime
   before the next key */
template<class V>
std::vector<Key> holdingKeys(const Animation::TrackView<V>& track, float holdTime) {
    const StridedArrayView1D<const float>& keys = track.keys();
    std::vector<Key> result;
    for (std::size_t i = 0; i != keys.size(); ++i) {
        result.push_back({keys[i], i});
        if (i + 1 != keys.size() && keys[i + 1] - holdTime > keys[i])
            result.push_back({keys[i + 1] - holdTime, i});
    }
    return result;
}

/* What one track becomes, to be copied once the size of all of them is known */
struct TrackKeys {
    const AnimationTrackData* track;
    std::vector<Key> keys;
    Animation::Interpolation interpolation;
    std::size_t valueSize;
    /* Copies the keys and values to data at offset, returning the new track over them */
    AnimationTrackData (*copy)(const TrackKeys&, std::span<char> data, std::size_t offset);

    std::size_t dataSize() const { return keys.size() * (sizeof(float) + valueSize); }
};

template<class V>
AnimationTrackData copyKeys(const TrackKeys& selection, std::span<char> data, std::size_t offset) {
    const Animation::TrackView<V> track = selection.track->view<V>();
    const std::size_t count = selection.keys.size();
    auto* keys = reinterpret_cast<float*>(data.data() + offset);
    auto* values = reinterpret_cast<V*>(data.data() + offset + sizeof(float) * count);
    for (std::size_t i = 0; i != count; ++i) {
        keys[i] = selection.keys[i].time;
        values[i] = track.values()[selection.keys[i].value];
    }
    return withData<V>(*selection.track, selection.track->target(),
                       std::span<const float>{keys, count}, std::span<const V>{values, count},
                       selection.interpolation);
}

/* A copy owning its data, each Vector3 or Quaternion track with the keys select gives it */
template<class Select>
Trade::AnimationData withKeys(const Trade::AnimationData& animation, Select select) {
    std::vector<TrackKeys> selections;
    std::size_t dataSize = 0;
    for (std::uint32_t i = 0; i != animation.trackCount(); ++i) {
        const AnimationTrackData& track = animation.track(i);
        if (track.type() == AnimationTrackType::Vector3)
            selections.push_back(
                select(track, track.view<Vector3>(), copyKeys<Vector3>, sizeof(Vector3)));
        else if (track.type() == AnimationTrackType::Quaternion)
            selections.push_back(
                select(track, track.view<Quaternion>(), copyKeys<Quaternion>, sizeof(Quaternion)));
        else
            ZE_ASSERT_UNREACHABLE("Track type not implemented:" << track.type());
        dataSize += selections.back().dataSize();
    }

    /* Key times, then values, track after track */
    std::vector<char> data(dataSize);
    std::vector<AnimationTrackData> tracks;
    std::size_t offset = 0;
    for (const TrackKeys& selection : selections) {
        tracks.push_back(selection.copy(selection, data, offset));
        offset += selection.dataSize();
    }
    return {std::move(data), std::move(tracks), animation.duration()};
}

} // namespace

Trade::AnimationData
AnimationTools::removeLinearlyRedundantKeyframes(const Trade::AnimationData& animation) {
    return withKeys(animation, [](const AnimationTrackData& track, const auto& view, auto copy,
                                  std::size_t valueSize) {
        return TrackKeys{&track, keptKeys(view), track.interpolation(), valueSize, copy};
    });
}

Trade::AnimationData AnimationTools::linearizeConstantTracks(const Trade::AnimationData& animation,
                                                             float holdTime) {
    return withKeys(animation, [&](const AnimationTrackData& track, const auto& view, auto copy,
                                   std::size_t valueSize) {
        if (track.interpolation() != Animation::Interpolation::Constant)
            return TrackKeys{&track, allKeys(view), track.interpolation(), valueSize, copy};
        return TrackKeys{&track, holdingKeys(view, holdTime), Animation::Interpolation::Linear,
                         valueSize, copy};
    });
}

namespace {

template<class V>
AnimationTrackData retargeted(const AnimationTrackData& track, Data::Id target) {
    const Animation::TrackView<V> view = track.view<V>();
    return withData<V>(track, std::uint64_t(target), view.keys(), view.values(),
                       track.interpolation());
}

} // namespace

Trade::AnimationData Data::retargetAnimation(const Trade::AnimationData& animation,
                                             std::span<const Id> newTargets) {
    ZE_ASSERT(newTargets.size() == animation.trackCount(),
              "retargetAnimation(): newTargets is required to have an element per track: Got"
                  << newTargets.size() << "but expected" << animation.trackCount());
    std::vector<AnimationTrackData> tracks;
    for (std::uint32_t i = 0; i != animation.trackCount(); ++i) {
        const AnimationTrackData& track = animation.track(i);
        if (newTargets[i] == InvalidId)
            continue;
        if (track.type() == AnimationTrackType::Vector3)
            tracks.push_back(retargeted<Vector3>(track, newTargets[i]));
        else if (track.type() == AnimationTrackType::Quaternion)
            tracks.push_back(retargeted<Quaternion>(track, newTargets[i]));
    }
    return {Trade::DataStorage::view(animation.data()), std::move(tracks), animation.duration()};
}

} // namespace ZarvikEngine
