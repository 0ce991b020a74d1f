#ifndef ZarvikEngine_Skeletal_AnimationBuilder_h
#define ZarvikEngine_Skeletal_AnimationBuilder_h

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
    /* Null when raw.validate() fails */
    std::unique_ptr<RuntimeAnimation> operator()(const RawAnimation& raw) const;
};

} // namespace ZarvikEngine::Skeletal

#endif
