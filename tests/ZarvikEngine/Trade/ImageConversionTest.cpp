#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "ZarvikEngine/DebugString.h"
#include "ZarvikEngine/Tools/ImageTools.h"
#include "ZarvikEngine/Trade/ImageDecoding.h"
#include "ZarvikEngine/Trade/StbResizeImageConverter.h"

namespace ZarvikEngine {
namespace {

const std::filesystem::path Models{"/usr/share/assimp/models"};

std::string readFile(const std::filesystem::path& path) {
    std::ifstream file{path, std::ios::binary};
    return {std::istreambuf_iterator<char>{file}, {}};
}

/* ---------------------------------------------------------------------------------------- */
/* Image files written and read here, independently of the decoder */

std::uint32_t bigEndian32(std::string_view bytes, std::size_t offset) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i != 4; ++i)
        value = value << 8 | std::uint8_t(bytes[offset + i]);
    return value;
}

void appendBigEndian32(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out += char(value >> shift);
}

std::uint32_t crc32(std::string_view bytes) {
    std::uint32_t crc = 0xffffffffu;
    for (const char c : bytes) {
        crc ^= std::uint8_t(c);
        for (int k = 0; k != 8; ++k)
            crc = crc >> 1 ^ (0xedb88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

std::string pngChunk(std::string_view type, std::string_view data) {
    std::string body{type};
    body += data;
    std::string chunk;
    appendBigEndian32(chunk, std::uint32_t(data.size()));
    chunk += body;
    appendBigEndian32(chunk, crc32(body));
    return chunk;
}

const std::string PngSignature{"\x89PNG\r\n\x1a\n", 8};

/* A PNG of unfiltered rows in stored (uncompressed) deflate blocks; rows are the raw bytes of
   each row, top first */
std::string makePng(std::uint32_t width, std::uint32_t height, int depth, int colorType,
                    const std::vector<std::string>& rows, std::string_view chunks = {}) {
    std::string header;
    appendBigEndian32(header, width);
    appendBigEndian32(header, height);
    header += char(depth);
    header += char(colorType);
    header += std::string(3, '\0');

    std::string raw;
    for (const std::string& row : rows)
        raw += '\0' + row;
    std::string zlib{"\x78\x01"};
    std::size_t offset = 0;
    do {
        const std::size_t length = std::min<std::size_t>(raw.size() - offset, 65535);
        zlib += char(offset + length == raw.size());
        zlib += char(length & 0xff);
        zlib += char(length >> 8);
        zlib += char(~length & 0xff);
        zlib += char(~length >> 8 & 0xff);
        zlib += raw.substr(offset, length);
        offset += length;
    } while (offset != raw.size());
    std::uint32_t a = 1, b = 0;
    for (const char c : raw) {
        a = (a + std::uint8_t(c)) % 65521;
        b = (b + a) % 65521;
    }
    appendBigEndian32(zlib, b << 16 | a);

    return PngSignature + pngChunk("IHDR", header) + std::string{chunks} + pngChunk("IDAT", zlib) +
           pngChunk("IEND", {});
}

struct FileHeader {
    Vector2i size;
    int channels;
    int bitDepth;
};

/* The IHDR chunk, and whether a tRNS chunk adds alpha */
std::optional<FileHeader> pngHeader(std::string_view file) {
    if (file.substr(0, 8) != PngSignature || file.substr(12, 4) != "IHDR")
        return std::nullopt;
    FileHeader header{{int(bigEndian32(file, 16)), int(bigEndian32(file, 20))}, 0, file[24]};
    const int colorType = file[25];
    header.channels = colorType == 0 ? 1 : colorType == 4 ? 2 : colorType == 6 ? 4 : 3;
    for (std::size_t offset = 8; offset + 8 <= file.size();) {
        const std::string_view type = file.substr(offset + 4, 4);
        if (type == "IDAT")
            break;
        if (type == "tRNS")
            ++header.channels;
        offset += 12 + bigEndian32(file, offset);
    }
    return header;
}

/* The frame header of a baseline, extended or progressive JPEG */
std::optional<FileHeader> jpegHeader(std::string_view file) {
    if (file.substr(0, 2) != "\xff\xd8")
        return std::nullopt;
    for (std::size_t offset = 2; offset + 4 <= file.size();) {
        if (std::uint8_t(file[offset]) != 0xff)
            return std::nullopt;
        const std::uint8_t marker = file[offset + 1];
        const std::size_t length =
            std::uint8_t(file[offset + 2]) << 8 | std::uint8_t(file[offset + 3]);
        if (marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc)
            return FileHeader{
                {std::uint8_t(file[offset + 7]) << 8 | std::uint8_t(file[offset + 8]),
                 std::uint8_t(file[offset + 5]) << 8 | std::uint8_t(file[offset + 6])},
                file[offset + 9],
                file[offset + 4]};
        offset += 2 + length;
    }
    return std::nullopt;
}

/* What an error-only call printed */
template<class Function>
std::string errorsOf(Function&& function) {
    std::ostringstream out;
    Error redirect{&out};
    function();
    return out.str();
}

Trade::ImageData2D decoded(std::string_view file, std::string_view what) {
    std::optional<Trade::ImageData2D> image = Trade::decodeImage(file, what);
    EXPECT_TRUE(image) << what;
    return image ? std::move(*image)
                 : Trade::ImageData2D{Image2D{PixelFormat::R8Unorm, {}, std::vector<char>{}}};
}

std::string pixel(const ImageView2D& image, int x, int y) {
    return {image.data().data() + std::size_t(y) * image.rowStride() +
                std::size_t(x) * image.pixelSize(),
            image.pixelSize()};
}

/* Per-channel mean over the image, on the scale of the channel type */
std::vector<double> channelMeans(const ImageView2D& image) {
    const std::size_t channels = pixelFormatChannelCount(image.format());
    std::vector<double> sums(channels);
    for (int y = 0; y != image.size().y; ++y)
        for (int x = 0; x != image.size().x; ++x)
            for (std::size_t c = 0; c != channels; ++c)
                sums[c] += std::uint8_t(pixel(image, x, y)[c]);
    for (double& sum : sums)
        sum /= double(image.size().x) * image.size().y;
    return sums;
}

/* ---------------------------------------------------------------------------------------- */

TEST(DecodeImage, RealFilesMatchTheirHeaders) {
    std::size_t pngs = 0, jpegs = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator{Models}) {
        std::string extension = entry.path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return char(std::tolower(c)); });
        const bool png = extension == ".png";
        if (!png && extension != ".jpg" && extension != ".jpeg")
            continue;
        const std::string file = readFile(entry.path());
        const std::optional<FileHeader> header = png ? pngHeader(file) : jpegHeader(file);
        ASSERT_TRUE(header) << entry.path();
        ++(png ? pngs : jpegs);

        const Trade::ImageData2D image = decoded(file, entry.path().string());
        ASSERT_FALSE(image.isCompressed());
        EXPECT_EQ(image.size(), header->size) << entry.path();
        const PixelFormat single =
            header->bitDepth == 16 ? PixelFormat::R16Unorm : PixelFormat::R8Unorm;
        EXPECT_EQ(image.image().format(),
                  pixelFormat(single, std::uint32_t(header->channels), false))
            << entry.path();
        EXPECT_EQ(image.image().storage(), PixelStorage{}.setAlignment(1));
        EXPECT_EQ(image.data().size(), std::size_t(header->size.x) * header->size.y *
                                           header->channels * (header->bitDepth / 8));
    }
    /* Gray, RGB, RGBA and palette PNGs; baseline and progressive JPEGs */
    EXPECT_GE(pngs, 30u);
    EXPECT_GE(jpegs, 15u);
}

