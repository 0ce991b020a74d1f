#ifndef ZarvikEngine_Trade_PixelFormat_h
#define ZarvikEngine_Trade_PixelFormat_h

#include <cstdint>

#include "ZarvikEngine/Debug.h"
#include "ZarvikEngine/Math.h"
#include "ZarvikEngine/Trade/WrappedEnum.h"

namespace ZarvikEngine {

/* Format of one pixel. The numbering is stored in asset files; zero is reserved as invalid.
   The color formats come in groups of four (R, RG, RGB, RGBA) of the same channel format, the
   depth and stencil formats follow. */
enum class PixelFormat : std::uint32_t {
    R8Unorm = 1,
    RG8Unorm,
    RGB8Unorm,
    RGBA8Unorm,
    R8Snorm,
    RG8Snorm,
    RGB8Snorm,
    RGBA8Snorm,
    R8Srgb,
    RG8Srgb,
    RGB8Srgb,
    RGBA8Srgb,
    R8UI,
    RG8UI,
    RGB8UI,
    RGBA8UI,
    R8I,
    RG8I,
    RGB8I,
    RGBA8I,
    R16Unorm,
    RG16Unorm,
    RGB16Unorm,
    RGBA16Unorm,
    R16Snorm,
    RG16Snorm,
    RGB16Snorm,
    RGBA16Snorm,
    R16UI,
    RG16UI,
    RGB16UI,
    RGBA16UI,
    R16I,
    RG16I,
    RGB16I,
    RGBA16I,
    R32UI,
    RG32UI,
    RGB32UI,
    RGBA32UI,
    R32I,
    RG32I,
    RGB32I,
    RGBA32I,
    R16F,
    RG16F,
    RGB16F,
    RGBA16F,
    R32F,
    RG32F,
    RGB32F,
    RGBA32F,
    Depth16Unorm,
    Depth24Unorm,
    Depth32F,
    Stencil8UI,
    Depth16UnormStencil8UI,
    Depth24UnormStencil8UI,
    Depth32FStencil8UI,
};

/* Format of block-compressed pixel data. The numbering is stored in asset files; zero is
   reserved as invalid. */
enum class CompressedPixelFormat : std::uint32_t {
    Bc1RGBUnorm = 1,
    Bc1RGBSrgb,
    Bc1RGBAUnorm,
    Bc1RGBASrgb,
    Bc2RGBAUnorm,
    Bc2RGBASrgb,
    Bc3RGBAUnorm,
    Bc3RGBASrgb,
    Bc4RUnorm,
    Bc4RSnorm,
    Bc5RGUnorm,
    Bc5RGSnorm,
    Bc6hRGBUfloat,
    Bc6hRGBSfloat,
    Bc7RGBAUnorm,
    Bc7RGBASrgb,
    EacR11Unorm,
    EacR11Snorm,
    EacRG11Unorm,
    EacRG11Snorm,
    Etc2RGB8Unorm,
    Etc2RGB8Srgb,
    Etc2RGB8A1Unorm,
    Etc2RGB8A1Srgb,
    Etc2RGBA8Unorm,
    Etc2RGBA8Srgb,
    Astc4x4RGBAUnorm,
    Astc4x4RGBASrgb,
    Astc4x4RGBAF,
    Astc5x4RGBAUnorm,
    Astc5x4RGBASrgb,
    Astc5x4RGBAF,
    Astc5x5RGBAUnorm,
    Astc5x5RGBASrgb,
    Astc5x5RGBAF,
    Astc6x5RGBAUnorm,
    Astc6x5RGBASrgb,
    Astc6x5RGBAF,
    Astc6x6RGBAUnorm,
    Astc6x6RGBASrgb,
    Astc6x6RGBAF,
    Astc8x5RGBAUnorm,
    Astc8x5RGBASrgb,
    Astc8x5RGBAF,
    Astc8x6RGBAUnorm,
    Astc8x6RGBASrgb,
    Astc8x6RGBAF,
    Astc8x8RGBAUnorm,
    Astc8x8RGBASrgb,
    Astc8x8RGBAF,
    Astc10x5RGBAUnorm,
    Astc10x5RGBASrgb,
    Astc10x5RGBAF,
    Astc10x6RGBAUnorm,
    Astc10x6RGBASrgb,
    Astc10x6RGBAF,
    Astc10x8RGBAUnorm,
    Astc10x8RGBASrgb,
    Astc10x8RGBAF,
    Astc10x10RGBAUnorm,
    Astc10x10RGBASrgb,
    Astc10x10RGBAF,
    Astc12x10RGBAUnorm,
    Astc12x10RGBASrgb,
    Astc12x10RGBAF,
    Astc12x12RGBAUnorm,
    Astc12x12RGBASrgb,
    Astc12x12RGBAF,
    Astc3x3x3RGBAUnorm,
    Astc3x3x3RGBASrgb,
    Astc3x3x3RGBAF,
    Astc4x3x3RGBAUnorm,
    Astc4x3x3RGBASrgb,
    Astc4x3x3RGBAF,
    Astc4x4x3RGBAUnorm,
    Astc4x4x3RGBASrgb,
    Astc4x4x3RGBAF,
    Astc4x4x4RGBAUnorm,
    Astc4x4x4RGBASrgb,
    Astc4x4x4RGBAF,
    Astc5x4x4RGBAUnorm,
    Astc5x4x4RGBASrgb,
    Astc5x4x4RGBAF,
    Astc5x5x4RGBAUnorm,
    Astc5x5x4RGBASrgb,
    Astc5x5x4RGBAF,
    Astc5x5x5RGBAUnorm,
    Astc5x5x5RGBASrgb,
    Astc5x5x5RGBAF,
    Astc6x5x5RGBAUnorm,
    Astc6x5x5RGBASrgb,
    Astc6x5x5RGBAF,
    Astc6x6x5RGBAUnorm,
    Astc6x6x5RGBASrgb,
    Astc6x6x5RGBAF,
    Astc6x6x6RGBAUnorm,
    Astc6x6x6RGBASrgb,
    Astc6x6x6RGBAF,
    PvrtcRGB2bppUnorm,
    PvrtcRGB2bppSrgb,
    PvrtcRGBA2bppUnorm,
    PvrtcRGBA2bppSrgb,
    PvrtcRGB4bppUnorm,
    PvrtcRGB4bppSrgb,
    PvrtcRGBA4bppUnorm,
    PvrtcRGBA4bppSrgb,
};

template<>
inline constexpr bool IsImplementationSpecificWrappable<PixelFormat> = true;
template<>
inline constexpr bool IsImplementationSpecificWrappable<CompressedPixelFormat> = true;

/* "PixelFormat::RGBA8Unorm", "PixelFormat::ImplementationSpecific(0x8058)" or
   "PixelFormat(1234)" */
Debug& operator<<(Debug& debug, PixelFormat value);
Debug& operator<<(Debug& debug, CompressedPixelFormat value);

/* Whether the format is a named one, which the queries below accept (except where they
   exclude depth and stencil formats). Anything else makes them abort. */
bool isPixelFormatKnown(PixelFormat format);

/* Bytes of one pixel */
std::uint32_t pixelFormatSize(PixelFormat format);

/* Channels of a color format */
std::uint32_t pixelFormatChannelCount(PixelFormat format);

/* The single-channel format of a color format's channels: R8Srgb for RGB8Srgb */
PixelFormat pixelFormatChannelFormat(PixelFormat format);

bool isPixelFormatSrgb(PixelFormat format);

bool isPixelFormatDepthOrStencil(PixelFormat format);

/* The format of channelCount (1 to 4) channels of format's channel format, sRGB or linear.
   Only 8-bit normalized formats can be sRGB. */
PixelFormat pixelFormat(PixelFormat format, std::uint32_t channelCount, bool srgb);

/* Whether the format is a named one, which the queries below accept */
bool isCompressedPixelFormatKnown(CompressedPixelFormat format);

/* Pixels covered by one block; the depth is 1 except for 3D ASTC formats */
Vector3i compressedPixelFormatBlockSize(CompressedPixelFormat format);

/* Bytes of one block */
std::uint32_t compressedPixelFormatBlockDataSize(CompressedPixelFormat format);

} // namespace ZarvikEngine

#endif
