#include <algorithm>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "ZarvikEngine/BitSet.h"

namespace ZarvikEngine {
namespace {

/* Bits of a view as a string of 0 and 1, bit 0 first */
std::string bitString(const BitSetView& view, std::size_t count) {
    std::string bits;
    for (std::size_t i = 0; i != count; ++i)
        bits += view[i] ? '1' : '0';
    return bits;
}

TEST(BitSet, WordOperationsStayInsideTheView) {
    /* The view covers two of the three words; the third must never change */
    unsigned int words[3]{0, 0, 1};
    BitSetView view{words, 64};
    view.set(33).toggle(31).swap(31, 5);
    EXPECT_EQ(words[0], 0x20u);
    EXPECT_FALSE(view.isSetSafe(64));
    view.unsetSafe(64);
    view.setAll();
    EXPECT_EQ(view.countSet(), 64u);
    view.clear();
    EXPECT_EQ(words[2], 1u);

    /* Combining views only touches the words both have */
    unsigned int otherWords[1]{0xff00ff00u};
    const BitSetView other{otherWords, 32};
    words[0] = 0x0ff00ff0u;
    words[1] = ~0u;
    EXPECT_FALSE(view.intersectionEmpty(other));
    view &= other;
    EXPECT_EQ(words[0], 0x0f000f00u);
    EXPECT_EQ(words[1], ~0u);
    view ^= other;
    view |= other;
    EXPECT_EQ(words[0], 0xff00ff00u);
    words[0] = 0x00ff00ffu;
    EXPECT_TRUE(view.intersectionEmpty(other));

    /* Slices share the words */
    view.slice(32, 64).clear();
    EXPECT_EQ(words[1], 0u);
    EXPECT_EQ(view.slice(32, 32).size(), 0u);
}

/* Range operations against a std::vector<bool> that follows the definitions bit by bit,
   ranges reaching past the end and reversed ones included */
TEST(BitSet, RangeOperationsMatchReferenceModel) {
    std::mt19937 random{1234};
    for (const std::size_t bitCount : {32u, 96u, 160u}) {
        std::vector<unsigned int> words(bitCount / 32);
        BitSetView view{words, bitCount};
        std::vector<bool> model(bitCount);
        std::uniform_int_distribution<std::size_t> bitIndex{0, bitCount + 40};

        for (int step = 0; step != 3000; ++step) {
            std::size_t first = bitIndex(random), last = bitIndex(random);
            if (random() % 8 != 0 && first > last)
                std::swap(first, last);
            const std::size_t clampedLast = std::min(last, bitCount - 1);
            switch (random() % 6) {
            case 0:
                view.setRange(first, last);
                for (std::size_t k = first; k <= clampedLast; ++k)
                    model[k] = true;
                break;
            case 1:
                view.shiftRangeLeft(first, last);
                if (first <= clampedLast) {
                    for (std::size_t k = clampedLast; k > first; --k)
                        model[k] = model[k - 1];
                    model[first] = false;
                }
                break;
            case 2:
                view.shiftRangeRight(first, last);
                if (first <= clampedLast) {
                    for (std::size_t k = first; k < clampedLast; ++k)
                        model[k] = model[k + 1];
                    model[clampedLast] = false;
                }
                break;
            case 3: {
                std::size_t expected = bitCount;
                for (std::size_t k = first; k <= clampedLast && expected == bitCount; ++k)
                    expected = model[k] ? k : bitCount;
                ASSERT_EQ(view.findFirstSet(first, last), expected) << first << " " << last;
                ASSERT_EQ(view.isRangeClear(first, last), expected == bitCount);
                break;
            }
            case 4: {
                const std::size_t from = first % bitCount, to = last % bitCount;
                moveBit(view, from, to);
                const bool bit = model[from];
                model.erase(model.begin() + std::ptrdiff_t(from));
                model.insert(model.begin() + std::ptrdiff_t(from >= to ? to : to - 1), bit);
                break;
            }
            case 5:
                /* Keep the density from drifting to all ones */
                view.unset(first % bitCount);
                model[first % bitCount] = false;
                view.toggle(last % bitCount);
                model[last % bitCount] = !model[last % bitCount];
                break;
            }
            for (std::size_t k = 0; k != bitCount; ++k)
                ASSERT_EQ(view[k], model[k]) << "bit " << k << " after step " << step;
            ASSERT_EQ(view.countSet(), std::size_t(std::ranges::count(model, true)));
        }
    }
}

TEST(BitSet, OwningSetGrowsAndMoves) {
    BitSet empty{0};
    EXPECT_TRUE(empty.data().empty());
    empty.setSafe(40);
    EXPECT_EQ(empty.size(), 64u);
    EXPECT_EQ(empty.data()[1], 1u << 8);

    /* Sizes round up to whole words; shrinking drops the bits beyond */
    BitSet bits{33};
    bits.set(3).set(63);
    bits.resize(65);
    EXPECT_EQ(bits.size(), 96u);
    bits.resize(32);
    EXPECT_EQ(bits.countSet(), 1u);

    BitSet moved{std::move(bits)};
    EXPECT_EQ(bits.size(), 0u);
    EXPECT_TRUE(moved[3]);
    moved = std::move(empty);
    EXPECT_TRUE(moved[40]);
    EXPECT_TRUE(empty[3]);

    /* Bits 2 to 5 hold a b c d */
    BitSet flags{32};
    flags.set(2).set(3);
    moveBit(flags, 5, 2);
    EXPECT_EQ(bitString(flags, 6), "000110"); /* d a b c */
}

TEST(BitSetDeathTest, MisuseAborts) {
    unsigned int words[2]{};
    ZE_EXPECT_ABORT((BitSetView{words, 40}),
                    "BitSetView::BitSetView(): Number of bits (size) must be a multiple of 32.");
    ZE_EXPECT_ABORT((BitSetView{words, 96}),
                    "BitSetView::BitSetView(): Number of bits (size) too large for data.");
    const BitSetView view{words, 64};
    ZE_EXPECT_ABORT(view.slice(32, 0),
                    "BitSetView::slice(): End must be greater than or equal to start.");
    ZE_EXPECT_ABORT(view.slice(0, 40),
                    "BitSetView::slice(): Start and end must be multiples of 32.");
}

} // namespace
} // namespace ZarvikEngine
