#include "ZarvikEngine/Data/Animation.h"

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