TEST(DecodeImage, MadeFilesDecodeToTheirPixels) {
    /* 16-bit RGB, big-endian in the file, native after decoding, the last row first */
    const std::string rows[]{std::string{"\x01\x02\x03\x04\x05\x06\xff\xff\x00\x00\x80\x00", 12},
                             std::string{"\x00\x01\x00\x02\x00\x03\xab\xcd\xef\x01\x23\x45", 12}};
    const Trade::ImageData2D image =
        decoded(makePng(2, 2, 16, 2, {rows[0], rows[1]}), "16-bit RGB");
    ASSERT_EQ(image.image().format(), PixelFormat::RGB16Unorm);
    ASSERT_EQ(image.size(), (Vector2i{2, 2}));
    const auto pixels = image.image().pixels<Vector3us>();
    EXPECT_EQ(pixels[0][0], (Vector3us{1, 2, 3}));
    EXPECT_EQ(pixels[0][1], (Vector3us{0xabcd, 0xef01, 0x2345}));
    EXPECT_EQ(pixels[1][0], (Vector3us{0x0102, 0x0304, 0x0506}));
    EXPECT_EQ(pixels[1][1], (Vector3us{0xffff, 0, 0x8000}));

    const Trade::ImageData2D grayAlpha =
        decoded(makePng(1, 1, 16, 4, {std::string{"\x12\x34\xfe\xdc", 4}}), "16-bit gray");
    ASSERT_EQ(grayAlpha.image().format(), PixelFormat::RG16Unorm);
    EXPECT_EQ(grayAlpha.image().pixels<Vector2us>()[0][0], (Vector2us{0x1234, 0xfedc}));

    /* Rows of three bytes, tightly packed */
    const Trade::ImageData2D gray = decoded(
        makePng(3, 2, 8, 0, {std::string{"\x01\x02\x03"}, std::string{"\x04\x05\x06"}}), "gray");
    ASSERT_EQ(gray.image().format(), PixelFormat::R8Unorm);
    EXPECT_EQ(std::string(gray.data().data(), gray.data().size()), "\x04\x05\x06\x01\x02\x03");

    /* A file too large to decode is refused from its header */
    const std::string huge = makePng(18000, 18000, 16, 2, {});
    EXPECT_EQ(errorsOf([&] { EXPECT_FALSE(Trade::decodeImage(huge, "huge.png")); }),
              "Trade::decodeImage(): huge.png has an unsupported size of 18000 x 18000 pixels\n");
}

