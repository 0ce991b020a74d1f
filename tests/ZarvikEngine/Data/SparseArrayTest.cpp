#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "TestManagers.h"
#include "ZarvikEngine/Data/SparseArray.h"

namespace ZarvikEngine {
namespace {

using Data::Id;
using Data::Test::assertionPattern;
using Data::Test::readAt;
using Calls = std::vector<std::string>;

/* One int per element after the maps, hooks recorded */
class Column : public SparseArray {
public:
    explicit Column(std::size_t extraHeaderSize = 0) : SparseArray{extraHeaderSize} {}

    void copy(unsigned short source, unsigned short destination) override {
        values[destination] = values[source];
    }
    std::size_t dataSize(unsigned short capacity) const override { return 4 * capacity; }
    int& value(Id id) { return values[toIndex(id)]; }

    /* Ids of indices 0 to usedCount - 1 */
    std::vector<unsigned> reverseMap() const {
        std::vector<unsigned> ids;
        for (unsigned short i = 0; i != header().usedCount; ++i)
            ids.push_back(unsigned(toId(i)));
        return ids;
    }

    std::span<int> values;
    Calls calls;

protected:
    void doInit() override { values = partition().addRegion<int>(block(), capacity()); }
    void doConstruct(unsigned short first, unsigned short end) override {
        record("construct", first, end);
    }
    void doSwap(unsigned short a, unsigned short b) override {
        std::swap(values[a], values[b]);
        record("swap", a, b);
    }
    void doDelete(unsigned short index) override {
        values[index] = 0;
        record("delete", index);
    }
    void doAppend(const SparseArray& other) override {
        const auto& column = static_cast<const Column&>(other);
        std::copy_n(column.values.begin(), other.size(), values.begin() + size());
        record("append", other.size());
    }

private:
    void record(std::string hook, unsigned a, int b = -1) {
        calls.push_back(hook + ' ' + std::to_string(a) + (b < 0 ? "" : ' ' + std::to_string(b)));
    }
};

TEST(SparseArray, AddsRemovesAndRecyclesIds) {
    Column array;
    std::ostringstream warnings;
    {
        Warning redirect{&warnings};
        for (unsigned i = 0; i != 3; ++i)
            EXPECT_EQ(array.add(), Id(i));
    }
    /* One growth by 32 for the three additions */
    EXPECT_EQ(warnings.str(), "SparseArray::add(): On the fly allocation was required\n");
    EXPECT_EQ(array.remainingCapacity(), 29);
    EXPECT_EQ(std::exchange(array.calls, {}), Calls{"construct 0 32"});
    for (unsigned i = 0; i != 3; ++i)
        array.value(Id(i)) = 10 + int(i);

    /* The last element fills the hole, the removed Id is parked behind the live ones */
    array.remove(Id(0));
    EXPECT_EQ(std::exchange(array.calls, {}), (Calls{"swap 0 2", "delete 2"}));
    EXPECT_EQ(array.size(), 2);
    EXPECT_EQ(array.value(Id(2)), 12);
    EXPECT_EQ(array.value(Id(1)), 11);
    EXPECT_EQ(array.reverseMap(), (std::vector<unsigned>{2, 1, 0}));
    EXPECT_TRUE(array.isDeleted(Id(0)));
    EXPECT_FALSE(array.isValid(Id(0)));
    EXPECT_FALSE(array.isDeleted(Id(1)));
    EXPECT_FALSE(array.isValid(Id(32)));

    /* Removing the last element swaps nothing */
    array.remove(Id(1));
    EXPECT_EQ(std::exchange(array.calls, {}), Calls{"delete 1"});
    EXPECT_EQ(array.reverseMap(), (std::vector<unsigned>{2, 1, 0}));

    /* Parked Ids come back in the order of their slots, cleared */
    EXPECT_EQ(array.add(), Id(1));
    EXPECT_EQ(array.add(), Id(0));
    EXPECT_EQ(array.add(), Id(3));
    EXPECT_EQ(array.value(Id(0)), 0);
    EXPECT_EQ(array.header().usedCount, 4);

    array.swap(1, 1);
    EXPECT_TRUE(array.calls.empty());
    array.swap(0, 3);
    EXPECT_EQ(array.toIndex(Id(2)), 3);
    EXPECT_EQ(array.toIndex(Id(3)), 0);
    EXPECT_EQ(array.value(Id(2)), 12);

    EXPECT_DEATH(array.isDeleted(Id(32)), assertionPattern("IndexType(id) < capacity()",
                                                           "ZarvikEngine/Data/SparseArray.cpp"));
}

TEST(SparseArray, BlockLayoutAndRoundTrip) {
    /* Four bytes of a derived header, three slots: header area 20 bytes, maps of 6 bytes
       each at 20 and 26, the int column at 32 */
    Column array{4};
    EXPECT_EQ(array.data().size(), 20u);
    array.allocate(3);
    for (int i = 0; i != 3; ++i)
        array.value(array.add()) = 100 + i;
    array.remove(Id(1));

    const std::span<const char> block = array.data();
    ASSERT_EQ(block.size(), 20u + 2 * 6 + 12);
    /* headerSize, blockSize, capacity, size, usedCount, reserved */
    EXPECT_EQ(readAt<std::uint32_t>(block, 0), 20u);
    EXPECT_EQ(readAt<std::uint32_t>(block, 4), block.size());
    EXPECT_EQ(readAt<std::uint16_t>(block, 8), 3);
    EXPECT_EQ(readAt<std::uint16_t>(block, 10), 2);
    EXPECT_EQ(readAt<std::uint16_t>(block, 12), 3);
    EXPECT_EQ(readAt<std::uint16_t>(block, 14), 0);
    /* Id → index (Id 1 parked at 2, Id 2 moved to 1), index → Id, the values */
    const std::uint16_t maps[]{0, 2, 1, 0, 2, 1};
    for (std::size_t i = 0; i != 6; ++i)
        EXPECT_EQ(readAt<std::uint16_t>(block, 20 + 2 * i), maps[i]) << i;
    EXPECT_EQ(readAt<std::int32_t>(block, 32), 100);
    EXPECT_EQ(readAt<std::int32_t>(block, 36), 102);
    EXPECT_EQ(readAt<std::int32_t>(block, 40), 0);

    Column copy{4};
    std::vector<char> data{block.begin(), block.end()};
    copy.create(std::move(data));
    EXPECT_EQ(data.size(), 20u); /* exchanged with the unallocated block */
    EXPECT_EQ(copy.size(), 2);
    EXPECT_EQ(copy.reverseMap(), array.reverseMap());
    EXPECT_TRUE(copy.isDeleted(Id(1)));
    EXPECT_EQ(copy.value(Id(2)), 102);
    EXPECT_EQ(copy.add(), Id(1));

    /* Growth moves the column behind the longer maps; new slots read zero */
    array.calls.clear();
    array.allocate(5);
    EXPECT_EQ(array.calls, Calls{"construct 3 5"});
    ASSERT_EQ(array.data().size(), 20u + 2 * 10 + 20);
    EXPECT_EQ(readAt<std::uint32_t>(array.data(), 4), array.data().size());
    EXPECT_EQ(readAt<std::uint16_t>(array.data(), 30), 0); /* Id → index of Id 5 */
    EXPECT_EQ(readAt<std::uint16_t>(array.data(), 34), 1); /* index → Id of index 2 */
    EXPECT_EQ((std::vector<int>{array.values.begin(), array.values.end()}),
              (std::vector<int>{100, 102, 0, 0, 0}));
}

TEST(SparseArray, AppendsWithRecycledIds) {
    Column array, other;
    array.allocate(4);
    for (int i = 0; i != 4; ++i)
        array.value(array.add()) = i;
    array.remove(Id(1));
    array.remove(Id(3));
    ASSERT_EQ(array.reverseMap(), (std::vector<unsigned>{0, 2, 3, 1}));
    other.allocate(3);
    for (int i = 0; i != 3; ++i)
        other.value(other.add()) = 50 + i;

    /* The parked Ids are taken first, then fresh ones */
    array.calls.clear();
    array.append(other, true);
    EXPECT_EQ(std::exchange(array.calls, {}), (Calls{"construct 4 5", "append 3"}));
    EXPECT_EQ(array.size(), 5);
    EXPECT_EQ(array.capacity(), 5);
    EXPECT_EQ(array.reverseMap(), (std::vector<unsigned>{0, 2, 3, 1, 4}));
    EXPECT_EQ(array.value(Id(3)), 50);
    EXPECT_EQ(array.value(Id(1)), 51);
    EXPECT_EQ(array.value(Id(4)), 52);

    /* Without the hook only Ids are assigned: the caller copies and sets the size */
    array.append(other, false);
    EXPECT_EQ(array.calls, Calls{"construct 5 8"});
    EXPECT_EQ(array.size(), 5);
    EXPECT_EQ(array.header().usedCount, 8);
    EXPECT_EQ(array.toIndex(Id(7)), 7);
    EXPECT_EQ(array.add(), Id(5));
}

TEST(SparseArray, CapacityIsSixteenBit) {
    Column array;
    array.allocate(65500);
    for (int i = 0; i != 65500; ++i)
        array.add();
    /* Growth by 32 stops at the limit, one warning per growth */
    std::ostringstream warnings;
    {
        Warning redirect{&warnings};
        array.add();
        EXPECT_EQ(warnings.str(), "SparseArray::add(): On the fly allocation was required\n");
        EXPECT_EQ(array.capacity(), 65532);
        for (int i = 0; i != 34; ++i)
            array.add();
    }
    EXPECT_EQ(array.capacity(), 65535);
    EXPECT_EQ(array.toIndex(Id(65534)), 65534);
    ZE_EXPECT_ABORT(array.add(), "SparseArray::add(): Capacity of 65535 elements exhausted");

    array.remove(Id(7));
    Column two;
    two.allocate(2);
    two.add();
    two.add();
    ZE_EXPECT_ABORT(array.append(two, true),
                    "SparseArray::append(): Appending 2 elements to 65534 would exceed the "
                    "limit of 65535");
    ZE_EXPECT_ABORT(Column{}.remove(0), "SparseArray::remove(): index 0 out of range for 0 "
                                        "elements");
    ZE_EXPECT_ABORT(array.allocate(3), "SparseArray::allocate(): Cannot shrink from 65535 to 3 "
                                       "slots");
}

} // namespace
} // namespace ZarvikEngine
