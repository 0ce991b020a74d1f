#include "ZarvikEngine/Skeletal/SamplingJob.h"

#include <algorithm>
#include <bit>
#include <limits>

namespace ZarvikEngine::Skeletal {

using namespace Simd;
using Implementation::CachedSegments;
using Implementation::KeyChannel;
using Implementation::SamplingGroup;

/* The hot helpers are forced inline: at -O2 GCC would call them, passing the four-lane
   values through memory */

namespace {

/* A channel with the animation's ratio table, which its keys index */
class ChannelView {
public:
    explicit ChannelView(const KeyChannel& channel, const float* ratios)
        : _trackBegin{channel.trackBegin.data()}, _ratios{ratios},
          _narrowTimes{channel.narrowTimes.data()}, _wideTimes{channel.wideTimes.empty()
                                                                   ? nullptr
                                                                   : channel.wideTimes.data()},
          _values{channel.values.data()} {}

    std::uint32_t firstKey(std::size_t track) const { return _trackBegin[track]; }
    std::uint32_t lastKey(std::size_t track) const { return _trackBegin[track + 1] - 1; }
    /* Index of the key's ratio in the table */
    std::uint32_t time(std::uint32_t key) const {
        return _wideTimes ? _wideTimes[key] : _narrowTimes[key];
    }
    float ratio(std::uint32_t key) const { return _ratios[time(key)]; }
    const std::uint16_t* values() const { return _values; }

private:
    const std::uint32_t* _trackBegin;
    const float* _ratios;
    const std::uint8_t* _narrowTimes;
    const std::uint16_t* _wideTimes;
    const std::uint16_t* _values;
};

struct Segment {
    std::uint32_t fromKey, toKey;
    float start, end;
};

/* The segment starting at a key, whose ratio is start: to the next key, or past the track's
   last key to the same key at +∞, which holds the last value exactly */
[[gnu::always_inline]] inline Segment segmentFrom(const ChannelView& channel, std::size_t track,
                                                  std::uint32_t key, float start) {
    if (key == channel.lastKey(track))
        return {key, key, start, std::numeric_limits<float>::infinity()};
    return {key, key + 1, start, channel.ratio(key + 1)};
}

/* Where the sampled ratio is in the ratio table, looked up the first time a lane has to
   search, so that searches compare the keys' indices into the table and not their ratios */
class TablePosition {
public:
    explicit TablePosition(std::span<const float> ratios, float ratio)
        : _ratios{ratios}, _ratio{ratio} {}

    /* The last table entry at or below the ratio; a key is at or below the ratio exactly when
       its time index is at or below this one, the table being sorted */
    std::uint32_t index() {
        if (_index == Unknown)
            _index = std::uint32_t(std::upper_bound(_ratios.begin(), _ratios.end(), _ratio) -
                                   _ratios.begin() - 1);
        return _index;
    }

private:
    static constexpr std::uint32_t Unknown = ~std::uint32_t{};

