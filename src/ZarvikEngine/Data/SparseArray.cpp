#include "ZarvikEngine/Data/SparseArray.h"

#include <algorithm>
#include <utility>

#include <fmt/format.h>

#include "ZarvikEngine/Data/RecordValidation.h"
#include "ZarvikEngine/Debug.h"

namespace ZarvikEngine {

static_assert(sizeof(SparseArray::Header) == 16, "the header is an exchange format");

/* Slots added when add() finds the array full */
constexpr std::size_t GrowthOnTheFly = 32;

SparseArray::SparseArray(std::size_t extraHeaderSize) : _data(headerSize() + extraHeaderSize) {
    mutableHeader().headerSize = std::uint32_t(_data.size());
}

SparseArray::~SparseArray() = default;

void SparseArray::create(std::vector<char>&& data) {
    std::swap(_data, data);
    init();
}

void SparseArray::init() {
    _partition = Utils::MemoryPartition{4};
    const std::size_t n = capacity();
    _partition.addRegion<char>(_data, header().headerSize);
    _indirection = _partition.addRegion<std::uint16_t>(_data, n);
    _indirectionReverse = _partition.addRegion<Data::Id>(_data, n);
    doInit();
}

void SparseArray::allocate(unsigned short newCapacity) {
    const unsigned short oldCapacity = capacity();
    ZE_ASSERT(newCapacity >= oldCapacity, "SparseArray::allocate(): Cannot shrink from"
                                              << oldCapacity << "to" << newCapacity << "slots");
    const std::size_t blockSize =
        header().headerSize + baseDataSize(newCapacity) + dataSize(newCapacity);
    _data.resize(blockSize);
    mutableHeader().capacity = newCapacity;
    mutableHeader().blockSize = std::uint32_t(blockSize);

    const Utils::MemoryPartition old = _partition;
    init();
    if (old.usedRegionCount())
        Utils::moveRegions(old, _partition, _data);

    if (newCapacity > oldCapacity)
        doConstruct(oldCapacity, newCapacity);
}

Data::Id SparseArray::add() {
    if (size() >= capacity()) {
        ZE_ASSERT(capacity() < MaxCapacity,
                  "SparseArray::add(): Capacity of" << MaxCapacity << "elements exhausted");
        Warning{} << "SparseArray::add(): On the fly allocation was required";
        allocate(IndexType(std::min(size() + GrowthOnTheFly, MaxCapacity)));
    }

    Header& header = mutableHeader();
    const unsigned short index = header.size++;
    if (index < header.usedCount)
        return _indirectionReverse[index];

    ZE_INTERNAL_ASSERT(_indirection[index] == 0);
    ZE_INTERNAL_ASSERT(_indirectionReverse[index] == Data::Id(0));
    _indirection[index] = index;
    _indirectionReverse[index] = Data::Id(index);
    header.usedCount = header.size;
    return Data::Id(index);
}

void SparseArray::remove(unsigned short index) {
    /* A removed element's Id maps past the live ones */
    ZE_ASSERT(index < size(), "SparseArray::remove(): index" << index << "out of range for"
                                                             << size() << "elements");
    swap(index, size() - 1);
    const unsigned short freed = --mutableHeader().size;
    doDelete(freed);
}

void SparseArray::swap(unsigned short a, unsigned short b) {
    if (a == b)
        return;
    const Data::Id idA = _indirectionReverse[a], idB = _indirectionReverse[b];
    _indirection[std::size_t(idA)] = b;
    _indirection[std::size_t(idB)] = a;
    _indirectionReverse[a] = idB;
    _indirectionReverse[b] = idA;
    doSwap(a, b);
}

void SparseArray::append(const SparseArray& other, bool callDoAppend) {
    const std::size_t begin = size(), end = begin + other.size();
    ZE_ASSERT(end <= MaxCapacity, "SparseArray::append(): Appending"
                                      << other.size() << "elements to" << begin
                                      << "would exceed the limit of" << MaxCapacity);
    if (end > capacity())
        allocate(IndexType(end));

    const unsigned short usedCount = header().usedCount;
    for (std::size_t k = begin; k != end; ++k) {
        const Data::Id id = k < usedCount ? _indirectionReverse[k] : Data::Id(k);
        _indirectionReverse[k] = id;
        _indirection[std::size_t(id)] = std::uint16_t(k);
    }

    if (callDoAppend) {
        doAppend(other);
        mutableHeader().size = std::uint16_t(end);
    }
    mutableHeader().usedCount = std::max(usedCount, std::uint16_t(end));
}

std::optional<std::string> SparseArray::validateHeader(std::span<const char> data,
                                                       std::size_t headerSize) {
    if (data.size() < sizeof(Header))
        return fmt::format("{} bytes can't hold the {}-byte header", data.size(), sizeof(Header));
    const Header header = Data::Validation::read<Header>(data.data());
    if (header.headerSize != headerSize)
        return fmt::format("a header area of {} bytes, expected {}", header.headerSize, headerSize);
    if (data.size() < headerSize)
        return fmt::format("{} bytes can't hold the {}-byte header area", data.size(), headerSize);
    /* Zero until the first allocation */
    const bool neverAllocated = header.blockSize == 0 && header.capacity == 0;
    if (header.blockSize != data.size() && !neverAllocated)
        return fmt::format("the header gives a block of {} bytes, got {}", header.blockSize,
                           data.size());
    return {};
}

std::optional<std::string> SparseArray::validateSize(std::span<const char> data,
                                                     std::size_t dataSize) {
    const Header header = Data::Validation::read<Header>(data.data());
    const std::size_t expected = header.headerSize + baseDataSize(header.capacity) + dataSize;
    if (data.size() != expected)
        return fmt::format("expected {} bytes for a capacity of {}, got {}", expected,
                           header.capacity, data.size());
    return {};
}

std::optional<std::string> SparseArray::validateMaps(std::span<const char> data) {
    const Header header = Data::Validation::read<Header>(data.data());
    if (header.size > header.usedCount || header.usedCount > header.capacity)
        return fmt::format("size {} and {} used slots don't fit a capacity of {}", header.size,
                           header.usedCount, header.capacity);
    const auto indirection = [&](std::size_t id) {
        return Data::Validation::read<std::uint16_t>(data.data() + header.headerSize + 2 * id);
    };
    const auto reverse = [&](std::size_t index) {
        return Data::Validation::read<std::uint16_t>(data.data() + header.headerSize +
                                                     2 * std::size_t(header.capacity) + 2 * index);
    };
    /* The Ids handed out are exactly 0 to usedCount - 1, so with each in its slot once and
       pointing back, the two maps are inverse permutations */
    for (std::size_t index = 0; index != header.usedCount; ++index) {
        const std::size_t id = reverse(index);
        if (id >= header.usedCount || indirection(id) != index)
            return fmt::format("the Id maps disagree at index {}", index);
    }
    for (std::size_t index = header.usedCount; index != header.capacity; ++index)
        if (reverse(index) != 0 || indirection(index) != 0)
            return fmt::format("slot {} was never used but its maps aren't zero", index);
    return {};
}

bool SparseArray::isDeleted(Data::Id id) const {
    ZE_INTERNAL_ASSERT(IndexType(id) < capacity());
    const unsigned short index = toIndex(id);
    return index >= size() && index < header().usedCount;
}

} // namespace ZarvikEngine
