#include <algorithm>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "ZarvikEngine/DebugString.h"
#include "ZarvikEngine/Tools/ImageTools.h"
#include "ZarvikEngine/Trade/StbResizeImageConverter.h"

namespace ZarvikEngine {
namespace {

constexpr char Untouched = char(0xaa);

Range2Di range(int x0, int y0, int x1, int y1) {
    return {{x0, y0}, {x1, y1}};
}

/* Every byte, padding included, set to Untouched, so that writes outside of what an
   operation should touch show */
Image2D sentinelImage(PixelStorage storage, PixelFormat format, const Vector2i& size) {
    return Image2D{storage, format, size,
                   std::vector<char>(storage.dataSize(pixelFormatSize(format), size), Untouched)};
}
Image2D sentinelImage(PixelFormat format, const Vector2i& size) {
    return sentinelImage(PixelStorage{}, format, size);
}

/* Bytes of the pixel at x, y */
std::string pixel(const ImageView2D& image, int x, int y) {
    return {image.data().data() + std::size_t(y) * image.rowStride() +
                std::size_t(x) * image.pixelSize(),
            image.pixelSize()};
}

std::size_t countBytes(std::span<const char> data, char value) {
    return std::size_t(std::count(data.begin(), data.end(), value));
}

/* Answers every conversion with an image of the configured size, or fails at one call */
class RecordingResizer : public Trade::AbstractImageConverter {
public:
    explicit RecordingResizer(std::size_t failingCall = ~std::size_t{})
        : _failingCall{failingCall} {}

    std::vector<std::string> sizes;
    std::vector<const char*> sources;

private:
    std::optional<Image2D> doConvert(const ImageView2D& image) override {
        sizes.emplace_back(*configuration().value("size"));
        sources.push_back(image.data().data());
        if (sizes.size() - 1 == _failingCall)
            return std::nullopt;
        Vector2i size;
        std::sscanf(sizes.back().c_str(), "%d %d", &size.x, &size.y);
        return ImageTools::allocateWithFormat(image.format(), size);
    }

