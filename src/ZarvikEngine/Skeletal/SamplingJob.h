#ifndef ZarvikEngine_Skeletal_SamplingJob_h
#define ZarvikEngine_Skeletal_SamplingJob_h

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "ZarvikEngine/Skeletal/RuntimeAnimation.h"
#include "ZarvikEngine/Skeletal/SoaMath.h"
#include "ZarvikEngine/Skeletal/SoaTransform.h"

namespace ZarvikEngine::Skeletal {

namespace Implementation {

/* For one channel of four tracks: the segment each track is in, with both keys decoded */
template<class Value>
struct CachedSegments {
    /* Ratios of the two keys; a lane is current while start ≤ ratio < end. Past its track's
       last key a lane's end is +∞ and both keys are the last one. */
    Simd::Float4 start, end;
    /* 1 / (end − start), so that sampling multiplies; 0 past the last key */
    Simd::Float4 inverseLength;
    Value from, to;
    /* Indices of each lane's two keys in its KeyChannel */
    std::uint32_t fromKey[4], toKey[4];
};

struct SamplingGroup {
    /* No segment of the group changes while start ≤ ratio < end */
    float start{}, end{};
    CachedSegments<Simd::Vector3x4> translations;
    CachedSegments<Simd::Quaternionx4> rotations;
    CachedSegments<Simd::Vector3x4> scales;
};

} // namespace Implementation

/* What a SamplingJob remembers between runs so that playing forward or backward only decodes
   the keys it crosses. It never changes results: sampling through it gives the same bits as
   sampling through a fresh one. It notices when it is given another animation (even one built
   at the address of a destroyed one) and starts over. Belongs to one job at a time. */
class SamplingContext {
public:
    /* Capacity 0: only animations without tracks can be sampled */
    SamplingContext() = default;
    /* Room for maxTracks tracks, rounded up to a multiple of four */
    explicit SamplingContext(std::size_t maxTracks) { resize(maxTracks); }
    SamplingContext(SamplingContext&&) noexcept = default;
    SamplingContext& operator=(SamplingContext&&) noexcept = default;
    SamplingContext(const SamplingContext&) = delete;
    SamplingContext& operator=(const SamplingContext&) = delete;

    std::size_t maxTracks() const { return 4 * _groups.size(); }
    std::size_t maxSoaTracks() const { return _groups.size(); }

    /* Sets the capacity again and forgets the cached state; allocates */
    void resize(std::size_t maxTracks);
    /* Forgets the cached state */
    void invalidate() { _animation = 0; }

private:
    friend struct SamplingJob;

    std::vector<Implementation::SamplingGroup> _groups;
    /* Serial of the animation the cache was filled from, 0 for none */
    std::uint64_t _animation{};
};

/* Samples an animation at a ratio of its duration into a pose. Ratios are clamped to [0, 1];
   NaN means the end. Linear interpolation for translations and scales, normalized linear
   interpolation for rotations; exact at key ratios and at both ends. Does not allocate. */
struct SamplingJob {
    float ratio = 0.0f;
    const RuntimeAnimation* animation = nullptr;
    SamplingContext* context = nullptr;
    /* Needn't hold the whole pose: only the first min(output.size(), soaTrackCount()) elements
       are written, all four lanes of each (padding lanes get identity), the rest is left as
       is */
    std::span<SoaTransform> output;

    /* An animation, a context with room for its tracks, and a non-empty output */
    bool validate() const;
    /* False without touching anything when validate() fails. An animation without tracks
       touches nothing either. */
    bool run() const;
};

} // namespace ZarvikEngine::Skeletal

#endif
