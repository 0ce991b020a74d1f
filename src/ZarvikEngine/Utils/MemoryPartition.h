#ifndef ZarvikEngine_Utils_MemoryPartition_h
#define ZarvikEngine_Utils_MemoryPartition_h

#include <cstddef>
#include <span>
#include <type_traits>
#include <vector>

#include "ZarvikEngine/Containers/ArrayCast.h"
#include "ZarvikEngine/Containers/StridedArrayView.h"
#include "ZarvikEngine/Debug.h"

namespace ZarvikEngine::Utils {

/* Table of packed (offset, size) regions laid over one byte block that it does not own.
   Owners keep all their arrays in one block and rebuild this table from their stored counts
   whenever the block is loaded or grown. */
class MemoryPartition {
public:
    struct Region {
        std::size_t offset;
        std::size_t size;
    };

    /* Room for regionCount regions, none used yet */
    explicit MemoryPartition(std::size_t regionCount);

    MemoryPartition(const MemoryPartition&) = default;
    MemoryPartition& operator=(const MemoryPartition&) = default;
    /* The source is left without regions */
    MemoryPartition(MemoryPartition&& other) noexcept;
    MemoryPartition& operator=(MemoryPartition&& other) noexcept;

    /* Appends a region of count elements of T at the current offset and views it over block
       (anything std::span can be made of, with char or const char elements). A read-only
       block gives read-only elements. */
    template<class T, class Block>
    auto addRegion(Block&& block, std::size_t count) {
        return regionView<T>(bytesOf(block), appendRegion(count * sizeof(T), false));
    }

    /* Like addRegion(), for regions whose offset and data must be 4-byte aligned */
    template<class T, class Block>
    auto addAlignedRegion(Block&& block, std::size_t count) {
        const auto view = regionView<T>(bytesOf(block), appendRegion(count * sizeof(T), true));
        checkAlignedData(view.data());
        return view;
    }

    /* Appends a region from the current offset to the end of block */
    template<class Block>
    auto addFinalRegion(Block&& block) {
        const auto bytes = bytesOf(block);
        const Region& region = appendFinalRegion(bytes.size());
        return bytes.subspan(region.offset, region.size);
    }

    /* Rounds the current offset up to a multiple of 4 */
    MemoryPartition& alignNext();

    /* Adds count zeroed entries to the capacity */
    void reserveRegions(std::size_t count);

    /* Forgets regions first to first + count - 1, moving the later entries down so that
       their offsets match a block from which the removed bytes were cut out */
    MemoryPartition& removeRegions(std::size_t first, std::size_t count);

    std::size_t offset(std::size_t index) const {
        ZE_INTERNAL_ASSERT(index < _regions.size());
        return _regions[index].offset;
    }
    std::size_t size(std::size_t index) const {
        ZE_INTERNAL_ASSERT(index < _regions.size());
        return _regions[index].size;
    }
    std::size_t end(std::size_t index) const {
        ZE_INTERNAL_ASSERT(index < _regions.size());
        return _regions[index].offset + _regions[index].size;
    }

    /* Offsets and sizes of every entry, used or not */
    StridedArrayView1D<const std::size_t> offsets() const;
    StridedArrayView1D<const std::size_t> sizes() const;

    std::size_t usedRegionCount() const { return _usedRegionCount; }

private:
    template<class Block>
    static auto bytesOf(Block& block) {
        using Byte = typename decltype(std::span{block})::element_type;
        static_assert(std::is_same_v<std::remove_const_t<Byte>, char>,
                      "regions are laid over blocks of char");
        return std::span<Byte>{block};
    }

    template<class T, class Byte>
    static auto regionView(std::span<Byte> block, const Region& region) {
        using Element = std::conditional_t<std::is_const_v<Byte>, const T, T>;
        checkInsideBlock(region, block.size());
        return arrayCast<Element>(block.subspan(region.offset, region.size));
    }

    /* Check the table has room (and the offset's alignment if asked), then store the entry */
    const Region& appendRegion(std::size_t size, bool aligned);
    const Region& appendFinalRegion(std::size_t blockSize);
    void checkRoom() const;
    const Region& store(std::size_t size);
    static void checkInsideBlock(const Region& region, std::size_t blockSize);
    static void checkAlignedData(const void* data);

    std::vector<Region> _regions;
    std::size_t _usedRegionCount{};
    std::size_t _offset{};
};

/* Moves every region's bytes from its offset in `from` to its offset in `to`. Serves growth
   in place: regions only move towards the end, so going from the last to the first never
   overwrites bytes not yet moved, and the bytes each region leaves behind are zeroed. */
void moveRegions(const MemoryPartition& from, const MemoryPartition& to, std::span<char> block);

/* Copies each source region behind the first offsets[i] bytes of the matching destination
   region, which must be exactly that much larger (appending one block's contents to
   another's) */
void copyRegions(const MemoryPartition& source, const MemoryPartition& destination,
                 std::span<const char> sourceBlock, std::span<char> destinationBlock,
                 std::span<const std::size_t> offsets);

/* Cuts the bytes of regions first to first + count - 1 out of block, moving the rest down and
   zeroing the freed tail. The partition itself is left as it is; its owner updates its own
   with MemoryPartition::removeRegions(). */
void removeRegions(const MemoryPartition& partition, std::span<char> block, unsigned int first,
                   unsigned int count);

namespace Implementation {
void moveByteRange(std::span<char> data, std::size_t begin, std::size_t count, std::size_t target);
}

/* Moves elements [begin, begin + count) so that they end up right before the element that was
   at target, shifting the elements in between */
template<class T>
void moveDataRange(std::span<T> data, unsigned int begin, unsigned int count, unsigned int target) {
    /* Math types aren't trivially copyable (their constructors initialize), but they are
       plain values that can be moved bytewise */
    static_assert(std::is_trivially_destructible_v<T>, "elements are moved bytewise");
    Implementation::moveByteRange(
        std::span<char>{reinterpret_cast<char*>(data.data()), data.size_bytes()}, begin * sizeof(T),
        count * sizeof(T), target * sizeof(T));
}

} // namespace ZarvikEngine::Utils

#endif
