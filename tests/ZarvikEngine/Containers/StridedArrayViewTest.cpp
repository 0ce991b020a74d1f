#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "ZarvikEngine/Containers/StridedArrayView.h"

namespace ZarvikEngine {
namespace {

TEST(StridedArrayView, CheckedViewsMayRunBackwards) {
    int values[]{1, 2, 3, 4, 5, 6};
    const std::span<char> bytes{reinterpret_cast<char*>(values), sizeof(values)};
    const StridedArrayView1D<int> backwards{bytes, values + 5, 3, -2 * std::ptrdiff_t(sizeof(int))};
    EXPECT_EQ(backwards[2], 2);
    const StridedArrayView2D<int> flipped{bytes, values + 3, {2, 3}, {-3 * 4, 4}};
    EXPECT_EQ(flipped[1][2], 3);
    EXPECT_EQ((StridedArrayView1D<int>{bytes, values, 0, -4}.size()), 0u);
}

TEST(StridedArrayViewDeathTest, RejectsElementsOutsideTheData) {
    int values[6]{};
    const std::span<char> bytes{reinterpret_cast<char*>(values), sizeof(values)};
    ZE_EXPECT_ABORT((StridedArrayView1D<int>{bytes, values + 1, 6, 4}),
                    "Containers::StridedArrayView: data size 24 is not enough for 6 elements of "
                    "stride 4");
    /* Backwards from the second element, the third one would lie before the data */
    ZE_EXPECT_ABORT((StridedArrayView1D<int>{bytes, values + 1, 3, -4}),
                    "Containers::StridedArrayView: data size 24 is not enough for 3 elements of "
                    "stride -4");
    ZE_EXPECT_ABORT((StridedArrayView2D<int>{bytes, values + 1, {2, 3}, {-8, 4}}),
                    "Containers::StridedArrayView: data size 24 is not enough for {2, 3} "
                    "elements of stride {-8, 4}");
}

} // namespace
} // namespace ZarvikEngine
