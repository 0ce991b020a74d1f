#include "ZarvikEngine/Data/ImageRecords.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include <fmt/format.h>

#include "ZarvikEngine/Data/RecordValidation.h"

namespace ZarvikEngine::Data {

namespace {

std::vector<char> imageData(const Vector3i& size, std::uint32_t tileCount, bool compressed,
                            std::size_t dataSize) {
    std::vector<char> out(sizeof(ImageData::Header) + dataSize);
    const ImageData::Header header{tileCount, compressed, {}, size};
    std::memcpy(out.data(), &header, sizeof(header));
    return out;
}

} // namespace

std::optional<std::string> ImageData::validate(std::span<const char> payload) {
    if (auto error = Validation::checkHeaderSize(payload, sizeof(Header)))
        return error;
    const auto compressed =
        Validation::read<std::uint8_t>(payload.data() + offsetof(Header, compressed));
    if (auto error = Validation::checkBool(compressed, "compressed flag"))
        return error;
    const auto tileCount =
        Validation::read<std::uint32_t>(payload.data() + offsetof(Header, tileCount));
    if (!compressed) {
        if (tileCount)
            return fmt::format("image stored as a file has {} tile hashes", tileCount);
        return Validation::checkText(payload.subspan(sizeof(Header)), "path");
    }
    const std::uint64_t expected = sizeof(Header) + std::uint64_t{tileCount} * HashSize;
    if (expected != payload.size())
        return fmt::format("{} tile hashes take {} bytes but the payload has {}", tileCount,
                           expected, payload.size());
    return std::nullopt;
}

std::string_view ImageData::path() const {
    const std::span<const char> text = data();
    return {text.data(), strnlen(text.data(), text.size())};
}

std::vector<char> createImageData(const Vector3i& size, std::span<const std::string> tileHashes) {
    std::vector<char> out = imageData(size, std::uint32_t(tileHashes.size()), true,
                                      tileHashes.size() * ImageData::HashSize);
    char* o = out.data() + sizeof(ImageData::Header);
    for (const std::string& hash : tileHashes) {
        ZE_INTERNAL_ASSERT(hash.size() == ImageData::HashSize);
        std::memcpy(o, hash.data(), ImageData::HashSize);
        o += ImageData::HashSize;
    }
    return out;
}

std::vector<char> createImageData(const Vector3i& size, std::string_view path) {
    /* The last byte stays zero, terminating the path */
    std::vector<char> out = imageData(size, 0, false, path.size() + 1);
    path.copy(out.data() + sizeof(ImageData::Header), path.size());
    return out;
}

std::optional<std::string> ImageTileData::validate(std::span<const char> payload) {
    if (auto error = Validation::checkHeaderSize(payload, sizeof(Header)))
        return error;
    return Validation::checkBool(
        Validation::read<std::uint8_t>(payload.data() + offsetof(Header, flag)), "tile flag");
}

AssetChunk createImageTileChunk(std::string_view hash, std::span<const char> data, bool flag,
                                std::uint32_t value, std::vector<char>& file) {
    ZE_ASSERT(hash.size() == ImageTileData::HashSize,
              "createImageTileChunk(): expected hash string of length" << ImageTileData::HashSize
                                                                       << "but got" << hash.size());
    ImageTileData::Header header{};
    hash.copy(header.hash, ImageTileData::HashSize);
    header.value = value;
    header.flag = flag;
    return AssetChunk::create(
        Magic::ImageTile, {{reinterpret_cast<const char*>(&header), sizeof(header)}, data}, file);
}

std::optional<std::string> TextureData::validate(std::span<const char> payload) {
    return Validation::checkHeaderSize(payload, sizeof(Header));
}

std::vector<char> createTextureData(const Trade::TextureData& texture) {
    return createTextureData(std::uint16_t(texture.image()), 0, texture.minificationFilter(),
                             texture.magnificationFilter(), texture.mipmapFilter(),
                             texture.wrapping());
}

std::vector<char> createTextureData(std::uint16_t image, std::uint16_t secondIndex,
                                    SamplerFilter minification, SamplerFilter magnification,
                                    SamplerMipmap mipmap,
                                    const std::array<SamplerWrapping, 3>& wrapping) {
    const TextureData::Header header{image,
                                     secondIndex,
                                     minification,
                                     magnification,
                                     mipmap,
                                     wrapping,
                                     Trade::TextureType::Texture2D,
                                     {}};
    const char* bytes = reinterpret_cast<const char*>(&header);
    return {bytes, bytes + sizeof(header)};
}

std::optional<std::string> ProbeData::validate(std::span<const char> payload) {
    if (auto error = Validation::checkHeaderSize(payload, sizeof(Header)))
        return error;
    const auto header = Validation::read<Header>(payload.data());
    if (header.baseSize.x < 0 || header.baseSize.y < 0)
        return fmt::format("negative base size {}x{}", header.baseSize.x, header.baseSize.y);
    if (!isPixelFormatKnown(header.format))
        return fmt::format("unknown pixel format {}", std::uint32_t(header.format));
    return std::nullopt;
}

std::vector<char> createProbeData(std::span<const Image2D> images) {
    ZE_INTERNAL_ASSERT(images.size());
    /* Rows with their padding, as the image's storage lays them out */
    const auto pixelBytes = [](const Image2D& image) {
        return image.data().first(image.storage().dataSize(image.pixelSize(), image.size()));
    };
    std::size_t size = sizeof(ProbeData::Header);
    for (const Image2D& image : images)
        size += pixelBytes(image).size();

    std::vector<char> out(size);
    const ProbeData::Header header{images.front().size(), images.front().format()};
    std::memcpy(out.data(), &header, sizeof(header));
    char* o = out.data() + sizeof(header);
    for (const Image2D& image : images) {
        const std::span<const char> bytes = pixelBytes(image);
        std::copy(bytes.begin(), bytes.end(), o);
        o += bytes.size();
    }
    return out;
}

} // namespace ZarvikEngine::Data
