#ifndef ZarvikEngine_Skeletal_RuntimeAnimation_h
#define ZarvikEngine_Skeletal_RuntimeAnimation_h

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ZarvikEngine::Skeletal {

namespace Implementation {

/* One key value in 64 bits. Translations and scales: three half floats and an unused slot.
   Rotations: the three components other than the largest one, in x, y, z, w order, as signed
   16-bit n = round(c · RotationScale), then the flags: bits 0–1 the index of the largest
   component, bit 2 its sign. The largest one is rebuilt from the unit length. */
struct PackedKey {
    std::uint16_t values[4];
};

/* 32767·√2: the three smaller components of a unit quaternion lie within ±√½ */
inline constexpr float RotationScale = float(32767.0 * 1.4142135623730951);

/* The keys of one channel (translations, rotations or scales) of every track, track after
   track. A track's keys run from ratio 0 to ratio 1 and are followed by a sentinel: a copy of
   the last key at ratio +∞. Every ratio thus has a segment of two keys, and the end of the
   clip is the segment from the last key to its copy, which holds the last value exactly. */
struct KeyChannel {
    /* Index of each track's first key, and one past the last track's sentinel */
    std::vector<std::uint32_t> trackBegin;
    /* Key time / duration */
    std::vector<float> ratios;
    std::vector<PackedKey> keys;
};

} // namespace Implementation

/* A read-only, compact animation made by AnimationBuilder and sampled by SamplingJob; many
   threads may sample it at once. The track count is padded to a multiple of four with
   identity tracks. Precision of the sampled keys: translations and scales are half floats
   (rounded to nearest, ties away from zero: relative error up to 2⁻¹¹; ±∞, which samples as
   NaN, from magnitude 65520 up); rotations are normalized, their three smaller components
   are within 1.1e-5 of the normalized key, the largest within 3.2e-5, the angle within
   7.5e-5 rad, and an identity key is exact. Key times are kept as float ratios of the
   duration. Movable, not copyable. */
class RuntimeAnimation {
public:
    /* Duration 0, no tracks, empty name */
    RuntimeAnimation() = default;
    RuntimeAnimation(RuntimeAnimation&& other) noexcept;
    RuntimeAnimation& operator=(RuntimeAnimation&& other) noexcept;
    RuntimeAnimation(const RuntimeAnimation&) = delete;
    RuntimeAnimation& operator=(const RuntimeAnimation&) = delete;

    /* In seconds */
    float duration() const { return _duration; }
    std::size_t trackCount() const { return _trackCount; }
    /* Tracks in groups of four, the size of a full pose */
    std::size_t soaTrackCount() const { return (_trackCount + 3) / 4; }
    const std::string& name() const { return _name; }

private:
    friend class AnimationBuilder;
    friend struct SamplingJob;

    /* Indices into the channels */
    enum : std::size_t { Translations, Rotations, Scales };

    RuntimeAnimation(float duration, std::size_t trackCount, std::string name,
                     std::array<Implementation::KeyChannel, 3>&& channels);

    float _duration{};
    std::size_t _trackCount{};
    /* Unique per built animation and moved with its keys, so a sampling cache can tell
       animations apart even when one is allocated where another was freed; 0 for none */
    std::uint64_t _serial{};
    std::string _name;
    std::array<Implementation::KeyChannel, 3> _channels;
};

} // namespace ZarvikEngine::Skeletal

#endif
