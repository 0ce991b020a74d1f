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
                            const StridedArrayView1D<const V>& values) {
    return {track.targetName(),    target,         keys,         values,
            track.interpolation(), track.before(), track.after()};
}

/* Indices of the keys to keep */
template<class V>
std::vector<std::size_t> keptKeys(const Animation::TrackView<V>& track) {
    const auto interpolate = Animation::interpolatorFor<V>(Animation::Interpolation::Linear);
    const StridedArrayView1D<const float>& keys = track.keys();
    const StridedArrayView1D<const V>& values = track.values();
    const std::size_t count = keys.size();

    std::vector<std::size_t> kept;
    if (count == 0)
        return kept;
    kept.push_back(0);
    for (std::size_t i = 1; i + 1 < count; ++i) {
        /* Key i is redundant when linear interpolation between the last kept key and key
           i + 1 reproduces it */
        const std::size_t last = kept.back();
        const float t = (keys[i] - keys[last]) / (keys[i + 1] - keys[last]);
        if (!fuzzyEqual(interpolate(values[last], values[i + 1], t), values[i]))
            kept.push_back(i);
    }
    if (count > 1)
        kept.push_back(count - 1);
    return kept;
}

/* What one track keeps, to be copied once the size of all of them is known */
struct Reduction {
    const AnimationTrackData* track;
    std::vector<std::size_t> kept;
    std::size_t valueSize;
    /* Copies the kept keys and values to data at offset, returning the new track over them */
    AnimationTrackData (*copy)(const Reduction&, std::span<char> data, std::size_t offset);

    std::size_t dataSize() const { return kept.size() * (sizeof(float) + valueSize); }
};

template<class V>
AnimationTrackData copyKept(const Reduction& reduction, std::span<char> data, std::size_t offset) {
    const Animation::TrackView<V> track = reduction.track->view<V>();
    const std::size_t count = reduction.kept.size();
    auto* keys = reinterpret_cast<float*>(data.data() + offset);
    auto* values = reinterpret_cast<V*>(data.data() + offset + sizeof(float) * count);
    for (std::size_t i = 0; i != count; ++i) {
        keys[i] = track.keys()[reduction.kept[i]];
        values[i] = track.values()[reduction.kept[i]];
    }
    return withData<V>(*reduction.track, reduction.track->target(),
                       std::span<const float>{keys, count}, std::span<const V>{values, count});
}

template<class V>
Reduction reduce(const AnimationTrackData& track) {
    return {&track, keptKeys(track.view<V>()), sizeof(V), copyKept<V>};
}

} // namespace

Trade::AnimationData
AnimationTools::removeLinearlyRedundantKeyframes(const Trade::AnimationData& animation) {
    std::vector<Reduction> reductions;
    std::size_t dataSize = 0;
    for (std::uint32_t i = 0; i != animation.trackCount(); ++i) {
        const AnimationTrackData& track = animation.track(i);
        if (track.type() == AnimationTrackType::Vector3)
            reductions.push_back(reduce<Vector3>(track));
        else if (track.type() == AnimationTrackType::Quaternion)
            reductions.push_back(reduce<Quaternion>(track));
        else
            ZE_ASSERT_UNREACHABLE("Track type not implemented:" << track.type());
        dataSize += reductions.back().dataSize();
    }

    /* Key times, then values, track after track */
    std::vector<char> data(dataSize);
    std::vector<AnimationTrackData> tracks;
    std::size_t offset = 0;
    for (const Reduction& reduction : reductions) {
        tracks.push_back(reduction.copy(reduction, data, offset));
        offset += reduction.dataSize();
    }
    return {std::move(data), std::move(tracks), animation.duration()};
}

namespace {

template<class V>
AnimationTrackData retargeted(const AnimationTrackData& track, Data::Id target) {
    const Animation::TrackView<V> view = track.view<V>();
    return withData<V>(track, std::uint64_t(target), view.keys(), view.values());
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
