#ifndef ZarvikEngine_Tools_AnimationTools_h
#define ZarvikEngine_Tools_AnimationTools_h

/* Import-time operations on animations made of translation, rotation and scaling tracks
   (Vector3 and Quaternion values) */

#include <span>

#include "ZarvikEngine/Data/Id.h"
#include "ZarvikEngine/Trade/AnimationData.h"

namespace ZarvikEngine::AnimationTools {

/* A copy without the keys that linear interpolation between the kept neighbours reproduces
   within the fuzzy-compare tolerance, whatever interpolation the tracks declare. Owns its
   data. Only Vector3 and Quaternion tracks are supported. */
Trade::AnimationData removeLinearlyRedundantKeyframes(const Trade::AnimationData& animation);

/* A copy in which tracks of constant interpolation become linear ones holding each value until
   holdTime before the next key (keys closer together than that step at once), so that players
   that only interpolate linearly reproduce them. Other tracks are copied as they are. Owns its
   data. Only Vector3 and Quaternion tracks are supported. */
Trade::AnimationData linearizeConstantTracks(const Trade::AnimationData& animation, float holdTime);

} // namespace ZarvikEngine::AnimationTools

namespace ZarvikEngine::Data {

/* The tracks bound to new objects, one per track; tracks with the target InvalidId and
   tracks other than Vector3 and Quaternion ones are dropped. The result views the input's
   data, which has to outlive it. */
Trade::AnimationData retargetAnimation(const Trade::AnimationData& animation,
                                       std::span<const Id> newTargets);

} // namespace ZarvikEngine::Data

#endif
