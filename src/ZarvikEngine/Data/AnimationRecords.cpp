#include "ZarvikEngine/Data/AnimationRecords.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>

#include <fmt/format.h>

#include "ZarvikEngine/Data/RecordValidation.h"

namespace ZarvikEngine::Data {

namespace {

using Skeletal::RawAnimation;

/* The 16-bit track count can't hold more */
static_assert(RawAnimation::MaxTracks <= std::numeric_limits<std::uint16_t>::max());

/* Bytes of one key or array element in each encoding */
constexpr std::uint64_t FullVectorKeySize = 4 * sizeof(float);
constexpr std::uint64_t FullRotationKeySize = 5 * sizeof(float);
constexpr std::uint64_t QuantizedVectorKeySize = 4 * sizeof(std::uint16_t);
constexpr std::uint64_t PackedRotationSize = sizeof(std::uint32_t);
constexpr std::uint64_t QuantizedTimeSize = sizeof(std::uint16_t);

/* The three smaller components of a unit quaternion lie within ±√½ */
constexpr float RotationOffset = 0.707107f;
constexpr float RotationRange = 1.414214f;
constexpr std::uint32_t RotationSteps = 1023;
constexpr std::uint32_t TimeSteps = 65535;

/* Counts widened, so that corrupt ones can't wrap */
std::uint64_t trackDataSize(const AnimationData::TrackHeader& track, bool quantized) {
    const std::uint64_t vectors = std::uint64_t{track.translationCount} + track.scaleCount;
    const std::uint64_t rotations = track.rotationCount;
    if (!quantized)
        return vectors * FullVectorKeySize + rotations * FullRotationKeySize;
    /* The padding keeps the next track four-byte aligned */
    return vectors * QuantizedVectorKeySize + rotations * (PackedRotationSize + QuantizedTimeSize) +
           (rotations % 2) * QuantizedTimeSize;
}

/* Sequential access to unaligned little-endian bytes */
class Writer {
public:
    explicit Writer(char* out) : _out{out} {}

    template<class T>
    void put(const T& value) {
        std::memcpy(_out, &value, sizeof(T));
        _out += sizeof(T);
    }
    void put(std::span<const char> bytes) {
        std::ranges::copy(bytes, _out);
        _out += bytes.size();
    }
    void skip(std::size_t bytes) { _out += bytes; }

private:
    char* _out;
};

class Reader {
public:
    explicit Reader(const char* in) : _in{in} {}

