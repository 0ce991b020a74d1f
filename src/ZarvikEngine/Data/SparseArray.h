#ifndef ZarvikEngine_Data_SparseArray_h
#define ZarvikEngine_Data_SparseArray_h

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ZarvikEngine/Data/Id.h"
#include "ZarvikEngine/Utils/MemoryPartition.h"

namespace ZarvikEngine {

/* Elements densely packed by index in one byte block, addressed from outside by stable,
   recycled Ids. Removal swaps the last element into the hole, so indices stay dense but move.
   Derived classes lay out their own columns after the two Id maps and are told through the
   do...() hooks when slots are initialised, swapped, deleted or appended.

   Block: header area (headerSize bytes, this class's Header first), Id → index map,
   index → Id map (2 bytes per slot each), then the derived regions (dataSize()). */
class SparseArray {
public:
    using IndexType = unsigned short;

    struct Header {
        std::uint32_t headerSize;
        std::uint32_t blockSize;
        std::uint16_t capacity;
        std::uint16_t size;
        /* Slots that ever held an element; [size, usedCount) park recycled Ids */
        std::uint16_t usedCount;
        std::uint16_t reserved;
    };

    /* Counts and indices are 16-bit */
    static constexpr std::size_t MaxCapacity = 65535;

    static constexpr std::size_t headerSize() { return sizeof(Header); }
    /* Bytes of the two Id maps */
    static std::size_t baseDataSize(unsigned short capacity) { return 4 * std::size_t(capacity); }

    /* A header area of extraHeaderSize bytes beyond Header, no slots */
    explicit SparseArray(std::size_t extraHeaderSize);
    /* Derived classes keep views into the block and may be linked to from elsewhere */
    SparseArray(const SparseArray&) = delete;
    SparseArray& operator=(const SparseArray&) = delete;
    virtual ~SparseArray();

    /* Takes a block laid out as data() gives it; the argument receives the previous one */
    void create(std::vector<char>&& data);

    /* Grows to capacity slots, keeping the contents; new slots read zero */
    virtual void allocate(unsigned short capacity);
    /* Copies one element's data onto another */
    virtual void copy(unsigned short source, unsigned short destination) = 0;
    /* Bytes of all regions after the Id maps */
    virtual std::size_t dataSize(unsigned short capacity) const = 0;

    /* Appends an element at index size(), growing by 32 slots when full */
    Data::Id add();
    /* Moves the last element into the hole */
    void remove(unsigned short index);
    void remove(Data::Id id) { remove(toIndex(id)); }
    void swap(unsigned short a, unsigned short b);
    /* Makes room for the other array's elements and gives them Ids. With callDoAppend the
       data is appended by doAppend() and the size grows; without it the caller copies the
       data and sets the size. */
    void append(const SparseArray& other, bool callDoAppend);

    Data::Id toId(unsigned short index) const { return _indirectionReverse[index]; }
    unsigned short toIndex(Data::Id id) const { return _indirection[std::size_t(id)]; }
    bool isValid(Data::Id id) const { return std::size_t(id) < capacity() && toIndex(id) < size(); }
    /* The Id is parked in a freed slot */
    bool isDeleted(Data::Id id) const;

    unsigned short size() const { return header().size; }
    unsigned short capacity() const { return header().capacity; }
    unsigned short remainingCapacity() const { return capacity() - size(); }
    const Header& header() const { return *reinterpret_cast<const Header*>(_data.data()); }
    /* The whole block */
    std::span<const char> data() const { return _data; }
    const std::vector<char>& dataArray() const { return _data; }

protected:
    /* Lays out the derived regions after (re)initialisation */
    virtual void doInit() = 0;
    /* Slots [first, end) were added by growth */
    virtual void doConstruct(unsigned short, unsigned short) {}
    virtual void doSwap(unsigned short a, unsigned short b) = 0;
    /* The slot at index was freed by remove() */
    virtual void doDelete(unsigned short) {}
    /* Copies the other array's element data behind this one's (size() not yet grown) */
    virtual void doAppend(const SparseArray&) {}

    /* Building blocks of the derived classes' static validate() functions, which check a
       block from outside the process before it is adopted. validateHeader() checks the
       sparse-array header of a block whose header area should be headerSize bytes; the
       derived header fields may be read once it passed. */
    static std::optional<std::string> validateHeader(std::span<const char> data,
                                                     std::size_t headerSize);
    /* The block holds exactly its header area, the Id maps and dataSize bytes of regions */
    static std::optional<std::string> validateSize(std::span<const char> data,
                                                   std::size_t dataSize);
    /* Live and parked Ids are those handed out so far, each in one slot with the Id → index
       map pointing back at it; slots never used hold zero in both maps */
    static std::optional<std::string> validateMaps(std::span<const char> data);
    /* Checks the derived regions of a copy of the block adopted after the checks above
       passed: everything else the derived classes rely on */
    virtual std::optional<std::string> validateRegions() const { return {}; }

    Header& mutableHeader() { return *reinterpret_cast<Header*>(_data.data()); }
    /* The partition of the block, for doInit() to add regions to */
    Utils::MemoryPartition& partition() { return _partition; }
    std::span<char> block() { return _data; }
    std::span<const char> block() const { return _data; }
    /* The maps, for derived classes that move elements by other means than swap() */
    std::span<std::uint16_t> indirection() { return _indirection; }
    std::span<Data::Id> indirectionReverse() { return _indirectionReverse; }

private:
    void init();

    std::vector<char> _data;
    Utils::MemoryPartition _partition{4};
    std::span<std::uint16_t> _indirection;
    std::span<Data::Id> _indirectionReverse;
};

} // namespace ZarvikEngine

#endif
