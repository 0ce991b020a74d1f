#include <bit>
#include <numeric>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "ZarvikEngine/DebugString.h"
#include "ZarvikEngine/Trade/PixelFormat.h"

namespace ZarvikEngine {
namespace {

/* The decimal numbers in a name, in order: {3, 3, 3} for Astc3x3x3RGBAF */
std::vector<std::uint32_t> numbersIn(std::string_view name) {
    std::vector<std::uint32_t> numbers;
    bool inNumber = false;
    for (char c : name) {
        const bool digit = c >= '0' && c <= '9';
        if (digit && !inNumber)
            numbers.push_back(0);
        if (digit)
            numbers.back() = numbers.back() * 10 + std::uint32_t(c - '0');
        inNumber = digit;
    }
    return numbers;
}

/* The stored numbering: first and last of each group */
TEST(PixelFormat, ValuesPrintingAndComposition) {
    EXPECT_EQ(std::uint32_t(PixelFormat::RGB8Srgb), 11u);
    EXPECT_EQ(std::uint32_t(PixelFormat::R16Unorm), 21u);
    EXPECT_EQ(std::uint32_t(PixelFormat::RGBA32F), 52u);
    EXPECT_EQ(std::uint32_t(PixelFormat::Depth32FStencil8UI), 59u);
    EXPECT_FALSE(isPixelFormatKnown(PixelFormat{}));
    EXPECT_FALSE(isPixelFormatKnown(PixelFormat(60)));
    EXPECT_EQ(std::uint32_t(CompressedPixelFormat::Bc7RGBASrgb), 16u);
    EXPECT_EQ(std::uint32_t(CompressedPixelFormat::Etc2RGBA8Srgb), 26u);
    EXPECT_EQ(std::uint32_t(CompressedPixelFormat::Astc12x12RGBAF), 68u);
    EXPECT_EQ(std::uint32_t(CompressedPixelFormat::PvrtcRGBA4bppSrgb), 106u);
    EXPECT_FALSE(isCompressedPixelFormatKnown(CompressedPixelFormat(107)));

    EXPECT_EQ(debugString(PixelFormat(60)), "PixelFormat(60)");
    EXPECT_EQ(debugString(wrapImplementationSpecific<PixelFormat>(0x8058)),
              "PixelFormat::ImplementationSpecific(0x8058)");
    EXPECT_EQ(debugString(CompressedPixelFormat{}), "CompressedPixelFormat(0)");

    EXPECT_EQ(pixelFormat(PixelFormat::R8Unorm, 3, true), PixelFormat::RGB8Srgb);
    EXPECT_EQ(pixelFormat(PixelFormat::RGB8Srgb, 4, false), PixelFormat::RGBA8Unorm);
    EXPECT_EQ(pixelFormat(PixelFormat::RGBA16F, 2, false), PixelFormat::RG16F);
}

TEST(PixelFormat, EveryQueryAgreesWithTheName) {
    std::set<std::string> names;
    for (std::uint32_t value = 1; value <= 59; ++value) {
        const PixelFormat format{value};
        const std::string text = debugString(format);
        ASSERT_TRUE(text.starts_with("PixelFormat::")) << text;
        const std::string name = text.substr(13);
        SCOPED_TRACE(name);
        EXPECT_TRUE(names.insert(name).second);

        const std::vector<std::uint32_t> bits = numbersIn(name);
        if (name.starts_with("Depth") || name.starts_with("Stencil")) {
            /* Depth and stencil bits packed into the next power-of-two bytes */
            EXPECT_TRUE(isPixelFormatDepthOrStencil(format));
            EXPECT_EQ(pixelFormatSize(format),
                      std::bit_ceil((std::accumulate(bits.begin(), bits.end(), 0u) + 7) / 8));
            continue;
        }

        /* Channel letters, bits per channel, channel kind: RGB16Snorm */
        const std::uint32_t channels = std::uint32_t(name.find_first_of("0123456789"));
        const std::string bitsText = std::to_string(bits.at(0));
        const std::string kind = name.substr(channels + bitsText.size());
        ASSERT_EQ(name.substr(0, channels), std::string{"RGBA"}.substr(0, channels));
        ASSERT_TRUE(kind == "Unorm" || kind == "Snorm" || kind == "Srgb" || kind == "UI" ||
                    kind == "I" || kind == "F");
        EXPECT_FALSE(isPixelFormatDepthOrStencil(format));
        EXPECT_EQ(pixelFormatChannelCount(format), channels);
        EXPECT_EQ(pixelFormatSize(format), channels * bits[0] / 8);
        EXPECT_EQ(debugString(pixelFormatChannelFormat(format)),
                  "PixelFormat::R" + bitsText + kind);
        EXPECT_EQ(isPixelFormatSrgb(format), kind == "Srgb");
        EXPECT_EQ(pixelFormat(format, channels, isPixelFormatSrgb(format)), format);
    }
}

TEST(CompressedPixelFormat, BlocksAgreeWithTheName) {
    std::set<std::string> names;
    for (std::uint32_t value = 1; value <= 106; ++value) {
        const CompressedPixelFormat format{value};
        const std::string text = debugString(format);
        ASSERT_TRUE(text.starts_with("CompressedPixelFormat::")) << text;
        const std::string name = text.substr(23);
        SCOPED_TRACE(name);
        EXPECT_TRUE(names.insert(name).second);

        const std::vector<std::uint32_t> numbers = numbersIn(name);
        Vector3i block{4, 4, 1};
        std::uint32_t dataSize;
        if (name.starts_with("Astc")) {
            /* Width×height(×depth), always 128 bits */
            ASSERT_GE(numbers.size(), 2u);
            block = {numbers[0], numbers[1], numbers.size() == 3 ? numbers[2] : 1};
            dataSize = 16;
        } else if (name.starts_with("Pvrtc")) {
            /* 2 or 4 bits per pixel in blocks of 32 or 16 pixels */
            block.x = numbers.at(0) == 2 ? 8 : 4;
            dataSize = numbers[0] * std::uint32_t(block.x * block.y) / 8;
        } else {
            ASSERT_TRUE(name.starts_with("Bc") || name.starts_with("Eac") ||
                        name.starts_with("Etc2"));
            /* Single-channel and opaque-or-punchthrough formats take 4 bits per pixel */
            const bool halfByte = name.starts_with("Bc1") || name.starts_with("Bc4") ||
                                  name.starts_with("EacR11") || name.starts_with("Etc2RGB8");
            dataSize = halfByte ? 8 : 16;
        }
        EXPECT_EQ(compressedPixelFormatBlockSize(format), block);
        EXPECT_EQ(compressedPixelFormatBlockDataSize(format), dataSize);
    }
}

TEST(PixelFormatDeathTest, QueriesRefuseWhatTheyCantDescribe) {
    ZE_EXPECT_ABORT(pixelFormatSize(PixelFormat(60)),
                    "pixelFormatSize(): invalid format PixelFormat(60)");
    ZE_EXPECT_ABORT(pixelFormatChannelCount(PixelFormat::Depth16Unorm),
                    "pixelFormatChannelCount(): can't determine channel count of "
                    "PixelFormat::Depth16Unorm");
    ZE_EXPECT_ABORT(pixelFormatSize(wrapImplementationSpecific<PixelFormat>(0x8058)),
                    "pixelFormatSize(): can't determine size of an implementation-specific "
                    "format 0x8058");
    ZE_EXPECT_ABORT(pixelFormat(PixelFormat::R16Unorm, 1, true),
                    "pixelFormat(): PixelFormat::R16Unorm can't be made sRGB");
    ZE_EXPECT_ABORT(pixelFormat(PixelFormat::R8Unorm, 0, false),
                    "pixelFormat(): invalid channel count 0");
    ZE_EXPECT_ABORT(compressedPixelFormatBlockSize(CompressedPixelFormat(107)),
                    "compressedPixelFormatBlockSize(): invalid format CompressedPixelFormat(107)");
    ZE_EXPECT_ABORT(compressedPixelFormatBlockDataSize(
                        wrapImplementationSpecific<CompressedPixelFormat>(0x8e8c)),
                    "compressedPixelFormatBlockDataSize(): can't determine block data size of an "
                    "implementation-specific format 0x8e8c");
}

} // namespace
} // namespace ZarvikEngine