    std::size_t _failingCall;
};

TEST(ImageTools, AllocationAndMipSizes) {
    const Image2D image = ImageTools::allocateWithFormat(PixelFormat::RGB8Srgb, {3, 2});
    EXPECT_EQ(image.format(), PixelFormat::RGB8Srgb);
    EXPECT_EQ(image.size(), (Vector2i{3, 2}));
    EXPECT_EQ(image.storage(), PixelStorage{});
    /* Rows padded to four bytes, padding zeroed too */
    EXPECT_EQ(image.data().size(), 24u);
    EXPECT_EQ(countBytes(image.data(), 0), 24u);

    const Image2D same = ImageTools::allocateWithSameFormat(image, {5, 1});
    EXPECT_EQ(same.format(), PixelFormat::RGB8Srgb);
    EXPECT_EQ(same.size(), (Vector2i{5, 1}));
    EXPECT_EQ(countBytes(same.data(), 0), 16u);
    EXPECT_TRUE(ImageTools::allocateWithFormat(PixelFormat::R8UI, {0, 7}).data().empty());

    const CompressedImage2D compressed =
        ImageTools::allocateWithFormat(CompressedPixelFormat::Bc3RGBAUnorm, {5, 9});
    EXPECT_EQ(compressed.format(), CompressedPixelFormat::Bc3RGBAUnorm);
    EXPECT_EQ(compressed.size(), (Vector2i{5, 9}));
    EXPECT_EQ(compressed.data().size(), 2u * 3u * 16u);
    EXPECT_EQ(countBytes(compressed.data(), 0), 96u);

    EXPECT_EQ(ImageTools::mipCount({256, 64}), 9u);
    EXPECT_EQ(ImageTools::mipCount({64, 256}), 9u);
    EXPECT_EQ(ImageTools::mipCount({255, 1}), 8u);
    EXPECT_EQ(ImageTools::mipCount({1, 1}), 1u);
    EXPECT_EQ(ImageTools::mipCount({0, 64}), 0u);
    EXPECT_EQ(ImageTools::mipCount({64, 0}), 0u);
    EXPECT_EQ(ImageTools::mipSize({256, 64}, 0), (Vector2i{256, 64}));
    EXPECT_EQ(ImageTools::mipSize({256, 64}, 7), (Vector2i{2, 1}));
    EXPECT_EQ(ImageTools::mipSize({256, 64}, 8), (Vector2i{1, 1}));
    EXPECT_EQ(ImageTools::mipSize({255, 3}, 1), (Vector2i{127, 1}));
    EXPECT_EQ(ImageTools::mipSize({1 << 30, 5}, 40), (Vector2i{1, 1}));
}

TEST(ImageTools, GenerateMips) {
    const Image2D image = ImageTools::allocateWithFormat(PixelFormat::RG16F, {256, 64});

    RecordingResizer resizer;
    const auto mips = ImageTools::generateMips(image, resizer, 100);
    ASSERT_TRUE(mips);
    EXPECT_EQ(resizer.sizes, (std::vector<std::string>{"128 32", "64 16", "32 8", "16 4", "8 2",
                                                       "4 1", "2 1", "1 1"}));
    /* Always from the full source */
    EXPECT_EQ(resizer.sources, std::vector(8, image.data().data()));
    ASSERT_EQ(mips->size(), 8u);
    EXPECT_EQ((*mips)[0].size(), (Vector2i{128, 32}));
    EXPECT_EQ((*mips)[7].size(), (Vector2i{1, 1}));

    RecordingResizer three;
    EXPECT_EQ(ImageTools::generateMips(image, three, 3)->size(), 2u);
    EXPECT_EQ(three.sizes, (std::vector<std::string>{"128 32", "64 16"}));

    /* One level is the source alone: an empty list, not a failure */
    RecordingResizer one;
    const auto none = ImageTools::generateMips(image, one, 1);
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->empty());
    EXPECT_TRUE(one.sizes.empty());

    RecordingResizer failing{2};
    EXPECT_EQ(ImageTools::generateMips(image, failing, 9), std::nullopt);
    EXPECT_EQ(failing.sizes.size(), 3u);

