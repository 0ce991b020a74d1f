#ifndef ZarvikEngine_Trade_Data_h
#define ZarvikEngine_Trade_Data_h

#include <cstdint>
#include <span>
#include <vector>

#include "ZarvikEngine/Containers/EnumSet.h"
#include "ZarvikEngine/Debug.h"

namespace ZarvikEngine::Trade {

enum class DataFlag : std::uint8_t {
    /* Owned by the instance and freed with it */
    Owned = 1 << 0,
    /* Can be modified through the instance */
    Mutable = 1 << 1,
};

using DataFlags = EnumSet<DataFlag>;
ZE_ENUMSET_OPERATORS(DataFlags)

/* "Trade::DataFlag::Owned" */
Debug& operator<<(Debug& debug, DataFlag value);
/* "Trade::DataFlag::Owned|Trade::DataFlag::Mutable", "Trade::DataFlags{}" when empty */
Debug& operator<<(Debug& debug, DataFlags value);

/* The bytes a data class refers to: an owned array, or a view of memory that someone else
   owns and that has to outlive the storage. Move-only; a moved-from storage is empty. */
class DataStorage {
public:
    /* Empty and owned */
    DataStorage() = default;

    /* Takes the array over */
    DataStorage(std::vector<char>&& data) noexcept;

    /* Non-owning, read-only */
    static DataStorage view(std::span<const char> data);

    /* Non-owning, writable */
    static DataStorage mutableView(std::span<char> data);

    DataStorage(DataStorage&& other) noexcept;
    DataStorage& operator=(DataStorage&& other) noexcept;

    DataFlags flags() const { return _flags; }

    std::span<const char> data() const { return {_data, _size}; }

    /* Aborts unless the flags contain DataFlag::Mutable */
    std::span<char> mutableData();

    /* Moves an owned array out, leaving the storage empty; aborts for a view */
    std::vector<char> release();

private:
    DataStorage(DataFlags flags, const char* data, std::size_t size)
        : _flags{flags}, _data{data}, _size{size} {}

    static constexpr DataFlags OwnedFlags = DataFlag::Owned | DataFlag::Mutable;

    std::vector<char> _owned;
    DataFlags _flags{OwnedFlags};
    /* Points into _owned for owned data */
    const char* _data{};
    std::size_t _size{};
};

} // namespace ZarvikEngine::Trade

#endif
