#include <cstring>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "AssetTestHelpers.h"
#include "ZarvikEngine/Data/AssetValidation.h"
#include "ZarvikEngine/Tools/MorphTargetSet.h"

namespace ZarvikEngine::Data {
namespace {

using Test::appended;
using Test::patched;

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

/* The error for a file of this one record, without the "chunk 1 (Magic::Mesh): " that has to
   start it */
std::string recordError(Magic magic, std::span<const char> payload) {
    const std::string error = errorOf(fileWith(magic, payload));
    std::ostringstream name;
    Debug{&name} << magic;
    const std::string prefix = "chunk 1 (" + name.str().substr(0, name.str().size() - 1) + "): ";
    if (error.empty())
        return error;
    EXPECT_EQ(error.substr(0, prefix.size()), prefix);
    return error.substr(prefix.size());
}

std::vector<char> filled(std::vector<char> bytes, std::size_t offset, std::size_t count, char c) {
    std::memset(bytes.data() + offset, c, count);
    return bytes;
}

std::vector<char> firstBytes(const std::vector<char>& bytes, std::size_t count) {
    return {bytes.begin(), bytes.begin() + std::ptrdiff_t(count)};
}

/* GLSL of 13 characters and WGSL of 11, each stored with its zero byte: 290 bytes */
std::vector<char> shaderPayload() {
    return createShaderData("lit", {"void main(){}", "fn main(){}"}, {}, Shaders::ShaderType(1),
                            Shaders::ShaderStage(0), true, "lit_wgsl");
}
/* 144-byte header and 12 bytes of feature names */
std::vector<char> pipelinePayload() {
    return createPipelineData("opaque", {}, 1,
                              fromStrings(std::vector<std::string_view>{"DEPTH", "BLEND"}), 2);
}
/* 100-byte header and 17 bytes of terms */
std::vector<char> languagePayload() {
    return createLanguageData(
        "English", "en", 2,
        fromStrings(std::vector<std::string_view>{"hello", "Hello", "bye", ""}));
}

/* 2 languages and 1 link: 8 + 8 bytes and 7 strings */
std::vector<char> localePayload() {
    const std::pair<std::string, std::string> codesAndFiles[]{{"en", "en.bin"}, {"de", "de.bin"}};
    const std::string_view names[]{"English", "Deutsch"};
    const std::string_view linkedTerms[]{"title"};
    const LocaleLinkHeader links[]{{5, 2, 0, 0}};
    return createLocaleData(codesAndFiles, names, linkedTerms, links);
}

/* One chunk of every kind this library checks, written by its own writers */
std::vector<char> everyRecordFile() {
    std::vector<char> file;
    appendHeaderData(file);
    /* Two vertices of a 4-byte position, three 8-bit indices */
    const std::vector<Trade::MeshAttributeData> attributes{
        Trade::MeshAttributeData{Trade::MeshAttribute::Position, VertexFormat::Vector2s, 0, 2, 4}};
    createMeshChunk(Trade::MeshData{MeshPrimitive::Triangles, std::vector<char>{0, 1, 1},
                                    Trade::MeshIndexData{MeshIndexType::UnsignedByte, 0, 3},
                                    std::vector<char>(8, 'v'), std::vector{attributes}},
                    {}, {}, {}, file);
    std::vector<Trade::MeshData> targets;
    targets.emplace_back(MeshPrimitive::Triangles, std::vector<char>(8, 't'), attributes);
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
    AssetChunk::create(
        Magic::Font,
        createFontData(Text::writeFont(
            {{0.73f, 0.93f, -0.24f, 2048.0f, 0.0f}, {}, {}, {}, {}, std::vector<char>(12)})),
        file);
    AssetChunk::create(Magic::Language, languagePayload(), file);
    AssetChunk::create(Magic::Locale, localePayload(), file);
    AssetChunk::create(Magic::Animation, createAnimationData(), file);
    AssetChunk::create(Magic::AnimationTargets, createAnimationTargetsData(1, joint), file);
    AssetChunk::create(Magic::AnimationGraph,
                       createAnimationGraphData(createSimpleAnimationGraph(3)), file);
    createExternalBinChunk("more.bin", file);
    AssetChunk::create(Magic::Scene, std::string_view{"scene"}, file);
    AssetChunk::create(Magic::JsParams, std::span<const char>{}, file);
    updateHeaderData(file);
    return file;
}

TEST(AssetValidation, FramingAndHeaderAreChecked) {
    /* 24 bytes of header chunk, 96 of draw chunk */
    const std::vector<char> file = fileWith(Magic::Draw, createDrawData({}));
    ASSERT_EQ(file.size(), 120u);
    EXPECT_EQ(errorOf(file), "");
    EXPECT_EQ(errorOf(std::span{file}.subspan(2)), "file data is not 4-byte aligned");
    for (std::size_t extra = 1; extra != 8; ++extra) {
        std::vector<char> longer = file;
        longer.resize(file.size() + extra);
        EXPECT_EQ(errorOf(longer), "chunk 2 at byte 120: " + std::to_string(extra) +
                                       " bytes left, too few for a chunk header");
    }
    std::vector<char> headless;
    AssetChunk::create(Magic::Draw, createDrawData({}), headless);
    std::vector<char> longHeader;
    AssetChunk::create(Magic::Header, std::vector<char>(20), longHeader);
    std::vector<char> unfinalised;
    appendHeaderData(unfinalised);
    AssetChunk::create(Magic::Draw, createDrawData({}), unfinalised);
    std::vector<char> twoHeaders = file;
    appendHeaderData(twoHeaders);
    updateHeaderData(twoHeaders);

    const std::pair<std::vector<char>, const char*> cases[]{
        {{}, "empty file, expected a header chunk"},
        /* The payload size at byte 28; padded to 4, the second would wrap around in 32 bits */
        {patched(file, 28, 89u), "chunk 1 (Magic::Draw): payload of 89 bytes at byte 32 runs "
                                 "past the end of the file, 88 bytes remain"},
        {patched(file, 28, 0xffffffffu), "chunk 1 (Magic::Draw): payload of 4294967295 bytes at "
                                         "byte 32 runs past the end of the file, 88 bytes remain"},
        /* A size that ends in the padding keeps the framing; the record check sees the size */
        {patched(file, 28, 87u), "chunk 1 (Magic::Draw): payload of 87 bytes, expected 88"},
        {headless, "chunk 0 (Magic::Draw): the first chunk must be the header record"},
        {longHeader, "chunk 0 (Magic::Header): payload of 20 bytes, expected 16"},
        {patched(file, 8, 0x00020002u), "chunk 0 (Magic::Header): fixed words 0x00020002 and 4 "
                                        "differ from 0x00020001 and 4"},
        {patched(file, 12, 5u), "chunk 0 (Magic::Header): fixed words 0x00020001 and 5 differ "
                                "from 0x00020001 and 4"},
        {unfinalised, "chunk 0 (Magic::Header): header not finalised, its chunk count and largest "
                      "chunk size are 0"},
        {patched(file, 20, 3u),
         "chunk 0 (Magic::Header): chunk count 3 differs from the 2 chunks of the file"},
        {patched(file, 16, 24u), "chunk 0 (Magic::Header): largest chunk size 24 differs from "
                                 "the largest chunk of the file, 96 bytes"},
        {twoHeaders, "chunk 2 (Magic::Header): header record after the first chunk"},
    };
    for (const auto& [bytes, message] : cases)
        EXPECT_EQ(errorOf(bytes), message);
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
                  "chunk 24 (Magic(ABCD)): no record type of this library has this magic, "
                  "payload not checked",
                  "chunk 25 (Magic(ZVKx)): no record type of this library has this magic, "
                  "payload not checked"}));

    /* The walk steps over them and visits every record, each of which its magic selects a
       check for: three bytes are too few for any */
    std::size_t visited = 0;
    std::size_t skipped = 0;
    for (AssetChunkView chunk{file};; chunk = chunk.next()) {
        const Magic magic = chunk.header().magic;
        if (!visitRecord(chunk, [&](const auto&) { ++visited; })) {
            ++skipped;
        } else if (magic != Magic::Header) {
            EXPECT_NE(recordError(magic, std::string_view{"abc"}), "") << std::uint32_t(magic);
        }
        if (!chunk.hasNext())
            break;
    }
    /* External, Scene, JsParams and the two unknown ones have no record type */
    EXPECT_EQ(visited, 21u);
    EXPECT_EQ(skipped, 5u);
}

