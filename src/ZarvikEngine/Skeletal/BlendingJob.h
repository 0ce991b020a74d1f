#ifndef ZarvikEngine_Skeletal_BlendingJob_h
#define ZarvikEngine_Skeletal_BlendingJob_h

#include <span>

#include "ZarvikEngine/Math.h"
#include "ZarvikEngine/Skeletal/SoaTransform.h"

namespace ZarvikEngine::Skeletal {

struct BlendingLayer {
    float weight = 0.0f;
    std::span<const SoaTransform> transform;
    /* Optional, one per pose element: component l of element e weighs track 4e + l. Empty
       means 1 for every track. */
    std::span<const Vector4> jointWeights;
};

/* Blends poses, element by element of the rest pose (any size):
   1. Layers with weight ≤ 0 are skipped (NaN is not). The first one sets the accumulated
      pose, each later one is added with its weight times its joint weight (negative joint
      weights count as 0), its rotation negated when its dot product with the running sum
      has the sign bit set.
   2. If the total weight is below the threshold, the rest pose fills in the missing weight
      (per track when any layer has joint weights). With no layer at all the result is the
      rest pose.
   3. Rotations are normalized, translations and scales divided by the total weight (so
      scales blend linearly).
   4. Additive layers follow, with |weight| times the joint weight: a positive weight adds
      the translation, composes the rotation as Q·δ, δ being the layer's rotation scaled
      from identity by the weight and normalized, and multiplies the scale by
      weight·scale + 1 − weight; a negative one does the inverse of each. Weight 0 or NaN
      skips the layer.
   Does not allocate. */
struct BlendingJob {
    /* An absolute weight, not relative to the layers' total */
    float threshold = 0.1f;
    std::span<const BlendingLayer> layers;
    std::span<const BlendingLayer> additiveLayers;
    /* Its size is the number of elements blended */
    std::span<const SoaTransform> restPose;
    /* Elements past the rest pose's size are left as they are */
    std::span<SoaTransform> output;

    /* Threshold above 0, non-empty rest pose, output and every layer (additive ones and those
       that would be skipped included) at least as large as the rest pose, joint weights empty
       or as large. Layer weights are not checked. */
    bool validate() const;
    /* False without touching the output when validate() fails */
    bool run() const;
};

} // namespace ZarvikEngine::Skeletal

#endif