/* A color key in a tRNS chunk gives gray and RGB PNGs an alpha channel, which the decoder
   reports only once it has decoded the pixels, so that the two channel counts differ.
   Disabled until decodeImage() takes the count of the decoded pixels. */
TEST(DecodeImage, ColorKeyAddsAlpha) {
    const Trade::ImageData2D gray = decoded(
        makePng(2, 1, 8, 0, {std::string{"\x00\xff", 2}}, pngChunk("tRNS", std::string(2, '\0'))),
        "gray with a color key");
    EXPECT_EQ(gray.image().format(), PixelFormat::RG8Unorm);
    EXPECT_EQ(std::string(gray.data().data(), gray.data().size()),
              std::string("\x00\x00\xff\xff", 4));

    const Trade::ImageData2D rgb =
        decoded(makePng(1, 1, 8, 2, {std::string{"\x00\xff\x00", 3}},
                        pngChunk("tRNS", std::string{"\x00\x00\x00\xff\x00\x00", 6})),
                "RGB with a color key");
    EXPECT_EQ(rgb.image().format(), PixelFormat::RGBA8Unorm);
    EXPECT_EQ(std::string(rgb.data().data(), rgb.data().size()),
              std::string("\x00\xff\x00\x00", 4));
}

/* Every error is one line naming what was decoded, and nothing crashes, whatever the bytes */
TEST(DecodeImage, TruncatedAndDamagedFiles) {
    const auto expectDecodedOrRefused = [](std::string_view bytes, const FileHeader& header) {
        std::optional<Trade::ImageData2D> image;
        const std::string errors =
            errorsOf([&] { image = Trade::decodeImage(bytes, "damaged.file"); });
        if (image) {
            EXPECT_EQ(errors, "");
            EXPECT_EQ(image->size(), header.size);
        } else {
            EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
            EXPECT_EQ(errors.rfind("Trade::decodeImage(): cannot decode damaged.file:", 0), 0u)
                << errors;
        }
    };

    const std::string png = readFile(Models / "glTF2/textureTransform/Correct.png");
    const std::string jpeg = readFile(Models / "OBJ/engineflare1.jpg");
    const FileHeader pngInfo = *pngHeader(png), jpegInfo = *jpegHeader(jpeg);
    for (const std::string* file : {&png, &jpeg}) {
        const FileHeader& info = file == &png ? pngInfo : jpegInfo;
        for (const std::size_t length :
             {std::size_t{1}, std::size_t{8}, std::size_t{20}, std::size_t{33}, std::size_t{120},
              file->size() / 3, file->size() / 2, file->size() - 12, file->size() - 1})
            expectDecodedOrRefused(std::string_view{*file}.substr(0, length), info);
    }
    /* The PNG's pixel data ends before the last row */
    EXPECT_FALSE(errorsOf([&] {
                     EXPECT_FALSE(Trade::decodeImage(
                         std::string_view{png}.substr(0, png.size() / 2), "damaged.file"));
                 }).empty());

    EXPECT_EQ(errorsOf([] { EXPECT_FALSE(Trade::decodeImage({}, "nothing")); }),
              "Trade::decodeImage(): cannot decode nothing: unknown image type\n");
    std::mt19937 random{7};
    std::string garbage(4096, '\0');
    for (char& c : garbage)
        c = char(random());
    EXPECT_EQ(errorsOf([&] { EXPECT_FALSE(Trade::decodeImage(garbage, "garbage")); }),
              "Trade::decodeImage(): cannot decode garbage: unknown image type\n");

    /* Damage past the signature reaches the chunk, marker and entropy-coded parsers */
    for (int round = 0; round != 300; ++round) {
        std::string damaged = round % 2 ? jpeg : png;
        const std::size_t bytes = 1 + random() % 8;
        for (std::size_t i = 0; i != bytes; ++i)
            damaged[8 + random() % (damaged.size() - 8)] = char(random());
        expectDecodedOrRefused(damaged, round % 2 ? jpegInfo : pngInfo);
    }
}

