#ifndef ZarvikEngine_Data_ImageRecords_h
#define ZarvikEngine_Data_ImageRecords_h

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ZarvikEngine/Data/AssetChunk.h"
#include "ZarvikEngine/Math.h"
#include "ZarvikEngine/Trade/Image.h"
#include "ZarvikEngine/Trade/Sampler.h"
#include "ZarvikEngine/Trade/TextureData.h"

namespace ZarvikEngine::Data {

/* An image, either stored elsewhere as a file or as tiles, each in its own chunk and named by
   its hash */
class ImageData : public RecordView {
public:
    static constexpr std::size_t HashSize = 32;

    struct Header {
        /* 0 for an image stored as a file */
        std::uint32_t tileCount;
        bool compressed;
        std::uint8_t padding[3];
        Vector3i size;
    };
    static_assert(sizeof(Header) == 20);

    static constexpr Magic magic = Magic::Image;

    using RecordView::RecordView;

    /* A message naming the first problem that would make a reader abort or read outside the
       payload; nothing for a payload that every reader can take */
    static std::optional<std::string> validate(std::span<const char> payload);

    const Header& header() const { return at<Header>(0); }
    /* After the header */
    std::span<const char> data() const { return _data.subspan(sizeof(Header)); }
    /* Stored as tiles */
    bool compressed() const { return header().compressed; }
    /* Of a tiled image; not terminated */
    std::span<const char[HashSize]> tileHashes() const {
        return {&at<char[HashSize]>(sizeof(Header)), header().tileCount};
    }
    /* Of an image stored as a file */
    std::string_view path() const;
};

/* Tiled image with one hash of HashSize characters per tile */
std::vector<char> createImageData(const Vector3i& size, std::span<const std::string> tileHashes);
/* Image stored as the file at path */
std::vector<char> createImageData(const Vector3i& size, std::string_view path);

/* The compressed data of one image tile, named by its hash */
class ImageTileData : public RecordView {
public:
    static constexpr std::size_t HashSize = 32;

    struct Header {
        /* Not terminated */
        char hash[HashSize];
        /* Value and flag mean what the caller decides */
        std::uint32_t value;
        bool flag;
        std::uint8_t padding[3];
    };
    static_assert(sizeof(Header) == 40);

    static constexpr Magic magic = Magic::ImageTile;

    using RecordView::RecordView;

    /* See ImageData::validate() */
    static std::optional<std::string> validate(std::span<const char> payload);

    const Header& header() const { return at<Header>(0); }
    std::string_view hash() const { return {header().hash, HashSize}; }
    /* The tile's compressed bytes after the header */
    std::span<const char> data() const { return _data.subspan(sizeof(Header)); }
    std::span<const char> basisData() const { return data(); }
};

/* Appends a tile chunk to file; the hash has HashSize characters */
AssetChunk createImageTileChunk(std::string_view hash, std::span<const char> data, bool flag,
                                std::uint32_t value, std::vector<char>& file);

/* An image with the state it is sampled with */
class TextureData : public RecordView {
public:
    struct Header {
        std::uint16_t image;
        /* Means what the caller decides */
        std::uint16_t secondIndex;
        SamplerFilter minificationFilter;
        SamplerFilter magnificationFilter;
        SamplerMipmap mipmapFilter;
        /* Along x, y and z */
        std::array<SamplerWrapping, 3> wrapping;
        /* Always Texture2D */
        Trade::TextureType type;
        std::uint8_t padding[3];
    };
    static_assert(sizeof(Header) == 32);

    static constexpr Magic magic = Magic::Texture;

    using RecordView::RecordView;

    /* See ImageData::validate() */
    static std::optional<std::string> validate(std::span<const char> payload);

    const Header& header() const { return at<Header>(0); }
    /* After the header, empty for records written here */
    std::span<const char> data() const { return _data.subspan(sizeof(Header)); }
};

/* The image index is truncated to 16 bits, the second index is 0 */
std::vector<char> createTextureData(const Trade::TextureData& texture);
std::vector<char> createTextureData(std::uint16_t image, std::uint16_t secondIndex,
                                    SamplerFilter minification, SamplerFilter magnification,
                                    SamplerMipmap mipmap,
                                    const std::array<SamplerWrapping, 3>& wrapping);

/* The pixels of all images of a probe, back to back after the size and format of the first */
class ProbeData : public RecordView {
public:
    struct Header {
        Vector2i baseSize;
        PixelFormat format;
    };
    static_assert(sizeof(Header) == 12);

    static constexpr Magic magic = Magic::Probe;

    using RecordView::RecordView;

    /* See ImageData::validate(). Sizes of images after the first aren't stored, so viewing
       data() as images has to check the size of the data. */
    static std::optional<std::string> validate(std::span<const char> payload);

    const Header& header() const { return at<Header>(0); }
    const Vector2i& baseSize() const { return header().baseSize; }
    PixelFormat format() const { return header().format; }
    /* The pixel data after the header */
    std::span<const char> data() const { return _data.subspan(sizeof(Header)); }
};

/* At least one image; only the first one's size and format are stored */
std::vector<char> createProbeData(std::span<const Image2D> images);

} // namespace ZarvikEngine::Data

#endif
