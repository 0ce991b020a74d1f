#include "ZarvikEngine/Data/Animation.h"

#include "ZarvikEngine/Skeletal/AnimationBuilder.h"

#include <utility>

#include "ZarvikEngine/Debug.h"

namespace ZarvikEngine::Data {

Animation::Animation() : Animation{Skeletal::RuntimeAnimation{}} {}

Animation::Animation(Skeletal::RuntimeAnimation&& clip)
    : _clip{std::make_unique<Skeletal::RuntimeAnimation>(std::move(clip))}, _eventNames{0} {}

Animation::Animation(Skeletal::RuntimeAnimation&& clip, BitSet&& translations, BitSet&& rotations,
                     BitSet&& scalings, std::span<const float> eventKeys,
                     const StringArrayView& eventNames)
    : _clip{std::make_unique<Skeletal::RuntimeAnimation>(std::move(clip))},
      _translations{std::move(translations)}, _rotations{std::move(rotations)}, _scalings{std::move(
                                                                                    scalings)},
      _eventKeys(eventKeys.begin(), eventKeys.end()), _eventNames{eventNames.usedCapacity()} {
    ZE_ASSERT(_translations.size() == _rotations.size() &&
                  _translations.size() == _scalings.size() &&
                  _translations.size() >= _clip->trackCount(),
              "Size mismatch between size of track translation, rotation, scaling BitSets and "
              "number of tracks in ozz::Animation");
    ZE_ASSERT(eventKeys.size() == eventNames.size(),
              "Size mismatch between eventKeys and eventNames");
    _eventNames.append(eventNames.strings());
}

std::optional<Animation> Animation::build(const Skeletal::RawAnimation& raw,
                                          std::span<const float> eventKeys,
                                          const StringArrayView& eventNames) {
    std::unique_ptr<Skeletal::RuntimeAnimation> clip = Skeletal::AnimationBuilder{}(raw);
    if (!clip)
        return {};
    const std::size_t trackCount = raw.tracks.size();
    BitSet translations{trackCount}, rotations{trackCount}, scalings{trackCount};
    for (std::size_t i = 0; i != trackCount; ++i) {
        translations.set(i, !raw.tracks[i].translations.empty());
        rotations.set(i, !raw.tracks[i].rotations.empty());
        scalings.set(i, !raw.tracks[i].scales.empty());
    }
    return Animation{std::move(*clip),
                     std::move(translations),
                     std::move(rotations),
                     std::move(scalings),
                     eventKeys,
                     eventNames};
}

Animation::Animation(Animation&& other) noexcept = default;

Animation& Animation::operator=(Animation&& other) noexcept {
    std::swap(_clip, other._clip);
    std::swap(_translations, other._translations);
    std::swap(_rotations, other._rotations);
    std::swap(_scalings, other._scalings);
    std::swap(_eventKeys, other._eventKeys);
    std::swap(_eventNames, other._eventNames);
    return *this;
}

Animation::~Animation() = default;

} // namespace ZarvikEngine::Data