/* ---------------------------------------------------------------------------------------- */

std::optional<Image2D> resized(const ImageView2D& image, std::string_view size) {
    Trade::StbResizeImageConverter converter;
    converter.configuration().setValue("size", size);
    return converter.convert(image);
}

TEST(StbResizeImageConverter, RealImage) {
    /* A palette PNG decoded to RGB rows of 633 bytes, not a multiple of four */
    const Trade::ImageData2D logo =
        decoded(readFile(Models / "glTF2/BoxTextured-glTF/CesiumLogoFlat.png"), "logo");
    const Image2D& source = logo.image();
    ASSERT_EQ(source.format(), PixelFormat::RGB8Unorm);
    ASSERT_EQ(source.size(), (Vector2i{211, 211}));
    const std::vector<double> means = channelMeans(source);

    for (const auto& [value, size] :
         {std::pair{"64 64", Vector2i{64, 64}}, std::pair{"300 100", Vector2i{300, 100}},
          std::pair{"105 211", Vector2i{105, 211}}}) {
        const std::optional<Image2D> image = resized(source, value);
        ASSERT_TRUE(image) << value;
        EXPECT_EQ(image->format(), PixelFormat::RGB8Unorm);
        EXPECT_EQ(image->size(), size);
        EXPECT_EQ(image->storage(), PixelStorage{});
        /* Filtering keeps the average color */
        const std::vector<double> resizedMeans = channelMeans(*image);
        for (std::size_t c = 0; c != 3; ++c)
            EXPECT_NEAR(resizedMeans[c], means[c], 2.0) << value << c;
    }

    /* The same pixels in rows padded to eight bytes and longer than the image give the same
       result */
    const PixelStorage padded = PixelStorage{}.setAlignment(8).setRowLength(215);
    Image2D copy{padded, PixelFormat::RGB8Unorm, source.size(),
                 std::vector<char>(padded.dataSize(3, source.size()), char(0x55))};
    ImageTools::slice(source, copy, {{}, source.size()});
    const std::optional<Image2D> fromPacked = resized(source, "50 70");
    const std::optional<Image2D> fromPadded = resized(copy, "50 70");
    ASSERT_TRUE(fromPacked && fromPadded);
    EXPECT_TRUE(std::equal(fromPacked->data().begin(), fromPacked->data().end(),
                           fromPadded->data().begin(), fromPadded->data().end()));
}

