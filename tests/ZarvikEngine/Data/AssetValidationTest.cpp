#include <cstring>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "ZarvikEngine/Data/AssetValidation.h"
#include "ZarvikEngine/Tools/MorphTargetSet.h"

namespace ZarvikEngine::Data {
namespace {

/* The error validateAssetFile() gives, empty when it accepts the file */
std::string errorOf(std::span<const char> file) {
    return validateAssetFile(file).error.value_or("");
}

/* A finalised file of the header and one chunk */
std::vector<char> fileWith(Magic magic, std::span<const char> payload) {
    std::vector<char> file;
    appendHeaderData(file);
    AssetChunk::create(magic, payload, file);
    updateHeaderData(file);
    return file;
}

/* "Magic::Mesh", as messages print it */
std::string nameOf(Magic magic) {
    std::ostringstream out;
    Debug{&out} << magic;
    const std::string line = out.str();
    return line.substr(0, line.size() - 1);
}

std::string recordError(Magic magic, std::span<const char> payload) {
    return errorOf(fileWith(magic, payload));
}

/* A copy with a little-endian value written over the bytes at offset */
template<class T>
std::vector<char> patched(std::vector<char> bytes, std::size_t offset, T value) {
    std::memcpy(bytes.data() + offset, &value, sizeof(T));
    return bytes;
}

/* A copy with count bytes from offset on set to c */
std::vector<char> filled(std::vector<char> bytes, std::size_t offset, std::size_t count, char c) {
    std::memset(bytes.data() + offset, c, count);
    return bytes;
}

std::vector<char> firstBytes(const std::vector<char>& bytes, std::size_t count) {
    return {bytes.begin(), bytes.begin() + std::ptrdiff_t(count)};
}

std::vector<char> shaderPayload() {
    /* GLSL of 13 characters and WGSL of 11, each stored with its zero byte: 290 bytes */
    return createShaderData("lit", {"void main(){}", "fn main(){}"}, {}, Shaders::ShaderType(1),
                            Shaders::ShaderStage(0), true, "lit_wgsl");
}

std::vector<char> pipelinePayload() {
    /* 144-byte header and 12 bytes of feature names */
    return createPipelineData("opaque", {}, 1,
                              fromStrings(std::vector<std::string_view>{"DEPTH", "BLEND"}), 2);
}

std::vector<char> languagePayload() {
    /* 100-byte header and 17 bytes of terms */
    return createLanguageData(
        "English", "en", 2,
        fromStrings(std::vector<std::string_view>{"hello", "Hello", "bye", ""}));
}

std::vector<char> localePayload() {
    /* 2 languages and 1 link: 8 + 8 bytes and 7 strings */
    const std::pair<std::string, std::string> codesAndFiles[]{{"en", "en.bin"}, {"de", "de.bin"}};
    const std::string_view names[]{"English", "Deutsch"};
    const std::string_view linkedTerms[]{"title"};
    const LocaleLinkHeader links[]{{5, 2, 0, 0}};
    return createLocaleData(codesAndFiles, names, linkedTerms, links);
}

/* Two vertices of a 4-byte position, three 8-bit indices */
Trade::MeshData mesh() {
    return Trade::MeshData{MeshPrimitive::Triangles,
                           std::vector<char>{0, 1, 1},
                           Trade::MeshIndexData{MeshIndexType::UnsignedByte, 0, 3},
                           std::vector<char>(8, 'v'),
                           {Trade::MeshAttributeData{Trade::MeshAttribute::Position,
                                                     VertexFormat::Vector2s, 0, 2, 4}}};
}

/* One chunk of every kind this library checks, written by its own writers */
std::vector<char> everyRecordFile() {
    std::vector<char> file;
    appendHeaderData(file);
    createMeshChunk(mesh(), {}, {}, {}, file);
    std::vector<Trade::MeshData> targets;
    targets.emplace_back(MeshPrimitive::Triangles, std::vector<char>(8, 't'),
                         std::vector<Trade::MeshAttributeData>{Trade::MeshAttributeData{
                             Trade::MeshAttribute::Position, VertexFormat::Vector2s, 0, 2, 4}});
    const MorphTargetSet targetSet{fromStrings(std::vector<std::string_view>{"smile"}),
                                   std::move(targets)};
    AssetChunk::create(Magic::MorphTarget, createMorphTargetData(targetSet, {}), file);
    const DualQuaternion pose[1]{};
    const Vector3 scaling[1]{Vector3{1.0f}};
    const Id joint[1]{Id(3)};
    AssetChunk::create(Magic::Skin, createSkinData(pose, scaling, joint), file);
    AssetChunk::create(Magic::Image, createImageData({4, 4, 1}, "image.png"), file);
    const std::string hash(ImageData::HashSize, 'h');
    AssetChunk::create(Magic::Image, createImageData({4, 4, 1}, std::span{&hash, 1}), file);
    createImageTileChunk(hash, std::string_view{"tile"}, true, 5, file);
    AssetChunk::create(Magic::Texture,
                       createTextureData(1, 0, SamplerFilter::Linear, SamplerFilter::Nearest,
                                         SamplerMipmap::Base, {}),
                       file);
    Image2D level{PixelFormat::RGBA8Unorm, Vector2i{1}, std::vector<char>(4, 'p')};
    AssetChunk::create(Magic::Probe, createProbeData(std::span{&level, 1}), file);
    AssetChunk::create(Magic::Material, createMaterialData(2, {}, {{'p', 'q', 'r'}}), file);
    AssetChunk::create(Magic::Shader, shaderPayload(), file);
    AssetChunk::create(Magic::Pipeline, pipelinePayload(), file);
    AssetChunk::create(Magic::Rendering, std::vector<char>(200, 'r'), file);
    AssetChunk::create(Magic::Draw, createDrawData({}), file);
    AssetChunk::create(Magic::PhysX, createPhysXData(PhysXData::Type(1), 7, std::string_view{"px"}),
                       file);
    AssetChunk::create(Magic::Font, createFontData(std::vector<char>(12)), file);
    AssetChunk::create(Magic::Language, languagePayload(), file);
    AssetChunk::create(Magic::Locale, localePayload(), file);
    createExternalBinChunk("more.bin", file);
    AssetChunk::create(Magic::Scene, std::string_view{"scene"}, file);
    AssetChunk::create(Magic::JsParams, std::span<const char>{}, file);
    updateHeaderData(file);
    return file;
}

TEST(AssetValidation, FramingIsCheckedWithSizesInSixtyFourBits) {
    /* 24 bytes of header chunk, 96 of draw chunk */
    const std::vector<char> file = fileWith(Magic::Draw, createDrawData({}));
    ASSERT_EQ(file.size(), 120u);
    EXPECT_EQ(errorOf(file), "");

    EXPECT_EQ(errorOf(std::span{file}.subspan(2)), "file data is not 4-byte aligned");
    EXPECT_EQ(errorOf({}), "empty file, expected a header chunk");
    for (std::size_t extra = 1; extra != 8; ++extra) {
        std::vector<char> longer = file;
        longer.resize(file.size() + extra);
        EXPECT_EQ(errorOf(longer), "chunk 2 at byte 120: " + std::to_string(extra) +
                                       " bytes left, too few for a chunk header");
    }

    /* The payload size at byte 28 */
    EXPECT_EQ(errorOf(patched(file, 28, std::uint32_t{89})),
              "chunk 1 (Magic::Draw): payload of 89 bytes at byte 32 runs past the end of the "
              "file, 88 bytes remain");
    /* Padded to 4, this size would wrap around in 32 bits */
    EXPECT_EQ(errorOf(patched(file, 28, std::uint32_t{0xffffffff})),
              "chunk 1 (Magic::Draw): payload of 4294967295 bytes at byte 32 runs past the end of "
              "the file, 88 bytes remain");
    /* A size that ends in the padding keeps the framing; the record check sees the size */
    EXPECT_EQ(errorOf(patched(file, 28, std::uint32_t{87})),
              "chunk 1 (Magic::Draw): payload of 87 bytes, expected 88");
}

TEST(AssetValidation, HeaderComesFirstWithItsFixedWordsAndFinalisedCounts) {
    const std::vector<char> file = fileWith(Magic::Draw, createDrawData({}));

    std::vector<char> headless;
    AssetChunk::create(Magic::Draw, createDrawData({}), headless);
    EXPECT_EQ(errorOf(headless),
              "chunk 0 (Magic::Draw): the first chunk must be the header record");

    std::vector<char> longHeader;
    AssetChunk::create(Magic::Header, std::vector<char>(20), longHeader);
    EXPECT_EQ(errorOf(longHeader), "chunk 0 (Magic::Header): payload of 20 bytes, expected 16");

    EXPECT_EQ(errorOf(patched(file, 8, std::uint32_t{0x00020002})),
              "chunk 0 (Magic::Header): fixed words 0x00020002 and 4 differ from 0x00020001 and "
              "4");
    EXPECT_EQ(errorOf(patched(file, 12, std::uint32_t{5})),
              "chunk 0 (Magic::Header): fixed words 0x00020001 and 5 differ from 0x00020001 and "
              "4");

    std::vector<char> unfinalised;
    appendHeaderData(unfinalised);
    AssetChunk::create(Magic::Draw, createDrawData({}), unfinalised);
    EXPECT_EQ(errorOf(unfinalised), "chunk 0 (Magic::Header): header not finalised, its chunk "
                                    "count and largest chunk size are 0");

    EXPECT_EQ(errorOf(patched(file, 20, std::uint32_t{3})),
              "chunk 0 (Magic::Header): chunk count 3 differs from the 2 chunks of the file");
    EXPECT_EQ(errorOf(patched(file, 16, std::uint32_t{24})),
              "chunk 0 (Magic::Header): largest chunk size 24 differs from the largest chunk of "
              "the file, 96 bytes");

    std::vector<char> twoHeaders = file;
    appendHeaderData(twoHeaders);
    updateHeaderData(twoHeaders);
    EXPECT_EQ(errorOf(twoHeaders), "chunk 2 (Magic::Header): header record after the first chunk");
}

TEST(AssetValidation, UnknownMagicsAreReportedButNotFatal) {
    std::vector<char> file = everyRecordFile();
    const AssetFileValidation known = validateAssetFile(file);
    EXPECT_TRUE(known.valid());
    EXPECT_TRUE(known.warnings.empty());

    /* "ABCD" and "ZVKx" */
    AssetChunk::create(Magic(0x44434241), std::string_view{"opaque"}, file);
    AssetChunk::create(Magic(Implementation::magic('x')), std::span<const char>{}, file);
    updateHeaderData(file);
    const AssetFileValidation unknown = validateAssetFile(file);
    EXPECT_TRUE(unknown.valid());
    EXPECT_EQ(unknown.warnings,
              (std::vector<std::string>{
                  "chunk 21 (Magic(ABCD)): no record type of this library has this magic, "
                  "payload not checked",
                  "chunk 22 (Magic(ZVKx)): no record type of this library has this magic, "
                  "payload not checked"}));

    /* The walk steps over them and visits every record */
    std::size_t visited = 0;
    std::size_t skipped = 0;
    for (AssetChunkView chunk{file};; chunk = chunk.next()) {
        if (!visitRecord(chunk, [&](const auto&) { ++visited; }))
            ++skipped;
        if (!chunk.hasNext())
            break;
    }
    /* External, Scene, JsParams and the two unknown ones have no record type */
    EXPECT_EQ(visited, 18u);
    EXPECT_EQ(skipped, 5u);
}

TEST(AssetValidation, EveryRecordIsCheckedByItsMagic) {
    for (const Magic magic :
         {Magic::Mesh, Magic::MorphTarget, Magic::Skin, Magic::Image, Magic::ImageTile,
          Magic::Texture, Magic::Probe, Magic::Material, Magic::Shader, Magic::Pipeline,
          Magic::Rendering, Magic::Draw, Magic::PhysX, Magic::Font, Magic::External,
          Magic::Language, Magic::Locale}) {
        /* Three bytes are too few for any of them */
        const AssetFileValidation validation =
            validateAssetFile(fileWith(magic, std::string_view{"abc"}));
        ASSERT_TRUE(validation.error);
        const std::string prefix = "chunk 1 (" + nameOf(magic) + "): ";
        EXPECT_EQ(validation.error->substr(0, prefix.size()), prefix) << *validation.error;
    }
    /* Payloads of the caller's own aren't looked into */
    EXPECT_EQ(recordError(Magic::Scene, std::string_view{"abc"}), "");
    EXPECT_EQ(recordError(Magic::JsParams, std::string_view{"abc"}), "");
}

TEST(AssetValidation, RenderingRecordsAreCheckedAsTheirReadersNeed) {
    EXPECT_EQ(recordError(Magic::Material, std::vector<char>(20)), "");
    EXPECT_EQ(recordError(Magic::Material, std::vector<char>(19)),
              "chunk 1 (Magic::Material): payload of 19 bytes is smaller than the 20-byte header");

    const std::vector<char> shader = shaderPayload();
    EXPECT_EQ(recordError(Magic::Shader, shader), "");
    EXPECT_EQ(recordError(Magic::Shader, firstBytes(shader, 263)),
              "chunk 1 (Magic::Shader): payload of 263 bytes is smaller than the 264-byte header");
    EXPECT_EQ(recordError(Magic::Shader, firstBytes(shader, 289)),
              "chunk 1 (Magic::Shader): GLSL and WGSL code of 14 and 12 bytes run past the "
              "payload of 289 bytes");
    /* Sizes at bytes 4 and 6 that end the texts on a character */
    EXPECT_EQ(recordError(Magic::Shader, patched(shader, 4, std::uint16_t{13})),
              "chunk 1 (Magic::Shader): GLSL code is not zero-terminated");
    EXPECT_EQ(recordError(Magic::Shader, patched(shader, 6, std::uint16_t{11})),
              "chunk 1 (Magic::Shader): WGSL code is not zero-terminated");
    EXPECT_EQ(recordError(Magic::Shader,
                          patched(patched(shader, 4, std::uint16_t{0}), 6, std::uint16_t{0})),
              "");
    /* The longest name the writer accepts, and one more character */
    EXPECT_EQ(recordError(Magic::Shader, filled(shader, 8, 126, 'n')), "");
    EXPECT_EQ(recordError(Magic::Shader, filled(shader, 8, 127, 'n')),
              "chunk 1 (Magic::Shader): name is not zero-terminated within 127 bytes");
    EXPECT_EQ(recordError(Magic::Shader, filled(shader, 136, 128, 'w')),
              "chunk 1 (Magic::Shader): WGSL name is not zero-terminated");

    const std::vector<char> pipeline = pipelinePayload();
    EXPECT_EQ(recordError(Magic::Pipeline, pipeline), "");
    EXPECT_EQ(recordError(Magic::Pipeline, firstBytes(pipeline, 143)),
              "chunk 1 (Magic::Pipeline): payload of 143 bytes is smaller than the 144-byte "
              "header");
    EXPECT_EQ(recordError(Magic::Pipeline, filled(pipeline, 8, 64, 'n')),
              "chunk 1 (Magic::Pipeline): name is not zero-terminated within 64 bytes");
    EXPECT_EQ(recordError(Magic::Pipeline, patched(pipeline, 4, std::uint32_t{3})),
              "chunk 1 (Magic::Pipeline): strings section of 12 bytes holds fewer than 3 "
              "zero-terminated strings");
    EXPECT_EQ(recordError(Magic::Pipeline, patched(pipeline, 4, std::uint32_t{0xffffffff})),
              "chunk 1 (Magic::Pipeline): strings section of 12 bytes holds fewer than "
              "4294967295 zero-terminated strings");

    EXPECT_EQ(recordError(Magic::Rendering, std::vector<char>(196)), "");
    EXPECT_EQ(recordError(Magic::Rendering, std::vector<char>(195)),
              "chunk 1 (Magic::Rendering): payload of 195 bytes is smaller than the 196-byte "
              "header");
    EXPECT_EQ(recordError(Magic::Draw, std::vector<char>(89)),
              "chunk 1 (Magic::Draw): payload of 89 bytes, expected 88");
    EXPECT_EQ(recordError(Magic::PhysX, std::vector<char>(4)), "");
    EXPECT_EQ(recordError(Magic::PhysX, std::vector<char>(3)),
              "chunk 1 (Magic::PhysX): payload of 3 bytes is smaller than the 4-byte header");
    EXPECT_EQ(recordError(Magic::Font, std::vector<char>(12)), "");
    EXPECT_EQ(recordError(Magic::Font, std::vector<char>(11)),
              "chunk 1 (Magic::Font): payload of 11 bytes is smaller than the 12-byte header");

    EXPECT_EQ(recordError(Magic::External, std::string_view{"", 1}), "");
    EXPECT_EQ(recordError(Magic::External, std::span<const char>{}),
              "chunk 1 (Magic::External): path is not zero-terminated");
    EXPECT_EQ(recordError(Magic::External, std::string_view{"a.bin"}),
              "chunk 1 (Magic::External): path is not zero-terminated");
}

TEST(AssetValidation, LocalizationRecordsHoldTheStringsTheyCount) {
    const std::vector<char> language = languagePayload();
    EXPECT_EQ(recordError(Magic::Language, language), "");
    EXPECT_EQ(recordError(Magic::Language, firstBytes(language, 99)),
              "chunk 1 (Magic::Language): payload of 99 bytes is smaller than the 100-byte "
              "header");
    EXPECT_EQ(recordError(Magic::Language, filled(language, 0, 64, 'n')),
              "chunk 1 (Magic::Language): name is not zero-terminated");
    EXPECT_EQ(recordError(Magic::Language, filled(language, 64, 32, 'c')),
              "chunk 1 (Magic::Language): code is not zero-terminated");
    EXPECT_EQ(recordError(Magic::Language, patched(language, 96, std::uint32_t{3})),
              "chunk 1 (Magic::Language): strings section of 17 bytes holds fewer than 6 "
              "zero-terminated strings");
    /* Twice this count is 0 in 32 bits */
    EXPECT_EQ(recordError(Magic::Language, patched(language, 96, std::uint32_t{0x80000000})),
              "chunk 1 (Magic::Language): strings section of 17 bytes holds fewer than "
              "4294967296 zero-terminated strings");
    /* The empty last text loses its zero byte */
    EXPECT_EQ(recordError(Magic::Language, filled(language, 116, 1, 'x')),
              "chunk 1 (Magic::Language): strings section of 17 bytes holds fewer than 4 "
              "zero-terminated strings");

    const std::vector<char> locale = localePayload();
    ASSERT_EQ(locale.size(), 58u);
    EXPECT_EQ(recordError(Magic::Locale, locale), "");
    EXPECT_EQ(recordError(Magic::Locale, firstBytes(locale, 7)),
              "chunk 1 (Magic::Locale): payload of 7 bytes is smaller than the 8-byte header");
    /* Link headers of 2^32 bytes, 0 in 32 bits */
    EXPECT_EQ(recordError(Magic::Locale, patched(locale, 4, std::uint32_t{0x20000000})),
              "chunk 1 (Magic::Locale): 536870912 link headers run past the payload of 58 bytes");
    EXPECT_EQ(recordError(Magic::Locale, patched(locale, 4, std::uint32_t{7})),
              "chunk 1 (Magic::Locale): 7 link headers run past the payload of 58 bytes");
    /* Three strings per language, 2 in 32 bits */
    EXPECT_EQ(recordError(Magic::Locale, patched(locale, 0, std::uint32_t{0x55555556})),
              "chunk 1 (Magic::Locale): strings section of 42 bytes holds fewer than 4294967299 "
              "zero-terminated strings");
    EXPECT_EQ(recordError(Magic::Locale, patched(locale, 0, std::uint32_t{3})),
              "chunk 1 (Magic::Locale): strings section of 42 bytes holds fewer than 10 "
              "zero-terminated strings");
    EXPECT_EQ(recordError(Magic::Locale, std::vector<char>(8)), "");
}

TEST(AssetValidation, EveryTruncationIsRejectedAndBitFlipsLeaveReadableFiles) {
    const std::vector<char> file = everyRecordFile();
    ASSERT_TRUE(validateAssetFile(file).valid());
    for (std::size_t size = 0; size != file.size(); ++size)
        EXPECT_FALSE(validateAssetFile(firstBytes(file, size)).valid()) << size;

    /* A flipped bit is either caught, or what it changed still builds every record view: the
       string indices of the localization records abort on anything they can't hold */
    std::size_t rejected = 0;
    for (std::size_t bit = 0; bit != file.size() * 8; ++bit) {
        std::vector<char> flipped = file;
        flipped[bit / 8] = char(flipped[bit / 8] ^ (1 << bit % 8));
        if (!validateAssetFile(flipped).valid()) {
            ++rejected;
            continue;
        }
        for (AssetChunkView chunk{flipped};; chunk = chunk.next()) {
            visitRecord(chunk, [](const auto&) {});
            if (!chunk.hasNext())
                break;
        }
    }
    /* Flips in sizes, counts and zero bytes are caught; most text and padding isn't checked */
    EXPECT_GT(rejected, 0u);
    EXPECT_LT(rejected, file.size() * 8);
}

} // namespace
} // namespace ZarvikEngine::Data
