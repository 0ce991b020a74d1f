#ifndef ZarvikEngine_Tests_Data_AnimationTestClips_h
#define ZarvikEngine_Tests_Data_AnimationTestClips_h

/* Clips made from raw keys, for the tests of graphs, controllers and the animation manager */

#include <span>
#include <string_view>
#include <vector>

#include "ZarvikEngine/Data/Animation.h"
#include "ZarvikEngine/Skeletal/AnimationBuilder.h"

namespace ZarvikEngine::Data::Test {

/* The clip of the raw keys, with events at the given seconds */
inline Animation clipOf(const Skeletal::RawAnimation& raw, std::span<const float> eventKeys = {},
                        const std::vector<std::string_view>& eventNames = {}) {
    const std::size_t tracks = raw.tracks.size();
    BitSet translations{tracks}, rotations{tracks}, scalings{tracks};
    for (std::size_t i = 0; i != tracks; ++i) {
        translations.set(i, !raw.tracks[i].translations.empty());
        rotations.set(i, !raw.tracks[i].rotations.empty());
        scalings.set(i, !raw.tracks[i].scales.empty());
    }
    return Animation{std::move(*Skeletal::AnimationBuilder{}(raw)),
                     std::move(translations),
                     std::move(rotations),
                     std::move(scalings),
                     eventKeys,
                     fromStrings(eventNames)};
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
