#ifndef ZarvikEngine_Data_AnimationImport_h
#define ZarvikEngine_Data_AnimationImport_h

/* The import steps that turn an imported animation into the offline animation that an
   animation record is written from */

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "ZarvikEngine/Data/Id.h"
#include "ZarvikEngine/Skeletal/RawAnimation.h"
#include "ZarvikEngine/Trade/AnimationData.h"

namespace ZarvikEngine::Data {

/* One offline track per distinct object in targets (one entry per track of the animation,
   InvalidIndex for a track bound to nothing), in order of first appearance, with the object
   ids in the same order. Only 3D translation, rotation and scaling tracks are taken, with
   their keys as they are; when several tracks animate the same property of one object, the
   last one wins. The duration reaches at least to the last key taken. */
std::pair<Skeletal::RawAnimation, std::vector<Id>>
convertToOzzData(const Trade::AnimationData& anim, std::span<const std::uint16_t> inTargets);

/* The runtime interpolates rotations by normalized lerp, which lags behind the spherical
   interpolation imported tracks mean by up to about angle³ ÷ 32 radians over a segment that
   turns by angle. Splits every rotation segment that turns by more than maxAngle into equal
   parts with spherically interpolated keys between them; the keys of each track follow the
   shortest path. */
void subdivideRotations(Skeletal::RawAnimation& animation, float maxAngle);

/* Which part of a track's motion becomes root motion */
struct RootMotionConfig {
    std::uint32_t track{};
    /* 1 x, 2 y, 4 z */
    std::uint8_t translationAxes{};
    /* 1 heading (about y), 2 attitude (about z), 4 bank (about x) */
    std::uint8_t rotationAxes{};
};

/* Moves the selected motion of config.track into a new track 0 bound to the scene root (Id 0
   is inserted in front of targets, which has one entry per track). A mask of 7 moves every
   key, leaving the source its first one; other masks move the selected components of every
   key, leaving the source the first key's values there; a mask of 0 gives the new track a
   single identity key. Does nothing to an animation without tracks. */
void generateRootMotion(Skeletal::RawAnimation& animation, std::vector<Id>& targets,
                        const RootMotionConfig& config);

} // namespace ZarvikEngine::Data

#endif
