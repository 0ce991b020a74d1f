#ifndef ZarvikEngine_Data_Animation_h
#define ZarvikEngine_Data_Animation_h

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "ZarvikEngine/BitSet.h"
#include "ZarvikEngine/Skeletal/RawAnimation.h"
#include "ZarvikEngine/Skeletal/RuntimeAnimation.h"
#include "ZarvikEngine/StringArray.h"

namespace ZarvikEngine::Data {

/* One clip ready for playback: the runtime animation, which of its tracks have keys of each
   channel, and named events on its timeline (in seconds). Movable, not copyable. */
class Animation {
public:
    /* An empty runtime animation, no tracks, no events */
    Animation();
    explicit Animation(Skeletal::RuntimeAnimation&& clip);
    /* The bit sets have the same size, enough for the clip's tracks; there is one name per
       event key. Keys and names are copied. */
    Animation(Skeletal::RuntimeAnimation&& clip, BitSet&& translations, BitSet&& rotations,
              BitSet&& scalings, std::span<const float> eventKeys,
              const StringArrayView& eventNames);

    /* The clip of raw keys, with which of its tracks have keys of each channel, and events;
       nothing when the runtime can't build the keys */
    static std::optional<Animation> build(const Skeletal::RawAnimation& raw,
                                          std::span<const float> eventKeys,
                                          const StringArrayView& eventNames);
    /* Leaves the source without a clip */
    Animation(Animation&& other) noexcept;
    /* Swaps */
    Animation& operator=(Animation&& other) noexcept;
    Animation(const Animation&) = delete;
    Animation& operator=(const Animation&) = delete;
    ~Animation();

    /* Null only in a moved-from clip */
    const Skeletal::RuntimeAnimation* runtimeAnimation() const { return _clip.get(); }

    /* The three are 0 without a clip */
    float duration() const { return _clip ? _clip->duration() : 0.0f; }
    std::size_t trackCount() const { return _clip ? _clip->trackCount() : 0; }
    std::size_t soaTrackCount() const { return _clip ? _clip->soaTrackCount() : 0; }

    std::size_t eventCount() const { return _eventKeys.size(); }
    std::span<const float> eventKeys() const { return _eventKeys; }
    const StringArrayView& eventNames() const { return _eventNames; }

    /* One bit per track, set when it has keys of that channel */
    const BitSet& translationTracks() const { return _translations; }
    const BitSet& rotationTracks() const { return _rotations; }
    const BitSet& scalingTracks() const { return _scalings; }
    /* Unchecked, i below trackCount() */
    bool hasTranslations(std::size_t i) const { return _translations[i]; }
    bool hasRotations(std::size_t i) const { return _rotations[i]; }
    bool hasScalings(std::size_t i) const { return _scalings[i]; }

private:
    std::unique_ptr<Skeletal::RuntimeAnimation> _clip;
    BitSet _translations;
    BitSet _rotations;
    BitSet _scalings;
    std::vector<float> _eventKeys;
    StringArray _eventNames;
};

} // namespace ZarvikEngine::Data

#endif
