#include "ZarvikEngine/Skeletal/RuntimeAnimation.h"

#include <atomic>
#include <utility>

namespace ZarvikEngine::Skeletal {

namespace {

std::atomic<std::uint64_t> lastSerial{0};

template<class T>
std::size_t allocatedBytes(const std::vector<T>& vector) {
    return vector.capacity() * sizeof(T);
}

} // namespace

RuntimeAnimation::RuntimeAnimation(float duration, std::size_t trackCount, std::string name,
                                   std::vector<float>&& ratios,
                                   std::array<Implementation::KeyChannel, 3>&& channels)
    : _duration{duration}, _trackCount{trackCount}, _serial{++lastSerial}, _name{std::move(name)},
      _ratios{std::move(ratios)}, _channels{std::move(channels)} {}

RuntimeAnimation::RuntimeAnimation(RuntimeAnimation&& other) noexcept
    : _duration{std::exchange(other._duration, 0.0f)}, _trackCount{std::exchange(other._trackCount,
                                                                                 0)},
      _serial{std::exchange(other._serial, 0)}, _name{std::exchange(other._name, {})},
      _ratios{std::exchange(other._ratios, {})}, _channels{std::exchange(other._channels, {})} {}

RuntimeAnimation& RuntimeAnimation::operator=(RuntimeAnimation&& other) noexcept {
    std::swap(_duration, other._duration);
    std::swap(_trackCount, other._trackCount);
    std::swap(_serial, other._serial);
    std::swap(_name, other._name);
    std::swap(_ratios, other._ratios);
    std::swap(_channels, other._channels);
    return *this;
}

std::size_t RuntimeAnimation::byteSize() const {
    std::size_t size = sizeof(RuntimeAnimation) + allocatedBytes(_ratios);
    /* A short name is stored inside the string object */
    const auto* object = reinterpret_cast<const char*>(&_name);
    if (_name.data() < object || _name.data() >= object + sizeof(_name))
        size += _name.capacity() + 1;
    for (const Implementation::KeyChannel& channel : _channels)
        size += allocatedBytes(channel.trackBegin) + allocatedBytes(channel.values) +
                allocatedBytes(channel.narrowTimes) + allocatedBytes(channel.wideTimes);
    return size;
}

} // namespace ZarvikEngine::Skeletal