    std::span<const float> _ratios;
    float _ratio;
    std::uint32_t _index = Unknown;
};

/* The track's last key at or below the ratio, so unique whichever way it's found. The first
   key is at 0, never above a clamped ratio. */
std::uint32_t searchKey(const ChannelView& channel, std::size_t track, std::uint32_t time) {
    std::uint32_t low = channel.firstKey(track), high = channel.lastKey(track) + 1;
    while (high - low > 1) {
        const std::uint32_t middle = low + (high - low) / 2;
        (channel.time(middle) <= time ? low : high) = middle;
    }
    return low;
}

/* The segment containing the ratio for a lane that left its own. Playing forward goes to the
   next segment, tried first. */
[[gnu::always_inline]] inline Segment findSegment(const ChannelView& channel, std::size_t track,
                                                  const Segment& left, float ratio,
                                                  TablePosition& position) {
    if (left.end <= ratio) {
        const Segment next = segmentFrom(channel, track, left.toKey, left.end);
        if (ratio < next.end)
            return next;
    }
    const std::uint32_t key = searchKey(channel, track, position.index());
    return segmentFrom(channel, track, key, channel.ratio(key));
}

/* The keys of the four lanes (four 16-bit values each) transposed so that every register
   holds one pair of components of the four lanes: x and y, then z and w */
struct KeyRows {
    __m128i xy, zw;
};

template<class Value>
[[gnu::always_inline]] inline KeyRows loadRows(const std::uint16_t* values,
                                               const std::uint32_t (&keys)[4]) {
    /* Three half floats or four rotation values per key */
    constexpr std::size_t components = sizeof(Value) / sizeof(Float4);
    __m128i lanes[4];
    for (std::size_t i = 0; i != 4; ++i)
        lanes[i] = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(values + components * keys[i]));
    const __m128i lanes01 = _mm_unpacklo_epi16(lanes[0], lanes[1]);
    const __m128i lanes23 = _mm_unpacklo_epi16(lanes[2], lanes[3]);
    return {_mm_unpacklo_epi32(lanes01, lanes23), _mm_unpackhi_epi32(lanes01, lanes23)};
}

/* The first or second four 16-bit values of a row, widened */
[[gnu::always_inline]] inline Int4 lowUnsigned(__m128i row) {
    return std::bit_cast<Int4>(_mm_unpacklo_epi16(row, _mm_setzero_si128()));
}
[[gnu::always_inline]] inline Int4 highUnsigned(__m128i row) {
    return std::bit_cast<Int4>(_mm_unpackhi_epi16(row, _mm_setzero_si128()));
}
[[gnu::always_inline]] inline Float4 lowSigned(__m128i row) {
    return __builtin_convertvector(
        std::bit_cast<Int4>(_mm_srai_epi32(_mm_unpacklo_epi16(row, row), 16)), Float4);
}
[[gnu::always_inline]] inline Float4 highSigned(__m128i row) {
    return __builtin_convertvector(
        std::bit_cast<Int4>(_mm_srai_epi32(_mm_unpackhi_epi16(row, row), 16)), Float4);
}

[[gnu::always_inline]] inline void decode(KeyRows rows, Vector3x4& out) {
    out = {halfToFloat(lowUnsigned(rows.xy)), halfToFloat(highUnsigned(rows.xy)),
           halfToFloat(lowUnsigned(rows.zw))};
}

/* The three stored components, then the largest one rebuilt from the unit length and put in
   its place */
[[gnu::always_inline]] inline void decode(KeyRows rows, Quaternionx4& out) {
    const Float4 scale = splat(1.0f / Implementation::RotationScale);
    const Float4 a = lowSigned(rows.xy) * scale;
    const Float4 b = highSigned(rows.xy) * scale;
    const Float4 c = lowSigned(rows.zw) * scale;
    const Int4 flags = highUnsigned(rows.zw);
    const Float4 largestValue =
        flipSign(sqrt(max(splat(1.0f) - (a * a + b * b + c * c), splat(0.0f))), (flags & 4) << 29);
    const Int4 largest = flags & 3;
    out.x = largest == 0 ? largestValue : a;
    out.y = largest == 1 ? largestValue : largest == 0 ? a : b;
    out.z = largest == 2 ? largestValue : largest == 3 ? c : b;
    out.w = largest == 3 ? largestValue : c;
}

template<class Value>
void setLane(CachedSegments<Value>& segments, std::size_t lane, const Segment& segment) {
    segments.fromKey[lane] = segment.fromKey;
    segments.toKey[lane] = segment.toKey;
    segments.start[lane] = segment.start;
    segments.end[lane] = segment.end;
}

/* Decodes the keys of every lane's segment. When every lane moved on by one key, as in
   forward playback, the old second keys are the new first ones and only the second ones need
   decoding. */
template<class Value>
[[gnu::always_inline]] inline void loadKeys(CachedSegments<Value>& segments,
                                            const ChannelView& channel, bool shifted) {
    segments.inverseLength = splat(1.0f) / (segments.end - segments.start);
    if (shifted)
        segments.from = segments.to;
    else
        decode(loadRows<Value>(channel.values(), segments.fromKey), segments.from);
    decode(loadRows<Value>(channel.values(), segments.toKey), segments.to);
}

/* Every lane at its first segment */
template<class Value>
void reset(CachedSegments<Value>& segments, const ChannelView& channel, std::size_t firstTrack) {
    for (std::size_t i = 0; i != 4; ++i) {
        const std::uint32_t key = channel.firstKey(firstTrack + i);
        setLane(segments, i, segmentFrom(channel, firstTrack + i, key, channel.ratio(key)));
    }
    loadKeys(segments, channel, false);
}

/* Moves the lanes that left their segment */
template<class Value>
[[gnu::always_inline]] inline void update(CachedSegments<Value>& segments,
                                          const ChannelView& channel, std::size_t firstTrack,
                                          float ratio, TablePosition& position) {
    const Float4 ratio4 = splat(ratio);
    int lanes = laneMask((ratio4 < segments.start) | (ratio4 >= segments.end));
    if (!lanes)
        return;
    bool shifted = lanes == 0xf;
    for (; lanes; lanes &= lanes - 1) {
        const int lane = std::countr_zero(unsigned(lanes));
        const Segment left{segments.fromKey[lane], segments.toKey[lane], segments.start[lane],
                           segments.end[lane]};
        const Segment segment = findSegment(channel, firstTrack + lane, left, ratio, position);
        /* A lane past its last key can only move back, never onto its own to key */
        shifted = shifted && segment.fromKey == left.toKey;
        setLane(segments, lane, segment);
    }
    loadKeys(segments, channel, shifted);
}

/* The ratios between which none of the group's segments changes */
void updateStableRange(SamplingGroup& group) {
    const Float4 start =
        max(group.translations.start, max(group.rotations.start, group.scales.start));
    const Float4 end = min(group.translations.end, min(group.rotations.end, group.scales.end));
    group.start = horizontalMax(start);
    group.end = horizontalMin(end);
}

template<class Value>
[[gnu::always_inline]] inline Value interpolate(const CachedSegments<Value>& segments,
                                                Float4 ratio) {
    return segments.from +
           (segments.to - segments.from) * ((ratio - segments.start) * segments.inverseLength);
}

/* An animation's ratio table and channels, and the ratio clamped */
struct SamplingInput {
    std::span<const float> ratios;
    ChannelView translations, rotations, scales;
    float ratio;
};

[[gnu::always_inline]] inline void sampleKernel(const SamplingInput& input,
                                                std::span<SamplingGroup> groups,
                                                std::span<SoaTransform> output) {
    const float ratio = input.ratio;
    const Float4 ratio4 = splat(ratio);
    TablePosition position{input.ratios, ratio};
    for (std::size_t i = 0; i != groups.size(); ++i) {
        SamplingGroup& group = groups[i];
        if (!(group.start <= ratio && ratio < group.end)) {
            update(group.translations, input.translations, 4 * i, ratio, position);
            update(group.rotations, input.rotations, 4 * i, ratio, position);
            update(group.scales, input.scales, 4 * i, ratio, position);
            updateStableRange(group);
        }
        SoaTransform& out = output[i];
        store(out.translation, interpolate(group.translations, ratio4));
        store(out.rotation, normalized(interpolate(group.rotations, ratio4)));
        store(out.scale, interpolate(group.scales, ratio4));
    }
}

/* The same code for AVX2 without FMA, so the results are the same bits: three-operand
   instructions take loads without copies */
[[gnu::target("avx2")]] void sampleAvx2(const SamplingInput& input, std::span<SamplingGroup> groups,
                                        std::span<SoaTransform> output) {
    sampleKernel(input, groups, output);
}

void sampleBaseline(const SamplingInput& input, std::span<SamplingGroup> groups,
                    std::span<SoaTransform> output) {
    sampleKernel(input, groups, output);
}

} // namespace

