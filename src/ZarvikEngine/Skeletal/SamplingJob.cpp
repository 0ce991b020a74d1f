#include "ZarvikEngine/Skeletal/SamplingJob.h"

#include <algorithm>
#include <bit>

namespace ZarvikEngine::Skeletal {

using namespace Simd;
using Implementation::CachedSegments;
using Implementation::KeyChannel;
using Implementation::PackedKey;
using Implementation::SamplingGroup;

/* The hot helpers are forced inline: at -O2 GCC would call them, passing the four-lane
   values through memory */

namespace {

/* The segment containing ratio: the last key at or below it, so unique whichever way it's
   found */
std::uint32_t searchSegment(const KeyChannel& channel, std::size_t track, float ratio) {
    const float* ratios = channel.ratios.data();
    const float* first = ratios + channel.trackBegin[track];
    const float* end = ratios + channel.trackBegin[track + 1];
    return std::uint32_t(std::upper_bound(first + 1, end, ratio) - ratios - 1);
}

/* Playing forward goes to the next segment, tried first */
[[gnu::always_inline]] inline std::uint32_t
findSegment(const KeyChannel& channel, std::size_t track, std::uint32_t cursor, float ratio) {
    const float* ratios = channel.ratios.data();
    /* A sentinel's ratio is +∞, so cursor + 2 is never read past a track's keys */
    if (ratios[cursor + 1] <= ratio && ratio < ratios[cursor + 2])
        return cursor + 1;
    return searchSegment(channel, track, ratio);
}

/* The two keys of each lane's segment (16 bytes) transposed so that every register holds one
   16-bit component pair of the four lanes: x and y, then z and w */
struct KeyRows {
    __m128i fromXY, fromZW, toXY, toZW;
};

[[gnu::always_inline]] inline KeyRows loadKeys(const PackedKey* keys,
                                               const std::uint32_t (&cursor)[4]) {
    __m128i lanes[4];
    for (std::size_t i = 0; i != 4; ++i)
        lanes[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(keys + cursor[i]));
    const __m128i from01 = _mm_unpacklo_epi16(lanes[0], lanes[1]);
    const __m128i to01 = _mm_unpackhi_epi16(lanes[0], lanes[1]);
    const __m128i from23 = _mm_unpacklo_epi16(lanes[2], lanes[3]);
    const __m128i to23 = _mm_unpackhi_epi16(lanes[2], lanes[3]);
    return {_mm_unpacklo_epi32(from01, from23), _mm_unpackhi_epi32(from01, from23),
            _mm_unpacklo_epi32(to01, to23), _mm_unpackhi_epi32(to01, to23)};
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

[[gnu::always_inline]] inline void decode(Float4 (&out)[3], __m128i xy, __m128i zw) {
    out[0] = halfToFloat(lowUnsigned(xy));
    out[1] = halfToFloat(highUnsigned(xy));
    out[2] = halfToFloat(lowUnsigned(zw));
}

/* The three stored components, then the largest one rebuilt from the unit length and put in
   its place */
[[gnu::always_inline]] inline void decode(Float4 (&out)[4], __m128i xy, __m128i zw) {
    const Float4 scale = splat(1.0f / Implementation::RotationScale);
    const Float4 a = lowSigned(xy) * scale;
    const Float4 b = highSigned(xy) * scale;
    const Float4 c = lowSigned(zw) * scale;
    const Int4 flags = highUnsigned(zw);
    const Float4 largestValue =
        flipSign(sqrt(max(splat(1.0f) - (a * a + b * b + c * c), splat(0.0f))), (flags & 4) << 29);
    const Int4 largest = flags & 3;
    out[0] = largest == 0 ? largestValue : a;
    out[1] = largest == 1 ? largestValue : largest == 0 ? a : b;
    out[2] = largest == 2 ? largestValue : largest == 3 ? c : b;
    out[3] = largest == 3 ? largestValue : c;
}

/* Gathers the ratios and keys of each lane's segment. When every lane moved on by one key, as
   in forward playback, the old second keys are the new first ones and only the second ones
   need decoding. */
template<std::size_t components>
[[gnu::always_inline]] inline void loadSegments(CachedSegments<components>& segments,
                                                const KeyChannel& channel, bool shifted) {
    Float4 ratios[4];
    for (std::size_t i = 0; i != 4; ++i)
        ratios[i] = _mm_castsi128_ps(_mm_loadl_epi64(
            reinterpret_cast<const __m128i*>(channel.ratios.data() + segments.cursor[i])));
    const Float4 ratios01 = _mm_unpacklo_ps(ratios[0], ratios[1]);
    const Float4 ratios23 = _mm_unpacklo_ps(ratios[2], ratios[3]);
    segments.start = _mm_movelh_ps(ratios01, ratios23);
    segments.end = _mm_movehl_ps(ratios23, ratios01);

    const KeyRows rows = loadKeys(channel.keys.data(), segments.cursor);
    if (shifted)
        std::copy_n(segments.to, components, segments.from);
    else
        decode(segments.from, rows.fromXY, rows.fromZW);
    decode(segments.to, rows.toXY, rows.toZW);
}

/* Every lane at its first segment */
template<std::size_t components>
void reset(CachedSegments<components>& segments, const KeyChannel& channel,
           std::size_t firstTrack) {
    for (std::size_t i = 0; i != 4; ++i)
        segments.cursor[i] = channel.trackBegin[firstTrack + i];
    loadSegments(segments, channel, false);
}

/* Moves the lanes that left their segment, then interpolates */
template<std::size_t components>
[[gnu::always_inline]] inline void sample(CachedSegments<components>& segments,
                                          const KeyChannel& channel, std::size_t firstTrack,
                                          float ratio, Float4 (&out)[components]) {
    const Float4 ratio4 = splat(ratio);
    if (int lanes = laneMask((ratio4 < segments.start) | (ratio4 >= segments.end))) {
        bool shifted = lanes == 0xf;
        for (; lanes; lanes &= lanes - 1) {
            const int lane = std::countr_zero(unsigned(lanes));
            const std::uint32_t cursor =
                findSegment(channel, firstTrack + lane, segments.cursor[lane], ratio);
            shifted = shifted && cursor == segments.cursor[lane] + 1;
            segments.cursor[lane] = cursor;
        }
        loadSegments(segments, channel, shifted);
    }

    /* At the clip's end the segment runs from the last key to its copy at +∞: alpha is 0 */
    const Float4 alpha = (ratio4 - segments.start) / (segments.end - segments.start);
    for (std::size_t i = 0; i != components; ++i)
        out[i] = segments.from[i] + (segments.to[i] - segments.from[i]) * alpha;
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

    const KeyChannel& translations = clip._channels[RuntimeAnimation::Translations];
    const KeyChannel& rotations = clip._channels[RuntimeAnimation::Rotations];
    const KeyChannel& scales = clip._channels[RuntimeAnimation::Scales];
    std::span<SamplingGroup> groups{context->_groups.data(), clip.soaTrackCount()};
    if (context->_animation != clip._serial) {
        for (std::size_t i = 0; i != groups.size(); ++i) {
            reset(groups[i].translations, translations, 4 * i);
            reset(groups[i].rotations, rotations, 4 * i);
            reset(groups[i].scales, scales, 4 * i);
        }
        context->_animation = clip._serial;
    }

    /* NaN compares false and ends up at 1 */
    float clamped = ratio < 1.0f ? ratio : 1.0f;
    clamped = clamped < 0.0f ? 0.0f : clamped;

    for (std::size_t i = 0, end = std::min(output.size(), groups.size()); i != end; ++i) {
        Float4 translation[3], rotation[4], scale[3];
        sample(groups[i].translations, translations, 4 * i, clamped, translation);
        sample(groups[i].rotations, rotations, 4 * i, clamped, rotation);
        sample(groups[i].scales, scales, 4 * i, clamped, scale);

        SoaTransform& out = output[i];
        store(out.translation, {translation[0], translation[1], translation[2]});
        store(out.rotation, normalized({rotation[0], rotation[1], rotation[2], rotation[3]}));
        store(out.scale, {scale[0], scale[1], scale[2]});
    }
    return true;
}

} // namespace ZarvikEngine::Skeletal
