#include "ZarvikEngine/Skeletal/AnimationBuilder.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>
#include <type_traits>
#include <utility>

namespace ZarvikEngine::Skeletal {

using Implementation::KeyChannel;

namespace {

template<class Value>
struct CompletedKey {
    float time;
    Value value;
};

/* One channel of every track, keys spanning 0 to the duration */
template<class Value>
struct CompletedChannel {
    std::vector<std::uint32_t> trackBegin;
    std::vector<CompletedKey<Value>> keys;
};

/* The keys of one list spanning 0 to the duration, as the builder's documentation says */
template<class Key, class Value>
void completeTrack(CompletedChannel<Value>& channel, std::span<const Key> keys, float duration,
                   const Value& identity) {
    channel.trackBegin.push_back(std::uint32_t(channel.keys.size()));
    std::vector<CompletedKey<Value>>& out = channel.keys;
    if (keys.size() < 2) {
        const Value value = keys.empty() ? identity : keys.front().value;
        out.push_back({0.0f, value});
        out.push_back({duration, value});
        return;
    }
    if (keys.front().time != 0.0f)
        out.push_back({0.0f, keys.front().value});
    for (const Key& key : keys)
        out.push_back({key.time, key.value});
    if (keys.back().time != duration)
        out.push_back({duration, keys.back().value});
}

/* Normalization and hemisphere continuity, in key order */
void cleanUpRotations(std::span<CompletedKey<Quaternion>> keys) {
    for (std::size_t i = 0; i != keys.size(); ++i) {
        Quaternion& q = keys[i].value;
        const float lengthSquared = glm::dot(q, q);
        q = lengthSquared == 0.0f ? Quaternion{} : q / std::sqrt(lengthSquared);
        const float alignment = i == 0 ? q.w : glm::dot(keys[i - 1].value, q);
        if (alignment < 0.0f)
            q = -q;
    }
}

void appendValue(std::vector<std::uint16_t>& values, const Vector3& value) {
    values.insert(values.end(), {packHalf(value.x), packHalf(value.y), packHalf(value.z)});
}

void appendValue(std::vector<std::uint16_t>& values, const Quaternion& value) {
    const float components[4]{value.x, value.y, value.z, value.w};
    std::uint16_t largest = 0;
    for (std::uint16_t i = 1; i != 4; ++i)
        if (std::abs(components[i]) > std::abs(components[largest]))
            largest = i;

    for (std::uint16_t i = 0; i != 4; ++i) {
        if (i == largest)
            continue;
        /* Rounds half up. Only a NaN key gives NaN here; it must not reach the conversion. */
        const float scaled = std::floor(components[i] * Implementation::RotationScale + 0.5f);
        const float clamped = std::isnan(scaled) ? 0.0f : std::clamp(scaled, -32767.0f, 32767.0f);
        values.push_back(std::uint16_t(std::int16_t(clamped)));
    }
    values.push_back(std::uint16_t(largest | (components[largest] < 0.0f ? 4 : 0)));
}

/* Where each key's time is in the sorted distinct times */
template<class Index, class Value>
std::vector<Index> timeIndices(std::span<const CompletedKey<Value>> keys,
                               std::span<const float> times) {
    std::vector<Index> indices;
    indices.reserve(keys.size());
    for (const CompletedKey<Value>& key : keys)
        indices.push_back(
            Index(std::lower_bound(times.begin(), times.end(), key.time) - times.begin()));
    return indices;
}

template<class Value>
KeyChannel packChannel(const CompletedChannel<Value>& completed, std::span<const float> times) {
    constexpr std::size_t components = std::is_same_v<Value, Quaternion> ? 4 : 3;
    KeyChannel channel;
    channel.trackBegin.reserve(completed.trackBegin.size() + 1);
    channel.trackBegin.assign(completed.trackBegin.begin(), completed.trackBegin.end());
    channel.trackBegin.push_back(std::uint32_t(completed.keys.size()));
    /* Padded so that the last key, too, can be read as four values */
    const std::size_t valueCount = completed.keys.size() * components + 4 - components;
    channel.values.reserve(valueCount);
    for (const CompletedKey<Value>& key : completed.keys)
        appendValue(channel.values, key.value);
    channel.values.resize(valueCount);
    if (times.size() <= std::size_t(std::numeric_limits<std::uint8_t>::max()) + 1)
        channel.narrowTimes = timeIndices<std::uint8_t, Value>(completed.keys, times);
    else
        channel.wideTimes = timeIndices<std::uint16_t, Value>(completed.keys, times);
    return channel;
}

} // namespace

std::unique_ptr<RuntimeAnimation> AnimationBuilder::operator()(const RawAnimation& raw) const {
    if (!raw.validate())
        return nullptr;

    /* Padding tracks are empty tracks: identity everywhere */
    const std::size_t paddedTrackCount = (raw.tracks.size() + 3) / 4 * 4;
    const RawAnimation::Track empty;
    CompletedChannel<Vector3> translations, scales;
    CompletedChannel<Quaternion> rotations;
    for (std::size_t i = 0; i != paddedTrackCount; ++i) {
        const RawAnimation::Track& track = i < raw.tracks.size() ? raw.tracks[i] : empty;
        completeTrack<RawAnimation::TranslationKey>(translations, track.translations, raw.duration,
                                                    Vector3{0.0f});
        completeTrack<RawAnimation::RotationKey>(rotations, track.rotations, raw.duration,
                                                 Quaternion{});
        cleanUpRotations(std::span{rotations.keys}.subspan(rotations.trackBegin.back()));
        completeTrack<RawAnimation::ScaleKey>(scales, track.scales, raw.duration, Vector3{1.0f});
    }

    /* The keys index one table of the distinct times, which bounds their count */
    std::vector<float> times{0.0f, raw.duration};
    for (const auto& key : translations.keys)
        times.push_back(key.time);
    for (const auto& key : rotations.keys)
        times.push_back(key.time);
    for (const auto& key : scales.keys)
        times.push_back(key.time);
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());
    if (times.size() > MaxKeyTimes)
        return nullptr;

    std::array<KeyChannel, 3> channels;
    channels[RuntimeAnimation::Translations] = packChannel(translations, times);
    channels[RuntimeAnimation::Rotations] = packChannel(rotations, times);
    channels[RuntimeAnimation::Scales] = packChannel(scales, times);
    std::vector<float> ratios;
    ratios.reserve(times.size());
    for (float time : times)
        ratios.push_back(time / raw.duration);

    return std::unique_ptr<RuntimeAnimation>{new RuntimeAnimation{
        raw.duration, raw.tracks.size(), raw.name, std::move(ratios), std::move(channels)}};
}

} // namespace ZarvikEngine::Skeletal