TEST(StbResizeImageConverter, FlatImagesStayFlat) {
    const auto flatImage = [](PixelFormat format, const void* value) {
        Image2D image = ImageTools::allocateWithFormat(format, {17, 9});
        const MutableImageView2D view = image;
        for (int y = 0; y != 9; ++y)
            for (int x = 0; x != 17; ++x)
                std::memcpy(view.data().data() + y * view.rowStride() + x * view.pixelSize(), value,
                            view.pixelSize());
        return image;
    };
    const std::uint8_t bytes[]{200, 13, 77, 128};
    const std::uint16_t shorts[]{1000, 65535, 0, 40000};
    const float floats[]{0.25f, -3.0f, 1.0e4f, 0.5f};
    for (const auto& [format, value] :
         {std::pair<PixelFormat, const void*>{PixelFormat::R8Unorm, bytes},
          {PixelFormat::RGB8Unorm, bytes},
          {PixelFormat::RGBA8Unorm, bytes},
          {PixelFormat::R8Srgb, bytes},
          {PixelFormat::RG8Srgb, bytes},
          {PixelFormat::RGBA8Srgb, bytes},
          {PixelFormat::RG16Unorm, shorts},
          {PixelFormat::RGBA16Unorm, shorts},
          {PixelFormat::R32F, floats},
          {PixelFormat::RGBA32F, floats}}) {
        const Image2D source = flatImage(format, value);
        for (const char* size : {"5 3", "40 30", "17 1"}) {
            const std::optional<Image2D> image = resized(source, size);
            ASSERT_TRUE(image) << debugString(format);
            EXPECT_EQ(image->format(), format);
            const bool isFloat = pixelFormatChannelFormat(format) == PixelFormat::R32F;
            for (int y = 0; y != image->size().y; ++y)
                for (int x = 0; x != image->size().x; ++x) {
                    const std::string result = pixel(*image, x, y);
                    if (!isFloat) {
                        ASSERT_EQ(std::memcmp(result.data(), value, result.size()), 0)
                            << debugString(format) << size << x << y;
                        continue;
                    }
                    for (std::size_t c = 0; c != result.size() / 4; ++c) {
                        float channel;
                        std::memcpy(&channel, result.data() + 4 * c, 4);
                        ASSERT_TRUE(fuzzyEqual(channel, floats[c]))
                            << debugString(format) << size << channel;
                    }
                }
        }
    }
}

