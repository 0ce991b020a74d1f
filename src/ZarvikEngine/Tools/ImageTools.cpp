#include "ZarvikEngine/Tools/ImageTools.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include <fmt/format.h>

namespace ZarvikEngine::ImageTools {

namespace {

void checkSize(const char* function, const Vector2i& size) {
    ZE_ASSERT(size.x >= 0 && size.y >= 0, function << Debug::nospace << "(): Invalid size" << size);
}

/* The prefix is the function's name, and for two images which one the range is in */
void checkRange(const char* prefix, const Range2Di& range, const Vector2i& size) {
    ZE_ASSERT(range.min().x >= 0 && range.min().y >= 0 && range.min().x <= range.max().x &&
                  range.min().y <= range.max().y && range.max().x <= size.x &&
                  range.max().y <= size.y,
              prefix << range << "is not inside an image of size" << size);
}

template<class T>
T* row(const BasicImageView2D<T>& image, std::int64_t y) {
    return image.data().data() + std::size_t(y) * image.rowStride();
}

/* The bytes of the range's pixels in each of its rows */
template<class Function>
void forEachRow(const MutableImageView2D& image, const Range2Di& range, Function&& function) {
    const std::size_t pixelSize = image.pixelSize();
    const std::size_t width = std::size_t(range.max().x - range.min().x) * pixelSize;
    if (!width)
        return;
    for (int y = range.min().y; y != range.max().y; ++y)
        function(row(image, y) + std::size_t(range.min().x) * pixelSize, width);
}

bool isChannelFormat(PixelFormat format, PixelFormat a, PixelFormat b) {
    if (isPixelFormatDepthOrStencil(format))
        return false;
    const PixelFormat channelFormat = pixelFormatChannelFormat(format);
    return channelFormat == a || channelFormat == b;
}

void checkPixelSizes(const char* function, const ImageView2D& source,
                     const MutableImageView2D& destination) {
    ZE_ASSERT(source.pixelSize() == destination.pixelSize(),
              function << Debug::nospace << "(): Images have different pixel sizes:"
                       << source.pixelSize() << "and" << destination.pixelSize());
}

std::int64_t wrap(std::int64_t value, std::int64_t size) {
    const std::int64_t remainder = value % size;
    return remainder < 0 ? remainder + size : remainder;
}

} // namespace

Image2D allocateWithFormat(PixelFormat format, const Vector2i& size) {
    checkSize("ImageTools::allocateWithFormat", size);
    const PixelStorage storage;
    return Image2D{storage, format, size,
                   std::vector<char>(storage.dataSize(pixelFormatSize(format), size))};
}

CompressedImage2D allocateWithFormat(CompressedPixelFormat format, const Vector2i& size) {
    checkSize("ImageTools::allocateWithFormat", size);
    return CompressedImage2D{format, size,
                             std::vector<char>(compressedImageDataSize(format, size))};
}

Image2D allocateWithSameFormat(const ImageView2D& view, const Vector2i& size) {
    return allocateWithFormat(view.format(), size);
}

std::uint32_t mipCount(const Vector2i& size) {
    if (size.x <= 0 || size.y <= 0)
        return 0;
    return std::uint32_t(std::bit_width(std::uint32_t(std::max(size.x, size.y))));
}

Vector2i mipSize(const Vector2i& size, std::uint32_t level) {
    /* Shifting by the width of the type or more is undefined */
    if (level >= 31)
        return {1, 1};
    return glm::max(size >> int(level), Vector2i{1});
}

std::optional<std::vector<Image2D>> generateMips(const ImageView2D& view,
                                                 Trade::AbstractImageConverter& resizer,
                                                 std::uint32_t maxLevels) {
    const std::uint32_t levels = std::min(mipCount(view.size()), maxLevels);
    std::vector<Image2D> mips;
    for (std::uint32_t level = 1; level < levels; ++level) {
        const Vector2i size = mipSize(view.size(), level);
        resizer.configuration().setValue("size", fmt::format("{} {}", size.x, size.y));
        std::optional<Image2D> mip = resizer.convert(view);
        if (!mip)
            return std::nullopt;
        mips.push_back(std::move(*mip));
    }
    return mips;
}

bool convert(const ImageView2D& source, const MutableImageView2D& destination) {
    ZE_ASSERT(source.size() == destination.size(),
              "ImageTools::convert(): Images have different sizes");
    ZE_ASSERT(source.format() != destination.format(),
              "ImageTools::convert(): Images have the same format");
    if (!isChannelFormat(source.format(), PixelFormat::R16Unorm, PixelFormat::R16UI) ||
        !isChannelFormat(destination.format(), PixelFormat::R8Unorm, PixelFormat::R8UI) ||
        pixelFormatChannelCount(source.format()) != pixelFormatChannelCount(destination.format()))
        return false;

    const std::size_t values =
        std::size_t(source.size().x) * pixelFormatChannelCount(source.format());
    for (int y = 0; y < source.size().y; ++y) {
        const char* in = row(source, y);
        auto* out = reinterpret_cast<std::uint8_t*>(row(destination, y));
        for (std::size_t i = 0; i != values; ++i) {
            /* Rows of views from outside needn't be aligned for 16-bit loads */
            std::uint16_t value;
            std::memcpy(&value, in + 2 * i, 2);
            out[i] = std::uint8_t(float(value) * 0.0038910506f);
        }
    }
    return true;
}

std::optional<Image2D> convertGrayscaleToRgb(const ImageView2D& view) {
    if (view.format() != PixelFormat::R8Unorm && view.format() != PixelFormat::R8UI)
        return std::nullopt;
    Image2D rgb = allocateWithFormat(pixelFormat(view.format(), 3, false), view.size());
    const MutableImageView2D out = rgb;
    for (int y = 0; y < view.size().y; ++y) {
        const char* gray = row(view, y);
        char* color = row(out, y);
        for (int x = 0; x != view.size().x; ++x)
            std::memset(color + 3 * x, gray[x], 3);
    }
    return rgb;
}

bool fill(const MutableImageView2D& image, const Range2Di& range, const Color4ub& color) {
    checkRange("ImageTools::fill():", range, image.size());
    if (!isChannelFormat(image.format(), PixelFormat::R8Unorm, PixelFormat::R8UI))
        return false;

    const std::size_t pixelSize = image.pixelSize();
    const char* first = nullptr;
    forEachRow(image, range, [&](char* bytes, std::size_t width) {
        /* The first row pixel by pixel, the others copied from it */
        if (first) {
            std::memcpy(bytes, first, width);
            return;
        }
        for (std::size_t i = 0; i != width; i += pixelSize)
            std::memcpy(bytes + i, &color, pixelSize);
        first = bytes;
    });
    return true;
}

bool byteFill(const MutableImageView2D& image, const Range2Di& range, std::uint8_t byte) {
    checkRange("ImageTools::byteFill():", range, image.size());
    forEachRow(image, range,
               [&](char* bytes, std::size_t width) { std::memset(bytes, byte, width); });
    return true;
}

bool fill(const MutableCompressedImageView2D& image, std::span<const char> block) {
    const std::size_t blockSize = compressedPixelFormatBlockDataSize(image.format());
    if (block.size() != blockSize)
        return false;
    const std::span<char> blocks = image.data();
    // clang-format off
    ZE_INTERNAL_ASSERT(blocks.size()%blockSize == 0);
    // clang-format on
    for (std::size_t offset = 0; offset != blocks.size(); offset += blockSize)
        std::memcpy(blocks.data() + offset, block.data(), blockSize);
    return true;
}

void slice(const ImageView2D& source, const MutableImageView2D& destination,
           const Range2Di& sourceRange) {
    slice(source, destination, sourceRange, Vector2i{});
}

void slice(const ImageView2D& source, const MutableImageView2D& destination,
           const Range2Di& sourceRange, const Range2Di& destinationRange) {
    ZE_ASSERT(sourceRange.size() == destinationRange.size(),
              "ImageTools::slice(): Ranges have different sizes:" << sourceRange.size() << "and"
                                                                  << destinationRange.size());
    slice(source, destination, sourceRange, destinationRange.min());
}

void slice(const ImageView2D& source, const MutableImageView2D& destination,
           const Range2Di& sourceRange, const Vector2i& destinationOffset) {
    checkPixelSizes("ImageTools::slice", source, destination);
    checkRange("ImageTools::slice(): Source", sourceRange, source.size());
    checkRange("ImageTools::slice(): Destination",
               Range2Di::fromSize(destinationOffset, sourceRange.size()), destination.size());

    const std::size_t pixelSize = source.pixelSize();
    const std::size_t width = std::size_t(sourceRange.size().x) * pixelSize;
    if (!width)
        return;
    for (int y = 0; y != sourceRange.size().y; ++y)
        std::memcpy(row(destination, destinationOffset.y + y) +
                        std::size_t(destinationOffset.x) * pixelSize,
                    row(source, sourceRange.min().y + y) +
                        std::size_t(sourceRange.min().x) * pixelSize,
                    width);
}

bool tile(const ImageView2D& source, const MutableImageView2D& destination,
          const Vector2i& tileSize, std::uint32_t index, const Vector2i& border) {
    ZE_ASSERT(tileSize.x >= 1 && tileSize.y >= 1,
              "ImageTools::tile(): Invalid tile size" << tileSize);
    ZE_ASSERT(border.x >= 0 && border.y >= 0, "ImageTools::tile(): Invalid border" << border);
    checkPixelSizes("ImageTools::tile", source, destination);
    const std::int64_t wantedWidth = std::int64_t(tileSize.x) + 2 * std::int64_t(border.x);
    const std::int64_t wantedHeight = std::int64_t(tileSize.y) + 2 * std::int64_t(border.y);
    ZE_ASSERT(destination.size().x >= wantedWidth && destination.size().y >= wantedHeight,
              "ImageTools::tile(): A destination of size" << destination.size()
                                                          << "can't hold a tile of size" << tileSize
                                                          << "with a border of" << border);

    const std::int64_t width = source.size().x, height = source.size().y;
    const auto tilesPerRow = std::uint64_t(std::ceil(float(width) / float(tileSize.x)));
    const auto tileRows = std::uint64_t((height + tileSize.y - 1) / tileSize.y);
    if (index >= tilesPerRow * tileRows)
        return false;

    const std::int64_t x0 = std::int64_t(index % tilesPerRow) * tileSize.x - border.x;
    const std::int64_t y0 = std::int64_t(index / tilesPerRow) * tileSize.y - border.y;
    const std::int64_t x1 = x0 + wantedWidth;
    /* What lies outside wraps around, unless the source is too small to give a border */
    const bool wraps = width >= border.x && height >= border.y;
    const std::size_t pixelSize = source.pixelSize();

    for (std::int64_t y = 0; y != wantedHeight; ++y) {
        std::int64_t sourceY = y0 + y;
        if (sourceY < 0 || sourceY >= height) {
            if (!wraps)
                continue;
            sourceY = wrap(sourceY, height);
        }
        const char* in = row(source, sourceY);
        char* out = row(destination, y);

        /* Row by row in as few copies as the wrapping allows: one for a tile inside the
           source, three for one with a border on both sides */
        std::int64_t x = wraps ? x0 : std::max<std::int64_t>(x0, 0);
        const std::int64_t end = wraps ? x1 : std::min(x1, width);
        while (x < end) {
            const std::int64_t sourceX = wrap(x, width);
            const std::int64_t length = std::min(width - sourceX, end - x);
            std::memcpy(out + std::size_t(x - x0) * pixelSize,
                        in + std::size_t(sourceX) * pixelSize, std::size_t(length) * pixelSize);
            x += length;
        }
    }
    return true;
}

} // namespace ZarvikEngine::ImageTools