TEST(AssetValidation, RecordsAreCheckedAsTheirReadersNeed) {
    /* Payloads of the caller's own aren't looked into */
    EXPECT_EQ(recordError(Magic::Scene, std::string_view{"abc"}), "");
    EXPECT_EQ(recordError(Magic::JsParams, std::string_view{"abc"}), "");

    const std::vector<char> shader = shaderPayload();
    const std::vector<char> pipeline = pipelinePayload();
    const std::vector<char> language = languagePayload();
    const std::vector<char> locale = localePayload();
    const struct {
        Magic magic;
        std::vector<char> payload;
        const char* error;
    } cases[]{
        {Magic::Shader, shader, ""},
        {Magic::Shader, firstBytes(shader, 289),
         "GLSL and WGSL code of 14 and 12 bytes run past the payload of 289 bytes"},
        /* Sizes at bytes 4 and 6 that end the texts on a character */
        {Magic::Shader, patched(shader, 4, std::uint16_t{13}), "GLSL code is not zero-terminated"},
        {Magic::Shader, patched(shader, 6, std::uint16_t{11}), "WGSL code is not zero-terminated"},
        {Magic::Shader, patched(shader, 4, std::uint32_t{0}), ""},
        {Magic::Shader, patched(shader, 264 + 5, '\0'), "GLSL code has a zero byte before its end"},
        {Magic::Shader, patched(shader, 8 + 120, 'x'), "name has bytes after its terminating zero"},
        /* The longest name the writer accepts, and one more character */
        {Magic::Shader, filled(shader, 8, 126, 'n'), ""},
        {Magic::Shader, filled(shader, 8, 127, 'n'),
         "name is not zero-terminated within 127 bytes"},
        {Magic::Shader, filled(shader, 136, 128, 'w'),
         "WGSL name is not zero-terminated within 128 bytes"},
        {Magic::Pipeline, pipeline, ""},
        {Magic::Pipeline, filled(pipeline, 8, 64, 'n'),
         "name is not zero-terminated within 64 bytes"},
        {Magic::Pipeline, patched(pipeline, 4, 3u),
         "strings section of 12 bytes holds fewer than 3 zero-terminated strings"},
        {Magic::Pipeline, patched(pipeline, 4, 0xffffffffu),
         "strings section of 12 bytes holds fewer than 4294967295 zero-terminated strings"},
        {Magic::Pipeline, appended(pipeline, "x"),
         "strings section of 13 bytes holds more than 2 zero-terminated strings"},
        {Magic::Draw, std::vector<char>(89), "payload of 89 bytes, expected 88"},
        {Magic::External, std::vector<char>(1), ""},
        {Magic::External, {}, "path is not zero-terminated"},
        {Magic::External, {'a', '.', 'b'}, "path is not zero-terminated"},
        {Magic::External, {'a', '\0', 'b', '\0'}, "path has a zero byte before its end"},

        {Magic::Language, language, ""},
        {Magic::Language, filled(language, 0, 64, 'n'),
         "name is not zero-terminated within 64 bytes"},
        {Magic::Language, filled(language, 64, 32, 'c'),
         "code is not zero-terminated within 32 bytes"},
        {Magic::Language, patched(language, 64 + 31, 'c'),
         "code has bytes after its terminating zero"},
        {Magic::Language, appended(language, std::string_view{"\0", 1}),
         "strings section of 18 bytes holds more than 4 zero-terminated strings"},
        {Magic::Language, patched(language, 96, 3u),
         "strings section of 17 bytes holds fewer than 6 zero-terminated strings"},
        /* Twice this count is 0 in 32 bits */
        {Magic::Language, patched(language, 96, 0x80000000u),
         "strings section of 17 bytes holds fewer than 4294967296 zero-terminated strings"},
        /* The empty last text loses its zero byte */
        {Magic::Language, filled(language, 116, 1, 'x'),
         "strings section of 17 bytes holds fewer than 4 zero-terminated strings"},
        {Magic::Locale, locale, ""},
        /* Link headers of 2^32 bytes, 0 in 32 bits */
        {Magic::Locale, patched(locale, 4, 0x20000000u),
         "536870912 link headers run past the payload of 58 bytes"},
        {Magic::Locale, patched(locale, 4, 7u), "7 link headers run past the payload of 58 bytes"},
        /* Three strings per language, 2 in 32 bits */
        {Magic::Locale, patched(locale, 0, 0x55555556u),
         "strings section of 42 bytes holds fewer than 4294967299 zero-terminated strings"},
        {Magic::Locale, patched(locale, 0, 3u),
         "strings section of 42 bytes holds fewer than 10 zero-terminated strings"},
        {Magic::Locale, appended(locale, "end"),
         "strings section of 45 bytes holds more than 7 zero-terminated strings"},
    };
    for (const auto& entry : cases)
        EXPECT_EQ(recordError(entry.magic, entry.payload), entry.error)
            << std::uint32_t(entry.magic) << " of " << entry.payload.size() << " bytes";
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