TEST(StbResizeImageConverter, ColorSpaceAndAlpha) {
    /* Black and white average in linear light: 0.5 is 188 in sRGB, 128 when the values are
       linear already */
    const std::vector<char> blackWhite{0, char(255)};
    const auto averaged = [&](PixelFormat format) {
        const ImageView2D image{PixelStorage{}.setAlignment(1), format, {2, 1}, blackWhite};
        return std::uint8_t(resized(image, "1 1")->data()[0]);
    };
    EXPECT_NEAR(averaged(PixelFormat::R8Srgb), 188, 1);
    EXPECT_NEAR(averaged(PixelFormat::R8Unorm), 128, 1);

    /* A transparent pixel gives no color */
    const std::vector<char> redAndClearBlue{char(255), 0, 0, char(255), 0, 0, char(255), 0};
    const ImageView2D rgba{PixelFormat::RGBA8Unorm, {2, 1}, redAndClearBlue};
    const std::string result = pixel(*resized(rgba, "1 1"), 0, 0);
    EXPECT_GE(std::uint8_t(result[0]), 250);
    EXPECT_LE(std::uint8_t(result[2]), 5);
    EXPECT_NEAR(std::uint8_t(result[3]), 128, 1);

    const std::vector<char> grayAndClear{char(200), char(255), 0, 0};
    const ImageView2D rg{PixelFormat::RG8Unorm, {2, 1}, grayAndClear};
    const std::string gray = pixel(*resized(rg, "1 1"), 0, 0);
    EXPECT_NEAR(std::uint8_t(gray[0]), 200, 1);
    EXPECT_NEAR(std::uint8_t(gray[1]), 128, 1);
    /* Without alpha the channels mix */
    const std::vector<char> redAndBlue{char(255), 0, 0, 0, 0, char(255)};
    const ImageView2D rgb{
        PixelStorage{}.setAlignment(1), PixelFormat::RGB8Unorm, {2, 1}, redAndBlue};
    EXPECT_EQ(pixel(*resized(rgb, "1 1"), 0, 0), std::string("\x80\x00\x80", 3));
}

TEST(StbResizeImageConverter, Errors) {
    const Image2D image = ImageTools::allocateWithFormat(PixelFormat::RGBA8Unorm, {4, 4});
    Trade::StbResizeImageConverter converter;
    const auto errors = [&](const ImageView2D& view) {
        return errorsOf([&] { EXPECT_EQ(converter.convert(view), std::nullopt); });
    };

    EXPECT_EQ(errors(image), "Trade::StbResizeImageConverter::convert(): the size configuration "
                             "value isn't set\n");
    for (const char* size : {"", "64", "64x64", "64 ", " 64 64", "64  64", "64 64 ", "0 5", "5 0",
                             "-5 5", "5 +5", "5 5.0", "99999999999 1"}) {
        converter.configuration().setValue("size", size);
        EXPECT_EQ(errors(image),
                  std::string{"Trade::StbResizeImageConverter::convert(): expected a size of two "
                              "positive integers separated by a space but got \""} +
                      size + "\"\n");
    }

    converter.configuration().setValue("size", "2 2");
    for (const PixelFormat format :
         {PixelFormat::RGBA8UI, PixelFormat::RGB8Snorm, PixelFormat::R16F, PixelFormat::RG16UI,
          PixelFormat::RGBA16Snorm, PixelFormat::RG32UI, PixelFormat::Depth32F,
          PixelFormat::Depth24UnormStencil8UI}) {
        const Image2D other = ImageTools::allocateWithFormat(format, {4, 4});
        EXPECT_EQ(errors(other), "Trade::StbResizeImageConverter::convert(): unsupported format " +
                                     debugString(format) + "\n");
    }
    const Image2D empty = ImageTools::allocateWithFormat(PixelFormat::RGBA8Unorm, {0, 4});
    EXPECT_EQ(errors(empty), "Trade::StbResizeImageConverter::convert(): can't resize an image "
                             "of size Vector(0, 4)\n");
    /* Output rows past what the resizer's int strides hold */
    converter.configuration().setValue("size", "200000000 1");
    const Image2D wide = ImageTools::allocateWithFormat(PixelFormat::RGBA32F, {4, 4});
    EXPECT_EQ(errors(wide), "Trade::StbResizeImageConverter::convert(): can't resize rows of "
                            "more than 2147483647 bytes\n");

    /* A good size after bad ones works */
    converter.configuration().setValue("size", "3 1");
    EXPECT_EQ(converter.convert(image)->size(), (Vector2i{3, 1}));
}

} // namespace
} // namespace ZarvikEngine
