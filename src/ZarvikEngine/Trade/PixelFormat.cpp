#include "ZarvikEngine/Trade/PixelFormat.h"

#include <iterator>
#include <string_view>

namespace ZarvikEngine {

namespace {

/* Indexed by value - 1 */
constexpr std::string_view PixelFormatNames[]{"R8Unorm",
                                              "RG8Unorm",
                                              "RGB8Unorm",
                                              "RGBA8Unorm",
                                              "R8Snorm",
                                              "RG8Snorm",
                                              "RGB8Snorm",
                                              "RGBA8Snorm",
                                              "R8Srgb",
                                              "RG8Srgb",
                                              "RGB8Srgb",
                                              "RGBA8Srgb",
                                              "R8UI",
                                              "RG8UI",
                                              "RGB8UI",
                                              "RGBA8UI",
                                              "R8I",
                                              "RG8I",
                                              "RGB8I",
                                              "RGBA8I",
                                              "R16Unorm",
                                              "RG16Unorm",
                                              "RGB16Unorm",
                                              "RGBA16Unorm",
                                              "R16Snorm",
                                              "RG16Snorm",
                                              "RGB16Snorm",
                                              "RGBA16Snorm",
                                              "R16UI",
                                              "RG16UI",
                                              "RGB16UI",
                                              "RGBA16UI",
                                              "R16I",
                                              "RG16I",
                                              "RGB16I",
                                              "RGBA16I",
                                              "R32UI",
                                              "RG32UI",
                                              "RGB32UI",
                                              "RGBA32UI",
                                              "R32I",
                                              "RG32I",
                                              "RGB32I",
                                              "RGBA32I",
                                              "R16F",
                                              "RG16F",
                                              "RGB16F",
                                              "RGBA16F",
                                              "R32F",
                                              "RG32F",
                                              "RGB32F",
                                              "RGBA32F",
                                              "Depth16Unorm",
                                              "Depth24Unorm",
                                              "Depth32F",
                                              "Stencil8UI",
                                              "Depth16UnormStencil8UI",
                                              "Depth24UnormStencil8UI",
                                              "Depth32FStencil8UI"};

/* Color formats are groups of four of one channel format, in the order of the enum */
struct ChannelGroup {
    std::uint8_t channelSize;
    bool srgb;
};
constexpr ChannelGroup ChannelGroups[]{
    {1, false}, {1, false}, {1, true},  {1, false}, {1, false}, {2, false}, {2, false},
    {2, false}, {2, false}, {4, false}, {4, false}, {2, false}, {4, false},
};
constexpr std::uint32_t ColorFormatCount = std::size(ChannelGroups) * 4;
constexpr std::uint32_t Unorm8Group = 0;
constexpr std::uint32_t Srgb8Group = 2;

/* Sizes of the depth and stencil formats that follow the color ones */
constexpr std::uint8_t DepthStencilSizes[]{2, 4, 4, 1, 4, 4, 8};

static_assert(ColorFormatCount + std::size(DepthStencilSizes) == std::size(PixelFormatNames));

struct BlockInfo {
    std::string_view name;
    std::uint8_t width;
    std::uint8_t height;
    std::uint8_t depth;
    std::uint8_t dataSize;
};

/* Indexed by value - 1 */
constexpr BlockInfo Blocks[]{
    {"Bc1RGBUnorm", 4, 4, 1, 8},
    {"Bc1RGBSrgb", 4, 4, 1, 8},
    {"Bc1RGBAUnorm", 4, 4, 1, 8},
    {"Bc1RGBASrgb", 4, 4, 1, 8},
    {"Bc2RGBAUnorm", 4, 4, 1, 16},
    {"Bc2RGBASrgb", 4, 4, 1, 16},
    {"Bc3RGBAUnorm", 4, 4, 1, 16},
    {"Bc3RGBASrgb", 4, 4, 1, 16},
    {"Bc4RUnorm", 4, 4, 1, 8},
    {"Bc4RSnorm", 4, 4, 1, 8},
    {"Bc5RGUnorm", 4, 4, 1, 16},
    {"Bc5RGSnorm", 4, 4, 1, 16},
    {"Bc6hRGBUfloat", 4, 4, 1, 16},
    {"Bc6hRGBSfloat", 4, 4, 1, 16},
    {"Bc7RGBAUnorm", 4, 4, 1, 16},
    {"Bc7RGBASrgb", 4, 4, 1, 16},
    {"EacR11Unorm", 4, 4, 1, 8},
    {"EacR11Snorm", 4, 4, 1, 8},
    {"EacRG11Unorm", 4, 4, 1, 16},
    {"EacRG11Snorm", 4, 4, 1, 16},
    {"Etc2RGB8Unorm", 4, 4, 1, 8},
    {"Etc2RGB8Srgb", 4, 4, 1, 8},
    {"Etc2RGB8A1Unorm", 4, 4, 1, 8},
    {"Etc2RGB8A1Srgb", 4, 4, 1, 8},
    {"Etc2RGBA8Unorm", 4, 4, 1, 16},
    {"Etc2RGBA8Srgb", 4, 4, 1, 16},
    {"Astc4x4RGBAUnorm", 4, 4, 1, 16},
    {"Astc4x4RGBASrgb", 4, 4, 1, 16},
    {"Astc4x4RGBAF", 4, 4, 1, 16},
    {"Astc5x4RGBAUnorm", 5, 4, 1, 16},
    {"Astc5x4RGBASrgb", 5, 4, 1, 16},
    {"Astc5x4RGBAF", 5, 4, 1, 16},
    {"Astc5x5RGBAUnorm", 5, 5, 1, 16},
    {"Astc5x5RGBASrgb", 5, 5, 1, 16},
    {"Astc5x5RGBAF", 5, 5, 1, 16},
    {"Astc6x5RGBAUnorm", 6, 5, 1, 16},
    {"Astc6x5RGBASrgb", 6, 5, 1, 16},
    {"Astc6x5RGBAF", 6, 5, 1, 16},
    {"Astc6x6RGBAUnorm", 6, 6, 1, 16},
    {"Astc6x6RGBASrgb", 6, 6, 1, 16},
    {"Astc6x6RGBAF", 6, 6, 1, 16},
    {"Astc8x5RGBAUnorm", 8, 5, 1, 16},
    {"Astc8x5RGBASrgb", 8, 5, 1, 16},
    {"Astc8x5RGBAF", 8, 5, 1, 16},
    {"Astc8x6RGBAUnorm", 8, 6, 1, 16},
    {"Astc8x6RGBASrgb", 8, 6, 1, 16},
    {"Astc8x6RGBAF", 8, 6, 1, 16},
    {"Astc8x8RGBAUnorm", 8, 8, 1, 16},
    {"Astc8x8RGBASrgb", 8, 8, 1, 16},
    {"Astc8x8RGBAF", 8, 8, 1, 16},
    {"Astc10x5RGBAUnorm", 10, 5, 1, 16},
    {"Astc10x5RGBASrgb", 10, 5, 1, 16},
    {"Astc10x5RGBAF", 10, 5, 1, 16},
    {"Astc10x6RGBAUnorm", 10, 6, 1, 16},
    {"Astc10x6RGBASrgb", 10, 6, 1, 16},
    {"Astc10x6RGBAF", 10, 6, 1, 16},
    {"Astc10x8RGBAUnorm", 10, 8, 1, 16},
    {"Astc10x8RGBASrgb", 10, 8, 1, 16},
    {"Astc10x8RGBAF", 10, 8, 1, 16},
    {"Astc10x10RGBAUnorm", 10, 10, 1, 16},
    {"Astc10x10RGBASrgb", 10, 10, 1, 16},
    {"Astc10x10RGBAF", 10, 10, 1, 16},
    {"Astc12x10RGBAUnorm", 12, 10, 1, 16},
    {"Astc12x10RGBASrgb", 12, 10, 1, 16},
    {"Astc12x10RGBAF", 12, 10, 1, 16},
    {"Astc12x12RGBAUnorm", 12, 12, 1, 16},
    {"Astc12x12RGBASrgb", 12, 12, 1, 16},
    {"Astc12x12RGBAF", 12, 12, 1, 16},
    {"Astc3x3x3RGBAUnorm", 3, 3, 3, 16},
    {"Astc3x3x3RGBASrgb", 3, 3, 3, 16},
    {"Astc3x3x3RGBAF", 3, 3, 3, 16},
    {"Astc4x3x3RGBAUnorm", 4, 3, 3, 16},
    {"Astc4x3x3RGBASrgb", 4, 3, 3, 16},
    {"Astc4x3x3RGBAF", 4, 3, 3, 16},
    {"Astc4x4x3RGBAUnorm", 4, 4, 3, 16},
    {"Astc4x4x3RGBASrgb", 4, 4, 3, 16},
    {"Astc4x4x3RGBAF", 4, 4, 3, 16},
    {"Astc4x4x4RGBAUnorm", 4, 4, 4, 16},
    {"Astc4x4x4RGBASrgb", 4, 4, 4, 16},
    {"Astc4x4x4RGBAF", 4, 4, 4, 16},
    {"Astc5x4x4RGBAUnorm", 5, 4, 4, 16},
    {"Astc5x4x4RGBASrgb", 5, 4, 4, 16},
    {"Astc5x4x4RGBAF", 5, 4, 4, 16},
    {"Astc5x5x4RGBAUnorm", 5, 5, 4, 16},
    {"Astc5x5x4RGBASrgb", 5, 5, 4, 16},
    {"Astc5x5x4RGBAF", 5, 5, 4, 16},
    {"Astc5x5x5RGBAUnorm", 5, 5, 5, 16},
    {"Astc5x5x5RGBASrgb", 5, 5, 5, 16},
    {"Astc5x5x5RGBAF", 5, 5, 5, 16},
    {"Astc6x5x5RGBAUnorm", 6, 5, 5, 16},
    {"Astc6x5x5RGBASrgb", 6, 5, 5, 16},
    {"Astc6x5x5RGBAF", 6, 5, 5, 16},
    {"Astc6x6x5RGBAUnorm", 6, 6, 5, 16},
    {"Astc6x6x5RGBASrgb", 6, 6, 5, 16},
    {"Astc6x6x5RGBAF", 6, 6, 5, 16},
    {"Astc6x6x6RGBAUnorm", 6, 6, 6, 16},
    {"Astc6x6x6RGBASrgb", 6, 6, 6, 16},
    {"Astc6x6x6RGBAF", 6, 6, 6, 16},
    {"PvrtcRGB2bppUnorm", 8, 4, 1, 8},
    {"PvrtcRGB2bppSrgb", 8, 4, 1, 8},
    {"PvrtcRGBA2bppUnorm", 8, 4, 1, 8},
    {"PvrtcRGBA2bppSrgb", 8, 4, 1, 8},
    {"PvrtcRGB4bppUnorm", 4, 4, 1, 8},
    {"PvrtcRGB4bppSrgb", 4, 4, 1, 8},
    {"PvrtcRGBA4bppUnorm", 4, 4, 1, 8},
    {"PvrtcRGBA4bppSrgb", 4, 4, 1, 8},
};

std::uint32_t checkedIndex(PixelFormat format, const char* function, const char* property) {
    return Implementation::checkedFormatIndex(format, isPixelFormatKnown(format), function,
                                              property);
}

/* Index of a color format; aborts for depth and stencil formats */
std::uint32_t checkedColorIndex(PixelFormat format, const char* function, const char* property) {
    const std::uint32_t index = checkedIndex(format, function, property);
    ZE_ASSERT(index < ColorFormatCount,
              function << Debug::nospace << "(): can't determine" << property << "of" << format);
    return index;
}

const BlockInfo& blockInfo(CompressedPixelFormat format, const char* function,
                           const char* property) {
    return Blocks[Implementation::checkedFormatIndex(format, isCompressedPixelFormatKnown(format),
                                                     function, property)];
}

} // namespace

Debug& operator<<(Debug& debug, PixelFormat value) {
    return Implementation::printWrappableEnum(
        debug, "PixelFormat",
        isPixelFormatKnown(value) ? PixelFormatNames[std::uint32_t(value) - 1] : "",
        std::uint32_t(value));
}

Debug& operator<<(Debug& debug, CompressedPixelFormat value) {
    return Implementation::printWrappableEnum(
        debug, "CompressedPixelFormat",
        isCompressedPixelFormatKnown(value) ? Blocks[std::uint32_t(value) - 1].name : "",
        std::uint32_t(value));
}

bool isPixelFormatKnown(PixelFormat format) {
    return std::uint32_t(format) - 1 < std::size(PixelFormatNames);
}

std::uint32_t pixelFormatSize(PixelFormat format) {
    const std::uint32_t index = checkedIndex(format, "pixelFormatSize", "size");
    if (index >= ColorFormatCount)
        return DepthStencilSizes[index - ColorFormatCount];
    return ChannelGroups[index / 4].channelSize * (index % 4 + 1);
}

std::uint32_t pixelFormatChannelCount(PixelFormat format) {
    return checkedColorIndex(format, "pixelFormatChannelCount", "channel count") % 4 + 1;
}

PixelFormat pixelFormatChannelFormat(PixelFormat format) {
    const std::uint32_t index =
        checkedColorIndex(format, "pixelFormatChannelFormat", "channel format");
    return PixelFormat(index / 4 * 4 + 1);
}

bool isPixelFormatSrgb(PixelFormat format) {
    return ChannelGroups[checkedColorIndex(format, "isPixelFormatSrgb", "colorspace") / 4].srgb;
}

bool isPixelFormatDepthOrStencil(PixelFormat format) {
    return checkedIndex(format, "isPixelFormatDepthOrStencil", "type") >= ColorFormatCount;
}

PixelFormat pixelFormat(PixelFormat format, std::uint32_t channelCount, bool srgb) {
    std::uint32_t group = checkedColorIndex(format, "pixelFormat", "channel format") / 4;
    ZE_ASSERT(channelCount >= 1 && channelCount <= 4,
              "pixelFormat(): invalid channel count" << channelCount);
    if (srgb) {
        ZE_ASSERT(group == Unorm8Group || group == Srgb8Group,
                  "pixelFormat():" << format << "can't be made sRGB");
        group = Srgb8Group;
    } else if (group == Srgb8Group) {
        group = Unorm8Group;
    }
    return PixelFormat(group * 4 + channelCount);
}

bool isCompressedPixelFormatKnown(CompressedPixelFormat format) {
    return std::uint32_t(format) - 1 < std::size(Blocks);
}

Vector3i compressedPixelFormatBlockSize(CompressedPixelFormat format) {
    const BlockInfo& info = blockInfo(format, "compressedPixelFormatBlockSize", "block size");
    return {info.width, info.height, info.depth};
}

std::uint32_t compressedPixelFormatBlockDataSize(CompressedPixelFormat format) {
    return blockInfo(format, "compressedPixelFormatBlockDataSize", "block data size").dataSize;
}

} // namespace ZarvikEngine
