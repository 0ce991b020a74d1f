#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AssetTestHelpers.h"
#include "TestHelpers.h"
#include "ZarvikEngine/Data/ImageRecords.h"

namespace ZarvikEngine::Data {
namespace {

using Test::Bytes;
using Test::expectValidationErrors;
using Test::expectValidationGuardsReaders;
using Test::patched;
using Test::touch;
using Test::toVector;

std::string hash(char c) {
    return std::string(ImageData::HashSize, c);
}

/* Copies end where the views end, so that the sanitizer sees reads outside them */
void readImage(std::span<const char> payload) {
    const ImageData image{payload};
    touch(std::span<const char>{image.tileHashes().data()[0], image.tileHashes().size_bytes()});
    touch(std::span{image.path()});
}

TEST(ImageRecords, ImagesAreTiledOrStoredAsFiles) {
    const std::string hashes[]{hash('a'), hash('b'), hash('c')};
    const std::vector<char> tiled = createImageData({64, 32, 1}, hashes);
    Bytes expected;
    expected.u32(3).u8(1).zeros(3).i32(64).i32(32).i32(1);
    EXPECT_EQ(tiled, std::vector<char>(expected.chars(hashes[0] + hashes[1] + hashes[2])));
    const ImageData tiledRecord{tiled};
    EXPECT_TRUE(tiledRecord.compressed());
    EXPECT_EQ(tiledRecord.header().size, (Vector3i{64, 32, 1}));
    ASSERT_EQ(tiledRecord.tileHashes().size(), 3u);
    EXPECT_EQ(std::string_view(tiledRecord.tileHashes()[2], ImageData::HashSize), hashes[2]);

    const std::vector<char> path = createImageData({-1, 7, 0}, "image.png");
    EXPECT_EQ(path, std::vector<char>(
                        Bytes{}.u32(0).u8(0).zeros(3).i32(-1).i32(7).i32(0).string("image.png")));
    const ImageData pathRecord{path};
    EXPECT_FALSE(pathRecord.compressed());
    EXPECT_EQ(pathRecord.path(), "image.png");
    EXPECT_TRUE(pathRecord.tileHashes().empty());

    /* Every truncation loses the terminator or a part of a hash */
    expectValidationGuardsReaders<ImageData>(tiled, readImage);
    expectValidationGuardsReaders<ImageData>(path, readImage);
    expectValidationErrors<ImageData>({
        {patched(tiled, 4, '\2'), "compressed flag 2 is neither 0 nor 1"},
        {patched(path, 0, '\1'), "image stored as a file has 1 tile hashes"},
        {patched(path, 20 + 5, '\0'), "path has a zero byte before its end"},
        {patched(tiled, 0, '\4'), "4 tile hashes take 148 bytes but the payload has 116"},
        {patched(tiled, 3, '\xff'),
         "4278190083 tile hashes take 136902082676 bytes but the payload has 116"},
    });
}

TEST(ImageRecords, TilesCarryHashValueFlagAndData) {
    std::vector<char> file;
    appendHeaderData(file);
    const std::vector<char> data = Bytes{}.sequence(0, 100);
    createImageTileChunk(hash('h'), data, true, 0xdeadbeef, file);
    Bytes expected;
    expected.chars("ZVKt").u32(140).chars(hash('h')).u32(0xdeadbeef).u8(1).zeros(3);
    EXPECT_EQ(std::vector<char>(file.begin() + 24, file.end()),
              std::vector<char>(expected.sequence(0, 100)));
    const ImageTileData tile = AssetChunkView{file}.next().as<ImageTileData>();
    EXPECT_EQ(tile.hash(), hash('h'));
    EXPECT_EQ(toVector(tile.basisData()), data);

    std::vector<char> odd;
    const char oneByte[]{9};
    createImageTileChunk(hash('o'), oneByte, false, 0, odd);
    EXPECT_EQ(odd.size(), 8 + 44u);
    EXPECT_EQ(AssetChunkView{odd}.header().size, 41u);

    /* The tile bytes run to the end of the chunk, only the header can be cut short */
    const std::vector<char> payload = toVector(AssetChunkView{file}.next().data());
    EXPECT_FALSE(ImageTileData::validate(std::span{payload}.first(40)));
    expectValidationGuardsReaders<ImageTileData>(
        payload, [](std::span<const char> bytes) { touch(ImageTileData{bytes}.data()); }, 40);
    EXPECT_EQ(ImageTileData::validate(patched(payload, 36, '\3')),
              "tile flag 3 is neither 0 nor 1");

    ZE_EXPECT_ABORT(createImageTileChunk(std::string(31, 'h'), {}, false, 0, file),
                    "createImageTileChunk(): expected hash string of length 32 but got 31");
    const std::string wrongHashes[]{hash('a'), std::string(33, 'b')};
    ZE_EXPECT_ABORT_PREFIX(createImageData({}, wrongHashes),
                           "Assertion hash.size() == ImageData::HashSize failed at "
                           "ZarvikEngine/Data/ImageRecords.cpp:");
}

TEST(ImageRecords, TexturesPairAnImageWithSamplerState) {
    const Trade::TextureData texture{
        Trade::TextureType::CubeMap,
        SamplerFilter::Linear,
        SamplerFilter::Nearest,
        SamplerMipmap::Linear,
        {SamplerWrapping::ClampToEdge, SamplerWrapping::MirroredRepeat, SamplerWrapping::Repeat},
        70000};
    const std::vector<char> payload = createTextureData(texture);
    /* 70000 truncated to 16 bits; the type is always a 2D texture */
    EXPECT_EQ(
        payload,
        std::vector<char>(
            Bytes{}.u16(4464).u16(0).u32(1).u32(0).u32(2).u32(2).u32(1).u32(0).u8(2).zeros(3)));
    EXPECT_EQ(TextureData{payload}.header().wrapping[1], SamplerWrapping::MirroredRepeat);

    const std::vector<char> explicitIndices =
        createTextureData(7, 9, SamplerFilter::Nearest, SamplerFilter::Linear, SamplerMipmap::Base,
                          {SamplerWrapping::MirrorClampToEdge, SamplerWrapping::ClampToBorder,
                           SamplerWrapping::Repeat});
    EXPECT_EQ(explicitIndices,
              std::vector<char>(
                  Bytes{}.u16(7).u16(9).u32(0).u32(1).u32(0).u32(4).u32(3).u32(0).u8(2).zeros(3)));
    expectValidationGuardsReaders<TextureData>(
        payload, [](std::span<const char> bytes) { touch(TextureData{bytes}.data()); });
}

TEST(ImageRecords, ProbesStoreThePixelsOfAllImages) {
    std::vector<Image2D> images;
    /* Rows of nine bytes without padding, and a data array longer than the pixels */
    images.emplace_back(PixelStorage{}.setAlignment(1), PixelFormat::RGB8Unorm, Vector2i{3, 2},
                        Bytes{}.sequence(1, 18).fill(5, 0xee));
    images.emplace_back(PixelFormat::RGBA8Unorm, Vector2i{1, 1}, Bytes{}.u32(0xaabbccdd));
    /* One row of three bytes padded to four */
    images.emplace_back(PixelFormat::RGB8Unorm, Vector2i{1, 1}, Bytes{}.u8(7).u8(8).u8(9).u8(0));
    const std::vector<char> payload = createProbeData(images);
    Bytes expected;
    expected.i32(3).i32(2).u32(std::uint32_t(PixelFormat::RGB8Unorm)).sequence(1, 18);
    EXPECT_EQ(payload, std::vector<char>(expected.u32(0xaabbccdd).u8(7).u8(8).u8(9).u8(0)));
    const ProbeData probe{payload};
    EXPECT_EQ(probe.baseSize(), (Vector2i{3, 2}));
    EXPECT_EQ(probe.format(), PixelFormat::RGB8Unorm);
    EXPECT_EQ(probe.data().size(), 26u);

    /* The pixel data runs to the end of the chunk, only the header can be cut short */
    expectValidationGuardsReaders<ProbeData>(
        payload, [](std::span<const char> bytes) { touch(ProbeData{bytes}.data()); }, 12);
    EXPECT_EQ(ProbeData::validate(patched(payload, 8, 0u)), "unknown pixel format 0");
    EXPECT_EQ(ProbeData::validate(patched(payload, 7, '\x80')), "negative base size 3x-2147483646");

    ZE_EXPECT_ABORT_PREFIX(createProbeData({}),
                           "Assertion images.size() failed at ZarvikEngine/Data/ImageRecords.cpp:");
}

} // namespace
} // namespace ZarvikEngine::Data
