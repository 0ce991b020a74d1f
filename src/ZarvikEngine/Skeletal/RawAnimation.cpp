#include "ZarvikEngine/Skeletal/RawAnimation.h"

#include <limits>
#include <span>

namespace ZarvikEngine::Skeletal {

namespace {

/* Written so that NaN fails every test */
template<class Key>
bool validateKeys(std::span<const Key> keys, float duration) {
    float previous = -1.0f;
    for (const Key& key : keys) {
        if (!(key.time >= 0.0f && key.time <= duration && key.time > previous))
            return false;
        previous = key.time;
    }
    return true;
}

} // namespace

bool RawAnimation::Track::validate(float duration) const {
    return validateKeys<TranslationKey>(translations, duration) &&
           validateKeys<RotationKey>(rotations, duration) &&
           validateKeys<ScaleKey>(scales, duration);
}

bool RawAnimation::validate() const {
    /* NaN and infinite durations would build NaN poses; they are rejected outright */
    if (!(duration > 0.0f && duration < std::numeric_limits<float>::infinity()))
        return false;
    if (tracks.size() > MaxTracks)
        return false;
    for (const Track& track : tracks)
        if (!track.validate(duration))
            return false;
    return true;
}

} // namespace ZarvikEngine::Skeletal
