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
template<std::size_t components>
struct CachedSegments {
    /* Ratios of the two keys; a lane is current while start ≤ ratio < end */
    Simd::Float4 start, end;
    Simd::Float4 from[components], to[components];
    /* Index of each lane's first key in its KeyChannel */
    std::uint32_t cursor[4];
};

struct SamplingGroup {
    CachedSegments<3> translations;
    CachedSegments<4> rotations;
    CachedSegments<3> scales;
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
