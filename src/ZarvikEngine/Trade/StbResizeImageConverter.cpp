#include "ZarvikEngine/Trade/StbResizeImageConverter.h"

#include <charconv>
#include <limits>

#include <fmt/format.h>
#include <stb_image_resize.h>

namespace ZarvikEngine::Trade {

namespace {

/* Exactly "<width> <height>", both at least 1 */
std::optional<Vector2i> parseSize(std::string_view value) {
    const char* const end = value.data() + value.size();
    Vector2i size;
    const auto width = std::from_chars(value.data(), end, size.x);
    if (width.ec != std::errc{} || width.ptr == end || *width.ptr != ' ')
        return std::nullopt;
    const auto height = std::from_chars(width.ptr + 1, end, size.y);
    if (height.ec != std::errc{} || height.ptr != end || size.x < 1 || size.y < 1)
        return std::nullopt;
    return size;
}

} // namespace

std::optional<Image2D> StbResizeImageConverter::doConvert(const ImageView2D& image) {
    const std::optional<std::string_view> value = configuration().value("size");
    if (!value) {
        Error{} << "Trade::StbResizeImageConverter::convert(): the size configuration value "
                   "isn't set";
        return std::nullopt;
    }
    const std::optional<Vector2i> size = parseSize(*value);
    if (!size) {
        Error{} << "Trade::StbResizeImageConverter::convert(): expected a size of two positive "
                   "integers separated by a space but got"
                << fmt::format("\"{}\"", *value);
        return std::nullopt;
    }

    const PixelFormat format = image.format();
    const PixelFormat channelFormat =
        isPixelFormatDepthOrStencil(format) ? format : pixelFormatChannelFormat(format);
    stbir_datatype type;
    if (channelFormat == PixelFormat::R8Unorm || channelFormat == PixelFormat::R8Srgb)
        type = STBIR_TYPE_UINT8;
    else if (channelFormat == PixelFormat::R16Unorm)
        type = STBIR_TYPE_UINT16;
    else if (channelFormat == PixelFormat::R32F)
        type = STBIR_TYPE_FLOAT;
    else {
        Error{} << "Trade::StbResizeImageConverter::convert(): unsupported format" << format;
        return std::nullopt;
    }
    if (!image.size().x || !image.size().y) {
        Error{} << "Trade::StbResizeImageConverter::convert(): can't resize an image of size"
                << image.size();
        return std::nullopt;
    }

    /* stb_image_resize takes strides as int */
    const PixelStorage storage;
    const std::size_t inputStride = image.rowStride();
    const std::size_t outputStride = storage.rowStride(image.pixelSize(), size->x);
    constexpr std::size_t maxStride = std::numeric_limits<int>::max();
    if (inputStride > maxStride || outputStride > maxStride) {
        Error{} << "Trade::StbResizeImageConverter::convert(): can't resize rows of more than"
                << maxStride << "bytes";
        return std::nullopt;
    }

    const int channels = int(pixelFormatChannelCount(format));
    const int alpha = channels == 2 || channels == 4 ? channels - 1 : STBIR_ALPHA_CHANNEL_NONE;
    std::vector<char> data(storage.dataSize(image.pixelSize(), *size));
    if (!stbir_resize(
            image.data().data(), image.size().x, image.size().y, int(inputStride), data.data(),
            size->x, size->y, int(outputStride), type, channels, alpha, 0, STBIR_EDGE_CLAMP,
            STBIR_EDGE_CLAMP, STBIR_FILTER_DEFAULT, STBIR_FILTER_DEFAULT,
            isPixelFormatSrgb(format) ? STBIR_COLORSPACE_SRGB : STBIR_COLORSPACE_LINEAR, nullptr)) {
        Error{} << "Trade::StbResizeImageConverter::convert(): resizing failed";
        return std::nullopt;
    }
    return Image2D{storage, format, *size, std::move(data)};
}

} // namespace ZarvikEngine::Trade
