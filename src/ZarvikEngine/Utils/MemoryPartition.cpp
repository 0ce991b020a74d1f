#include "ZarvikEngine/Utils/MemoryPartition.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

#include "ZarvikEngine/Utils/Align.h"

namespace ZarvikEngine::Utils {

MemoryPartition::MemoryPartition(std::size_t regionCount) : _regions(regionCount) {}

MemoryPartition::MemoryPartition(MemoryPartition&& other) noexcept
    : _regions{std::exchange(other._regions, {})},
      _usedRegionCount{std::exchange(other._usedRegionCount, 0)}, _offset{std::exchange(
                                                                      other._offset, 0)} {}

MemoryPartition& MemoryPartition::operator=(MemoryPartition&& other) noexcept {
    _regions = std::exchange(other._regions, {});
    _usedRegionCount = std::exchange(other._usedRegionCount, 0);
    _offset = std::exchange(other._offset, 0);
    return *this;
}

void MemoryPartition::checkRoom() const {
    ZE_ASSERT(_usedRegionCount < _regions.size(),
              "MemoryPartition::addRegion(): exceeded initialized region count");
}

const MemoryPartition::Region& MemoryPartition::store(std::size_t size) {
    Region& region = _regions[_usedRegionCount++];
    region = {_offset, size};
    _offset += size;
    return region;
}

const MemoryPartition::Region& MemoryPartition::appendRegion(std::size_t size, bool aligned) {
    checkRoom();
    ZE_ASSERT(!aligned || _offset % 4 == 0,
              "MemoryPartition::addRegion(): region is not 4 byte aligned.");
    return store(size);
}

const MemoryPartition::Region& MemoryPartition::appendFinalRegion(std::size_t blockSize) {
    checkRoom();
    ZE_ASSERT(_offset <= blockSize,
              "MemoryPartition::addFinalRegion(): data size smaller than current offset");
    return store(blockSize - _offset);
}

void MemoryPartition::checkInsideBlock(const Region& region, std::size_t blockSize) {
    ZE_ASSERT(region.offset + region.size <= blockSize,
              "Containers::ArrayView::slice(): slice ["
                  << Debug::nospace << region.offset << Debug::nospace << ":" << Debug::nospace
                  << region.offset + region.size << Debug::nospace << "] out of range for"
                  << blockSize << "elements");
}

void MemoryPartition::checkAlignedData(const void* data) {
    ZE_ASSERT(reinterpret_cast<std::uintptr_t>(data) % 4 == 0,
              "MemoryPartition::addRegion(): region data is not 4 byte aligned.");
}

MemoryPartition& MemoryPartition::alignNext() {
    _offset = fourByteAlign(_offset);
    return *this;
}

void MemoryPartition::reserveRegions(std::size_t count) {
    _regions.resize(_regions.size() + count);
}

MemoryPartition& MemoryPartition::removeRegions(std::size_t first, std::size_t count) {
    if (!count)
        return *this;
    ZE_ASSERT(first + count <= _usedRegionCount,
              "MemoryPartition::removeRegions(): Can't remove more regions than size");

    const std::size_t removed = end(first + count - 1) - offset(first);
    /* The table keeps its capacity: later entries move down and the freed entries at the end
       read zero, as after reserveRegions() */
    const auto tail = std::copy(_regions.begin() + std::ptrdiff_t(first + count), _regions.end(),
                                _regions.begin() + std::ptrdiff_t(first));
    std::fill(tail, _regions.end(), Region{});
    _usedRegionCount -= count;
    for (std::size_t i = first; i != _usedRegionCount; ++i)
        _regions[i].offset -= removed;
    _offset = _usedRegionCount ? end(_usedRegionCount - 1) : 0;
    return *this;
}

StridedArrayView1D<const std::size_t> MemoryPartition::offsets() const {
    if (_regions.empty())
        return {};
    return {&_regions.front().offset, _regions.size(), sizeof(Region)};
}

StridedArrayView1D<const std::size_t> MemoryPartition::sizes() const {
    if (_regions.empty())
        return {};
    return {&_regions.front().size, _regions.size(), sizeof(Region)};
}

void moveRegions(const MemoryPartition& from, const MemoryPartition& to, std::span<char> block) {
    ZE_ASSERT(from.usedRegionCount() == to.usedRegionCount(),
              "moveRegions(): Can't move partitions with different region counts");
    const std::size_t count = from.usedRegionCount();
    if (count < 2)
        return;
    ZE_INTERNAL_ASSERT(to.end(count - 1) <= block.size());

    /* Region 0 starts the block and never moves */
    for (std::size_t i = count - 1; i != 0; --i) {
        const std::size_t source = from.offset(i), target = to.offset(i);
        if (source == target)
            continue;
        ZE_INTERNAL_ASSERT(source < target);
        std::memmove(block.data() + target, block.data() + source, from.size(i));
        std::memset(block.data() + source, 0, target - source);
    }
}

void copyRegions(const MemoryPartition& source, const MemoryPartition& destination,
                 std::span<const char> sourceBlock, std::span<char> destinationBlock,
                 std::span<const std::size_t> offsets) {
    const std::size_t count = source.usedRegionCount();
    ZE_ASSERT(count == destination.usedRegionCount(),
              "copyRegions(): Can't copy partitions with different region counts");
    ZE_ASSERT(offsets.size() == count, "copyRegions(): Offset count did not match region counts");
    for (std::size_t i = 0; i != count; ++i) {
        const std::size_t size = source.size(i);
        ZE_ASSERT(destination.size(i) == size + offsets[i],
                  "copyRegions(): Region size did not match");
        if (!size)
            continue;
        ZE_INTERNAL_ASSERT(source.end(i) <= sourceBlock.size() &&
                           destination.end(i) <= destinationBlock.size());
        std::memcpy(destinationBlock.data() + destination.offset(i) + offsets[i],
                    sourceBlock.data() + source.offset(i), size);
    }
}

void removeRegions(const MemoryPartition& partition, std::span<char> block, unsigned int first,
                   unsigned int count) {
    if (!count)
        return;
    ZE_INTERNAL_ASSERT(first + count <= partition.usedRegionCount());
    const std::size_t start = partition.offset(first), stop = partition.end(first + count - 1);
    ZE_INTERNAL_ASSERT(stop <= block.size());
    if (stop == start)
        return;
    std::memmove(block.data() + start, block.data() + stop, block.size() - stop);
    std::memset(block.data() + block.size() - (stop - start), 0, stop - start);
}

namespace Implementation {

void moveByteRange(std::span<char> data, std::size_t begin, std::size_t count, std::size_t target) {
    ZE_INTERNAL_ASSERT(begin + count <= data.size() && target <= data.size());
    ZE_INTERNAL_ASSERT(target <= begin || target >= begin + count);
    if (!count || target == begin || target == begin + count)
        return;

    /* Short runs (single elements, as when components move between groups) stay on the
       stack, so that hot paths don't allocate */
    char stackRun[256];
    std::unique_ptr<char[]> heapRun;
    char* run = stackRun;
    if (count > sizeof(stackRun)) {
        heapRun = std::make_unique_for_overwrite<char[]>(count);
        run = heapRun.get();
    }
    char* const bytes = data.data();
    std::memcpy(run, bytes + begin, count);
    if (begin > target) {
        std::memmove(bytes + target + count, bytes + target, begin - target);
        std::memcpy(bytes + target, run, count);
    } else {
        std::memmove(bytes + begin, bytes + begin + count, target - begin - count);
        std::memcpy(bytes + target - count, run, count);
    }
}

} // namespace Implementation

} // namespace ZarvikEngine::Utils
