#ifndef ZarvikEngine_Data_AnimationRecords_h
#define ZarvikEngine_Data_AnimationRecords_h

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ZarvikEngine/Data/Animation.h"
#include "ZarvikEngine/Data/AssetChunk.h"
#include "ZarvikEngine/Data/Id.h"
#include "ZarvikEngine/Skeletal/RawAnimation.h"
#include "ZarvikEngine/StringArray.h"

namespace ZarvikEngine::Data {

/* A clip: per track its keys, at full precision or quantized, then named events. Each
   track's data follows the previous one's. Full precision: translation keys (time, x, y, z),
   rotation keys (time, x, y, z, w), scale keys (time, x, y, z), all 32-bit floats.
   Quantized: translation keys, then scale keys, each three half floats and a 16-bit time;
   then one 32-bit packed rotation per rotation key, one 16-bit time per rotation key, and two
   bytes of padding when the rotation count is odd. A 16-bit time t stands for
   t / 65535 × duration. A packed rotation holds three components in bits 0–9, 10–19 and
   20–29, each mapped from [−0.707107, 0.707107] to 0–1023, and in bits 30–31 the index of the
   largest one, which was left out: it is the square root of what the others leave of a unit
   length. */
class AnimationData : public RecordView {
public:
    struct Header {
        /* In seconds */
        float duration;
        /* 1 quantized, 0 full precision */
        std::uint16_t quantized;
        std::uint16_t trackCount;
        /* Bytes of all tracks' keys */
        std::uint32_t tracksDataSize;
        std::uint32_t eventCount;
    };
    static_assert(sizeof(Header) == 16);

    struct TrackHeader {
        /* Where the track's keys start inside the tracks data */
        std::uint32_t dataOffset;
        std::uint32_t translationCount;
        std::uint32_t rotationCount;
        std::uint32_t scaleCount;
    };
    static_assert(sizeof(TrackHeader) == 16);

    static constexpr Magic magic = Magic::Animation;

    using RecordView::RecordView;

    /* Nothing when every reader, rawAnimation() and animation() included, can run on the
       payload: the tracks' keys lie back to back inside the tracks data, each quantized
       rotation decodes to unit length, the event keys fit and are followed by exactly one
       name per event. A message saying what is wrong otherwise. */
    static std::optional<std::string> validate(std::span<const char> payload);

    const Header& header() const { return at<Header>(0); }
    std::span<const TrackHeader> tracks() const {
        return {pointer<TrackHeader>(sizeof(Header)), header().trackCount};
    }
    /* From the first track's keys to the end of the payload */
    std::span<const char> tracksData() const { return _data.subspan(tracksDataOffset()); }
    /* In seconds */
    std::span<const float> eventKeys() const {
        return {pointer<float>(eventKeysOffset()), header().eventCount};
    }
    /* Everything after the event keys, up to the first empty string */
    StringArrayView eventNames() const {
        return StringArrayView{
            _data.subspan(eventKeysOffset() + sizeof(float) * std::size_t{header().eventCount})};
    }

    /* The keys decoded; aborts when a quantized rotation doesn't decode to unit length */
    Skeletal::RawAnimation rawAnimation() const;
    /* The runtime clip with its events; an empty clip when the keys can't be built into one,
       for example because quantizing the times made two of them equal */
    Animation animation() const;

private:
    /* Unlike at(), fine at the end of the payload, for empty arrays */
    template<class T>
    const T* pointer(std::size_t offset) const {
        return reinterpret_cast<const T*>(_data.data() + offset);
    }
    std::size_t tracksDataOffset() const {
        return sizeof(Header) + sizeof(TrackHeader) * std::size_t{header().trackCount};
    }
    std::size_t eventKeysOffset() const { return tracksDataOffset() + header().tracksDataSize; }
};

/* The record of an animation and its events, one name per event key. Quantized unless
   fullPrecision is set; quantizing normalizes the rotations. Empty, after printing a message,
   when the animation is invalid or an event name is empty (the names are read up to the
   first empty one). */
std::vector<char> createAnimationData(const Skeletal::RawAnimation& animation,
                                      std::span<const float> eventKeys,
                                      const StringArrayView& eventNames, bool fullPrecision);

/* A quantized animation without tracks or events */
std::vector<char> createAnimationData();

/* The scene objects that the tracks of a clip animate, in track order */
class AnimationTargetsData : public RecordView {
public:
    struct Header {
        /* Given by the caller, who decides what it means */
        std::uint16_t firstField;
        std::uint16_t targetCount;
    };
    static_assert(sizeof(Header) == 4);

    static constexpr Magic magic = Magic::AnimationTargets;

    using RecordView::RecordView;

    /* Nothing when the targets fit the payload, a message otherwise */
    static std::optional<std::string> validate(std::span<const char> payload);

    const Header& header() const { return at<Header>(0); }
    std::span<const Id> targets() const {
        return {reinterpret_cast<const Id*>(_data.data() + sizeof(Header)), header().targetCount};
    }
};

/* At most 65535 targets */
std::vector<char> createAnimationTargetsData(std::uint16_t firstField, std::span<const Id> targets);

} // namespace ZarvikEngine::Data

#endif
