#include "ZarvikEngine/Trade/Data.h"

#include <utility>

namespace ZarvikEngine::Trade {

Debug& operator<<(Debug& debug, DataFlag value) {
    return printEnum(debug, "Trade::DataFlag",
                     value == DataFlag::Owned     ? "Owned"
                     : value == DataFlag::Mutable ? "Mutable"
                                                  : "",
                     std::uint8_t(value));
}

Debug& operator<<(Debug& debug, DataFlags value) {
    return printEnumSet(debug, value, "Trade::DataFlags{}");
}

DataStorage::DataStorage(std::vector<char>&& data) noexcept
    : _owned{std::move(data)}, _data{_owned.data()}, _size{_owned.size()} {}

DataStorage DataStorage::view(std::span<const char> data) {
    return DataStorage{{}, data.data(), data.size()};
}

DataStorage DataStorage::mutableView(std::span<char> data) {
    return DataStorage{DataFlag::Mutable, data.data(), data.size()};
}

DataStorage::DataStorage(DataStorage&& other) noexcept
    : _owned{std::move(other._owned)}, _flags{std::exchange(other._flags, OwnedFlags)},
      _data{std::exchange(other._data, nullptr)}, _size{std::exchange(other._size, 0)} {}

DataStorage& DataStorage::operator=(DataStorage&& other) noexcept {
    _owned = std::move(other._owned);
    _flags = std::exchange(other._flags, OwnedFlags);
    _data = std::exchange(other._data, nullptr);
    _size = std::exchange(other._size, 0);
    return *this;
}

std::span<char> DataStorage::mutableData() {
    ZE_ASSERT(_flags >= DataFlag::Mutable, "Trade::DataStorage::mutableData(): data not mutable");
    /* Only owned arrays and views made from mutable memory get the flag */
    return {const_cast<char*>(_data), _size};
}

std::vector<char> DataStorage::release() {
    ZE_ASSERT(_flags >= DataFlag::Owned, "Trade::DataStorage::release(): data not owned");
    _data = nullptr;
    _size = 0;
    return std::move(_owned);
}

} // namespace ZarvikEngine::Trade
