#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "ZarvikEngine/Tools/RectPacking.h"

namespace ZarvikEngine {
namespace {

Range2Dus range(unsigned short x0, unsigned short y0, unsigned short x1, unsigned short y1) {
    return {{x0, y0}, {x1, y1}};
}

std::vector<Range2Dus> spacesOf(const RectPacking& packing) {
    return {packing.spaces().begin(), packing.spaces().end()};
}

bool overlap(const Range2Dus& a, const Range2Dus& b) {
    return a.min().x < b.max().x && b.min().x < a.max().x && a.min().y < b.max().y &&
           b.min().y < a.max().y;
}

std::uint64_t area(const Range2Dus& r) {
    return std::uint64_t(r.size().x) * r.size().y;
}

TEST(RectPacking, ExactFitsAndMerges) {
    RectPacking full{Vector2us{256, 256}};
    EXPECT_EQ(full.occupancy(), 0.0f);
    EXPECT_EQ(full.insert({256, 256}), range(0, 0, 256, 256));
    EXPECT_TRUE(full.spaces().empty());
    EXPECT_EQ(full.occupancy(), 1.0f);
    EXPECT_EQ(full.insert({1, 1}), std::nullopt);

    /* The exact-height branch leaves only the strip on the right */
    RectPacking packing{Vector2i{256, 128}};
    EXPECT_EQ(packing.insert({100, 128}), range(0, 0, 100, 128));
    EXPECT_EQ(spacesOf(packing), std::vector{range(100, 0, 256, 128)});
    EXPECT_FLOAT_EQ(packing.occupancy(), 100.0f / 256.0f);

    /* Nothing fits: no change */
    EXPECT_EQ(packing.insert({157, 1}), std::nullopt);
    EXPECT_EQ(packing.insert({1, 129}), std::nullopt);
    EXPECT_EQ(spacesOf(packing), std::vector{range(100, 0, 256, 128)});

    packing.remove(range(0, 0, 100, 128));
    EXPECT_EQ(spacesOf(packing), std::vector{range(0, 0, 256, 128)});

    /* The exact-width branch leaves only the top */
    EXPECT_EQ(packing.insert({256, 28}), range(0, 0, 256, 28));
    EXPECT_EQ(spacesOf(packing), std::vector{range(0, 28, 256, 128)});

    /* A range that forms a rectangle with no space is appended as it is */
    RectPacking apart{Vector2us{64, 64}};
    const auto a = *apart.insert({32, 16});
    EXPECT_EQ(spacesOf(apart), (std::vector{range(32, 0, 64, 64), range(0, 16, 32, 64)}));
    const auto b = *apart.insert({32, 48});
    EXPECT_EQ(b, range(0, 16, 32, 64));
    EXPECT_EQ(apart.insert({16, 64}), range(32, 0, 48, 64));
    EXPECT_EQ(spacesOf(apart), std::vector{range(48, 0, 64, 64)});
    apart.remove(a);
    EXPECT_EQ(spacesOf(apart), (std::vector{range(48, 0, 64, 64), range(0, 0, 32, 16)}));
    /* Merges restart from the first space: b completes a, then the pair completes nothing */
    apart.remove(b);
    EXPECT_EQ(spacesOf(apart), (std::vector{range(48, 0, 64, 64), range(0, 0, 32, 64)}));
    apart.remove(range(32, 0, 48, 64));
    EXPECT_EQ(spacesOf(apart), std::vector{range(0, 0, 64, 64)});
}

TEST(RectPacking, ChoiceOfSpaceAndCut) {
    /* Neither dimension fits exactly: a full-height strip on the right and a narrow top,
       the larger first */
    RectPacking packing{Vector2us{256, 256}};
    EXPECT_EQ(packing.insert({100, 50}), range(0, 0, 100, 50));
    EXPECT_EQ(spacesOf(packing), (std::vector{range(100, 0, 256, 256), range(0, 50, 100, 256)}));

    /* The search from the back takes the smaller leftover; its top is larger than its right
       strip this time, so it comes first */
    EXPECT_EQ(packing.insert({90, 90}), range(0, 50, 90, 140));
    EXPECT_EQ(spacesOf(packing), (std::vector{range(100, 0, 256, 256), range(0, 140, 90, 256),
                                              range(90, 50, 100, 256)}));

    /* A space matching one dimension wins over the backward search, the first such one */
    EXPECT_EQ(packing.insert({10, 100}), range(90, 50, 100, 150));
    EXPECT_EQ(spacesOf(packing), (std::vector{range(100, 0, 256, 256), range(0, 140, 90, 256),
                                              range(90, 150, 100, 256)}));
    EXPECT_EQ(packing.insert({90, 20}), range(0, 140, 90, 160));
    EXPECT_EQ(spacesOf(packing), (std::vector{range(100, 0, 256, 256), range(90, 150, 100, 256),
                                              range(0, 160, 90, 256)}));

    /* An exact match is taken at once, the last space taking its place */
    EXPECT_EQ(packing.insert({10, 106}), range(90, 150, 100, 256));
    EXPECT_EQ(spacesOf(packing), (std::vector{range(100, 0, 256, 256), range(0, 160, 90, 256)}));

    /* ... even after a space that matches one dimension */
    RectPacking strip{Vector2us{100, 60}};
    const auto first = *strip.insert({30, 60});
    EXPECT_EQ(strip.insert({30, 60}), range(30, 0, 60, 60));
    strip.remove(first);
    EXPECT_EQ(spacesOf(strip), (std::vector{range(60, 0, 100, 60), range(0, 0, 30, 60)}));
    EXPECT_EQ(strip.insert({30, 60}), range(0, 0, 30, 60));
    EXPECT_EQ(spacesOf(strip), std::vector{range(60, 0, 100, 60)});

    /* Equal areas: the right strip first */
    RectPacking square{Vector2us{20, 20}};
    EXPECT_EQ(square.insert({10, 10}), range(0, 0, 10, 10));
    EXPECT_EQ(spacesOf(square), (std::vector{range(10, 0, 20, 20), range(0, 10, 10, 20)}));
    EXPECT_EQ(square.insert({5, 7}), range(0, 10, 5, 17));
    /* Right strip 5 × 10 against top 5 × 3 */
    EXPECT_EQ(spacesOf(square),
              (std::vector{range(10, 0, 20, 20), range(5, 10, 10, 20), range(0, 17, 5, 20)}));
}

TEST(RectPacking, DefaultConstructionAndMoves) {
    RectPacking empty;
    EXPECT_TRUE(empty.spaces().empty());
    EXPECT_EQ(empty.insert({1, 1}), std::nullopt);

    RectPacking packing{Vector2i{65534, 1}};
    EXPECT_EQ(spacesOf(packing), std::vector{range(0, 0, 65534, 1)});
    packing.insert({4, 1});
    const Range2Dus* spaces = packing.spaces().data();

    RectPacking moved{std::move(packing)};
    EXPECT_EQ(moved.spaces().data(), spaces);
    empty = std::move(moved);
    EXPECT_EQ(empty.spaces().data(), spaces);
    /* One minus the free fraction, so only as close as single precision gets near 1 */
    EXPECT_NEAR(empty.occupancy(), 4.0 / 65534.0, 1e-7);

    /* The 16-bit size takes the whole range */
    RectPacking largest{Vector2us{65535, 65535}};
    EXPECT_EQ(largest.insert({65535, 1}), range(0, 0, 65535, 1));
    largest.remove(range(0, 0, 65535, 1));
    EXPECT_EQ(largest.occupancy(), 0.0f);
}

/* Free spaces and allocated rectangles tile the area without overlap through any sequence
   of insertions and removals */
TEST(RectPacking, RandomInsertionsAndRemovals) {
    constexpr unsigned short Width = 300, Height = 200;
    RectPacking packing{Vector2us{Width, Height}};
    std::mt19937 random{2024};
    std::uniform_int_distribution<int> side{1, 60};
    std::vector<Range2Dus> allocated;
    std::uint64_t allocatedArea = 0;

    for (int step = 0; step != 3000; ++step) {
        if (allocated.empty() || random() % 5 < 3) {
            const Vector2us size(side(random), side(random));
            const std::vector<Range2Dus> before = spacesOf(packing);
            const auto placed = packing.insert(size);
            if (!placed) {
                /* Nothing fits, and nothing changed */
                for (const Range2Dus& space : before)
                    EXPECT_FALSE(space.size().x >= size.x && space.size().y >= size.y);
                ASSERT_EQ(spacesOf(packing), before);
                continue;
            }
            ASSERT_EQ(placed->size(), size);
            ASSERT_LE(placed->max().x, Width);
            ASSERT_LE(placed->max().y, Height);
            allocated.push_back(*placed);
            allocatedArea += area(*placed);
        } else {
            const std::size_t i = random() % allocated.size();
            packing.remove(allocated[i]);
            allocatedArea -= area(allocated[i]);
            allocated[i] = allocated.back();
            allocated.pop_back();
        }

        std::uint64_t freeArea = 0;
        const auto spaces = packing.spaces();
        for (std::size_t i = 0; i != spaces.size(); ++i) {
            ASSERT_LT(spaces[i].min().x, spaces[i].max().x);
            ASSERT_LT(spaces[i].min().y, spaces[i].max().y);
            ASSERT_LE(spaces[i].max().x, Width);
            ASSERT_LE(spaces[i].max().y, Height);
            freeArea += area(spaces[i]);
            for (std::size_t j = i + 1; j != spaces.size(); ++j)
                ASSERT_FALSE(overlap(spaces[i], spaces[j])) << "step" << step;
            for (const Range2Dus& taken : allocated)
                ASSERT_FALSE(overlap(spaces[i], taken)) << "step" << step;
        }
        ASSERT_EQ(freeArea + allocatedArea, std::uint64_t(Width) * Height) << "step" << step;
        ASSERT_NEAR(packing.occupancy(), double(allocatedArea) / (Width * Height), 1e-6);
    }

    for (const Range2Dus& taken : allocated)
        packing.remove(taken);
    EXPECT_EQ(packing.occupancy(), 0.0f);
}

TEST(RectPackingDeathTest, InvalidSizesAndRanges) {
    const char* invalidSize = "RectPacking::RectPacking(): Invalid size for unsigned short "
                              "dimensions.";
    ZE_EXPECT_ABORT(RectPacking(Vector2i{0, 10}), invalidSize);
    ZE_EXPECT_ABORT(RectPacking(Vector2i{10, 65535}), invalidSize);
    ZE_EXPECT_ABORT(RectPacking(Vector2i{-1, 10}), invalidSize);

    RectPacking packing{Vector2us{64, 32}};
    ZE_EXPECT_ABORT(packing.insert({0, 5}), "RectPacking::insert(): Invalid size");
    ZE_EXPECT_ABORT(packing.remove(range(3, 0, 3, 5)), "RectPacking::remove(): Invalid range");
    ZE_EXPECT_ABORT(packing.remove(range(0, 5, 3, 4)), "RectPacking::remove(): Invalid range");
    /* Outside the area */
    ZE_EXPECT_ABORT(packing.remove(range(0, 0, 65, 5)), "RectPacking::remove(): Invalid range");
}

} // namespace
} // namespace ZarvikEngine
