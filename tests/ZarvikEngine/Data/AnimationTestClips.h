#ifndef ZarvikEngine_Tests_Data_AnimationTestClips_h
#define ZarvikEngine_Tests_Data_AnimationTestClips_h

/* Clips made from raw keys, for the tests of graphs, controllers and the animation manager */

#include <span>
#include <string_view>
#include <vector>

#include "ZarvikEngine/Data/Animation.h"
#include "ZarvikEngine/Data/AnimationGraph.h"

namespace ZarvikEngine::Data::Test {

/* The clip of the raw keys, with events at the given seconds */
inline Animation clipOf(const Skeletal::RawAnimation& raw, std::span<const float> eventKeys = {},
                        const std::vector<std::string_view>& eventNames = {}) {
    return std::move(*Animation::build(raw, eventKeys, fromStrings(eventNames)));
}

/* The lists a host keeps for one clip played alone, index 0 of both the placeholder */
struct SimpleLists {
    std::vector<Animation> clips;
    std::vector<AnimationGraph> graphs;
};

inline SimpleLists simpleLists(Animation&& clip) {
    SimpleLists lists;
    lists.clips.emplace_back();
    lists.clips.push_back(std::move(clip));
    lists.graphs.emplace_back();
    lists.graphs.push_back(createSimpleAnimationGraph(1));
    return lists;
}

/* Tracks whose translation x runs from 0 at the start to the clip's duration at its end */
inline Skeletal::RawAnimation linearClip(float duration, std::size_t tracks) {
    Skeletal::RawAnimation raw;
    raw.duration = duration;
    raw.tracks.resize(tracks);
    for (Skeletal::RawAnimation::Track& track : raw.tracks)
        track.translations = {{0.0f, Vector3{0.0f}}, {duration, Vector3{duration, 0.0f, 0.0f}}};
    return raw;
}

} // namespace ZarvikEngine::Data::Test

#endif
