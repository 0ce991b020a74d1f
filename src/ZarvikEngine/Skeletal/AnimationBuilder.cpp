#include "ZarvikEngine/Skeletal/AnimationBuilder.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>
#include <utility>

namespace ZarvikEngine::Skeletal {

using Implementation::KeyChannel;
using Implementation::PackedKey;

namespace {

template<class Value>
struct CompletedKey {
    float ratio;
    Value value;
};

/* The keys of one list spanning ratio 0 to 1, as the builder's documentation says */
template<class Key, class Value>
void completeKeys(std::vector<CompletedKey<Value>>& out, std::span<const Key> keys, float duration,
                  const Value& identity) {
    out.clear();
    if (keys.size() < 2) {
        const Value value = keys.empty() ? identity : keys.front().value;
        out.push_back({0.0f, value});
        out.push_back({1.0f, value});
        return;
    }
    if (keys.front().time != 0.0f)
        out.push_back({0.0f, keys.front().value});
    for (const Key& key : keys)
        out.push_back({key.time / duration, key.value});
    if (keys.back().time != duration)
        out.push_back({1.0f, keys.back().value});
}

PackedKey packVector(const Vector3& value) {
    return {{packHalf(value.x), packHalf(value.y), packHalf(value.z), 0}};
}

PackedKey packRotation(const Quaternion& value) {
    const float components[4]{value.x, value.y, value.z, value.w};
    std::uint16_t largest = 0;
    for (std::uint16_t i = 1; i != 4; ++i)
        if (std::abs(components[i]) > std::abs(components[largest]))
            largest = i;

    PackedKey packed{};
    std::size_t stored = 0;
    for (std::uint16_t i = 0; i != 4; ++i) {
        if (i == largest)
            continue;
        /* Rounds half up. Only a NaN key gives NaN here; it must not reach the conversion. */
        const float scaled = std::floor(components[i] * Implementation::RotationScale + 0.5f);
        const float clamped = std::isnan(scaled) ? 0.0f : std::clamp(scaled, -32767.0f, 32767.0f);
        packed.values[stored++] = std::uint16_t(std::int16_t(clamped));
    }
    packed.values[3] = std::uint16_t(largest | (components[largest] < 0.0f ? 4 : 0));
    return packed;
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

template<class Value, class Pack>
void appendTrack(KeyChannel& channel, std::span<const CompletedKey<Value>> keys, Pack pack) {
    channel.trackBegin.push_back(std::uint32_t(channel.ratios.size()));
    for (const CompletedKey<Value>& key : keys) {
        channel.ratios.push_back(key.ratio);
        channel.keys.push_back(pack(key.value));
    }
    channel.ratios.push_back(std::numeric_limits<float>::infinity());
    channel.keys.push_back(channel.keys.back());
}

} // namespace

std::unique_ptr<RuntimeAnimation> AnimationBuilder::operator()(const RawAnimation& raw) const {
    if (!raw.validate())
        return nullptr;

    /* Padding tracks are empty tracks: identity everywhere */
    const std::size_t paddedTrackCount = (raw.tracks.size() + 3) / 4 * 4;
    const RawAnimation::Track empty;
    std::array<KeyChannel, 3> channels;

    std::vector<CompletedKey<Vector3>> vectors;
    std::vector<CompletedKey<Quaternion>> rotations;
    for (std::size_t i = 0; i != paddedTrackCount; ++i) {
        const RawAnimation::Track& track = i < raw.tracks.size() ? raw.tracks[i] : empty;

        completeKeys<RawAnimation::TranslationKey>(vectors, track.translations, raw.duration,
                                                   Vector3{0.0f});
        appendTrack<Vector3>(channels[RuntimeAnimation::Translations], vectors, packVector);

        completeKeys<RawAnimation::RotationKey>(rotations, track.rotations, raw.duration,
                                                Quaternion{});
        cleanUpRotations(rotations);
        appendTrack<Quaternion>(channels[RuntimeAnimation::Rotations], rotations, packRotation);

        completeKeys<RawAnimation::ScaleKey>(vectors, track.scales, raw.duration, Vector3{1.0f});
        appendTrack<Vector3>(channels[RuntimeAnimation::Scales], vectors, packVector);
    }
    for (KeyChannel& channel : channels)
        channel.trackBegin.push_back(std::uint32_t(channel.ratios.size()));

    return std::unique_ptr<RuntimeAnimation>{
        new RuntimeAnimation{raw.duration, raw.tracks.size(), raw.name, std::move(channels)}};
}

} // namespace ZarvikEngine::Skeletal
