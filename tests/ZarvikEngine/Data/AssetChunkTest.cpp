#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AssetTestHelpers.h"
#include "TestHelpers.h"
#include "ZarvikEngine/Data/AssetChunk.h"

namespace ZarvikEngine::Data {
namespace {

using Test::AlignedBuffer;
using Test::Bytes;
using Test::toVector;

Magic magicOf(const char (&letters)[5]) {
    Magic magic;
    std::memcpy(&magic, letters, 4);
    return magic;
}

TEST(AssetChunk, MagicsAreFourLettersAndPrintTheirNames) {
    const struct {
        Magic magic;
        char letter;
        const char* name;
    } magics[]{
        {Magic::Header, 'V', "Header"},
        {Magic::Scene, 'S', "Scene"},
        {Magic::Mesh, 'M', "Mesh"},
        {Magic::MorphTarget, 'b', "MorphTarget"},
        {Magic::Skin, 'B', "Skin"},
        {Magic::Image, 'I', "Image"},
        {Magic::ImageTile, 't', "ImageTile"},
        {Magic::Texture, 'T', "Texture"},
        {Magic::Probe, 'E', "Probe"},
        {Magic::Material, 'm', "Material"},
        {Magic::Shader, 's', "Shader"},
        {Magic::Pipeline, 'p', "Pipeline"},
        {Magic::Rendering, 'R', "Rendering"},
        {Magic::Draw, 'd', "Draw"},
        {Magic::PhysX, 'P', "PhysX"},
        {Magic::Font, 'F', "Font"},
        {Magic::External, 'e', "External"},
        {Magic::JsParams, 'j', "JsParams"},
        {Magic::Animation, 'a', "Animation"},
        {Magic::AnimationTargets, 'A', "AnimationTargets"},
        {Magic::AnimationGraph, 'g', "AnimationGraph"},
        {Magic::Language, 'l', "Language"},
        {Magic::Locale, 'L', "Locale"},
    };
    const auto printed = [](Magic magic) {
        std::ostringstream out;
        Debug{&out} << magic;
        return out.str();
    };
    for (const auto& entry : magics) {
        const char letters[5]{'Z', 'V', 'K', entry.letter, 0};
        EXPECT_EQ(entry.magic, magicOf(letters)) << entry.name;
        EXPECT_EQ(printed(entry.magic), "Magic::" + std::string{entry.name} + "\n");
    }
    /* The type letter is the most significant byte of the word */
    EXPECT_EQ(std::uint32_t(Magic::Mesh), 0x4D4B565Au);
    EXPECT_EQ(printed(magicOf("ABCD")), "Magic(ABCD)\n");
    EXPECT_EQ(printed(magicOf("ZVKx")), "Magic(ZVKx)\n");
}

TEST(AssetChunk, AppendedChunksAreFramedPaddedAndWalked) {
    EXPECT_EQ(calulateAssetChunkSizePadded(4), 12u);
    std::vector<char> file;
    AssetChunk::create(Magic::Mesh, std::string_view{"abcde"}, file);
    EXPECT_EQ(AssetChunk::create(Magic::Scene, std::span<const char>{}, file).totalSizeAligned(),
              8u);
    AssetChunk::create(Magic::Draw,
                       {std::string_view{"xy"}, std::string_view{""}, std::string_view{"z"}}, file);
    const std::span<const char> pieces[]{std::string_view{"1234"}, std::string_view{"5"}};
    AssetChunk::create(Magic::Font, std::span{pieces}, file);

    Bytes expected;
    expected.chars("ZVKM").u32(5).chars("abcde").zeros(3).chars("ZVKS").u32(0);
    expected.chars("ZVKd").u32(3).chars("xyz").zeros(1).chars("ZVKF").u32(5).chars("12345");
    EXPECT_EQ(file, std::vector<char>(expected.zeros(3)));

    std::vector<std::pair<Magic, std::string>> chunks;
    for (AssetChunkView chunk{file}; chunk.valid(); chunk = chunk.next()) {
        chunks.emplace_back(chunk.header().magic,
                            std::string{chunk.data().begin(), chunk.data().end()});
        if (!chunk.hasNext())
            break;
    }
    EXPECT_EQ(chunks, (std::vector<std::pair<Magic, std::string>>{{Magic::Mesh, "abcde"},
                                                                  {Magic::Scene, ""},
                                                                  {Magic::Draw, "xyz"},
                                                                  {Magic::Font, "12345"}}));

    /* One more byte after the last chunk counts as a next one, but not a valid one */
    EXPECT_FALSE(AssetChunkView{std::span<const char>{file}.subspan(36)}.hasNext());
    file.resize(file.size() + 4);
    const AssetChunkView notLast{std::span<const char>{file}.subspan(36)};
    EXPECT_TRUE(notLast.hasNext());
    EXPECT_FALSE(notLast.next().valid());
    EXPECT_FALSE(AssetChunkView{}.valid());
    EXPECT_FALSE(AssetChunkView{std::span<const char>{file}.first(7)}.valid());
}

TEST(AssetChunk, WritesIntoFixedBuffers) {
    AlignedBuffer buffer;
    std::memset(buffer.bytes, 0x55, sizeof(buffer.bytes));
    const std::span<char> dest{buffer.bytes, 32};

    /* The gather form leaves padding alone and covers dest to its end */
    const std::span<const char> pieces[]{std::string_view{"ab"}, std::string_view{"cde"}};
    AssetChunk chunk = AssetChunk::create(Magic::Shader, std::span{pieces}, dest);
    EXPECT_EQ(toVector(dest.first(16)),
              std::vector<char>(Bytes{}.chars("ZVKs").u32(5).chars("abcde").fill(3, 0x55)));
    EXPECT_EQ(chunk.data().size(), 24u);
    EXPECT_EQ(std::as_const(chunk).data().size(), 5u);

    /* The reserving form stores the padded size and writes nothing but the header */
    chunk = AssetChunk::create(Magic::Mesh, 5, dest);
    EXPECT_EQ(toVector(dest.first(16)),
              std::vector<char>(Bytes{}.chars("ZVKM").u32(8).chars("abcde").fill(3, 0x55)));
    EXPECT_EQ(chunk.totalSizeAligned(), 16u);

    /* Several chunks back to back, each reaching to the end of the buffer */
    std::memset(buffer.bytes, 0x55, sizeof(buffer.bytes));
    const Magic magics[]{Magic::Header, Magic::Locale, Magic::External};
    const std::span<const char> datas[]{std::string_view{"x"}, {}, std::string_view{"abcd"}};
    const std::vector<AssetChunk> chunks = AssetChunk::create(magics, datas, dest);
    ASSERT_EQ(chunks.size(), 3u);
    Bytes expected;
    expected.chars("ZVKV").u32(1).chars("x").fill(3, 0x55).chars("ZVKL").u32(0);
    EXPECT_EQ(toVector(dest), std::vector<char>(expected.chars("ZVKe").u32(4).chars("abcd")));
    EXPECT_EQ(AssetChunk{chunks[1]}.data().size(), 32u - 12u - 8u);
    EXPECT_FALSE(chunks[2].hasNext());
    EXPECT_EQ(AssetChunk{chunks[0]}.next().next().data().size(), 4u);
}

struct TestRecord {
    static constexpr Magic magic = Magic::Probe;
    explicit TestRecord(std::span<const char> data) : data{data} {}
    std::span<const char> data;
};

TEST(AssetChunkDeathTest, RejectsMisuse) {
    std::vector<char> file;
    AssetChunk::create(Magic::Probe, std::string_view{"probe"}, file);
    const TestRecord record = AssetChunkView{file}.as<TestRecord>();
    EXPECT_EQ(std::string_view(record.data.data(), record.data.size()), "probe");

    AlignedBuffer buffer{};
    /* Every other view and writer builds on this one */
    ZE_EXPECT_ABORT((AssetChunkView{std::span<const char>{buffer.bytes + 2, 8}}),
                    "AssetChunkView::AssetChunkView(): data is not 4-byte aligned");
    /* A 5-byte payload needs its padding too */
    ZE_EXPECT_ABORT(
        AssetChunk::create(Magic::Mesh, std::string_view{"abcde"}, std::span{buffer.bytes, 13}),
        "AssetChunk::create(): destData too small");
    ZE_EXPECT_ABORT(AssetChunk::create(Magic::Mesh, 5, std::span{buffer.bytes, 15}),
                    "AssetChunk::create(): destData too small");
    const Magic magics[]{Magic::Header, Magic::Mesh};
    const std::span<const char> datas[]{std::string_view{"x"}};
    ZE_EXPECT_ABORT(AssetChunk::create(magics, datas, std::span{buffer.bytes}),
                    "AssetChunk::create(): magic and data arrays not same size");

    file.clear();
    AssetChunk::create(Magic::Mesh, std::string_view{"abc"}, file);
    ZE_EXPECT_ABORT(AssetChunkView{file}.as<TestRecord>(),
                    "AssetChunkView::as(): Chunk is not of given type");
    ZE_EXPECT_ABORT(updateHeaderData(file), "AssetChunkView::as(): Chunk is not of given type");
    /* A header announcing more than the buffer holds */
    ZE_EXPECT_ABORT(AssetChunkView{std::span<const char>{file}.first(10)}.data(),
                    "AssetChunkView::data(): chunk runs past the end of the data");
    ZE_EXPECT_ABORT(AssetChunkView{std::span<const char>{file}.first(10)}.next(),
                    "AssetChunkView::next(): chunk runs past the end of the data");

    ZE_EXPECT_ABORT(updateHeaderData({}), "updateHeaderData(): file too small for a header chunk");
    file.clear();
    appendHeaderData(file);
    file.insert(file.end(), 2, '\0');
    ZE_EXPECT_ABORT(updateHeaderData(file),
                    "updateHeaderData(): file ends with a partial chunk header");
}

TEST(AssetFile, HeaderIsFinalisedFromTheChunks) {
    std::vector<char> file;
    appendHeaderData(file);
    EXPECT_EQ(file, std::vector<char>(
                        Bytes{}.chars("ZVKV").u32(16).u32(0x00020001).u32(4).u32(0).u32(0)));
    const auto header = [&] { return AssetChunkView{file}.as<HeaderData>().header(); };
    updateHeaderData(file);
    EXPECT_EQ(header().maxChunkSize, 24u);
    EXPECT_EQ(header().chunkCount, 1u);

    AssetChunk::create(Magic::Mesh, std::string_view{"abcde"}, file);
    EXPECT_EQ(createExternalBinChunk("", file).totalSizeAligned(), 12u);
    createExternalBinChunk("data/mesh.bin", file);
    AssetChunk::create(Magic::Scene, std::vector<char>(100, 's'), file);
    updateHeaderData(file);
    updateHeaderData(file);
    EXPECT_EQ(
        toVector(std::span{file}.first(24)),
        std::vector<char>(Bytes{}.chars("ZVKV").u32(16).u32(0x00020001).u32(4).u32(108).u32(5)));
    Bytes externals;
    externals.chars("ZVKe").u32(1).zeros(4).chars("ZVKe").u32(14).string("data/mesh.bin");
    EXPECT_EQ(toVector(std::span{file}.subspan(40, 36)), std::vector<char>(externals.zeros(2)));
}

} // namespace
} // namespace ZarvikEngine::Data