    /* With the real resizer a flat image gives flat levels */
    Image2D flat = ImageTools::allocateWithFormat(PixelFormat::RGBA8Unorm, {12, 5});
    ImageTools::fill(flat, range(0, 0, 12, 5), {10, 20, 30, 255});
    Trade::StbResizeImageConverter stb;
    const auto levels = ImageTools::generateMips(flat, stb, 16);
    ASSERT_TRUE(levels);
    ASSERT_EQ(levels->size(), 3u);
    EXPECT_EQ((*levels)[1].size(), (Vector2i{3, 1}));
    EXPECT_EQ((*levels)[2].size(), (Vector2i{1, 1}));
    for (const Image2D& level : *levels)
        for (int y = 0; y != level.size().y; ++y)
            for (int x = 0; x != level.size().x; ++x)
                ASSERT_EQ(pixel(level, x, y), "\x0a\x14\x1e\xff");
}

TEST(ImageTools, ConvertSixteenToEightBits) {
    /* Every value, against an exact division */
    Image2D wide = ImageTools::allocateWithFormat(PixelFormat::R16UI, {65536, 1});
    const auto values = wide.pixels<std::uint16_t>();
    for (std::size_t i = 0; i != 65536; ++i)
        values[0][i] = std::uint16_t(i);
    Image2D narrow = ImageTools::allocateWithFormat(PixelFormat::R8UI, {65536, 1});
    ASSERT_TRUE(ImageTools::convert(wide, narrow));
    const auto converted = narrow.pixels<std::uint8_t>();
    for (std::size_t i = 0; i != 65536; ++i)
        ASSERT_EQ(converted[0][i], i / 257) << i;
    EXPECT_EQ(converted[0][0], 0);
    EXPECT_EQ(converted[0][257], 1);
    EXPECT_EQ(converted[0][65535], 255);

    /* Four channels, a source row longer than the image and destination padding that must
       stay */
    std::vector<char> sourceData(2 * 5 * 8);
    const MutableImageView2D source{
        PixelStorage{}.setRowLength(5), PixelFormat::RGBA16Unorm, {2, 2}, sourceData};
    const std::uint16_t rgba[]{0, 256, 257, 65535, 514, 1000, 60000, 32768};
    std::memcpy(sourceData.data(), rgba, sizeof(rgba));
    std::memcpy(sourceData.data() + 40, rgba + 4, 8);
    std::memcpy(sourceData.data() + 48, rgba, 8);
    Image2D destination =
        sentinelImage(PixelStorage{}.setRowLength(3), PixelFormat::RGBA8UI, {2, 2});
    ASSERT_TRUE(ImageTools::convert(source, destination));
    EXPECT_EQ(pixel(destination, 0, 0), std::string("\x00\x00\x01\xff", 4));
    EXPECT_EQ(pixel(destination, 1, 0), std::string("\x02\x03\xe9\x7f", 4));
    EXPECT_EQ(pixel(destination, 0, 1), std::string("\x02\x03\xe9\x7f", 4));
    EXPECT_EQ(pixel(destination, 1, 1), std::string("\x00\x00\x01\xff", 4));
    EXPECT_EQ(countBytes(destination.data(), Untouched), 8u);

    /* Other pairs write nothing */
    const auto refused = [](PixelFormat from, PixelFormat to) {
        const Image2D in = ImageTools::allocateWithFormat(from, {3, 2});
        Image2D out = sentinelImage(to, {3, 2});
        return !ImageTools::convert(in, out) &&
               countBytes(out.data(), Untouched) == out.data().size();
    };
    EXPECT_TRUE(refused(PixelFormat::RGBA16Unorm, PixelFormat::RGB8Unorm));
    EXPECT_TRUE(refused(PixelFormat::RG16UI, PixelFormat::RGB8UI));
    EXPECT_TRUE(refused(PixelFormat::R16Unorm, PixelFormat::R8Srgb));
    EXPECT_TRUE(refused(PixelFormat::R16I, PixelFormat::R8UI));
    EXPECT_TRUE(refused(PixelFormat::RG16F, PixelFormat::RG8Unorm));
    EXPECT_TRUE(refused(PixelFormat::R8UI, PixelFormat::R8Unorm));
    EXPECT_TRUE(refused(PixelFormat::R16Unorm, PixelFormat::R16UI));
    EXPECT_TRUE(refused(PixelFormat::Depth16Unorm, PixelFormat::R8Unorm));
    EXPECT_TRUE(refused(PixelFormat::R16UI, PixelFormat::Stencil8UI));
}

TEST(ImageTools, GrayscaleToRgb) {
    const std::vector<char> data{1, 2, 3, 4, 5, 6};
    const ImageView2D gray{PixelStorage{}.setAlignment(1), PixelFormat::R8Unorm, {3, 2}, data};
    const auto rgb = ImageTools::convertGrayscaleToRgb(gray);
    ASSERT_TRUE(rgb);
    EXPECT_EQ(rgb->format(), PixelFormat::RGB8Unorm);
    EXPECT_EQ(rgb->size(), (Vector2i{3, 2}));
    EXPECT_EQ(pixel(*rgb, 0, 0), "\x01\x01\x01");
    EXPECT_EQ(pixel(*rgb, 2, 0), "\x03\x03\x03");
    EXPECT_EQ(pixel(*rgb, 1, 1), "\x05\x05\x05");
    EXPECT_EQ(pixel(*rgb, 2, 1), "\x06\x06\x06");

    const ImageView2D integer{PixelStorage{}.setAlignment(1), PixelFormat::R8UI, {1, 1}, data};
    EXPECT_EQ(ImageTools::convertGrayscaleToRgb(integer)->format(), PixelFormat::RGB8UI);

    for (const PixelFormat format : {PixelFormat::R8Srgb, PixelFormat::R8I, PixelFormat::RG8Unorm,
                                     PixelFormat::R16Unorm, PixelFormat::Stencil8UI})
        EXPECT_EQ(ImageTools::convertGrayscaleToRgb(
                      ImageView2D{PixelStorage{}.setAlignment(1), format, {1, 1}, data}),
                  std::nullopt)
            << debugString(format);
}

TEST(ImageTools, Fill) {
    const Color4ub color{1, 2, 3, 4};
    /* Only the range, each pixel with as many components as it has channels */
    for (const PixelFormat format :
         {PixelFormat::R8Unorm, PixelFormat::RG8UI, PixelFormat::RGB8Unorm, PixelFormat::RGBA8UI}) {
        Image2D image = sentinelImage(format, {5, 4});
        ASSERT_TRUE(ImageTools::fill(image, range(1, 1, 4, 3), color)) << debugString(format);
        const std::string filled{"\x01\x02\x03\x04", image.pixelSize()};
        for (int y = 0; y != 4; ++y)
            for (int x = 0; x != 5; ++x)
                ASSERT_EQ(pixel(image, x, y), range(1, 1, 4, 3).contains({x, y})
                                                  ? filled
                                                  : std::string(image.pixelSize(), Untouched))
                    << debugString(format) << x << y;
        EXPECT_EQ(countBytes(image.data(), Untouched), image.data().size() - 6 * filled.size());
    }

    /* Other channel formats, depth formats and empty ranges write nothing */
    for (const PixelFormat format : {PixelFormat::RGBA8Srgb, PixelFormat::RG8I,
                                     PixelFormat::RGBA16Unorm, PixelFormat::Depth24Unorm}) {
        Image2D image = sentinelImage(format, {2, 2});
        EXPECT_FALSE(ImageTools::fill(image, range(0, 0, 2, 2), color)) << debugString(format);
        EXPECT_EQ(countBytes(image.data(), Untouched), image.data().size());
    }
    Image2D empty = sentinelImage(PixelFormat::RGBA8Unorm, {2, 2});
    EXPECT_TRUE(ImageTools::fill(empty, range(1, 0, 1, 2), color));
    EXPECT_EQ(countBytes(empty.data(), Untouched), 16u);

    /* Any format byte by byte, padding left alone */
    Image2D floats = sentinelImage(PixelFormat::RGB16F, {3, 3});
    EXPECT_TRUE(ImageTools::byteFill(floats, range(2, 0, 3, 3), 0x3c));
    EXPECT_EQ(countBytes(floats.data(), 0x3c), 18u);
    EXPECT_EQ(pixel(floats, 2, 1), std::string(6, 0x3c));
    EXPECT_EQ(pixel(floats, 1, 1), std::string(6, Untouched));
    Image2D depth = sentinelImage(PixelFormat::Depth32FStencil8UI, {1, 1});
    EXPECT_TRUE(ImageTools::byteFill(depth, range(0, 0, 1, 1), 0));
    EXPECT_EQ(countBytes(depth.data(), 0), 8u);

    /* Compressed: every block, and only with a block of the format's size */
    CompressedImage2D blocks{
        CompressedPixelFormat::Bc1RGBAUnorm, {8, 5}, std::vector<char>(4 * 8, Untouched)};
    const std::string block{"abcdefgh"};
    EXPECT_FALSE(ImageTools::fill(blocks, std::span{block.data(), 7}));
    EXPECT_FALSE(ImageTools::fill(blocks, std::span{(block + block).data(), 16}));
    EXPECT_EQ(countBytes(blocks.data(), Untouched), 32u);
    EXPECT_TRUE(ImageTools::fill(blocks, std::span{block.data(), 8}));
    EXPECT_EQ(std::string(blocks.data().data(), 32), block + block + block + block);
}

TEST(ImageTools, Slice) {
    /* Pixels hold their coordinates */
    Image2D source = sentinelImage(PixelFormat::RGB8UI, {6, 5});
    for (int y = 0; y != 5; ++y)
        for (int x = 0; x != 6; ++x)
            source.pixels<Vector3ub>()[y][x] = Vector3ub(x, y, 9);
    const auto expectCopied = [&](const Image2D& destination, const Range2Di& from,
                                  const Vector2i& to) {
        for (int y = 0; y != destination.size().y; ++y)
            for (int x = 0; x != destination.size().x; ++x) {
                const Vector2i sourceXY = Vector2i{x, y} - to + from.min();
                ASSERT_EQ(pixel(destination, x, y),
                          Range2Di::fromSize(to, from.size()).contains({x, y})
                              ? pixel(source, sourceXY.x, sourceXY.y)
                              : std::string(3, Untouched))
                    << x << y;
            }
    };

    Image2D destination = sentinelImage(PixelFormat::RGB8Unorm, {4, 4});
    ImageTools::slice(source, destination, range(1, 2, 4, 4));
    expectCopied(destination, range(1, 2, 4, 4), {0, 0});

    destination = sentinelImage(PixelFormat::RGB8Unorm, {4, 4});
    ImageTools::slice(source, destination, range(4, 1, 6, 5), range(2, 0, 4, 4));
    expectCopied(destination, range(4, 1, 6, 5), {2, 0});

    destination = sentinelImage(PixelFormat::RGB8Unorm, {4, 4});
    ImageTools::slice(source, destination, range(0, 0, 3, 1), Vector2i{1, 3});
    expectCopied(destination, range(0, 0, 3, 1), {1, 3});

    /* The whole image, and nothing */
    Image2D copy = sentinelImage(PixelStorage{}.setAlignment(1), PixelFormat::RGB8UI, {6, 5});
    ImageTools::slice(source, copy, range(0, 0, 6, 5));
    expectCopied(copy, range(0, 0, 6, 5), {0, 0});
    destination = sentinelImage(PixelFormat::RGB8Unorm, {4, 4});
    ImageTools::slice(source, destination, range(6, 5, 6, 5), Vector2i{4, 4});
    EXPECT_EQ(countBytes(destination.data(), Untouched), destination.data().size());
}

/* Pixels hold their coordinates, so what a tile pixel should be follows from the coordinates
   alone, modulo the source size, instead of a second copy of the source */
Image2D coordinateImage(const Vector2i& size) {
    Image2D image = ImageTools::allocateWithFormat(PixelFormat::RG16UI, size);
    for (int y = 0; y != size.y; ++y)
        for (int x = 0; x != size.x; ++x)
            image.pixels<Vector2us>()[y][x] = Vector2us(x, y);
    return image;
}

TEST(ImageTools, TileCoordinates) {
    /* Tile 5 of a 1024-wide source is column 1, row 1 */
    const Image2D source = coordinateImage({1024, 600});
    Image2D destination = ImageTools::allocateWithFormat(PixelFormat::RG16UI, {260, 260});
    ASSERT_TRUE(ImageTools::tile(source, destination, {256, 256}, 5, {2, 2}));
    const auto tile = destination.pixels<Vector2us>();
    EXPECT_EQ(tile[0][0], (Vector2us{254, 254}));
    EXPECT_EQ(tile[259][259], (Vector2us{513, 513}));
    EXPECT_EQ(tile[2][2], (Vector2us{256, 256}));

    /* Tile 0: the corner beyond the origin takes the opposite corner of the source, the
       strips take the last columns and rows */
    ASSERT_TRUE(ImageTools::tile(source, destination, {256, 256}, 0, {2, 2}));
    EXPECT_EQ(tile[0][0], (Vector2us{1022, 598}));
    EXPECT_EQ(tile[1][1], (Vector2us{1023, 599}));
    EXPECT_EQ(tile[0][2], (Vector2us{0, 598}));
    EXPECT_EQ(tile[2][0], (Vector2us{1022, 0}));

    /* Three rows of four tiles, the last row reaching past the source, where it continues
       with the first rows */
    EXPECT_TRUE(ImageTools::tile(source, destination, {256, 256}, 11, {2, 2}));
    EXPECT_EQ(tile[0][0], (Vector2us{766, 510}));
    EXPECT_EQ(tile[89][257], (Vector2us{1023, 599}));
    EXPECT_EQ(tile[90][258], (Vector2us{0, 0}));
    EXPECT_EQ(tile[259][259], (Vector2us{1, 169}));
    destination = sentinelImage(PixelFormat::RG16UI, {260, 260});
    EXPECT_FALSE(ImageTools::tile(source, destination, {256, 256}, 12, {2, 2}));
    EXPECT_EQ(countBytes(destination.data(), Untouched), destination.data().size());
}

struct TileCase {
    Vector2i sourceSize, tileSize, border;
};

/* Every pixel of every tile, for sources that are and aren't multiples of the tile size,
   smaller than a tile, and smaller than the border */
TEST(ImageTools, TilesWithWrappedBorders) {
    for (const TileCase& c :
         {TileCase{{64, 48}, {16, 16}, {2, 2}}, TileCase{{70, 45}, {16, 8}, {3, 1}},
          TileCase{{33, 17}, {32, 16}, {0, 0}}, TileCase{{5, 3}, {16, 16}, {2, 3}},
          TileCase{{1, 7}, {4, 4}, {2, 2}}, TileCase{{3, 5}, {2, 2}, {3, 1}},
          TileCase{{9, 1}, {4, 4}, {1, 0}}}) {
        const Image2D source = coordinateImage(c.sourceSize);
        /* A column and a row more than needed, which have to stay untouched */
        const Vector2i size = c.tileSize + 2 * c.border + 1;
        const bool wraps = c.sourceSize.x >= c.border.x && c.sourceSize.y >= c.border.y;
        const int columns = (c.sourceSize.x + c.tileSize.x - 1) / c.tileSize.x;
        const int rows = (c.sourceSize.y + c.tileSize.y - 1) / c.tileSize.y;

        std::uint32_t index = 0;
        for (;; ++index) {
            Image2D destination = sentinelImage(PixelFormat::RG16UI, size);
            if (!ImageTools::tile(source, destination, c.tileSize, index, c.border))
                break;
            const Vector2i origin =
                Vector2i(int(index) % columns, int(index) / columns) * c.tileSize - c.border;
            for (int y = 0; y != size.y; ++y)
                for (int x = 0; x != size.x; ++x) {
                    const Vector2i at = origin + Vector2i{x, y};
                    const bool inside =
                        at.x >= 0 && at.y >= 0 && at.x < c.sourceSize.x && at.y < c.sourceSize.y;
                    std::string expected(4, Untouched);
                    if (x < size.x - 1 && y < size.y - 1 && (inside || wraps)) {
                        const Vector2us wrapped(
                            (at.x % c.sourceSize.x + c.sourceSize.x) % c.sourceSize.x,
                            (at.y % c.sourceSize.y + c.sourceSize.y) % c.sourceSize.y);
                        expected.assign(reinterpret_cast<const char*>(&wrapped), 4);
                    }
                    ASSERT_EQ(pixel(destination, x, y), expected)
                        << "source" << c.sourceSize.x << "x" << c.sourceSize.y << "tile" << index
                        << "at" << x << y;
                }
        }
        EXPECT_EQ(index, std::uint32_t(columns * rows));
    }
}

TEST(ImageToolsDeathTest, ProgrammingErrors) {
    Image2D a = ImageTools::allocateWithFormat(PixelFormat::RGBA16Unorm, {4, 4});
    Image2D b = ImageTools::allocateWithFormat(PixelFormat::RGBA8Unorm, {4, 3});
    ZE_EXPECT_ABORT(ImageTools::convert(a, b),
                    "ImageTools::convert(): Images have different sizes");
    ZE_EXPECT_ABORT(ImageTools::convert(a, a),
                    "ImageTools::convert(): Images have the same format");
    ZE_EXPECT_ABORT(ImageTools::allocateWithFormat(PixelFormat::R8Unorm, {-1, 2}),
                    "ImageTools::allocateWithFormat(): Invalid size Vector(-1, 2)");

    ZE_EXPECT_ABORT(ImageTools::fill(b, range(-1, 0, 2, 2), {}),
                    "ImageTools::fill(): Range({-1, 0}, {2, 2}) is not inside an image of size "
                    "Vector(4, 3)");
    ZE_EXPECT_ABORT(ImageTools::byteFill(b, range(0, 0, 2, 4), 0),
                    "ImageTools::byteFill(): Range({0, 0}, {2, 4}) is not inside an image of size "
                    "Vector(4, 3)");
    ZE_EXPECT_ABORT(ImageTools::byteFill(b, range(2, 0, 1, 3), 0),
                    "ImageTools::byteFill(): Range({2, 0}, {1, 3}) is not inside an image of size "
                    "Vector(4, 3)");
    std::vector<char> blocks(33);
    const MutableCompressedImageView2D compressed{CompressedPixelFormat::Bc4RUnorm, {8, 8}, blocks};
    ZE_EXPECT_ABORT_PREFIX(ImageTools::fill(compressed, std::span{blocks.data(), 8}),
                           "Assertion blocks.size()%blockSize == 0 failed at "
                           "ZarvikEngine/Tools/ImageTools.cpp:");

    Image2D c = ImageTools::allocateWithFormat(PixelFormat::R32F, {4, 4});
    ZE_EXPECT_ABORT(ImageTools::slice(a, c, range(0, 0, 1, 1)),
                    "ImageTools::slice(): Images have different pixel sizes: 8 and 4");
    ZE_EXPECT_ABORT(ImageTools::slice(b, c, range(0, 0, 5, 1)),
                    "ImageTools::slice(): Source Range({0, 0}, {5, 1}) is not inside an image "
                    "of size Vector(4, 3)");
    ZE_EXPECT_ABORT(ImageTools::slice(b, c, range(0, 0, 2, 2), Vector2i{3, 0}),
                    "ImageTools::slice(): Destination Range({3, 0}, {5, 2}) is not inside an "
                    "image of size Vector(4, 4)");
    ZE_EXPECT_ABORT(ImageTools::slice(b, c, range(0, 0, 2, 2), range(0, 0, 2, 3)),
                    "ImageTools::slice(): Ranges have different sizes: Vector(2, 2) and "
                    "Vector(2, 3)");

    Image2D tile = ImageTools::allocateWithFormat(PixelFormat::RGBA8Unorm, {6, 6});
    ZE_EXPECT_ABORT(ImageTools::tile(b, tile, {0, 2}, 0, {1, 1}),
                    "ImageTools::tile(): Invalid tile size Vector(0, 2)");
    ZE_EXPECT_ABORT(ImageTools::tile(b, tile, {2, 2}, 0, {1, -1}),
                    "ImageTools::tile(): Invalid border Vector(1, -1)");
    ZE_EXPECT_ABORT(ImageTools::tile(a, tile, {2, 2}, 0, {1, 1}),
                    "ImageTools::tile(): Images have different pixel sizes: 8 and 4");
    ZE_EXPECT_ABORT(ImageTools::tile(b, tile, {4, 3}, 0, {2, 1}),
                    "ImageTools::tile(): A destination of size Vector(6, 6) can't hold a tile of "
                    "size Vector(4, 3) with a border of Vector(2, 1)");
}

} // namespace
} // namespace ZarvikEngine
