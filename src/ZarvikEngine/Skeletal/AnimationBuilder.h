#ifndef ZarvikEngine_Skeletal_AnimationBuilder_h
#define ZarvikEngine_Skeletal_AnimationBuilder_h

#include <cstddef>
#include <memory>

#include "ZarvikEngine/Skeletal/RawAnimation.h"
#include "ZarvikEngine/Skeletal/RuntimeAnimation.h"

namespace ZarvikEngine::Skeletal {

/* Turns a RawAnimation into a RuntimeAnimation, without reducing keys. Per track and
   channel: no keys become identity keys at 0 and at the duration; a single key becomes that
   value at 0 and at the duration (its own time is dropped); otherwise the first and last
   values are repeated at 0 and at the duration when no key is there. Rotations are
   normalized (length 0 becomes identity), the first key of a track is put into w ≥ 0 and
   every later one into the hemisphere of the key before it, so that interpolation takes the
   short way. */
class AnimationBuilder {
public:
    /* Distinct key times an animation may have, over all tracks and channels, 0 and the
       duration included: keys refer to their time by a 16-bit index */
    static constexpr std::size_t MaxKeyTimes = 65535;

    /* Null when raw.validate() fails or there are more than MaxKeyTimes distinct key times */
    std::unique_ptr<RuntimeAnimation> operator()(const RawAnimation& raw) const;
};

} // namespace ZarvikEngine::Skeletal

#endif
