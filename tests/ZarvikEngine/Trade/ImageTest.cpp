#include <numeric>
#include <vector>

#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "ZarvikEngine/DebugString.h"
#include "ZarvikEngine/Trade/ImageData.h"
#include "ZarvikEngine/Trade/TextureData.h"

namespace ZarvikEngine {
namespace {

/* Bytes 0, 1, 2, ... so that every position is recognisable */
std::vector<char> countingBytes(std::size_t size) {
    std::vector<char> data(size);
    std::iota(data.begin(), data.end(), char{0});
    return data;
}

TEST(Image, RowsArePaddedToTheAlignment) {
    /* RGB8 of width 3: nine bytes of pixels, padded to twelve */
    const PixelStorage storage;
    EXPECT_EQ(storage.dataSize(3, {3, 2}), 24u);
    EXPECT_EQ(storage.dataSize(3, {0, 2}), 0u);
    EXPECT_EQ(PixelStorage{}.setAlignment(8).rowStride(3, 3), 16u);
    /* Rows of a wider image around a part of it */
    EXPECT_EQ(PixelStorage{}.setRowLength(5).rowStride(3, 3), 16u);

    const std::vector<char> data = countingBytes(24);
    const ImageView2D view{PixelFormat::RGB8Unorm, {3, 2}, data};

    /* The byte rows leave the padding out */
    const StridedArrayView2D<const char> bytes = view.pixels();
    EXPECT_EQ(bytes.size(), (Size2D{2, 9}));
    EXPECT_EQ(bytes.stride(), (Stride2D{12, 1}));
    EXPECT_EQ(bytes[1][8], 20);

    EXPECT_EQ(view.pixels<Vector3ub>()[1][0], (Vector3ub{12, 13, 14}));

    /* Tightly packed rows with alignment 1 */
    const ImageView2D packed{
        PixelStorage{}.setAlignment(1), PixelFormat::RGB8Unorm, {3, 2}, std::span{data}.first(18)};
    EXPECT_EQ(packed.pixels<Vector3ub>()[1][0], (Vector3ub{9, 10, 11}));

    /* The left half of a wider image, viewed in place */
    const ImageView2D half{PixelStorage{}.setRowLength(4), PixelFormat::R16UI, {2, 3}, data};
    EXPECT_EQ(half.pixels().size(), (Size2D{3, 4}));
    EXPECT_EQ(half.pixels<std::uint16_t>()[2][1], std::uint16_t(18 | 19 << 8));
}

TEST(Image, OwnedAndMutableImagesShareTheViewLogic) {
    Image2D image{PixelFormat::RGBA8Unorm, {2, 2}, std::vector<char>(16)};
    const char* data = image.data().data();
    MutableImageView2D mutableView = image;
    mutableView.pixels<Color4ub>()[1][0] = {1, 2, 3, 4};
    image.pixels<std::uint32_t>()[0][1] = 0x08070605;

    const Image2D moved = std::move(image);
    EXPECT_EQ(moved.data().data(), data);
    const ImageView2D view = moved;
    EXPECT_EQ(view.pixels<Color4ub>()[1][0], (Color4ub{1, 2, 3, 4}));
    EXPECT_EQ(view.pixels<Color4ub>()[0][1], (Color4ub{5, 6, 7, 8}));

    Image2D released{PixelFormat::R8Unorm, {4, 1}, countingBytes(4)};
    EXPECT_EQ(released.release(), countingBytes(4));
    EXPECT_EQ(released.size(), (Vector2i{0, 0}));
}

TEST(Image, CompressedImagesAndImageData) {
    /* 5×5 needs 2×2 blocks of 8 bytes */
    EXPECT_EQ(compressedImageDataSize(CompressedPixelFormat::Bc1RGBAUnorm, {5, 5}), 32u);
    EXPECT_EQ(compressedImageDataSize(CompressedPixelFormat::Astc12x10RGBASrgb, {13, 10}), 32u);
    EXPECT_EQ(compressedImageDataSize(CompressedPixelFormat::PvrtcRGB2bppUnorm, {9, 4}), 16u);
    EXPECT_EQ(compressedImageDataSize(CompressedPixelFormat::Astc3x3x3RGBAF, {3, 3}), 16u);

    CompressedImage2D image{CompressedPixelFormat::Bc1RGBAUnorm, {5, 5}, countingBytes(32)};
    MutableCompressedImageView2D mutableView = image;
    mutableView.data()[31] = 99;
    EXPECT_EQ(CompressedImageView2D{image}.data()[31], 99);

    /* Image data holds either kind */
    Trade::ImageData2D plain{Image2D{PixelFormat::RG8Unorm, {2, 1}, countingBytes(4)}};
    EXPECT_FALSE(plain.isCompressed());
    EXPECT_EQ(plain.size(), (Vector2i{2, 1}));
    plain.image().pixels<Vector2ub>()[0][1] = {7, 8};
    EXPECT_EQ(plain.data()[3], 8);

    const Trade::ImageData2D compressed{
        CompressedImage2D{CompressedPixelFormat::Etc2RGB8Srgb, {4, 8}, countingBytes(16)}};
    EXPECT_TRUE(compressed.isCompressed());
    EXPECT_EQ(compressed.size(), (Vector2i{4, 8}));
}

TEST(TextureData, SamplerStateAndPrinting) {
    const Trade::TextureData texture{
        Trade::TextureType::Texture2D,
        SamplerFilter::Linear,
        SamplerFilter::Nearest,
        SamplerMipmap::Linear,
        {SamplerWrapping::Repeat, SamplerWrapping::ClampToEdge, SamplerWrapping::MirroredRepeat},
        70000};
    EXPECT_EQ(texture.magnificationFilter(), SamplerFilter::Nearest);
    EXPECT_EQ(texture.wrapping()[2], SamplerWrapping::MirroredRepeat);
    EXPECT_EQ(texture.image(), 70000u);

    EXPECT_EQ(std::uint32_t(SamplerMipmap::Linear), 2u);
    EXPECT_EQ(std::uint32_t(SamplerWrapping::MirrorClampToEdge), 4u);
    EXPECT_EQ(std::uint8_t(Trade::TextureType::Texture2D), 2u);
    EXPECT_EQ(debugString(SamplerWrapping::ClampToBorder), "SamplerWrapping::ClampToBorder");
    EXPECT_EQ(debugString(SamplerWrapping(5)), "SamplerWrapping(5)");
    EXPECT_EQ(debugString(Trade::TextureType::CubeMap), "Trade::TextureType::CubeMap");
}

TEST(ImageDeathTest, DataAndTypesAreChecked) {
    const std::vector<char> data(23);
    /* The last row needs its padding too */
    ZE_EXPECT_ABORT((ImageView2D{PixelFormat::RGB8Unorm, {3, 2}, data}),
                    "ImageView: data too small, got 23 but expected at least 24 bytes");
    ZE_EXPECT_ABORT((Image2D{PixelFormat::RGB8Unorm, {3, 2}, std::vector<char>(23)}),
                    "Image: data too small, got 23 but expected at least 24 bytes");
    ZE_EXPECT_ABORT(
        (CompressedImageView2D{CompressedPixelFormat::Bc1RGBAUnorm, {5, 5}, std::span{data}}),
        "CompressedImageView: data too small, got 23 but expected at least 32 bytes");
    ZE_EXPECT_ABORT(
        (CompressedImage2D{CompressedPixelFormat::Bc1RGBAUnorm, {5, 5}, std::vector<char>(31)}),
        "CompressedImage: data too small, got 31 but expected at least 32 bytes");
    ZE_EXPECT_ABORT(
        PixelStorage{}.setAlignment(3),
        "PixelStorage::setAlignment(): expected alignment to be 1, 2, 4 or 8 but got 3");

    const ImageView2D view{PixelFormat::RGB8Unorm, {3, 1}, data};
    ZE_EXPECT_ABORT(view.pixels<std::uint32_t>(),
                    "ImageView::pixels(): can't view 3-byte pixels of PixelFormat::RGB8Unorm as "
                    "a 4-byte type");

    const Trade::ImageData2D compressed{
        CompressedImage2D{CompressedPixelFormat::Bc1RGBAUnorm, {4, 4}, std::vector<char>(8)}};
    ZE_EXPECT_ABORT(compressed.image(), "Trade::ImageData::image(): the image is compressed");
    const Trade::ImageData2D plain{Image2D{PixelFormat::R8Unorm, {1, 1}, std::vector<char>(4)}};
    ZE_EXPECT_ABORT(plain.compressedImage(),
                    "Trade::ImageData::compressedImage(): the image is not compressed");
}

} // namespace
} // namespace ZarvikEngine
