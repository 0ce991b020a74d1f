#include "ZarvikEngine/Trade/ImageDecoding.h"

#include <cstring>
#include <limits>
#include <memory>

#include <stb_image.h>

namespace ZarvikEngine::Trade {

namespace {

/* Files can claim any size in their header; refuse to allocate more than this for pixels */
constexpr std::size_t MaxDecodedBytes = std::size_t{1} << 30;

struct StbFree {
    void operator()(void* pixels) const { stbi_image_free(pixels); }
};

PixelFormat formatFor(int channels, std::size_t channelSize) {
    const PixelFormat single = channelSize == 1   ? PixelFormat::R8Unorm
                               : channelSize == 2 ? PixelFormat::R16Unorm
                                                  : PixelFormat::R32F;
    return pixelFormat(single, std::uint32_t(channels), false);
}

} // namespace

std::optional<ImageData2D> decodeImage(std::span<const char> data, std::string_view what) {
    if (data.size() > std::size_t(std::numeric_limits<int>::max())) {
        Error{} << "Trade::decodeImage():" << what << "is too large to decode";
        return std::nullopt;
    }
    const auto* bytes = reinterpret_cast<const stbi_uc*>(data.data());
    const int size = int(data.size());

    int width, height, channels;
    if (!stbi_info_from_memory(bytes, size, &width, &height, &channels)) {
        Error{} << "Trade::decodeImage(): cannot decode" << what << Debug::nospace << ":"
                << stbi_failure_reason();
        return std::nullopt;
    }
    const std::size_t channelSize = stbi_is_hdr_from_memory(bytes, size)      ? 4
                                    : stbi_is_16_bit_from_memory(bytes, size) ? 2
                                                                              : 1;
    /* A color key can give a file one more channel decoded than its header says, so the
       size is checked for the most a pixel can take */
    if (width <= 0 || height <= 0 ||
        std::size_t(width) * std::size_t(height) * 4 * channelSize > MaxDecodedBytes) {
        Error{} << "Trade::decodeImage():" << what << "has an unsupported size of" << width << "x"
                << height << "pixels";
        return std::nullopt;
    }

    /* Pixel rows bottom-up, as textures are addressed */
    stbi_set_flip_vertically_on_load_thread(1);
    std::unique_ptr<void, StbFree> pixels;
    int decodedWidth, decodedHeight, decodedChannels;
    if (channelSize == 4)
        pixels.reset(stbi_loadf_from_memory(bytes, size, &decodedWidth, &decodedHeight,
                                            &decodedChannels, 0));
    else if (channelSize == 2)
        pixels.reset(stbi_load_16_from_memory(bytes, size, &decodedWidth, &decodedHeight,
                                              &decodedChannels, 0));
    else
        pixels.reset(
            stbi_load_from_memory(bytes, size, &decodedWidth, &decodedHeight, &decodedChannels, 0));
    if (!pixels || decodedWidth != width || decodedHeight != height) {
        Error{} << "Trade::decodeImage(): cannot decode" << what << Debug::nospace << ":"
                << (pixels ? "inconsistent header" : stbi_failure_reason());
        return std::nullopt;
    }

    const std::size_t byteCount =
        std::size_t(width) * std::size_t(height) * std::size_t(decodedChannels) * channelSize;
    std::vector<char> pixelData(byteCount);
    std::memcpy(pixelData.data(), pixels.get(), byteCount);
    return ImageData2D{Image2D{PixelStorage{}.setAlignment(1),
                               formatFor(decodedChannels, channelSize), Vector2i{width, height},
                               std::move(pixelData)}};
}

} // namespace ZarvikEngine::Trade
