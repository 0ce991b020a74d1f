#ifndef ZarvikEngine_Tools_ImageTools_h
#define ZarvikEngine_Tools_ImageTools_h

/* Image operations of the texture pipeline: allocation, 16-to-8-bit conversion, gray to RGB,
   filling, copying rectangles, bordered tiles and mip chains. Coordinates are integer pixels,
   ranges are min-inclusive and max-exclusive; a range has to lie inside its image. */

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "ZarvikEngine/Math.h"
#include "ZarvikEngine/Trade/AbstractImageConverter.h"
#include "ZarvikEngine/Trade/Image.h"

namespace ZarvikEngine::ImageTools {

/* Zero-filled, with the default pixel storage */
Image2D allocateWithFormat(PixelFormat format, const Vector2i& size);
CompressedImage2D allocateWithFormat(CompressedPixelFormat format, const Vector2i& size);
Image2D allocateWithSameFormat(const ImageView2D& view, const Vector2i& size);

/* 0 when either dimension is 0, else floor(log2(largest dimension)) + 1 */
std::uint32_t mipCount(const Vector2i& size);

/* Each dimension shifted right by level, at least 1 */
Vector2i mipSize(const Vector2i& size, std::uint32_t level);

/* Levels 1 to min(mipCount(), maxLevels) - 1 of the view, each made by the resizer from the
   view itself with its "size" configuration value set to the level's "<width> <height>".
   Nothing when a conversion fails. */
std::optional<std::vector<Image2D>> generateMips(const ImageView2D& view,
                                                 Trade::AbstractImageConverter& resizer,
                                                 std::uint32_t maxLevels);

/* 16-bit normalized or integer channels (R16Unorm or R16UI family) into 8-bit ones (R8Unorm
   or R8UI family) of the same count, v / 257 truncated. The images have to be of the same
   size and of different formats; false, with nothing written, for other format pairs. */
bool convert(const ImageView2D& source, const MutableImageView2D& destination);

/* RGB8Unorm or RGB8UI copy of an R8Unorm or R8UI image, nothing for other formats */
std::optional<Image2D> convertGrayscaleToRgb(const ImageView2D& view);

/* Sets the pixels of the range to the first channels of the color; false, with nothing
   written, unless the format is of the R8Unorm or R8UI family */
bool fill(const MutableImageView2D& image, const Range2Di& range, const Color4ub& color);

/* Sets every byte of the pixels of the range, whatever the format. Always true. */
bool byteFill(const MutableImageView2D& image, const Range2Di& range, std::uint8_t byte);

/* Sets every block of the image's data to block; false, with nothing written, when block
   isn't one block of the format */
bool fill(const MutableCompressedImageView2D& image, std::span<const char> block);

/* Copies the source range to the destination's origin. The pixels have to be of the same
   size, and the two images mustn't share memory. */
void slice(const ImageView2D& source, const MutableImageView2D& destination,
           const Range2Di& sourceRange);
/* Copies the source range to a destination range of the same size */
void slice(const ImageView2D& source, const MutableImageView2D& destination,
           const Range2Di& sourceRange, const Range2Di& destinationRange);
/* Copies the source range to the destination, its minimum at the offset */
void slice(const ImageView2D& source, const MutableImageView2D& destination,
           const Range2Di& sourceRange, const Vector2i& destinationOffset);

/* Copies tile number index of the source, tiles counted row by row from the origin, grown by
   border on every side into the destination, whose origin takes the grown tile's minimum and
   which has to hold tileSize + 2 border pixels. What falls outside the source wraps around
   as on a repeating texture, unless the source is smaller than the border on either axis,
   when those destination pixels are left alone. False, with nothing written, for an index
   past the last tile, so that a loop can run until it fails. */
bool tile(const ImageView2D& source, const MutableImageView2D& destination,
          const Vector2i& tileSize, std::uint32_t index, const Vector2i& border);

} // namespace ZarvikEngine::ImageTools

#endif
