#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "ZarvikEngine/Utils/MemoryPartition.h"

namespace ZarvikEngine::Utils {
namespace {

std::vector<std::size_t> toVector(StridedArrayView1D<const std::size_t> view) {
    return {view.begin(), view.end()};
}

std::string bytes(std::span<const char> data) {
    return {data.begin(), data.end()};
}

std::span<char> charsOf(std::vector<int>& data) {
    return {reinterpret_cast<char*>(data.data()), data.size() * sizeof(int)};
}

/* A block whose regions hold known bytes: region i is filled with 'a' + i */
void fill(const MemoryPartition& partition, std::span<char> block) {
    for (std::size_t i = 0; i != partition.usedRegionCount(); ++i)
        std::fill_n(block.begin() + std::ptrdiff_t(partition.offset(i)), partition.size(i),
                    char('a' + i));
}

TEST(MemoryPartition, LaysOutRegionsBackToBack) {
    alignas(4) char storage[40]{};
    std::span<char> block{storage};
    MemoryPartition partition{4};

    partition.addRegion<std::uint16_t>(block, 3);
    std::span<float> values = partition.alignNext().addAlignedRegion<float>(block, 2);
    std::span<char> flags = partition.addRegion<char>(block, 5);
    std::span<char> rest = partition.addFinalRegion(block);

    EXPECT_EQ(toVector(partition.offsets()), (std::vector<std::size_t>{0, 8, 16, 21}));
    EXPECT_EQ(toVector(partition.sizes()), (std::vector<std::size_t>{6, 8, 5, 19}));
    EXPECT_EQ(reinterpret_cast<char*>(values.data()), storage + 8);
    EXPECT_EQ(values.size(), 2u);
    EXPECT_EQ(flags.data(), storage + 16);
    EXPECT_EQ(rest.data(), storage + 21);

    /* Copies are independent, moves leave an empty table */
    MemoryPartition copy = partition;
    copy.removeRegions(3, 1);
    EXPECT_EQ(partition.usedRegionCount(), 4u);
    MemoryPartition moved = std::move(copy);
    EXPECT_EQ(moved.usedRegionCount(), 3u);
    EXPECT_TRUE(copy.offsets().empty());

    /* Read-only blocks give read-only regions; a block exactly as large as the layout gets an
       empty final region, also in a reserved entry */
    const std::vector<char> constant(8);
    MemoryPartition readOnly{1};
    std::span<const int> ints = readOnly.addRegion<int>(constant, 2);
    readOnly.reserveRegions(1);
    EXPECT_TRUE(readOnly.addFinalRegion(std::span<const char>{constant}).empty());
    EXPECT_EQ(reinterpret_cast<const char*>(ints.data()), constant.data());
    EXPECT_EQ(toVector(readOnly.offsets()), (std::vector<std::size_t>{0, 8}));
}

TEST(MemoryPartition, RemovesRegionsFromTableAndBlock) {
    std::vector<char> block(16);
    MemoryPartition partition{5};
    partition.addRegion<char>(block, 2);
    partition.addRegion<char>(block, 3);
    partition.addRegion<char>(block, 4);
    partition.addRegion<char>(block, 5);
    fill(partition, block);

    /* Cutting regions 1 and 2 out of the block and the table keeps the two in step */
    removeRegions(partition, block, 1, 2);
    partition.removeRegions(1, 2);
    EXPECT_EQ(bytes(block), std::string("aaddddd\0\0\0\0\0\0\0\0\0", 16));
    EXPECT_EQ(partition.usedRegionCount(), 2u);
    EXPECT_EQ(toVector(partition.offsets()), (std::vector<std::size_t>{0, 2, 0, 0, 0}));
    EXPECT_EQ(toVector(partition.sizes()), (std::vector<std::size_t>{2, 5, 0, 0, 0}));

    /* The freed entries take new regions right after the remaining ones */
    std::span<char> next = partition.addRegion<char>(block, 3);
    EXPECT_EQ(next.data(), block.data() + 7);

    /* Removing everything left restarts at offset 0 */
    partition.removeRegions(0, 3);
    EXPECT_EQ(partition.usedRegionCount(), 0u);
    EXPECT_EQ(partition.addRegion<char>(block, 1).data(), block.data());
}

TEST(MemoryPartition, GrowsRegionsInPlace) {
    /* Regions of 8 and 4 bytes grow to 16 and 8 while the block grows from 12 to 24 */
    std::vector<char> block(12);
    MemoryPartition before{2};
    before.addRegion<char>(block, 8);
    before.addRegion<char>(block, 4);
    fill(before, block);

    block.resize(24);
    MemoryPartition after{2};
    after.addRegion<char>(block, 16);
    after.addRegion<char>(block, 8);
    moveRegions(before, after, block);
    EXPECT_EQ(bytes(block), std::string("aaaaaaaa\0\0\0\0\0\0\0\0bbbb\0\0\0\0", 24));

    /* A single region never moves */
    MemoryPartition single{1}, singleGrown{1};
    single.addRegion<char>(block, 4);
    singleGrown.addRegion<char>(block, 24);
    const std::string unchanged = bytes(block);
    moveRegions(single, singleGrown, block);
    EXPECT_EQ(bytes(block), unchanged);
}

TEST(MemoryPartition, CopiesRegionsBehindExistingData) {
    /* Appending a block of 1 + 2 ints to one of 2 + 1 ints */
    std::vector<int> sourceInts{10, 20, 21};
    std::vector<int> destinationInts{1, 2, 0, 3, 0, 0};
    const std::span<const char> sourceChars = charsOf(sourceInts);
    const std::span<char> destinationBlock = charsOf(destinationInts);

    MemoryPartition source{2}, destination{2};
    source.addRegion<int>(sourceChars, 1);
    source.addRegion<int>(sourceChars, 2);
    destination.addRegion<int>(destinationBlock, 3);
    destination.addRegion<int>(destinationBlock, 3);
    const std::size_t offsets[]{8, 4};
    copyRegions(source, destination, sourceChars, destinationBlock, offsets);
    EXPECT_EQ(destinationInts, (std::vector<int>{1, 2, 10, 3, 20, 21}));
}

TEST(MemoryPartition, MovesDataRanges) {
    std::string data = "abcdef";
    moveDataRange<char>(data, 1, 2, 5);
    EXPECT_EQ(data, "adebcf");

    moveDataRange<char>(data, 3, 2, 0);
    EXPECT_EQ(data, "bcadef");
    /* Target right before or right after the run leaves everything in place */
    moveDataRange<char>(data, 2, 3, 2);
    moveDataRange<char>(data, 2, 3, 5);
    EXPECT_EQ(data, "bcadef");

    /* Element counts are scaled by the element size, as the scene graph does with records */
    std::vector<std::uint64_t> records(7);
    std::iota(records.begin(), records.end(), 0x0101010101010100ull);
    moveDataRange<std::uint64_t>(records, 0, 1, 7);
    moveDataRange<std::uint64_t>(records, 4, 3, 1);
    EXPECT_EQ(records, (std::vector<std::uint64_t>{0x0101010101010101ull, 0x0101010101010105ull,
                                                   0x0101010101010106ull, 0x0101010101010100ull,
                                                   0x0101010101010102ull, 0x0101010101010103ull,
                                                   0x0101010101010104ull}));
}

TEST(MemoryPartitionDeathTest, ChecksLayoutAndTableAccess) {
    alignas(4) char storage[16]{};
    std::span<char> block{storage};

    ZE_EXPECT_ABORT(
        {
            MemoryPartition partition{1};
            partition.addRegion<char>(block, 1);
            partition.addRegion<char>(block, 1);
        },
        "MemoryPartition::addRegion(): exceeded initialized region count");
    ZE_EXPECT_ABORT(
        {
            MemoryPartition partition{1};
            partition.addFinalRegion(block);
            partition.addFinalRegion(block);
        },
        "MemoryPartition::addRegion(): exceeded initialized region count");
    ZE_EXPECT_ABORT(
        {
            MemoryPartition partition{2};
            partition.addRegion<char>(block, 3);
            partition.addAlignedRegion<int>(block, 1);
        },
        "MemoryPartition::addRegion(): region is not 4 byte aligned.");
    ZE_EXPECT_ABORT(MemoryPartition{1}.addAlignedRegion<int>(block.subspan(1), 1),
                    "MemoryPartition::addRegion(): region data is not 4 byte aligned.");
    ZE_EXPECT_ABORT(MemoryPartition{1}.addRegion<int>(block, 5),
                    "Containers::ArrayView::slice(): slice [0:20] out of range for 16 elements");
    ZE_EXPECT_ABORT(
        {
            MemoryPartition partition{2};
            partition.addRegion<char>(block, 3);
            partition.addFinalRegion(block.first(2));
        },
        "MemoryPartition::addFinalRegion(): data size smaller than current offset");

    std::vector<char> table(12);
    MemoryPartition partition{3};
    partition.addRegion<int>(table, 1);
    partition.addRegion<int>(table, 2);

    const std::string location = "failed at ZarvikEngine/Utils/MemoryPartition\\.(h|cpp):[0-9]+";
    EXPECT_DEATH(partition.size(3), "Assertion index < _regions\\.size\\(\\) " + location);
    EXPECT_DEATH(removeRegions(partition, table, 1, 2),
                 "Assertion first \\+ count <= partition\\.usedRegionCount\\(\\) " + location);
    ZE_EXPECT_ABORT(partition.removeRegions(2, 1),
                    "MemoryPartition::removeRegions(): Can't remove more regions than size");

    table.resize(24);
    MemoryPartition grown{3};
    grown.addRegion<int>(table, 2);
    ZE_EXPECT_ABORT(moveRegions(partition, grown, table),
                    "moveRegions(): Can't move partitions with different region counts");

    const std::size_t offsets[]{4, 4};
    ZE_EXPECT_ABORT(copyRegions(partition, grown, table, table, offsets),
                    "copyRegions(): Can't copy partitions with different region counts");
    grown.addRegion<int>(table, 3);
    ZE_EXPECT_ABORT(copyRegions(partition, grown, table, table, std::span{offsets}.first(1)),
                    "copyRegions(): Offset count did not match region counts");
    const std::size_t wrongOffsets[]{4, 0};
    ZE_EXPECT_ABORT(copyRegions(partition, grown, table, table, wrongOffsets),
                    "copyRegions(): Region size did not match");
}

} // namespace
} // namespace ZarvikEngine::Utils
