/* The image stage of zarvik import: every image as RGBA8 with its mip chain, each level cut
   into bordered tiles stored as PNG files, each distinct tile once */

#include <algorithm>
#include <cstring>
#include <iterator>
#include <limits>
#include <unordered_set>

#include <stb_image_write.h>

#include "SceneImport.h"
#include "TileHash.h"
#include "ZarvikEngine/Data/AssetChunk.h"
#include "ZarvikEngine/Data/ImageRecords.h"
#include "ZarvikEngine/Tools/ImageTools.h"
#include "ZarvikEngine/Trade/StbResizeImageConverter.h"

namespace ZarvikEngine::Tool {

namespace {

using namespace Data;

/* Channel c of a pixel as an 8-bit value */
template<class T>
std::uint8_t channel8(const char* pixel, std::uint32_t c) {
    T value;
    std::memcpy(&value, pixel + c * sizeof(T), sizeof(T));
    if constexpr (std::is_same_v<T, float>)
        return std::uint8_t(std::clamp(value, 0.0f, 1.0f) * 255.0f + 0.5f);
    else
        return std::uint8_t(value);
}

/* Gray, gray and alpha, RGB or RGBA pixels of 8-bit or float channels as RGBA */
template<class T>
Image2D expand(const ImageView2D& image) {
    const std::uint32_t channels = pixelFormatChannelCount(image.format());
    Image2D rgba = ImageTools::allocateWithFormat(PixelFormat::RGBA8Unorm, image.size());
    const std::size_t pixelSize = pixelFormatSize(image.format());
    const StridedArrayView2D<const char> from = image.pixels();
    const StridedArrayView2D<Vector4ub> to = rgba.pixels<Vector4ub>();
    for (std::size_t y = 0; y != to.size()[0]; ++y)
        for (std::size_t x = 0; x != to.size()[1]; ++x) {
            const char* pixel = &from[y][x * pixelSize];
            Vector4ub& out = to[y][x];
            if (channels <= 2) {
                out = Vector4ub{channel8<T>(pixel, 0)};
                out.a = channels == 2 ? channel8<T>(pixel, 1) : 255;
            } else {
                for (std::uint32_t c = 0; c != 3; ++c)
                    out[int(c)] = channel8<T>(pixel, c);
                out.a = channels == 4 ? channel8<T>(pixel, 3) : 255;
            }
        }
    return rgba;
}

/* The image as RGBA8, nothing for formats that aren't 8- or 16-bit normalized or float */
std::optional<Image2D> rgba8(const ImageView2D& image) {
    const PixelFormat channel = pixelFormatChannelFormat(image.format());
    if (channel == PixelFormat::R8Unorm || channel == PixelFormat::R8Srgb)
        return expand<std::uint8_t>(image);
    if (channel == PixelFormat::R32F)
        return expand<float>(image);
    if (channel == PixelFormat::R16Unorm) {
        Image2D eight = ImageTools::allocateWithFormat(
            pixelFormat(PixelFormat::R8Unorm, pixelFormatChannelCount(image.format()), false),
            image.size());
        if (!ImageTools::convert(image, eight))
            return std::nullopt;
        return expand<std::uint8_t>(eight);
    }
    return std::nullopt;
}

/* PNG bytes of an RGBA8 image whose first row is the bottom one */
std::vector<char> png(const Image2D& image) {
    std::vector<char> data;
    stbi_flip_vertically_on_write(1);
    stbi_write_png_to_func(
        [](void* context, void* bytes, int size) {
            auto& out = *static_cast<std::vector<char>*>(context);
            out.insert(out.end(), static_cast<const char*>(bytes),
                       static_cast<const char*>(bytes) + size);
        },
        &data, image.size().x, image.size().y, 4, image.data().data(),
        int(ImageView2D{image}.rowStride()));
    return data;
}

} // namespace

void SceneImport::writeImages(std::vector<char>& file) {
    Trade::StbResizeImageConverter resizer;
    std::unordered_set<std::string> writtenTiles;
    const std::uint32_t maxLevels =
        _options->mipLevels ? _options->mipLevels : std::numeric_limits<std::uint32_t>::max();
    _imageRecords.assign(_cache->images.size(), -1);
    Progress progress{"images", _cache->images.size()};
    for (std::size_t i = 0; i != _cache->images.size(); ++i, progress.advance()) {
        const std::optional<Trade::ImageData2D>& image = _cache->images[i];
        const std::string& name = _cache->imageNames[i];
        if (!image) {
            ++_counts.imagesSkipped;
            continue;
        }
        std::optional<Image2D> base = image->isCompressed() ? std::nullopt : rgba8(image->image());
        if (!base) {
            Warning{} << "zarvik import: image" << name << "is left out, its format"
                      << (image->isCompressed() ? "is block-compressed" : "can't be converted");
            ++_counts.imagesSkipped;
            continue;
        }

        std::vector<Image2D> levels;
        levels.push_back(std::move(*base));
        if (std::optional<std::vector<Image2D>> mips =
                ImageTools::generateMips(levels[0], resizer, maxLevels))
            std::move(mips->begin(), mips->end(), std::back_inserter(levels));
        else
            Warning{} << "zarvik import: image" << name << "keeps only its full-size level";

        std::vector<std::string> hashes;
        std::vector<std::pair<std::string, std::vector<char>>> newTiles;
        const Vector2i border{_options->tileBorder};
        for (const Image2D& level : levels) {
            const Vector2i tileSize = glm::min(Vector2i{_options->tileSize}, level.size());
            const Vector2i tiles = (level.size() + tileSize - 1) / tileSize;
            Image2D tile =
                ImageTools::allocateWithFormat(PixelFormat::RGBA8Unorm, tileSize + 2 * border);
            for (std::int32_t index = 0; index != tiles.x * tiles.y; ++index) {
                ImageTools::tile(level, tile, tileSize, std::uint32_t(index), border);
                std::vector<char> data = png(tile);
                std::string hash = tileHash(data);
                if (writtenTiles.insert(hash).second)
                    newTiles.emplace_back(hash, std::move(data));
                hashes.push_back(std::move(hash));
            }
        }

        const Vector2i size = levels[0].size();
        AssetChunk::create(ImageData::magic,
                           createImageData({size.x, size.y, std::int32_t(levels.size())}, hashes),
                           file);
        /* The tile value is the border, which tells the tile's own pixels from the size of
           its image */
        for (const auto& [hash, data] : newTiles)
            createImageTileChunk(hash, data, false, std::uint32_t(_options->tileBorder), file);
        _imageRecords[i] = std::int32_t(_counts.images++);
        _counts.imageTiles += newTiles.size();
    }
}

} // namespace ZarvikEngine::Tool
