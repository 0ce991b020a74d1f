#ifndef ZarvikEngine_Skeletal_RuntimeAnimation_h
#define ZarvikEngine_Skeletal_RuntimeAnimation_h

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ZarvikEngine::Skeletal {

namespace Implementation {

/* 32767·√2: the three smaller components of a unit quaternion lie within ±√½ */
inline constexpr float RotationScale = float(32767.0 * 1.4142135623730951);

/* The keys of one channel (translations, rotations or scales) of every track, track after
   track. A track's keys run from ratio 0 to ratio 1; past its last key a track holds the last
   value. */
struct KeyChannel {
    /* Index of each track's first key, and the key count after the last track */
    std::vector<std::uint32_t> trackBegin;
    /* 16-bit values of each key. Translations and scales: three half floats. Rotations: the
       three components other than the largest one, in x, y, z, w order, as signed
       n = round(c · RotationScale), then the flags: bits 0–1 the index of the largest
       component, bit 2 its sign; the largest one is rebuilt from the unit length. Followed by
       padding, so that four values can be read at any key. */
    std::vector<std::uint16_t> values;
    /* Per key, the index of its ratio in the animation's ratio table: one byte while the
       table has at most 256 entries, two beyond; the other vector is empty */
    std::vector<std::uint8_t> narrowTimes;
    std::vector<std::uint16_t> wideTimes;
};

} // namespace Implementation

/* A read-only, compact animation made by AnimationBuilder and sampled by SamplingJob; many
   threads may sample it at once. The track count is padded to a multiple of four with
   identity tracks. Precision of the sampled keys: translations and scales are half floats
   (rounded to nearest, ties away from zero: relative error up to 2⁻¹¹; ±∞, which samples as
   NaN, from magnitude 65520 up); rotations are normalized, their three smaller components
   are within 1.1e-5 of the normalized key, the largest within 3.2e-5, the angle within
   7.5e-5 rad, and an identity key is exact. Key times are kept as float ratios of the
   duration (time / duration), in one table of the distinct ones that the keys index. A key
   takes 7 bytes for translations and scales and 9 for rotations while there are at most 256
   distinct key times, one more each beyond. Movable, not copyable. */
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
    /* Bytes taken by the animation and what it allocates */
    std::size_t byteSize() const;

private:
    friend class AnimationBuilder;
    friend struct SamplingJob;

    /* Indices into the channels */
    enum : std::size_t { Translations, Rotations, Scales };

    RuntimeAnimation(float duration, std::size_t trackCount, std::string name,
                     std::vector<float>&& ratios,
                     std::array<Implementation::KeyChannel, 3>&& channels);

    float _duration{};
    std::size_t _trackCount{};
    /* Unique per built animation and moved with its keys, so a sampling cache can tell
       animations apart even when one is allocated where another was freed; 0 for none */
    std::uint64_t _serial{};
    std::string _name;
    /* The distinct key ratios, ascending, from 0 to 1 */
    std::vector<float> _ratios;
    std::array<Implementation::KeyChannel, 3> _channels;
};

} // namespace ZarvikEngine::Skeletal

#endif