    template<class T>
    T get() {
        T value;
        std::memcpy(&value, _in, sizeof(T));
        _in += sizeof(T);
        return value;
    }
    Vector3 getVector3() {
        const float x = get<float>(), y = get<float>();
        return {x, y, get<float>()};
    }
    Vector3 getHalfVector3() {
        const float x = unpackHalf(get<std::uint16_t>()), y = unpackHalf(get<std::uint16_t>());
        return {x, y, unpackHalf(get<std::uint16_t>())};
    }
    const char* position() const { return _in; }

private:
    const char* _in;
};

std::uint16_t quantizeTime(float time, float duration) {
    return std::uint16_t(std::round(time / duration * float(TimeSteps)));
}

float dequantizeTime(std::uint16_t time, float duration) {
    return float(time) / float(TimeSteps) * duration;
}

std::uint32_t quantizeRotationComponent(float value) {
    return std::uint32_t(
        std::clamp(std::round((value + RotationOffset) / RotationRange * float(RotationSteps)),
                   0.0f, float(RotationSteps)));
}

/* The largest component is left out and rebuilt from the unit length; making it positive
   (the same rotation) spares its sign */
std::uint32_t packRotation(const Quaternion& rotation) {
    /* Key values aren't validated; what has no direction becomes identity, so that every
       record written decodes */
    const float lengthSquared = glm::dot(rotation, rotation);
    const Quaternion unit = lengthSquared > 0.0f && std::isfinite(lengthSquared)
                                ? rotation / std::sqrt(lengthSquared)
                                : Quaternion{};
    float components[4]{unit.x, unit.y, unit.z, unit.w};
    std::uint32_t largest = 0;
    for (std::uint32_t i = 1; i != 4; ++i)
        if (std::abs(components[i]) > std::abs(components[largest]))
            largest = i;
    std::swap(components[largest], components[3]);
    const float sign = components[3] < 0.0f ? -1.0f : 1.0f;

    std::uint32_t packed = largest << 30;
    for (std::uint32_t i = 0; i != 3; ++i)
        packed |= quantizeRotationComponent(sign * components[i]) << (10 * i);
    return packed;
}

/* Of unit length for what packRotation() gives; corrupt bits can give anything, NaN included */
Quaternion unpackRotation(std::uint32_t packed) {
    float components[4];
    for (std::uint32_t i = 0; i != 3; ++i)
        components[i] =
            float((packed >> (10 * i)) & RotationSteps) / float(RotationSteps) * RotationRange -
            RotationOffset;
    components[3] =
        std::sqrt(1.0f - (components[0] * components[0] + components[1] * components[1] +
                          components[2] * components[2]));
    std::swap(components[packed >> 30], components[3]);
    return quaternionFromXyzw(components[0], components[1], components[2], components[3]);
}

bool isUnitLength(const Quaternion& rotation) {
    /* False for NaN */
    return std::abs(glm::dot(rotation, rotation) - 1.0f) <= 1.0e-6f;
}

/* The rotations of a quantized track, whose packed words start at rotations */
template<class Function>
void forEachQuantizedRotation(const char* rotations, std::uint32_t count, float duration,
                              Function function) {
    Reader words{rotations};
    Reader times{rotations + PackedRotationSize * count};
    for (std::uint32_t i = 0; i != count; ++i) {
        const Quaternion rotation = unpackRotation(words.get<std::uint32_t>());
        function(dequantizeTime(times.get<std::uint16_t>(), duration), rotation);
    }
}

void writeFullPrecision(Writer& out, const RawAnimation::Track& track) {
    for (const RawAnimation::TranslationKey& key : track.translations)
        out.put(Vector4{key.time, key.value});
    for (const RawAnimation::RotationKey& key : track.rotations) {
        out.put(key.time);
        out.put(Vector4{key.value.x, key.value.y, key.value.z, key.value.w});
    }
    for (const RawAnimation::ScaleKey& key : track.scales)
        out.put(Vector4{key.time, key.value});
}

template<class Key>
void writeQuantizedVectors(Writer& out, std::span<const Key> keys, float duration) {
    for (const Key& key : keys) {
        for (int i = 0; i != 3; ++i)
            out.put(packHalf(key.value[i]));
        out.put(quantizeTime(key.time, duration));
    }
}

void writeQuantized(Writer& out, const RawAnimation::Track& track, float duration) {
    writeQuantizedVectors<RawAnimation::TranslationKey>(out, track.translations, duration);
    writeQuantizedVectors<RawAnimation::ScaleKey>(out, track.scales, duration);
    for (const RawAnimation::RotationKey& key : track.rotations)
        out.put(packRotation(key.value));
    for (const RawAnimation::RotationKey& key : track.rotations)
        out.put(quantizeTime(key.time, duration));
    /* The payload is zero-filled */
    out.skip((track.rotations.size() % 2) * QuantizedTimeSize);
}

void readFullPrecision(Reader& in, RawAnimation::Track& track) {
    for (RawAnimation::TranslationKey& key : track.translations) {
        key.time = in.get<float>();
        key.value = in.getVector3();
    }
    for (RawAnimation::RotationKey& key : track.rotations) {
        key.time = in.get<float>();
        const Vector3 vector = in.getVector3();
        key.value = quaternion(vector, in.get<float>());
    }
    for (RawAnimation::ScaleKey& key : track.scales) {
        key.time = in.get<float>();
        key.value = in.getVector3();
    }
}

template<class Key>
void readQuantizedVectors(Reader& in, std::span<Key> keys, float duration) {
    for (Key& key : keys) {
        key.value = in.getHalfVector3();
        key.time = dequantizeTime(in.get<std::uint16_t>(), duration);
    }
}

void readQuantized(Reader& in, RawAnimation::Track& track, float duration) {
    readQuantizedVectors<RawAnimation::TranslationKey>(in, track.translations, duration);
    readQuantizedVectors<RawAnimation::ScaleKey>(in, track.scales, duration);
    auto key = track.rotations.begin();
    forEachQuantizedRotation(in.position(), std::uint32_t(track.rotations.size()), duration,
                             [&](float time, const Quaternion& rotation) {
                                 ZE_ASSERT(isUnitLength(rotation),
                                           "Quat not normalized, length is"
                                               << std::sqrt(glm::dot(rotation, rotation)));
                                 *key++ = {time, rotation};
                             });
}

} // namespace

std::optional<std::string> AnimationData::validate(std::span<const char> payload) {
    if (auto error = Validation::checkHeaderSize(payload, sizeof(Header)))
        return error;
    Reader in{payload.data()};
    const auto header = in.get<Header>();
    if (header.quantized > 1)
        return fmt::format("quantized flag is {} instead of 0 or 1", header.quantized);

    const std::uint64_t tracksDataOffset =
        sizeof(Header) + sizeof(TrackHeader) * std::uint64_t{header.trackCount};
    if (tracksDataOffset > payload.size())
        return fmt::format("{} track headers run past the payload of {} bytes", header.trackCount,
                           payload.size());
    if (header.tracksDataSize > payload.size() - tracksDataOffset)
        return fmt::format("{} bytes of tracks data run past the payload of {} bytes",
                           header.tracksDataSize, payload.size());

    /* Tracks back to back, as written, which keeps every key aligned */
    std::uint64_t end = 0;
    for (std::uint32_t i = 0; i != header.trackCount; ++i) {
        const auto track = in.get<TrackHeader>();
        if (track.dataOffset != end)
            return fmt::format("track {} starts at {} instead of {}", i, track.dataOffset, end);
        end += trackDataSize(track, header.quantized);
        if (end > header.tracksDataSize)
            return fmt::format("keys of track {} run past the {} bytes of tracks data", i,
                               header.tracksDataSize);
        if (!header.quantized)
            continue;
        const char* rotations =
            payload.data() + tracksDataOffset + track.dataOffset +
            QuantizedVectorKeySize * (std::uint64_t{track.translationCount} + track.scaleCount);
        bool unit = true;
        forEachQuantizedRotation(
            rotations, track.rotationCount, header.duration,
            [&](float, const Quaternion& rotation) { unit = unit && isUnitLength(rotation); });
        if (!unit)
            return fmt::format("a rotation of track {} doesn't decode to unit length", i);
    }
    if (end != header.tracksDataSize)
        return fmt::format("{} bytes of tracks data hold {} bytes of keys", header.tracksDataSize,
                           end);

    const std::uint64_t eventKeysOffset = tracksDataOffset + header.tracksDataSize;
    const std::uint64_t eventKeysSize = sizeof(float) * std::uint64_t{header.eventCount};
    if (eventKeysSize > payload.size() - eventKeysOffset)
        return fmt::format("{} event keys run past the payload of {} bytes", header.eventCount,
                           payload.size());
    const std::span<const char> namesSection = payload.subspan(eventKeysOffset + eventKeysSize);
    if (auto error = Validation::checkExactStrings(namesSection, header.eventCount))
        return error;
    /* The names are read up to the first empty one */
    const StringArrayView names{namesSection};
    if (names.size() != header.eventCount)
        return fmt::format("{} event names follow {} event keys", names.size(), header.eventCount);
    return {};
}

RawAnimation AnimationData::rawAnimation() const {
    RawAnimation animation;
    const float duration = header().duration;
    const bool quantized = header().quantized;
    animation.duration = duration;
    animation.tracks.resize(header().trackCount);
    for (std::size_t i = 0; i != animation.tracks.size(); ++i) {
        const TrackHeader& stored = tracks()[i];
        RawAnimation::Track& track = animation.tracks[i];
        track.translations.resize(stored.translationCount);
        track.rotations.resize(stored.rotationCount);
        track.scales.resize(stored.scaleCount);
        Reader in{tracksData().data() + stored.dataOffset};
        if (quantized)
            readQuantized(in, track, duration);
        else
            readFullPrecision(in, track);
    }
    return animation;
}

Animation AnimationData::animation() const {
    std::optional<Animation> clip = Animation::build(rawAnimation(), eventKeys(), eventNames());
    if (!clip) {
        Error{} << "Failed to build runtime animation.";
        return Animation{};
    }
    return std::move(*clip);
}

std::vector<char> createAnimationData(const RawAnimation& animation,
                                      std::span<const float> eventKeys,
                                      const StringArrayView& eventNames, bool fullPrecision) {
    if (!animation.validate()) {
        Error{} << "createAnimationData(): animation is empty or contains invalid key values.";
        return {};
    }
    ZE_ASSERT(eventNames.size() == eventKeys.size(), "createAnimationData(): got"
                                                         << eventNames.size() << "event names for"
                                                         << eventKeys.size() << "event keys");
    /* Names come from imported files; an empty one would end the names when read */
    for (std::size_t i = 0; i != eventNames.size(); ++i) {
        if (eventNames[i].empty()) {
            Error{} << "createAnimationData(): event name" << i << "is empty.";
            return {};
        }
    }

    const bool quantized = !fullPrecision;
    std::vector<AnimationData::TrackHeader> trackHeaders;
    trackHeaders.reserve(animation.tracks.size());
    std::uint64_t tracksDataSize = 0;
    for (const RawAnimation::Track& track : animation.tracks) {
        trackHeaders.push_back(
            {std::uint32_t(tracksDataSize), std::uint32_t(track.translations.size()),
             std::uint32_t(track.rotations.size()), std::uint32_t(track.scales.size())});
        tracksDataSize += trackDataSize(trackHeaders.back(), quantized);
    }
    const std::span<const char> names = eventNames.usedData();
    const std::uint64_t size = sizeof(AnimationData::Header) +
                               sizeof(AnimationData::TrackHeader) * trackHeaders.size() +
                               tracksDataSize + eventKeys.size_bytes() + names.size();
    ZE_ASSERT(size <= std::numeric_limits<std::uint32_t>::max(),
              "createAnimationData(): a record of" << size << "bytes doesn't fit a chunk");

    std::vector<char> payload(size);
    Writer out{payload.data()};
    out.put(AnimationData::Header{animation.duration, std::uint16_t(quantized),
                                  std::uint16_t(animation.tracks.size()),
                                  std::uint32_t(tracksDataSize), std::uint32_t(eventKeys.size())});
    for (const AnimationData::TrackHeader& trackHeader : trackHeaders)
        out.put(trackHeader);
    for (const RawAnimation::Track& track : animation.tracks) {
        if (quantized)
            writeQuantized(out, track, animation.duration);
        else
            writeFullPrecision(out, track);
    }
    for (const float key : eventKeys)
        out.put(key);
    out.put(names);
    return payload;
}

std::vector<char> createAnimationData() {
    return createAnimationData(RawAnimation{}, {}, StringArrayView{}, false);
}

std::optional<std::string> AnimationTargetsData::validate(std::span<const char> payload) {
    if (auto error = Validation::checkHeaderSize(payload, sizeof(Header)))
        return error;
    const auto header = Reader{payload.data()}.get<Header>();
    if (sizeof(Header) + sizeof(Id) * std::size_t{header.targetCount} > payload.size())
        return fmt::format("{} targets run past the payload of {} bytes", header.targetCount,
                           payload.size());
    return {};
}

std::vector<char> createAnimationTargetsData(std::uint16_t firstField,
                                             std::span<const Id> targets) {
    ZE_ASSERT(targets.size() <= std::numeric_limits<std::uint16_t>::max(),
              "createAnimationTargetsData(): can't store" << targets.size()
                                                          << "targets, at most 65535 fit");
    std::vector<char> payload(sizeof(AnimationTargetsData::Header) + targets.size_bytes());
    Writer out{payload.data()};
    out.put(AnimationTargetsData::Header{firstField, std::uint16_t(targets.size())});
    out.put(std::span{reinterpret_cast<const char*>(targets.data()), targets.size_bytes()});
    return payload;
}

} // namespace ZarvikEngine::Data
