#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AssetTestHelpers.h"
#include "TestHelpers.h"
#include "ZarvikEngine/Data/ImageRecords.h"

namespace ZarvikEngine::Data {
namespace {

using Test::Bytes;
using Test::toVector;

std::string hash(char c) {
    return std::string(ImageData::HashSize, c);
}

/* Every prefix shorter than the header of a record is rejected with a message */
template<class Record>
void expectTruncationsRejected(const std::vector<char>& payload, std::size_t upTo) {
    for (std::size_t size = 0; size != upTo; ++size)
        EXPECT_TRUE(Record::validate(std::span{payload}.first(size))) << "prefix of" << size;
}

TEST(ImageRecords, ImagesAreTiledOrStoredAsFiles) {
    const std::string hashes[]{hash('a'), hash('b'), hash('c')};
    const std::vector<char> tiled = createImageData({64, 32, 1}, hashes);
    EXPECT_EQ(tiled, std::vector<char>(Bytes{}
                                           .u32(3)
                                           .u8(1)
                                           .zeros(3)
                                           .i32(64)
                                           .i32(32)
                                           .i32(1)
                                           .chars(hashes[0])
                                           .chars(hashes[1])
                                           .chars(hashes[2])));
    ASSERT_EQ(tiled.size(), 116u);
    const ImageData tiledRecord{tiled};
    EXPECT_FALSE(ImageData::validate(tiled));
    EXPECT_TRUE(tiledRecord.compressed());
    EXPECT_EQ(tiledRecord.header().size, (Vector3i{64, 32, 1}));
    ASSERT_EQ(tiledRecord.tileHashes().size(), 3u);
    EXPECT_EQ(std::string_view(tiledRecord.tileHashes()[2], ImageData::HashSize), hashes[2]);
    EXPECT_EQ(tiledRecord.data().size(), 96u);

    const std::vector<char> path = createImageData({-1, 7, 0}, "image.png");
    EXPECT_EQ(path, std::vector<char>(
                        Bytes{}.u32(0).u8(0).zeros(3).i32(-1).i32(7).i32(0).string("image.png")));
    ASSERT_EQ(path.size(), 30u);
    const ImageData pathRecord{path};
    EXPECT_FALSE(ImageData::validate(path));
    EXPECT_FALSE(pathRecord.compressed());
    EXPECT_EQ(pathRecord.path(), "image.png");
    EXPECT_TRUE(pathRecord.tileHashes().empty());

    /* Every truncation loses the terminator or a part of a hash */
    expectTruncationsRejected<ImageData>(tiled, tiled.size());
    expectTruncationsRejected<ImageData>(path, path.size());
    std::vector<char> corrupted = tiled;
    corrupted[4] = 2;
    EXPECT_EQ(ImageData::validate(corrupted), "compressed flag 2 is neither 0 nor 1");
    corrupted = path;
    corrupted[0] = 1;
    EXPECT_EQ(ImageData::validate(corrupted), "image stored as a file has 1 tile hashes");
    corrupted = tiled;
    corrupted[0] = 4;
    EXPECT_EQ(ImageData::validate(corrupted),
              "4 tile hashes take 148 bytes but the payload has 116");
    corrupted = tiled;
    corrupted[3] = char(0xff);
    EXPECT_EQ(ImageData::validate(corrupted),
              "4278190083 tile hashes take 136902082676 bytes but the payload has 116");
}

TEST(ImageRecords, AcceptedImagePayloadsCanBeRead) {
    /* Each byte set to a few values: the readers take whatever validation accepts. Copies end
       where the views end, so that the sanitizer sees reads outside them. */
    const std::string hashes[]{hash('a'), hash('b')};
    for (const std::vector<char>& valid :
         {createImageData({1, 2, 3}, hashes), createImageData({1, 2, 3}, "a.png")})
        for (std::size_t i = 0; i != valid.size(); ++i)
            for (const char value : {'\0', '\1', '\x7f', '\x80', '\xff'}) {
                std::vector<char> payload = valid;
                payload[i] = value;
                if (ImageData::validate(payload))
                    continue;
                const ImageData image{payload};
                const std::span<const char> hashBytes{image.tileHashes().data()[0],
                                                      image.tileHashes().size_bytes()};
                const std::vector<char> hashCopy = toVector(hashBytes);
                const std::string path{image.path()};
                const char* end = payload.data() + payload.size();
                EXPECT_LE(hashBytes.data() + hashCopy.size(), end);
                EXPECT_LE(image.path().data() + path.size(), end);
            }
}

TEST(ImageRecords, TilesCarryHashValueFlagAndData) {
    std::vector<char> file;
    appendHeaderData(file);
    const std::vector<char> data = Bytes{}.sequence(0, 100);
    const AssetChunk chunk = createImageTileChunk(hash('h'), data, true, 0xdeadbeef, file);
    EXPECT_EQ(chunk.header().size, 140u);
    EXPECT_EQ(chunk.totalSizeAligned(), 148u);
    EXPECT_EQ(std::vector<char>(file.begin() + 24, file.end()),
              std::vector<char>(Bytes{}
                                    .chars("ZVKt")
                                    .u32(140)
                                    .chars(hash('h'))
                                    .u32(0xdeadbeef)
                                    .u8(1)
                                    .zeros(3)
                                    .sequence(0, 100)));

    const ImageTileData tile = AssetChunkView{file}.next().as<ImageTileData>();
    EXPECT_FALSE(ImageTileData::validate(AssetChunkView{file}.next().data()));
    EXPECT_EQ(tile.hash(), hash('h'));
    EXPECT_EQ(tile.header().value, 0xdeadbeef);
    EXPECT_TRUE(tile.header().flag);
    EXPECT_EQ(toVector(tile.data()), data);
    EXPECT_EQ(tile.basisData().data(), tile.data().data());

    std::vector<char> odd;
    const char oneByte[]{9};
    createImageTileChunk(hash('o'), oneByte, false, 0, odd);
    EXPECT_EQ(odd.size(), 8 + 44u);
    EXPECT_EQ(AssetChunkView{odd}.header().size, 41u);

    const std::vector<char> payload = toVector(AssetChunkView{file}.next().data());
    /* The tile bytes run to the end of the chunk, only the header can be cut short */
    expectTruncationsRejected<ImageTileData>(payload, 40);
    EXPECT_FALSE(ImageTileData::validate(std::span{payload}.first(40)));
    std::vector<char> corrupted = payload;
    corrupted[36] = 3;
    EXPECT_EQ(ImageTileData::validate(corrupted), "tile flag 3 is neither 0 nor 1");
}

TEST(ImageRecordsDeathTest, HashesMustHaveTheirSize) {
    std::vector<char> file;
    ZE_EXPECT_ABORT(createImageTileChunk(std::string(31, 'h'), {}, false, 0, file),
                    "createImageTileChunk(): expected hash string of length 32 but got 31");
    const std::string hashes[]{hash('a'), std::string(33, 'b')};
    ZE_EXPECT_ABORT_PREFIX(createImageData({}, hashes),
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
    EXPECT_FALSE(TextureData::validate(payload));
    const TextureData record{payload};
    EXPECT_EQ(record.header().image, 4464);
    EXPECT_EQ(record.header().minificationFilter, SamplerFilter::Linear);
    EXPECT_EQ(record.header().wrapping[1], SamplerWrapping::MirroredRepeat);
    EXPECT_EQ(record.header().type, Trade::TextureType::Texture2D);
    EXPECT_TRUE(record.data().empty());

    const std::vector<char> explicitIndices =
        createTextureData(7, 9, SamplerFilter::Nearest, SamplerFilter::Linear, SamplerMipmap::Base,
                          {SamplerWrapping::MirrorClampToEdge, SamplerWrapping::ClampToBorder,
                           SamplerWrapping::Repeat});
    EXPECT_EQ(explicitIndices,
              std::vector<char>(
                  Bytes{}.u16(7).u16(9).u32(0).u32(1).u32(0).u32(4).u32(3).u32(0).u8(2).zeros(3)));
    expectTruncationsRejected<TextureData>(payload, payload.size());
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
    EXPECT_EQ(payload, std::vector<char>(Bytes{}
                                             .i32(3)
                                             .i32(2)
                                             .u32(std::uint32_t(PixelFormat::RGB8Unorm))
                                             .sequence(1, 18)
                                             .u32(0xaabbccdd)
                                             .u8(7)
                                             .u8(8)
                                             .u8(9)
                                             .u8(0)));
    EXPECT_FALSE(ProbeData::validate(payload));
    const ProbeData probe{payload};
    EXPECT_EQ(probe.baseSize(), (Vector2i{3, 2}));
    EXPECT_EQ(probe.format(), PixelFormat::RGB8Unorm);
    EXPECT_EQ(probe.data().size(), 26u);

    /* The pixel data runs to the end of the chunk, only the header can be cut short */
    expectTruncationsRejected<ProbeData>(payload, 12);
    std::vector<char> corrupted = payload;
    corrupted[8] = 0;
    EXPECT_EQ(ProbeData::validate(corrupted), "unknown pixel format 0");
    corrupted = payload;
    corrupted[7] = char(0x80);
    EXPECT_EQ(ProbeData::validate(corrupted), "negative base size 3x-2147483646");
}

TEST(ImageRecordsDeathTest, ProbeNeedsAnImage) {
    ZE_EXPECT_ABORT_PREFIX(createProbeData({}),
                           "Assertion images.size() failed at ZarvikEngine/Data/ImageRecords.cpp:");
}

} // namespace
} // namespace ZarvikEngine::Data