void SamplingContext::resize(std::size_t maxTracks) {
    _groups.assign((maxTracks + 3) / 4, SamplingGroup{});
    invalidate();
}

bool SamplingJob::validate() const {
    return animation && context && !output.empty() &&
           context->maxSoaTracks() >= animation->soaTrackCount();
}

bool SamplingJob::run() const {
    if (!validate())
        return false;
    const RuntimeAnimation& clip = *animation;
    if (clip.trackCount() == 0)
        return true;

    const float* ratios = clip._ratios.data();
    SamplingInput input{
        clip._ratios,
        ChannelView{clip._channels[RuntimeAnimation::Translations], ratios},
        ChannelView{clip._channels[RuntimeAnimation::Rotations], ratios},
        ChannelView{clip._channels[RuntimeAnimation::Scales], ratios},
        /* NaN compares false and ends up at 1 */
        ratio < 1.0f ? ratio : 1.0f,
    };
    input.ratio = input.ratio < 0.0f ? 0.0f : input.ratio;

    std::span<SamplingGroup> groups{context->_groups.data(), clip.soaTrackCount()};
    if (context->_animation != clip._serial) {
        for (std::size_t i = 0; i != groups.size(); ++i) {
            reset(groups[i].translations, input.translations, 4 * i);
            reset(groups[i].rotations, input.rotations, 4 * i);
            reset(groups[i].scales, input.scales, 4 * i);
            updateStableRange(groups[i]);
        }
        context->_animation = clip._serial;
    }

    groups = groups.first(std::min(output.size(), groups.size()));
    if (hasAvx2())
        sampleAvx2(input, groups, output);
    else
        sampleBaseline(input, groups, output);
    return true;
}

} // namespace ZarvikEngine::Skeletal
