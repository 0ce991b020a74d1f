#include "ZarvikEngine/Skeletal/RuntimeAnimation.h"

#include <atomic>
#include <utility>

namespace ZarvikEngine::Skeletal {

namespace {

std::atomic<std::uint64_t> lastSerial{0};

} // namespace

RuntimeAnimation::RuntimeAnimation(float duration, std::size_t trackCount, std::string name,
                                   std::array<Implementation::KeyChannel, 3>&& channels)
    : _duration{duration}, _trackCount{trackCount}, _serial{++lastSerial}, _name{std::move(name)},
      _channels{std::move(channels)} {}

RuntimeAnimation::RuntimeAnimation(RuntimeAnimation&& other) noexcept
    : _duration{std::exchange(other._duration, 0.0f)},
      _trackCount{std::exchange(other._trackCount, 0)}, _serial{std::exchange(other._serial, 0)},
      _name{std::exchange(other._name, {})}, _channels{std::exchange(other._channels, {})} {}

RuntimeAnimation& RuntimeAnimation::operator=(RuntimeAnimation&& other) noexcept {
    std::swap(_duration, other._duration);
    std::swap(_trackCount, other._trackCount);
    std::swap(_serial, other._serial);
    std::swap(_name, other._name);
    std::swap(_channels, other._channels);
    return *this;
}

} // namespace ZarvikEngine::Skeletal
